#include "base/FileStamp.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace kd {

FileStamp FileStamp::of(const QString& path)
{
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return stamp;
    stamp.valid = true;
    stamp.device = quint64(status.st_dev);
    stamp.inode = quint64(status.st_ino);
    stamp.size = qint64(status.st_size);
    stamp.modifiedMs =
        qint64(status.st_mtim.tv_sec) * 1000 + qint64(status.st_mtim.tv_nsec) / 1000000;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return stamp;
    stamp.valid = true;
    stamp.size = info.size();
    const QDateTime modified = info.lastModified();
    stamp.modifiedMs = modified.isValid() ? modified.toMSecsSinceEpoch() : 0;
#endif
    return stamp;
}

QDateTime FileStamp::modified() const
{
    return valid ? QDateTime::fromMSecsSinceEpoch(modifiedMs, Qt::UTC) : QDateTime();
}

bool FileStamp::sameFile(const FileStamp& other) const
{
    return valid && other.valid && inode != 0 && device == other.device && inode == other.inode;
}

bool FileStamp::sameContent(const FileStamp& other) const
{
    return valid && other.valid && size == other.size && modifiedMs == other.modifiedMs;
}

} // namespace kd
