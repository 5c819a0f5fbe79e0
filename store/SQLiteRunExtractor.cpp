#include "store/SQLiteRunExtractor.h"

#include "base/DateTimeText.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace kd {

namespace {

QString temp()
{
    return QStringLiteral("TEMP");
}

bool inIntRange(double value)
{
    return value >= double(std::numeric_limits<int>::min()) &&
           value <= double(std::numeric_limits<int>::max());
}

// A stored kilometre as an int; 0, as for text that is no number, when out of the int range.
int kilometre(const QVariant& value)
{
    bool ok = false;
    const double number = std::round(value.toDouble(&ok));
    return ok && inIntRange(number) ? int(number) : 0;
}

// kd_seconds(text): seconds since 1970 of a date-time the program can read, else NULL.
void sqlSeconds(sqlite3_context* context, int, sqlite3_value** values)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    const QDateTime dateTime =
        DateTimeText::parse(QString::fromUtf8(text, sqlite3_value_bytes(values[0])));
    if (dateTime.isValid())
        sqlite3_result_int64(context, DateTimeText::seconds(dateTime));
    else
        sqlite3_result_null(context);
}

// Reads the columns of the capture query. Texts repeat from row to row (a fish's release and
// tag on every site), so the previous value is reused when the bytes are equal: less work, and
// the rows share their strings.
class CaptureColumns
{
public:
    explicit CaptureColumns(sqlite3_stmt* statement) : statement_(statement) {}

    QString text(int column)
    {
        const QByteArrayView bytes = raw(column);
        Cached& cached = cache_[column];
        if (!cached.valid || cached.bytes != bytes) {
            cached.bytes = bytes.toByteArray();
            cached.text = QString::fromUtf8(bytes);
            cached.valid = true;
        }
        return cached.text;
    }

    // An integer; fallback when NULL or not a number.
    int integer(int column, int fallback) const
    {
        // A value beyond the int range is no number for these fields: converting it would be
        // undefined or wrap to a bogus kilometre.
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER: {
            const qint64 value = sqlite3_column_int64(statement_, column);
            return inIntRange(double(value)) ? int(value) : fallback;
        }
        case SQLITE_FLOAT: {
            const double value = std::round(sqlite3_column_double(statement_, column));
            return inIntRange(value) ? int(value) : fallback;
        }
        case SQLITE_TEXT: {
            bool ok = false;
            const int value = QString::fromUtf8(raw(column)).trimmed().toInt(&ok);
            return ok ? value : fallback;
        }
        default:
            return fallback;
        }
    }

    float real(int column) const
    {
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(statement_, column);
            return std::isfinite(value) && std::fabs(value) <= double(FLT_MAX) ? float(value)
                                                                               : 0.0f;
        }
        case SQLITE_TEXT: {
            // "nan" and "inf" are no measures: they read as a missing value does.
            bool ok = false;
            const float value = QString::fromUtf8(raw(column)).trimmed().toFloat(&ok);
            return ok && std::isfinite(value) ? value : 0.0f;
        }
        default:
            return 0.0f;
        }
    }

    QDateTime dateTime(int column) const
    {
        if (sqlite3_column_type(statement_, column) != SQLITE_TEXT)
            return {};
        return DateTimeText::parse(QString::fromUtf8(raw(column)));
    }

private:
    struct Cached
    {
        bool valid = false;
        QByteArray bytes;
        QString text;
    };

    QByteArrayView raw(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return QByteArrayView(data, data ? sqlite3_column_bytes(statement_, column) : 0);
    }

    sqlite3_stmt* statement_;
    Cached cache_[14];
};

// Steps the capture query and drops the working tables when done. The query is prepared at
// the first row, so that its cost falls where the rows are read.
class SQLiteCaptureCursor : public CaptureCursor
{
public:
    SQLiteCaptureCursor(sqlite3* handle, QByteArray sql, QStringList tables)
        : handle_(handle), sql_(std::move(sql)), tables_(std::move(tables))
    {
    }

    ~SQLiteCaptureCursor() override
    {
        sqlite3_finalize(statement_);
        for (const QString& table : std::as_const(tables_)) {
            const QByteArray drop = "DROP TABLE IF EXISTS temp." + table.toUtf8();
            sqlite3_exec(handle_, drop.constData(), nullptr, nullptr, nullptr);
        }
    }

