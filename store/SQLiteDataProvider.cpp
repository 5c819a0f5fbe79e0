#include "store/SQLiteDataProvider.h"

#include "base/DateTimeText.h"
#include "base/FileStamp.h"
#include "store/SQLiteDefinitions.h"
#include "store/SQLiteRunExtractor.h"
#include "store/Schema.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringView>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace kd {

SQLiteDataProvider::SQLiteDataProvider(const QString& databasePath)
{
    for (int model = 0; model < ModelCount; ++model)
        columnCounts_[model] = int(modelColumns(Model(model)).size());
    openDatabase(databasePath);
}

SQLiteDataProvider::~SQLiteDataProvider()
{
    finalizeInsertStatements();
    // Every handle on the connection must go before it is removed.
    definitions_.reset();
    if (db_.isOpen())
        db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

bool SQLiteDataProvider::setBusyTimeout(int milliseconds)
{
    return handle_ && sqlite3_busy_timeout(handle_, milliseconds) == SQLITE_OK;
}

bool SQLiteDataProvider::isOpen() const
{
    return db_.isOpen();
}

bool SQLiteDataProvider::openDatabase(const QString& path)
{
    if (db_.isOpen())
        return true;
    connectionName_ = QString::fromLatin1(QSqlDatabase::defaultConnection);
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    db_.setDatabaseName(path);
    definitions_ = std::make_unique<SQLiteDefinitions>(
        db_, [this](const QString& text) { logMessage(text); },
        [this](const QString& text) { setError(text); });
    if (!db_.open()) {
        setError(db_.lastError().text());
        return false;
    }
    const QVariant handle = db_.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        handle_ = *static_cast<sqlite3* const*>(handle.constData());
    if (handle_) {
        SQLiteRunExtractor::registerFunctions(handle_);
        setBusyTimeout(BusyTimeoutMs);
    }

    return createMissingTables();
}

bool SQLiteDataProvider::createMissingTables()
{
    const QStringList existing = db_.tables();
    for (int table = 0; table < TableCount; ++table) {
        const QString name = tableName(table);
        if (existing.contains(name)) {
            // Databases of earlier versions gain the columns added since, in place; they are
            // never recreated or emptied.
            const QSqlRecord record = db_.record(name);
            for (const Schema::Column& column : Schema::columns(table)) {
                const QString columnName = QString::fromLatin1(column.name);
                if (record.contains(columnName))
                    continue;
                if (!execStatement(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                       .arg(name, columnName, QLatin1String(column.type)))) {
                    setError(
                        QStringLiteral("Unable to upgrade table %1: %2").arg(name, errorText()));
                    return false;
                }
            }
            continue;
        }
        if (!execStatement(Schema::createStatement(table))) {
            setError(QStringLiteral("Unable to create table %1: %2").arg(name, errorText()));
            return false;
        }
    }
    return true;
}

bool SQLiteDataProvider::execStatement(const QString& sql)
{
    if (!db_.isOpen())
        return false;
    QSqlQuery query(db_);
    if (!query.exec(sql)) {
        setError(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDataProvider::execLogged(const QString& sql)
{
    QSqlQuery query(db_);
    if (!query.exec(sql)) {
        logMessage(query.lastError().text());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Load bookkeeping

bool SQLiteDataProvider::beginLoad()
{
    resetLoadFailure();
    resetLoadState();
    QSqlQuery query(db_);
    if (!db_.isOpen() || !query.exec(QStringLiteral("BEGIN IMMEDIATE TRANSACTION"))) {
        setError(QStringLiteral("Unable to start the load: %1")
                     .arg(db_.isOpen() ? query.lastError().text()
                                       : QStringLiteral("the database is not open")));
        return false;
    }
    return true;
}

bool SQLiteDataProvider::isLoaded(const QFileInfo& file)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT file_path FROM loads where file_path=?"));
    query.addBindValue(loadPath(file));
    return query.exec() && query.next();
}

bool SQLiteDataProvider::isLoadCurrent(const QFileInfo& file)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT file_date, file_size FROM loads where file_path=?"));
    query.addBindValue(loadPath(file));
    if (!query.exec()) {
        setError(query.lastError().text());
        return false;
    }
    // A path that was never loaded is simply not current; that is no failure.
    if (!query.next())
        return false;
    const QDateTime stored = QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs);
    const QVariant storedSize = query.value(1);
    // A path booked twice (by an earlier version) is loaded again, which heals the doubling.
    if (query.next())
        return false;
    const FileStamp stamp = FileStamp::of(file.filePath());
    if (!stored.isValid() || !stamp.valid)
        return false;
    // Edits within one second, or that keep the time, still show in the size.
    if (stored.toMSecsSinceEpoch() != stamp.modifiedMs)
        return false;
    // Bookings of earlier versions have no size: the time decides, and the size is added.
    if (storedSize.isNull()) {
        QSqlQuery update(db_);
        update.prepare(QStringLiteral("UPDATE loads SET file_size=? WHERE file_path=?"));
        update.addBindValue(stamp.size);
        update.addBindValue(loadPath(file));
        return update.exec();
    }
    return storedSize.toLongLong() == stamp.size;
}

int SQLiteDataProvider::addLoad(const QFileInfo& file, Model model)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("INSERT INTO loads (file_path, load_date, file_date, model, "
                                 "file_size) VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(loadPath(file));
    query.addBindValue(QDateTime::currentDateTime());
    // Stored in UTC so that the comparison with the file's time survives daylight-saving changes.
    const FileStamp stamp = FileStamp::of(file.filePath());
    query.addBindValue(stamp.modified());
    query.addBindValue(modelTableName(model));
    query.addBindValue(stamp.size);
    if (!query.exec()) {
        failLoad(query.lastError().databaseText());
        return -1;
    }
    return query.lastInsertId().toInt();
}

bool SQLiteDataProvider::deleteLoad(const QFileInfo& file)
{
    return deleteLoadPath(loadPath(file)) >= 0;
}

QStringList SQLiteDataProvider::loadedPaths()
{
    QStringList paths;
    QList<QPair<qint64, QString>> absolute;
    {
        QSqlQuery query(db_);
        if (!query.exec(QStringLiteral("SELECT DISTINCT id, file_path FROM loads ORDER BY id"))) {
            failLoad(query.lastError().databaseText());
            return {};
        }
        while (query.next()) {
            const QString path = query.value(1).toString();
            if (!dataFolder().isEmpty() && QDir::isAbsolutePath(path))
                absolute.append({query.value(0).toLongLong(), path});
            else if (!paths.contains(path))
                paths.append(path);
        }
    }
    for (const auto& [id, path] : std::as_const(absolute)) {
        const QString relative = loadPath(QFileInfo(path));
        if (relative != path) {
            QSqlQuery update(db_);
            update.prepare(QStringLiteral("UPDATE loads SET file_path=? WHERE id=?"));
            update.addBindValue(relative);
            update.addBindValue(id);
            if (!update.exec()) {
                failLoad(update.lastError().databaseText());
                return {};
            }
        }
        if (!paths.contains(relative))
            paths.append(relative);
    }
    return paths;
}

qint64 SQLiteDataProvider::deleteLoadPath(const QString& path)
{
    struct Load
    {
        qint64 id;
        QString model;
    };
    // Held rows may belong to the load being removed.
    if (!finishRows())
        return -1;
    QList<Load> loads;
    {
        QSqlQuery query(db_);
        query.prepare(QStringLiteral("SELECT id, model FROM loads where file_path=?"));
        query.addBindValue(path);
        if (!query.exec()) {
            failLoad(query.lastError().databaseText());
            return -1;
        }
        while (query.next())
            loads.append({query.value(0).toLongLong(), query.value(1).toString()});
    }
    qint64 removed = 0;
    for (const Load& load : loads) {
        Model model = TagsModel;
        for (int m = 0; m < ModelCount; ++m) {
            if (modelTableName(Model(m)) == load.model) {
                model = Model(m);
                break;
            }
        }
        const QString table = modelTableName(model);
        QSqlQuery query(db_);
        if (!query.exec(QStringLiteral("DELETE FROM %1 WHERE load_id=%2")
                            .arg(table, QString::number(load.id)))) {
            logMessage(QStringLiteral("Error deleting loads from %1 table.").arg(table));
            failLoad(query.lastError().databaseText());
            return -1;
        }
        if (query.numRowsAffected() > 0) {
            removed += query.numRowsAffected();
            noteSourceChange(model);
        }
        if (!query.exec(QStringLiteral("DELETE FROM loads WHERE id=%1").arg(load.id))) {
            logMessage(QStringLiteral("Error deleting id #%1 from the loads table.").arg(load.id));
            failLoad(query.lastError().databaseText());
            return -1;
        }
    }
    return removed;
}

sqlite3_stmt* SQLiteDataProvider::insertStatement(Model model, int rows)
{
    sqlite3_stmt*& slot = rows == 1 ? insertStatements_[model] : batchStatements_[model];
    if (slot)
        return slot;
    if (!handle_) {
        setError(QStringLiteral("The database is not open"));
        return nullptr;
    }
    QStringList idColumns;
    for (const Schema::Link& link : Schema::links()) {
        if (link.target == model)
            idColumns.append(QLatin1String(link.idColumn));
    }
    const QByteArray sql = Schema::insertStatement(model, idColumns, rows);
    if (sqlite3_prepare_v2(handle_, sql.constData(), int(sql.size()), &slot, nullptr) !=
        SQLITE_OK) {
        setError(QString::fromUtf8(sqlite3_errmsg(handle_)));
        sqlite3_finalize(slot);
        slot = nullptr;
    }
    return slot;
}

void SQLiteDataProvider::finalizeInsertStatements()
{
    pending_.clear();
    for (auto* statements : {&insertStatements_, &batchStatements_}) {
        for (sqlite3_stmt*& statement : *statements) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }
}

void SQLiteDataProvider::PendingRows::clear()
{
    model = -1;
    rows = 0;
    // Emptied, not freed: the next rows reuse the room.
    text.resize(0);
    fields.clear();
    loadIds.clear();
    ids.clear();
}

bool SQLiteDataProvider::insertFields(Model model, const QList<QByteArrayView>& fields, int loadId)
{
    if (model < 0 || model >= ModelCount)
        return false;
    // The rows of one statement are of one table; the rows of a source table must also be
    // written before the ids of its codes are read.
    if (pending_.rows > 0 && pending_.model != model && !finishRows())
        return false;
    if (!insertStatement(model, 1) || !insertStatement(model, BatchRows))
        return false;
    const int expected = columnCounts_[model];
    if (fields.size() != expected) {
        setError(QStringLiteral("Wrong number of fields for %1: %2 instead of %3")
                     .arg(modelTableName(model))
                     .arg(fields.size())
                     .arg(expected));
        return false;
    }
    // The first fields hold the codes of the foreign ids.
    std::array<std::string_view, 2> codes;
    for (std::size_t f = 0; f < codes.size() && qsizetype(f) < fields.size(); ++f)
        codes[f] =
            std::string_view(fields[qsizetype(f)].data(), size_t(fields[qsizetype(f)].size()));
    for (const Schema::Link& link : Schema::links()) {
        if (link.target != model)
            continue;
        Source& source = sources_[link.source];
        if (!source.stale && !source.ids.isRead()) {
            QString error;
            if (!source.ids.read(handle_, modelTableName(Model(link.source)).toLatin1().constData(),
                                 link.codeColumn, error)) {
                failLoad(error);
                return false;
            }
        }
        // A stale map leaves the id to the update at the end of the load.
        qint64 id = 0;
        const int fieldIndex = link.codeField;
        const bool found = !source.stale && fieldIndex >= 0 && fieldIndex < int(codes.size()) &&
                           source.ids.find(codes[fieldIndex], id);
        pending_.ids.push_back(found ? std::optional<qint64>(id) : std::nullopt);
    }
    for (const QByteArrayView field : fields) {
        pending_.fields.emplace_back(pending_.text.size(), int(field.size()));
        pending_.text.append(field);
    }
    pending_.loadIds.push_back(loadId);
    pending_.model = model;
    ++pending_.rows;
    noteSourceChange(model);
    return pending_.rows < BatchRows || finishRows();
}

bool SQLiteDataProvider::finishRows()
{
    if (pending_.rows == 0)
        return true;
    const Model model = Model(pending_.model);
    int row = 0;
    while (row < pending_.rows) {
        const int rows = pending_.rows - row >= BatchRows ? BatchRows : 1;
        if (!writeRows(insertStatement(model, rows), row, rows)) {
            pending_.clear();
            return false;
        }
        if (firstNewRow_[model] == 0)
            firstNewRow_[model] = sqlite3_last_insert_rowid(handle_) - rows + 1;
        row += rows;
    }
    pending_.clear();
    return true;
}

bool SQLiteDataProvider::writeRows(sqlite3_stmt* statement, int firstRow, int rows)
{
    if (!statement) {
        failLoad(errorText());
        return false;
    }
    const int fieldCount = columnCounts_[pending_.model];
    const int linkCount = int(pending_.ids.size()) / pending_.rows;
    const char* text = pending_.text.constData();
    int parameter = 1;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        for (int field = 0; field < fieldCount; ++field) {
            const auto& [offset, size] = pending_.fields[std::size_t(row * fieldCount + field)];
            sqlite3_bind_text(statement, parameter++, text + offset, size, SQLITE_STATIC);
        }
        sqlite3_bind_int(statement, parameter++, pending_.loadIds[std::size_t(row)]);
        for (int link = 0; link < linkCount; ++link) {
            const std::size_t at = std::size_t(row * linkCount + link);
            if (pending_.ids[at])
                sqlite3_bind_int64(statement, parameter++, *pending_.ids[at]);
            else
                sqlite3_bind_null(statement, parameter++);
        }
    }
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE) {
        // Any failure of the database itself (a full disk, an I/O error) may have ended the
        // transaction: the load must stop rather than go on committing row by row.
        failLoad(QString::fromUtf8(sqlite3_errmsg(handle_)));
        return false;
    }
    return true;
}

void SQLiteDataProvider::noteSourceChange(int table)
{
    if (table != TagsModel && table != NodesModel)
        return;
    Source& source = sources_[table];
    source.changed = true;
    if (source.ids.isRead()) {
        source.ids.clear();
        source.stale = true;
    }
}

void SQLiteDataProvider::resetLoadState()
{
    for (Source& source : sources_)
        source = Source();
    firstNewRow_.fill(0);
}

bool SQLiteDataProvider::isModelLoaded(Model model)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT id FROM loads WHERE model=?"));
    query.addBindValue(modelTableName(model));
    return query.exec() && query.next();
}

