#pragma once

#include "store/RunDefinition.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace kd {

// A result file written line by line: lines are joined by line feeds, without one after the
// last, and the file replaces any earlier one only when commit succeeds, so a failed or
// canceled run never leaves half a file.
class ResultFile
{
public:
    explicit ResultFile(const QString& path);

    // "<run name>_<format name>.csv" in the output folder, the name made safe for a file name.
    static QString path(const QString& outputDir, const QString& runName,
                        RunDefinition::Format format);

    bool open();
    void writeLine(const QString& line);
    // Writes what is pending and puts the file in place; false (see errorString) on failure.
    bool commit();
    // Drops everything written; an earlier file stays as it was.
    void discard();

    qint64 lineCount() const { return lines_; }
    QString filePath() const { return file_.fileName(); }
    QString errorString() const;

private:
    bool flush();

    QSaveFile file_;
    QByteArray pending_;
    qint64 lines_ = 0;
    bool failed_ = false;
    QString error_;
};

} // namespace kd
