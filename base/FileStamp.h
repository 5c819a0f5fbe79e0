#pragma once

#include <QDateTime>
#include <QString>

namespace kd {

// What tells a file apart and shows that it changed: its device and inode (so that two names of
// one file, hard links included, are known as one) and its size and modification time to the
// millisecond. Read from the file system directly: Qt reports a modification time of 0 (the
// epoch) as no time at all.
struct FileStamp
{
    bool valid = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedMs = 0;

    // The stamp of the file a path leads to (links followed); not valid when it cannot be read.
    static FileStamp of(const QString& path);

    // The modification time in UTC; valid whenever the stamp is.
    QDateTime modified() const;
    // The same file, whatever its name: device and inode; false when either is unknown.
    bool sameFile(const FileStamp& other) const;
    // Unchanged in size and modification time.
    bool sameContent(const FileStamp& other) const;
};

} // namespace kd
