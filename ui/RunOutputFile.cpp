#include "ui/RunOutputFile.h"

#include "processing/SafeFileName.h"
#include "store/RunDefinition.h"

#include <QDir>
#include <QSaveFile>

namespace kd {

QString RunOutputFile::fileName(const QString& runName, int format)
{
    return QStringLiteral("%1_%2.csv").arg(safeFileName(runName), RunDefinition::formatName(format));
}

QString RunOutputFile::path(const QString& outputDir, const QString& runName, int format)
{
    return QDir(outputDir).filePath(fileName(runName, format));
}

bool RunOutputFile::write(const QString& path, const QStringList& lines, const Progress& progress,
                          const std::atomic<bool>* cancel, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 total = lines.size();
    constexpr qint64 chunk = 2000;
    QString text;
    for (qint64 first = 0; first < total; first += chunk) {
        if (cancel && cancel->load()) {
            file.cancelWriting();
            file.commit();
            if (error)
                *error = QStringLiteral("canceled");
            return false;
        }
        text.clear();
        const qint64 last = std::min(total, first + chunk);
        for (qint64 i = first; i < last; ++i) {
            if (i > 0)
                text += QLatin1Char('\n');
            text += lines.at(i);
        }
        if (file.write(text.toUtf8()) < 0)
            break;
        if (progress)
            progress(last, total);
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace kd
