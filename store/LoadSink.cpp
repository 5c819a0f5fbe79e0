#include "store/LoadSink.h"

#include <QDir>
#include <QRegularExpression>

namespace kd {

void LoadSink::setDataFolder(const QString& folder)
{
    dataFolder_ = folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
}

QString LoadSink::loadPath(const QFileInfo& file) const
{
    if (dataFolder_.isEmpty())
        return file.filePath();
    const QString relative = QDir(dataFolder_).relativeFilePath(file.absoluteFilePath());
    if (relative.startsWith(QLatin1String("../")) || relative == QLatin1String(".."))
        return QDir::cleanPath(file.absoluteFilePath());
    return QDir::cleanPath(relative);
}

QString LoadSink::modelTableName(Model model) const
{
    return model >= 0 && model < ModelCount ? Schema::tableName(model) : QString();
}

QStringList LoadSink::modelColumns(Model model) const
{
    return Schema::fileColumns(model);
}

QMap<QString, QStringList> LoadSink::columnAliases(Model model) const
{
    return Schema::aliases(model);
}

QList<Schema::Check> LoadSink::columnChecks(Model model) const
{
    return Schema::fileChecks(model);
}

QStringList LoadSink::keyColumns() const
{
    return Schema::keyColumns();
}

QString LoadSink::modelDisplayName(Model model) const
{
    static const QRegularExpression underscores(QStringLiteral("([_]+)"));
    return modelTableName(model).replace(underscores, QStringLiteral(" "));
}

} // namespace kd
