#include "store/Schema.h"

#include "store/DataProvider.h"

namespace kd::Schema {

namespace {

struct LinkTo
{
    int source;
    const char* idColumn;
    const char* codeColumn;
};

struct Table
{
    const char* name;
    QList<Column> columns;
    // For a data kind, the column that names what each row is about.
    const char* key = nullptr;
    // Foreign ids; the end of a load indexes their id columns in this order.
    QList<LinkTo> links = {};
    // Indexed before the ids are filled.
    QList<const char*> indexed = {};
};

const LinkTo ToTag{DataProvider::TagsModel, "tag_id", "tag_code"};
const LinkTo ToNode{DataProvider::NodesModel, "node_id", "node_code"};

const Column Id{"id", "integer primary key"};
const Column LoadId{"load_id", "integer"};
const Column TagId{"tag_id", "integer"};

Column file(const char* name, const char* type, Check check = Check::None, QStringList aliases = {})
{
    return Column{name, type, true, std::move(aliases), check};
}

Column date(const char* name, const char* type)
{
    return file(name, type, Check::DateTime);
}

Column real(const char* name, const char* type)
{
    return file(name, type, Check::RealNumber);
}

Column whole(const char* name, const char* type, QStringList aliases = {})
{
    return file(name, type, Check::WholeNumber, std::move(aliases));
}

const QList<Table>& tables()
{
    static const QList<Table> all = {
        {"tags",
         {Id,
          file("tag_code", "varchar(20)"),
          file("tagger_name_xlat", "varchar(20)"),
          whole("bucket", "integer"),
          whole("lot", "integer"),
          file("species_code_xlat", "varchar(20)"),
          real("length", "real"),
          real("weight", "double"),
          file("pit_code", "varchar(20)"),
          date("fish_tag_date", "integer"),
          date("tag_activate_date", "datetime"),
          date("tag_release_date", "datetime"),
          file("release_location", "varchar(20)"),
          file("release_location_xlat", "varchar(100)"),
          whole("release_location_river_kilometer", "integer"),
          file("release_location_latitude", "real"),
          file("release_location_longitude", "real"),
          file("mort_xlat", "integer"),
          file("pri", "real"),
          LoadId},
         "tag_code",
         {},
         {"tag_code"}},
        {"nodes",
         {Id, file("node_code", "varchar(20)"), file("latitude", "varchar(20)"),
          file("longitude", "varchar(20)"), whole("river_kilometer", "integer"),
          file("location", "varchar(20)"), file("location_xlat", "varchar(20)"),
          date("deploy_date", "varchar(20)"), date("recovery_date", "varchar(20)"),
          file("elev_or_depth", ""), LoadId},
         "node_code",
         {},
         {"node_code", "location"}},
        {"events",
         {Id, file("node_code", "varchar(20)"), file("tag_code", "varchar(20)"),
          date("first_computed_datetime", "datetime"), date("last_computed_datetime", "datetime"),
          file("hits", "integer"), LoadId, TagId, Column{"node_id", "integer"}},
         "tag_code",
         {ToTag, ToNode}},
        {"tag_attributes",
         {Id, file("tag_code", "varchar(20)"), file("attribute", "varchar(250)"),
          file("value", "varchar(250)"), LoadId, TagId},
         "tag_code",
         {ToTag}},
        {"tag_life_data",
         {Id, file("tag_code", "varchar(20)"), whole("lot", "integer"),
          file("tag_life_days", "real"), LoadId},
         "tag_code"},
        {"tag_locations",
         {Id, file("tag_code", "varchar(20)"), date("time", "datetime"), file("northing", "real"),
          file("easting", "real"), file("elevation", "real"), LoadId, TagId},
         "tag_code",
         {ToTag}},
        {"removals",
         {Id, file("tag_code", "varchar(20)"), date("removal_date", "datetime"),
          whole("removal_river_km", "int", {QStringLiteral("riverkm")}),
          file("removal_type", "varchar(20)", Check::None, {QStringLiteral("removal_type_id")}),
          TagId, LoadId},
         "tag_code",
         {ToTag}},
        {"loads",
         {Id, Column{"model", "varchar(20)"}, Column{"file_path", "varchar(250)"},
          Column{"load_date", "datetime"}, Column{"file_date", "datetime"},
          Column{"file_size", "integer"}}},
        {"runs",
         {Id, Column{"name", "varchar(200)"}, Column{"format", "varchar(20)"},
          Column{"run_date", "datetime"}, Column{"window_start", "datetime"},
          Column{"window_end", "datetime"}, Column{"intervals", "varchar(10)"}}},
        {"releases",
         {Id, Column{"name", "varchar(10)"}, Column{"release_location", "varchar(20)"},
          Column{"release_location_river_kilometer", "float"},
          Column{"species_code_xlat", "varchar(20)"}, Column{"release_year", "int"},
          Column{"sequence", "integer"}, Column{"run_id", "integer"}}},
        {"sites",
         {Id, Column{"name", "varchar(150)"}, Column{"location", "varchar(20)"},
          Column{"river_kilometer", "float"}, Column{"deploy_year", "integer"},
          Column{"sequence", "integer"}, Column{"run_id", "integer"}}},
        {"release_groups",
         {Id, Column{"release_location", "varchar(20)"},
          Column{"release_location_river_kilometer", "integer"},
          Column{"species_code_xlat", "varchar(10)"}, Column{"tag_year", "integer"},
          Column{"release_count", "integer"}}},
        {"arrays",
         {Id, Column{"location", "varchar(20)"}, Column{"river_kilometer", "integer"},
          Column{"deploy_year", "integer"}, Column{"node_count", "integer"},
          Column{"detection_count", "integer"}, Column{"tag_count", "integer"}}},
        {"releases_release_groups",
         {Id, Column{"release_id", "integer"}, Column{"release_group_id", "integer"}}},
        {"arrays_sites", {Id, Column{"array_id", "integer"}, Column{"site_id", "integer"}}},
        {"runs_sites", {Id, Column{"run_id", "integer"}, Column{"site_id", "integer"}}},
        {"releases_runs", {Id, Column{"release_id", "integer"}, Column{"run_id", "integer"}}},
    };
    return all;
}

bool isModel(int model)
{
    return model >= 0 && model < DataProvider::ModelCount;
}

} // namespace

int tableCount()
{
    return int(tables().size());
}

QString tableName(int table)
{
    if (table < 0 || table >= tableCount())
        return QString();
    return QString::fromLatin1(tables()[table].name);
}

const QList<Column>& columns(int table)
{
    static const QList<Column> none;
    return table >= 0 && table < tableCount() ? tables()[table].columns : none;
}

QString createStatement(int table)
{
    QStringList parts;
    for (const Column& column : columns(table)) {
        const QString type = QString::fromLatin1(column.type);
        parts.append(type.isEmpty() ? QString::fromLatin1(column.name)
                                    : QString::fromLatin1(column.name) + u' ' + type);
    }
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("create table %1 (%2)").arg(tableName(table), parts.join(u", "));
}

QStringList fileColumns(int model)
{
    QStringList names;
    if (!isModel(model))
        return names;
    for (const Column& column : columns(model)) {
        if (column.fromFile)
            names.append(QString::fromLatin1(column.name));
    }
    return names;
}

QMap<QString, QStringList> aliases(int model)
{
    QMap<QString, QStringList> result;
    if (!isModel(model))
        return result;
    for (const Column& column : columns(model)) {
        if (!column.aliases.isEmpty())
            result.insert(QString::fromLatin1(column.name), column.aliases);
    }
    return result;
}

QList<Check> fileChecks(int model)
{
    QList<Check> checks;
    if (!isModel(model))
        return checks;
    for (const Column& column : columns(model)) {
        if (column.fromFile)
            checks.append(column.check);
    }
    return checks;
}

const QList<Link>& links()
{
    static const QList<Link> all = [] {
        QList<Link> result;
        for (int model = 0; model < DataProvider::ModelCount; ++model) {
            const QStringList fields = fileColumns(model);
            for (const LinkTo& link : tables()[model].links)
                result.append({model, link.source, link.idColumn, link.codeColumn,
                               int(fields.indexOf(QLatin1String(link.codeColumn)))});
        }
        return result;
    }();
    return all;
}

QStringList indexedColumns(int model)
{
    QStringList names;
    if (!isModel(model))
        return names;
    for (const char* column : tables()[model].indexed)
        names.append(QString::fromLatin1(column));
    return names;
}

QStringList keyColumns()
{
    QStringList keys;
    for (int model = 0; model < DataProvider::ModelCount; ++model) {
        const QString key = QString::fromLatin1(tables()[model].key);
        if (!keys.contains(key))
            keys.append(key);
    }
    return keys;
}

QByteArray insertStatement(int model, const QStringList& extraColumns, int rows)
{
    QStringList names = fileColumns(model);
    if (names.isEmpty())
        return QByteArray();
    names.append(QStringLiteral("load_id"));
    names.append(extraColumns);
    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks.append(QStringLiteral("?"));
    const QString values = u'(' + marks.join(QStringLiteral(", ")) + u')';
    QStringList rowValues;
    for (int row = 0; row < rows; ++row)
        rowValues.append(values);
    return QStringLiteral("insert into %1 (%2) values %3")
        .arg(tableName(model), names.join(QStringLiteral(", ")),
             rowValues.join(QStringLiteral(", ")))
        .toUtf8();
}

} // namespace kd::Schema
