// The console from data files to the three layouts: the small study of fuzz/study with the
// input's changes, loaded into a new database and run as kavel, standard and false_events.
//
// The input is split at lines starting with '@'. The text before the first such line is added
// to the events file. A section "@X" adds its lines to the file that X names, "@X=" replaces
// that file with them: t tags, n nodes, e events, d the second events file, r removals,
// a tag attributes, l tag life data, p tag locations, f false events, x a new data file.
// "@k" makes the first line of its section the runs' cutoff date.
#include "fuzz/FuzzSupport.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray config(const QByteArray& cutoff)
{
    const QByteArray all = R"("releases": ["Canyon", "MillCreek", "Ferry"], )"
                           R"("sites": ["A1", "A2", "A3", "A4", "A5", "A6"], )";
    const QByteArray four = R"("releases": ["Canyon", "MillCreek", "Ferry"], )"
                            R"("sites": ["A1", "A3", "A4", "A5"], )";
    const QByteArray common =
        R"("outputDir": "results")" +
        (cutoff.isNull() ? QByteArray() : ", \"cutoffDate\": " + kd::fuzz::jsonString(cutoff));
    return "{" + kd::fuzz::studyDefinitions() + R"("runs": [
    {"title": "all", "type": "kavel", )" +
           all + common + R"(},
    {"title": "all", "type": "standard", )" +
           all + common + R"(},
    {"title": "four", "type": "false_events", "falseEventsFile": "false_events.csv", )" +
           four + common + "}]}";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QMap<QString, QByteArray> study = kd::fuzz::studyFiles();
    static const QString simulationDir =
        QDir(kd::fuzz::workDir()).filePath(QStringLiteral("simulation"));

    QMap<QString, QByteArray> files = study;
    QByteArray cutoff;
    for (const kd::fuzz::Section& section :
         kd::fuzz::sections(QByteArrayView(data, qsizetype(size)))) {
        const char key = section.header.isEmpty() ? 'e' : section.header[0];
        if (key == 'k') {
            const qsizetype end = section.body.indexOf('\n');
            cutoff = section.body.left(end < 0 ? section.body.size() : end);
            continue;
        }
        const QString file = kd::fuzz::studyFileOf(key);
        if (file.isEmpty())
            continue;
        if (section.header.size() > 1 && section.header[1] == '=')
            files[file] = section.body;
        else
            files[file].append(section.body);
    }
    files.insert(QStringLiteral("config.txt"), config(cutoff));
    // A new folder and database each time: the outcome must depend on this input alone.
    kd::fuzz::writeTree(simulationDir, files);
    kd::fuzz::runConsole(simulationDir);
    return 0;
}