bool SQLiteDataProvider::hasCoreData()
{
    return isModelLoaded(TagsModel) && isModelLoaded(NodesModel) && isModelLoaded(EventsModel);
}

bool SQLiteDataProvider::clearTable(int table)
{
    const QString name = tableName(table);
    if (name.isEmpty() || !finishRows())
        return false;
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(name))) {
        setError(query.lastError().text());
        return false;
    }
    noteSourceChange(table);
    return true;
}

bool SQLiteDataProvider::clearAllData()
{
    const QStringList existing = db_.tables();
    for (int table = 0; table < TableCount; ++table) {
        if (existing.contains(tableName(table)) && !clearTable(table))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// End of load

bool SQLiteDataProvider::endLoad()
{
    if (!finishRows() || !updateIndices() || !updateForeignIds()) {
        abortLoad();
        return false;
    }
    // The indices on the id columns are built after the ids are filled: building them once is
    // much cheaper than keeping them up to date through millions of updates.
    for (const Schema::Link& link : Schema::links()) {
        if (!createIndex(Model(link.target), {QString::fromLatin1(link.idColumn)})) {
            abortLoad();
            return false;
        }
    }
    // Built inside the load's transaction, so that the summaries never disagree with the data.
    if (!buildReleaseGroups() || !buildArrays() || !countArrayDetections()) {
        abortLoad();
        return false;
    }

    QSqlQuery commit(db_);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        setError(commit.lastError().databaseText());
        abortLoad();
        return false;
    }
    resetLoadState();
    return true;
}

int SQLiteDataProvider::sharedTagCodes(QStringList& first, int limit)
{
    first.clear();
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT tag_code FROM tags WHERE tag_code IS NOT NULL AND "
                                   "tag_code <> '' GROUP BY tag_code HAVING COUNT(*) > 1 ORDER "
                                   "BY MIN(id)"))) {
        logMessage(query.lastError().text());
        return -1;
    }
    int count = 0;
    while (query.next()) {
        if (count++ < limit)
            first.append(query.value(0).toString());
    }
    return count;
}

