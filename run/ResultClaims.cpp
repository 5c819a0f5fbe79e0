#include "run/ResultClaims.h"

#include <QDir>
#include <QFileInfo>

namespace kd {

QString ResultClaims::claim(const QString& path, const QString& run)
{
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    const QString key = folder.isEmpty() ? QDir::cleanPath(path)
                                         : QDir(folder).filePath(QFileInfo(path).fileName());
    const auto earlier = claimed_.constFind(key);
    if (earlier != claimed_.cend())
        return QStringLiteral("Run \"%1\" refused: run \"%2\" writes the same file %3")
            .arg(run, *earlier, path);
    claimed_.insert(key, run);
    return QString();
}

} // namespace kd