    bool next(CaptureRow& row) override
    {
        if (done_)
            return false;
        if (!statement_) {
            if (sqlite3_prepare_v2(handle_, sql_.constData(), int(sql_.size()), &statement_,
                                   nullptr) != SQLITE_OK) {
                fail();
                return false;
            }
            columns_ = std::make_unique<CaptureColumns>(statement_);
        }
        const int result = sqlite3_step(statement_);
        if (result != SQLITE_ROW) {
            if (result != SQLITE_DONE)
                fail();
            done_ = true;
            return false;
        }
        CaptureColumns& columns = *columns_;
        row = CaptureRow();
        row.releaseName = columns.text(0);
        row.tagCode = columns.text(1);
        row.lot = columns.integer(2, 0);
        row.tagActivateDate = columns.dateTime(3);
        row.tagReleaseDate = columns.dateTime(4);
        row.taggerName = columns.text(5);
        row.bucket = columns.integer(6, 0);
        row.length = columns.real(7);
        row.weight = columns.real(8);
        // After real(): reading a number as text converts it, and its type is then lost.
        if (measureText_) {
            row.lengthText = columns.text(7);
            row.weightText = columns.text(8);
        }
        row.releaseRiverKm = columns.integer(9, -1);
        row.siteName = columns.text(10);
        row.firstDetection = columns.dateTime(11);
        row.lastDetection = columns.dateTime(12);
        row.removalRiverKm = columns.integer(13, -1);
        return true;
    }

    QString errorText() const override { return error_; }
    void setMeasureText(bool on) override { measureText_ = on; }

private:
    void fail()
    {
        error_ = QString::fromUtf8(sqlite3_errmsg(handle_));
        done_ = true;
    }

    sqlite3* handle_;
    QByteArray sql_;
    QStringList tables_;
    sqlite3_stmt* statement_ = nullptr;
    std::unique_ptr<CaptureColumns> columns_;
    bool done_ = false;
    bool measureText_ = false;
    QString error_;
};

} // namespace

void SQLiteRunExtractor::registerFunctions(sqlite3* handle)
{
    // Detection windows compare date-times as the program reads them, not as text.
    sqlite3_create_function_v2(handle, "kd_seconds", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               &sqlSeconds, nullptr, nullptr, nullptr);
}

RunExtraction SQLiteRunExtractor::extract(int runId, QString& error)
{
    RunExtraction extraction;
    if (!handle_) {
        error = QStringLiteral("The database is not open");
        return extraction;
    }
    // Temporary tables with a per-extraction suffix: two runs within one second both work, and
    // the database file does not grow with every run.
    static std::atomic<int> extractions{0};
    Working work(extraction, error);
    work.runId = runId;
    work.suffix =
        QStringLiteral("%1_%2").arg(QDateTime::currentSecsSinceEpoch()).arg(++extractions);
    work.nodesSites = QStringLiteral("nodes_sites_") + work.suffix;
    work.releasesTags = QStringLiteral("releases_tags_") + work.suffix;
    work.window = windowClause(runId);
    if (!readReleaseKm(work))
        return extraction;

    if (!runSteps(
            work,
            {{QStringLiteral(
                  "CREATE %1 TABLE %2 AS SELECT sites.name, nodes.id as node_id, "
                  "nodes.river_kilometer FROM nodes JOIN arrays ON nodes.location = "
                  "arrays.location AND "
                  "STRFTIME('%Y', nodes.deploy_date) = arrays.deploy_year JOIN arrays_sites "
                  "ON "
                  "arrays.id = arrays_sites.array_id JOIN sites ON arrays_sites.site_id = "
                  "sites.id "
                  "JOIN "
                  "runs_sites ON runs_sites.site_id = sites.id AND runs_sites.run_id=%3")
                  .arg(temp(), work.nodesSites, QString::number(runId)),
              work.nodesSites, "Internal error: can't create temporary sites/nodes table: %1.\n%2"},
             releasesTagsStep(work, true)}))
        return extraction;

    const QByteArray sql = generalPlan_ || needsGeneralPlan(work.nodesSites, work.releasesTags)
                               ? generalPlan(work)
                               : directPlan(work);
    if (sql.isEmpty())
        return extraction;
    readSites(work);
    extraction.ok = true;
    extraction.rows = std::make_unique<SQLiteCaptureCursor>(handle_, sql, work.created);
    return extraction;
}