bool SQLiteDataProvider::abortLoad()
{
    pending_.clear();
    resetLoadState();
    QSqlQuery query(db_);
    const bool rolledBack = query.exec(QStringLiteral("ROLLBACK"));
    return rolledBack;
}

bool SQLiteDataProvider::updateIndices()
{
    logMessage(QStringLiteral("Updating indices..."));
    // Only what the foreign-id update looks up and the summaries group by; see endLoad for the
    // id columns.
    for (int model = 0; model < ModelCount; ++model) {
        for (const QString& column : Schema::indexedColumns(model)) {
            if (!createIndex(Model(model), {column}))
                return false;
        }
    }
    return true;
}

bool SQLiteDataProvider::createIndex(Model model, const QStringList& columns)
{
    const QString table = modelTableName(model);
    const QString sql = QStringLiteral("create index if not exists idx_") + table +
                        QLatin1Char('_') + columns.join(QLatin1Char('_')) + QStringLiteral(" on ") +
                        table + QLatin1Char('(') + columns.join(QLatin1Char(',')) +
                        QLatin1Char(')');
    QSqlQuery query(db_);
    if (!query.exec(sql)) {
        setError(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDataProvider::updateForeignIds()
{
    logMessage(QStringLiteral("Updating foreign ids..."));
    for (const Schema::Link& link : Schema::links()) {
        const QString target = modelTableName(Model(link.target));
        const QString idColumn = QLatin1String(link.idColumn);
        const Source& source = sources_[link.source];
        const qint64 firstNew = firstNewRow_[link.target];
        // The rows of this load already hold their ids, unless the source table changed after
        // they were taken. Rows of earlier loads keep theirs unless the source changed, in
        // which case their ids may point at deleted or reused rows.
        QString where;
        if (!source.changed)
            where = QStringLiteral(" WHERE (%1 IS NULL OR %1 = '')").arg(idColumn);
        if (!source.stale && firstNew > 0)
            where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) +
                     QStringLiteral("id < %1").arg(firstNew);
        const QString sql =
            QStringLiteral("UPDATE %1 SET %3 = (SELECT %2.id FROM %2 WHERE %1.%4 = %2.%4)")
                .arg(target, modelTableName(Model(link.source)), idColumn,
                     QLatin1String(link.codeColumn)) +
            where;
        QSqlQuery query(db_);
        if (!query.exec(sql)) {
            setError(query.lastError().text());
            return false;
        }
    }
    return true;
}

bool SQLiteDataProvider::buildReleaseGroups()
{
    const QString sql = QStringLiteral(
        "INSERT INTO %1 (release_location, release_location_river_kilometer, species_code_xlat, "
        "tag_year, release_count) SELECT release_location, release_location_river_kilometer, "
        "species_code_xlat, strftime('%Y', tag_release_date) as tag_year, count(*) as "
        "release_count FROM %2 WHERE mort_xlat = 0 GROUP BY release_location, "
        "release_location_river_kilometer, species_code_xlat, strftime('%Y', tag_release_date)");
    QSqlQuery query(db_);
    // Rebuilt from scratch: appending would double every group on a second load.
    if (!query.exec(QStringLiteral("DELETE FROM release_groups")) ||
        !query.exec(sql.arg(QStringLiteral("release_groups"), QStringLiteral("tags")))) {
        const QString message =
            QStringLiteral("Error creating release groups table: ") + query.lastError().text();
        setError(message);
        logMessage(message);
        return false;
    }
    return true;
}

bool SQLiteDataProvider::buildArrays()
{
    const QString sql = QStringLiteral(
        "INSERT INTO %1 (location, river_kilometer, deploy_year, node_count) SELECT location, "
        "river_kilometer, strftime('%Y', deploy_date) as deploy_year, count(distinct "
        "location_xlat) as node_count FROM nodes GROUP BY location, river_kilometer, "
        "strftime('%Y', deploy_date)");
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("DELETE FROM arrays")) ||
        !query.exec(sql.arg(QStringLiteral("arrays")))) {
        const QString message =
            QStringLiteral("Error creating arrays table: ") + query.lastError().text();
        setError(message);
        logMessage(message);
        return false;
    }
    return true;
}

