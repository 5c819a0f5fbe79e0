#include "store/DataProvider.h"

#include "app/MessageLoggerI.h"

#include <QDir>
#include <QRegularExpression>

namespace kd {

DataProvider::DataProvider()
{
    const struct
    {
        const char* table;
        const char* header;
    } models[ModelCount] = {
        {"tags",
         "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,"
         "fish_tag_date,tag_activate_date,tag_release_date,release_location,release_location_xlat,"
         "release_location_river_kilometer,release_location_latitude,release_location_longitude,"
         "mort_xlat,pri"},
        {"nodes", "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
                  "recovery_date,elev_or_depth"},
        {"events", "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits"},
        {"tag_attributes", "tag_code,attribute,value"},
        {"tag_life_data", "tag_code,lot,tag_life_days"},
        {"tag_locations", "tag_code,time,northing,easting,elevation"},
        {"removals", "tag_code,removal_date,removal_river_km,removal_type"},
    };
    for (int model = 0; model < ModelCount; ++model) {
        tableNames_.insert(model, QString::fromLatin1(models[model].table));
        headers_.insert(model, QString::fromLatin1(models[model].header));
        aliases_.insert(model, {});
    }
    aliases_[RemovalsModel] = {
        {QStringLiteral("removal_river_km"), {QStringLiteral("riverkm")}},
        {QStringLiteral("removal_type"), {QStringLiteral("removal_type_id")}},
    };
}

DataProvider::~DataProvider() = default;

bool DataProvider::beginLoad()
{
    return true;
}

bool DataProvider::endLoad()
{
    return true;
}

bool DataProvider::abortLoad()
{
    return true;
}

int DataProvider::addRecordRun(const QString& /*name*/)
{
    return -1;
}

bool DataProvider::insertRowUtf8(int model, QByteArrayView line, int loadId)
{
    return insertRow(model, QString::fromUtf8(line), loadId);
}

QStringList DataProvider::runSiteNames()
{
    return {};
}

QString DataProvider::modelTableName(int model) const
{
    return tableNames_.value(model);
}

QStringList DataProvider::modelColumns(int model) const
{
    static const QRegularExpression separator(QStringLiteral("\\s*,\\s*"));
    return headers_.value(model).split(separator);
}

QMap<QString, QStringList> DataProvider::columnAliases(int model) const
{
    return aliases_.value(model);
}

QString DataProvider::modelDisplayName(int model) const
{
    static const QRegularExpression underscores(QStringLiteral("([_]+)"));
    return modelTableName(model).replace(underscores, QStringLiteral(" "));
}

void DataProvider::setError(const QString& text)
{
    hasError_ = true;
    errorText_ = text;
}

void DataProvider::failLoad(const QString& text)
{
    loadFailed_ = true;
    setError(text);
}

void DataProvider::setDataFolder(const QString& folder)
{
    dataFolder_ = folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
}

QString DataProvider::loadPath(const QFileInfo& file) const
{
    if (dataFolder_.isEmpty())
        return file.filePath();
    const QString relative = QDir(dataFolder_).relativeFilePath(file.absoluteFilePath());
    if (relative.startsWith(QLatin1String("../")) || relative == QLatin1String(".."))
        return QDir::cleanPath(file.absoluteFilePath());
    return QDir::cleanPath(relative);
}

void DataProvider::logMessage(const QString& text) const
{
    if (logger_)
        logger_->log(text, 0);
}

} // namespace kd