QString SQLiteRunExtractor::windowClause(int runId)
{
    // A run's detection window keeps only the events whose first detection lies within it.
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT window_start, window_end FROM runs WHERE id=?"));
    query.addBindValue(runId);
    if (!query.exec() || !query.next())
        return QString();
    QStringList bounds;
    const QDateTime start = DateTimeText::parseStrict(query.value(0).toString());
    const QDateTime end = DateTimeText::parseStrict(query.value(1).toString());
    if (start.isValid())
        bounds.append(QStringLiteral("kd_seconds(Event.first_computed_datetime) >= %1")
                          .arg(DateTimeText::seconds(start)));
    if (end.isValid())
        bounds.append(QStringLiteral("kd_seconds(Event.first_computed_datetime) <= %1")
                          .arg(DateTimeText::seconds(end)));
    return bounds.isEmpty() ? QString()
                            : QStringLiteral(" WHERE ") + bounds.join(QStringLiteral(" AND "));
}

bool SQLiteRunExtractor::readReleaseKm(Working& work)
{
    // The kilometre given to each release places it on the survival chart, before the one
    // its tags record.
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT r.name, r.release_location_river_kilometer FROM releases r JOIN releases_runs "
        "l ON l.release_id = r.id WHERE l.run_id = ?"));
    query.addBindValue(work.runId);
    if (!query.exec()) {
        work.error = query.lastError().text();
        return false;
    }
    while (query.next())
        work.extraction.releaseRiverKm.insert(query.value(0).toString(), query.value(1).toInt());
    return true;
}

void SQLiteRunExtractor::dropCreated(Working& work)
{
    QSqlQuery drop(db_);
    for (const QString& table : std::as_const(work.created))
        drop.exec(QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(table));
}

bool SQLiteRunExtractor::runSteps(Working& work, std::initializer_list<Step> steps)
{
    for (const Step& step : steps) {
        QSqlQuery query(db_);
        if (!query.exec(step.sql)) {
            work.error =
                QString::fromLatin1(step.message).arg(step.table, query.lastError().text());
            dropCreated(work);
            return false;
        }
        work.created.append(step.table);
    }
    return true;
}

void SQLiteRunExtractor::tryExec(const QString& sql)
{
    // Statements whose failure only costs time (an index, dropping a working table).
    QSqlQuery query(db_);
    query.exec(sql);
}

SQLiteRunExtractor::Step SQLiteRunExtractor::releasesTagsStep(const Working& work, bool tagsFirst)
{
    return Step{releasesTagsSql(work.releasesTags, work.runId, tagsFirst), work.releasesTags,
                "Internal error: can't create temporary releases/tags table: %1.\n%2"};
}

bool SQLiteRunExtractor::countRows(Working& work, const QString& sql)
{
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(sql) || !query.next()) {
        work.error = query.lastError().text();
        dropCreated(work);
        return false;
    }
    work.extraction.rowCount = query.value(0).toLongLong();
    return true;
}