bool SQLiteDataProvider::countArrayDetections()
{
    // Counted once per load, so that the arrays list shows them without reading the events.
    // A node belongs to the array it was grouped into (location, kilometre and deploy year);
    // the small node-to-array map keeps the pass over the events to one look-up per event.
    const QString sql = QStringLiteral(
        "UPDATE arrays SET detection_count = COALESCE(c.detections, 0), tag_count = "
        "COALESCE(c.tags, 0) FROM arrays a LEFT JOIN (SELECT m.array_id, COUNT(*) AS detections, "
        "COUNT(DISTINCT e.tag_code) AS tags FROM events e JOIN temp.node_arrays m ON m.node_id = "
        "e.node_id GROUP BY m.array_id) c ON c.array_id = a.id WHERE a.id = arrays.id");
    QSqlQuery query(db_);
    const bool ok =
        query.exec(QStringLiteral("DROP TABLE IF EXISTS temp.node_arrays")) &&
        query.exec(QStringLiteral(
            "CREATE TEMP TABLE node_arrays (node_id INTEGER PRIMARY KEY, array_id INTEGER)")) &&
        query.exec(QStringLiteral(
            "INSERT OR IGNORE INTO temp.node_arrays (node_id, array_id) SELECT n.id, a.id FROM "
            "nodes n JOIN arrays a ON n.location IS a.location AND n.river_kilometer IS "
            "a.river_kilometer AND STRFTIME('%Y', n.deploy_date) IS a.deploy_year")) &&
        query.exec(sql);
    const QString failure = query.lastError().text();
    QSqlQuery(db_).exec(QStringLiteral("DROP TABLE IF EXISTS temp.node_arrays"));
    if (!ok) {
        const QString message = QStringLiteral("Error counting detections per array: ") + failure;
        setError(message);
        logMessage(message);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Site, release and run definitions

bool SQLiteDataProvider::addRelease(const QString& name, int riverKm,
                                    const QList<int>& releaseGroupIds)
{
    return definitions_->addRelease(name, riverKm, releaseGroupIds);
}

bool SQLiteDataProvider::addSite(const QString& name, int riverKm, const QList<int>& arrayIds)
{
    return definitions_->addSite(name, riverKm, arrayIds);
}

bool SQLiteDataProvider::addReleaseRecord(const ReleaseRecord& release)
{
    return definitions_->addReleaseRecord(release);
}

bool SQLiteDataProvider::addSiteRecord(const SiteRecord& site)
{
    return definitions_->addSiteRecord(site);
}

int SQLiteDataProvider::addRun(const RunDefinition& run)
{
    return definitions_->addRun(run);
}

int SQLiteDataProvider::updateRun(const RunDefinition& run)
{
    return definitions_->updateRun(run);
}

bool SQLiteDataProvider::deleteRun(int runId)
{
    return definitions_->deleteRun(runId);
}

bool SQLiteDataProvider::deleteReleases(const QList<int>& releaseIds)
{
    return definitions_->deleteReleases(releaseIds);
}

bool SQLiteDataProvider::deleteSites(const QList<int>& siteIds)
{
    return definitions_->deleteSites(siteIds);
}

bool SQLiteDataProvider::clearReleases()
{
    return definitions_->clearReleases();
}

bool SQLiteDataProvider::clearSites()
{
    return definitions_->clearSites();
}

RunDefinition SQLiteDataProvider::runDefinition(int runId)
{
    return definitions_->runDefinition(runId);
}

bool SQLiteDataProvider::setRunWindow(int runId, const QDateTime& start, const QDateTime& end)
{
    return definitions_->setRunWindow(runId, start, end);
}

bool SQLiteDataProvider::hasReleaseGroup(const QString& location, const QString& species, int year)
{
    return definitions_->hasReleaseGroup(location, species, year);
}

bool SQLiteDataProvider::hasArray(const QString& location, int year)
{
    return definitions_->hasArray(location, year);
}

int SQLiteDataProvider::addRecordRun(const QString& name)
{
    return definitions_->addRecordRun(name);
}

QList<DefinitionPart> SQLiteDataProvider::siteArrays()
{
    return definitions_->siteArrays();
}

QList<DefinitionPart> SQLiteDataProvider::releaseGroupsOfReleases()
{
    return definitions_->releaseGroupsOfReleases();
}

QList<int> SQLiteDataProvider::sitesInRiverOrder(const QList<int>& siteIds)
{
    return definitions_->sitesInRiverOrder(siteIds);
}

// ---------------------------------------------------------------------------------------------
// Run extraction

RunExtraction SQLiteDataProvider::extractRun(int runId)
{
    RunExtraction extraction;
    if (!finishRows()) {
        extraction.error = errorText();
        return extraction;
    }
    extraction = SQLiteRunExtractor(db_, handle_).extract(runId, extraction.error);
    if (!extraction.ok)
        setError(extraction.error);
    return extraction;
}

} // namespace kd
