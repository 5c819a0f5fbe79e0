#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdio>

// What the fuzz targets share. Each execution of a target must cost little, so the folders
// are made once per process and reused; every target writes only below workDir().
namespace kd::fuzz {

// A folder of this process, made on first use and removed at normal exit.
QString workDir();

// A stream that swallows what it is given, for the console's output and log; standard error
// when the environment variable KELDAR_FUZZ_LOG is set.
std::FILE* nullStream();

// Replaces the file's contents, making its folder when missing.
bool writeFile(const QString& path, QByteArrayView bytes);

// Removes the file or the folder with everything in it; a missing one is fine.
void removePath(const QString& path);

// The small study of fuzz/study: every file by its path relative to the study folder.
QMap<QString, QByteArray> studyFiles();

// The releases and sites of the small study as members of a configuration object, followed by
// a comma.
QByteArray studyDefinitions();

// Writes the files below the folder, which is emptied first.
void writeTree(const QString& folder, const QMap<QString, QByteArray>& files);

// The text as a JSON string literal.
QByteArray jsonString(QByteArrayView text);

// Runs the console on the simulation folder, its output and log thrown away.
int runConsole(const QString& simulationDir);

// The study file that an input section's key names, relative to the simulation folder: t tags,
// n nodes, e events, d the second events file, r removals, a tag attributes, l tag life data,
// p tag locations, f false events, x a new data file; empty for any other key.
QString studyFileOf(char key);

// Starts the one graphical application of the process, drawing offscreen, for the survival
// chart; Qt's own messages are swallowed like the console's.
void ensureGuiApplication();

// Splits the input at lines that start with '@' (the line itself starts the next section).
// The text before the first such line is the first section, with an empty header.
struct Section
{
    QByteArray header; // the '@' line without the '@' and the line end
    QByteArray body;
};
QList<Section> sections(QByteArrayView input);

} // namespace kd::fuzz