QByteArray SQLiteRunExtractor::generalPlan(Working& work)
{
    const QString detections = QStringLiteral("detections_") + work.suffix;
    // The general query's groups take their values from rows in the order they come, so
    // its fish are listed as they always were.
    tryExec(QStringLiteral("DROP TABLE temp.%1").arg(work.releasesTags));
    work.created.removeAll(work.releasesTags);
    if (!runSteps(
            work,
            {releasesTagsStep(work, false),
             {QStringLiteral(
                  "CREATE %1 TABLE %2 AS SELECT Tag.id as tag_id, NodeSite.name as site_name, "
                  "NodeSite.river_kilometer, Event.first_computed_datetime, "
                  "Event.last_computed_datetime FROM  `%3` Event JOIN `%4` NodeSite ON "
                  "Event.node_id = "
                  "NodeSite.node_id JOIN `%5` Tag on Event.tag_id = Tag.id%6")
                  .arg(temp(), detections, QStringLiteral("events"), work.nodesSites,
                       QStringLiteral("tags"), work.window),
              detections, "Internal error: can't create temporary detections table: %1.\n%2"}}))
        return QByteArray();
    // The capture query joins the detections by tag; an index halves its time on large runs.
    tryExec(QStringLiteral("CREATE INDEX temp.%1_tag_id ON %1(tag_id)").arg(detections));
    // As many rows as the capture query gives: one per fish and site it was detected at,
    // one for a fish detected nowhere. Counted here, so that the rows need not be held.
    if (!countRows(work, QStringLiteral("SELECT COUNT(*) FROM (SELECT DISTINCT R.release_name, "
                                        "R.tag_code, D.site_name FROM %1 R LEFT OUTER JOIN "
                                        "(SELECT DISTINCT tag_id, site_name FROM %2) D ON "
                                        "R.tag_id = D.tag_id)")
                             .arg(work.releasesTags, detections)))
        return QByteArray();
    return QStringLiteral(
               "Select ReleaseTag.release_name, ReleaseTag.tag_code, ReleaseTag.lot, "
               "ReleaseTag.tag_activate_date, ReleaseTag.tag_release_date, "
               "ReleaseTag.tagger_name_xlat, ReleaseTag.bucket, ReleaseTag.length, "
               "ReleaseTag.weight, ReleaseTag.release_location_river_kilometer, "
               "Detection.site_name, MIN(Detection.first_computed_datetime) as "
               "first_computed_datetime, MAX(Detection.last_computed_datetime) as "
               "last_computed_datetime, Removal.removal_river_km   FROM `%1` ReleaseTag LEFT "
               "OUTER JOIN '%2' Detection ON ReleaseTag.tag_id = Detection.tag_id LEFT OUTER "
               "JOIN `%3` Removal on ReleaseTag.tag_id = Removal.tag_id GROUP BY "
               "ReleaseTag.release_name, ReleaseTag.tag_code, Detection.site_name ORDER BY "
               "ReleaseTag.release_name, ReleaseTag.tag_code, Detection.river_kilometer DESC")
        .arg(work.releasesTags, detections, QStringLiteral("removals"))
        .toUtf8();
}

QByteArray SQLiteRunExtractor::directPlan(Working& work)
{
    // Every value of a capture row is then fixed by its fish and site: the detections are
    // reduced to one row per fish and site in one pass over the events, and the capture
    // rows need no grouping. The fish table was made in the order of the rows, and the
    // reduced detections follow it, so that the rows are read front to back. A run over
    // most nodes reads the events in their stored order, which is faster than going
    // through the node index for each of them.
    const QString visits = QStringLiteral("visits_") + work.suffix;
    const QString events = manyNodes(work.nodesSites)
                               ? QStringLiteral("events Event NOT INDEXED CROSS JOIN `%1` NodeSite")
                               : QStringLiteral("`%1` NodeSite CROSS JOIN events Event");
    tryExec(QStringLiteral("CREATE INDEX temp.%1_tag_id ON %1(tag_id)").arg(work.releasesTags));
    // Most of the time goes into sorting the events by fish and site, which SQLite can
    // spread over more threads.
    const int threads = sorterThreads(qBound(1, QThread::idealThreadCount(), 4));
    const bool made = runSteps(
        work,
        {{QStringLiteral("CREATE %1 TABLE %2 AS SELECT Fish.rowid AS fish, NodeSite.name AS "
                         "site_name, NodeSite.river_kilometer AS river_kilometer, "
                         "MIN(Event.first_computed_datetime) AS first_computed_datetime, "
                         "MAX(Event.last_computed_datetime) AS last_computed_datetime FROM %3 "
                         "ON Event.node_id = NodeSite.node_id CROSS JOIN `%4` Fish ON "
                         "Fish.tag_id = Event.tag_id%5 GROUP BY Fish.rowid, NodeSite.name")
              .arg(temp(), visits, events.arg(work.nodesSites), work.releasesTags, work.window),
          visits, "Internal error: can't create temporary detections table: %1.\n%2"}});
    sorterThreads(threads);
    if (!made)
        return QByteArray();
    // Each fish's sites in the order of its rows.
    tryExec(QStringLiteral("CREATE INDEX temp.%1_order ON %1(fish, river_kilometer, site_name)")
                .arg(visits));
    if (!countRows(work, QStringLiteral("SELECT COUNT(*) FROM %1 R LEFT OUTER JOIN %2 D ON "
                                        "D.fish = R.rowid")
                             .arg(work.releasesTags, visits)))
        return QByteArray();
    // The order of the general query (the fish table's order is its release and tag code);
    // a fish's sites at one kilometre come as its sorter gives them, by name from the last.
    return QStringLiteral(
               "SELECT R.release_name, R.tag_code, R.lot, R.tag_activate_date, "
               "R.tag_release_date, R.tagger_name_xlat, R.bucket, R.length, R.weight, "
               "R.release_location_river_kilometer, D.site_name, D.first_computed_datetime, "
               "D.last_computed_datetime, (SELECT Removal.removal_river_km FROM removals "
               "Removal WHERE Removal.tag_id = R.tag_id) FROM `%1` R LEFT OUTER JOIN `%2` D ON "
               "D.fish = R.rowid ORDER BY R.rowid, D.river_kilometer DESC, D.site_name DESC")
        .arg(work.releasesTags, visits)
        .toUtf8();
}

