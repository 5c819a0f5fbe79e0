#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace kd {

// The capture-history file of a run: its name and the writing of its lines.
class RunOutputFile
{
public:
    // "<run name>_<format name>.csv". Characters that would lead out of the output folder or
    // cannot stand in a file name are replaced by '_'.
    static QString fileName(const QString& runName, int format);
    static QString path(const QString& outputDir, const QString& runName, int format);

    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Writes the lines joined by line feeds, without one after the last line. The file is
    // replaced only when every line was written: a failed or canceled write leaves any earlier
    // file as it was. On failure the reason goes to error.
    static bool write(const QString& path, const QStringList& lines, const Progress& progress,
                      const std::atomic<bool>* cancel, QString* error);
};

} // namespace kd