void SQLiteRunExtractor::readSites(Working& work)
{
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (query.exec(QStringLiteral("SELECT NodeSite.name, MAX(NodeSite.river_kilometer) FROM "
                                  "%1 AS NodeSite GROUP BY NodeSite.name ORDER BY "
                                  "NodeSite.river_kilometer DESC")
                       .arg(work.nodesSites))) {
        while (query.next())
            work.extraction.sites.append(query.value(0).toString());
    }
    if (query.exec(QStringLiteral("SELECT DISTINCT NodeSite.name, NodeSite.river_kilometer "
                                  "FROM %1 AS NodeSite ORDER BY NodeSite.river_kilometer DESC")
                       .arg(work.nodesSites))) {
        while (query.next())
            work.extraction.siteRiverKm[query.value(0).toString()] = kilometre(query.value(1));
    }
}

QString SQLiteRunExtractor::releasesTagsSql(const QString& table, int runId, bool tagsFirst)
{
    // Tags first: one pass over the tags, each matched with the few release groups, instead of
    // an index over all tags made for the statement; and stored in the order of the capture
    // rows.
    return QStringLiteral(
               "CREATE TEMP TABLE %1 AS SELECT releases.name AS release_name, tags.id AS tag_id, "
               "tags.tag_code,  tags.lot, tags.tag_activate_date, tags.tag_release_date, "
               "tags.tagger_name_xlat, tags.bucket, tags.length, tags.weight, "
               "tags.release_location_river_kilometer FROM tags %2 release_groups ON "
               "tags.release_location = release_groups.release_location AND STRFTIME('%Y', "
               "tags.tag_release_date) = release_groups.tag_year AND tags.species_code_xlat = "
               "release_groups.species_code_xlat JOIN releases_release_groups ON release_groups.id "
               "= releases_release_groups.release_group_id JOIN releases ON releases.id = "
               "releases_release_groups.release_id JOIN releases_runs ON releases_runs.release_id "
               "= releases.id AND releases_runs.run_id=%3%4")
        .arg(table, tagsFirst ? QStringLiteral("CROSS JOIN") : QStringLiteral("JOIN"),
             QString::number(runId),
             tagsFirst ? QStringLiteral(" ORDER BY release_name, tag_code") : QString());
}

int SQLiteRunExtractor::sorterThreads(int threads)
{
    QSqlQuery query(db_);
    int before = 0;
    if (query.exec(QStringLiteral("PRAGMA threads")) && query.next())
        before = query.value(0).toInt();
    query.exec(QStringLiteral("PRAGMA threads = %1").arg(threads));
    return before;
}

bool SQLiteRunExtractor::needsGeneralPlan(const QString& nodesSites, const QString& releasesTags)
{
    // quote() tells apart values that compare equal but read differently (5, 5.0, '5').
    const QString checks[] = {
        QStringLiteral("SELECT 1 FROM %1 GROUP BY release_name, tag_code HAVING COUNT(*) > 1 "
                       "LIMIT 1")
            .arg(releasesTags),
        QStringLiteral("SELECT 1 FROM %1 GROUP BY name HAVING COUNT(DISTINCT "
                       "quote(river_kilometer)) > 1 LIMIT 1")
            .arg(nodesSites),
        QStringLiteral("SELECT 1 FROM removals WHERE tag_id IN (SELECT tag_id FROM %1) GROUP BY "
                       "tag_id HAVING COUNT(DISTINCT quote(removal_river_km)) > 1 LIMIT 1")
            .arg(releasesTags),
    };
    for (const QString& check : checks) {
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        // A check that cannot run leaves the general plan, which is always right.
        if (!query.exec(check) || query.next())
            return true;
    }
    return false;
}

bool SQLiteRunExtractor::manyNodes(const QString& nodesSites)
{
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM %1) * 4 > (SELECT COUNT(*) FROM "
                                   "nodes)")
                        .arg(nodesSites)) ||
        !query.next())
        return true;
    return query.value(0).toBool();
}

} // namespace kd
