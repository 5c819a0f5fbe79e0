#include "store/SQLiteDefinitions.h"

#include "base/DateTimeText.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace kd {

namespace {

QString joinIds(const QList<int>& ids)
{
    QStringList parts;
    parts.reserve(ids.size());
    for (int id : ids)
        parts.append(QString::number(id));
    return parts.join(QLatin1Char(','));
}

} // namespace

void SQLiteDefinitions::log(const QString& text) const
{
    if (log_)
        log_(text);
}

void SQLiteDefinitions::error(const QString& text) const
{
    if (error_)
        error_(text);
}

bool SQLiteDefinitions::execLogged(const QString& sql)
{
    QSqlQuery query(db_);
    if (!query.exec(sql)) {
        log(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDefinitions::atomically(const std::function<bool()>& work)
{
    // A savepoint, unlike BEGIN, nests: a write may be part of a larger one.
    if (!execLogged(QStringLiteral("SAVEPOINT definitions")))
        return false;
    if (work())
        return execLogged(QStringLiteral("RELEASE definitions"));
    QSqlQuery query(db_);
    query.exec(QStringLiteral("ROLLBACK TO definitions"));
    query.exec(QStringLiteral("RELEASE definitions"));
    return false;
}

bool SQLiteDefinitions::clear(const QString& table)
{
    QSqlQuery query(db_);
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(table))) {
        error(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDefinitions::execReported(const QString& sql)
{
    QSqlQuery query(db_);
    if (!query.exec(sql)) {
        error(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDefinitions::addRelease(const QString& name, int riverKm,
                                   const QList<int>& releaseGroupIds)
{
    return atomically([&] { return insertRelease(name, riverKm, releaseGroupIds); });
}

bool SQLiteDefinitions::insertRelease(const QString& name, int riverKm,
                                      const QList<int>& releaseGroupIds)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral(
        "INSERT INTO releases (name, release_location_river_kilometer) VALUES (?, ?)"));
    query.addBindValue(name);
    query.addBindValue(riverKm);
    if (!query.exec()) {
        log(query.lastError().text());
        return false;
    }
    const QString releaseId = query.lastInsertId().toString();
    QSqlQuery link(db_);
    link.prepare(
        QStringLiteral("INSERT INTO releases_release_groups (release_id, release_group_id) VALUES "
                       "(%1, ?)")
            .arg(releaseId));
    for (int groupId : releaseGroupIds) {
        link.bindValue(0, groupId);
        if (!link.exec()) {
            log(link.lastError().text());
            return false;
        }
    }
    return true;
}

bool SQLiteDefinitions::addSite(const QString& name, int riverKm, const QList<int>& arrayIds)
{
    return atomically([&] { return insertSite(name, riverKm, arrayIds); });
}

bool SQLiteDefinitions::insertSite(const QString& name, int riverKm, const QList<int>& arrayIds)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("INSERT INTO sites (name, river_kilometer) VALUES (?, ?)"));
    query.addBindValue(name);
    query.addBindValue(riverKm);
    if (!query.exec()) {
        log(query.lastError().text());
        return false;
    }
    const QString siteId = query.lastInsertId().toString();
    QSqlQuery link(db_);
    link.prepare(
        QStringLiteral("INSERT INTO arrays_sites (array_id, site_id) VALUES (?, %1)").arg(siteId));
    for (int arrayId : arrayIds) {
        link.bindValue(0, arrayId);
        if (!link.exec()) {
            log(link.lastError().text());
            return false;
        }
    }
    return true;
}

bool SQLiteDefinitions::addReleaseRecord(const ReleaseRecord& release)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("INSERT INTO releases (name, release_location, "
                                 "species_code_xlat, release_year) VALUES (?, ?, ?, ?)"));
    query.addBindValue(release.name);
    query.addBindValue(release.site);
    query.addBindValue(release.species);
    query.addBindValue(release.year);
    if (!query.exec()) {
        error(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDefinitions::addSiteRecord(const SiteRecord& site)
{
    QSqlQuery query(db_);
    query.prepare(
        QStringLiteral("INSERT INTO sites (name, location, deploy_year) VALUES (?, ?, ?)"));
    query.addBindValue(site.name);
    query.addBindValue(site.location);
    query.addBindValue(site.year);
    if (!query.exec()) {
        error(query.lastError().text());
        return false;
    }
    return true;
}

namespace {

// Window bounds are stored as date-time text; an open bound as NULL.
QVariant windowValue(const QDateTime& bound)
{
    return bound.isValid() ? QVariant(DateTimeText::format(bound)) : QVariant();
}

} // namespace

int SQLiteDefinitions::addRun(const RunDefinition& run)
{
    int runId = -1;
    // A run whose links failed would list only some of its releases and sites.
    return atomically([&] { return (runId = insertRun(run)) >= 0; }) ? runId : -1;
}

int SQLiteDefinitions::insertRun(const RunDefinition& run)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral(
        "INSERT INTO runs (name, format, window_start, window_end, intervals) VALUES (?, ?, ?, ?, "
        "?)"));
    query.addBindValue(run.name);
    query.addBindValue(RunDefinition::formatName(run.format));
    query.addBindValue(windowValue(run.windowStart));
    query.addBindValue(windowValue(run.windowEnd));
    // The word the console's "intervals" key takes.
    query.addBindValue(run.profileIntervals ? QStringLiteral("profile") : QStringLiteral("wald"));
    if (!query.exec()) {
        log(query.lastError().text());
        return -1;
    }
    const int runId = query.lastInsertId().toInt();
    QSqlQuery releases(db_);
    releases.prepare(
        QStringLiteral("INSERT INTO releases_runs (release_id, run_id) VALUES (?, %1)").arg(runId));
    for (int releaseId : run.releaseIds) {
        releases.bindValue(0, releaseId);
        if (!releases.exec()) {
            log(releases.lastError().text());
            return -1;
        }
    }
    QSqlQuery sites(db_);
    sites.prepare(
        QStringLiteral("INSERT INTO runs_sites (site_id, run_id) VALUES (?, %1)").arg(runId));
    for (int siteId : run.siteIds) {
        sites.bindValue(0, siteId);
        if (!sites.exec()) {
            log(sites.lastError().text());
            return -1;
        }
    }
    return runId;
}

bool SQLiteDefinitions::setRunWindow(int runId, const QDateTime& start, const QDateTime& end)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("UPDATE runs SET window_start=?, window_end=? WHERE id=?"));
    query.addBindValue(windowValue(start));
    query.addBindValue(windowValue(end));
    query.addBindValue(runId);
    if (!query.exec()) {
        error(query.lastError().text());
        return false;
    }
    return true;
}

bool SQLiteDefinitions::hasReleaseGroup(const QString& location, const QString& species, int year)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT 1 FROM release_groups WHERE release_location=? AND "
                                 "species_code_xlat=? AND tag_year=?"));
    query.addBindValue(location);
    query.addBindValue(species);
    query.addBindValue(year);
    return query.exec() && query.next();
}

bool SQLiteDefinitions::hasArray(const QString& location, int year)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT 1 FROM arrays WHERE location=? AND deploy_year=?"));
    query.addBindValue(location);
    query.addBindValue(year);
    return query.exec() && query.next();
}

int SQLiteDefinitions::updateRun(const RunDefinition& run)
{
    // Delete and add as one: a failure keeps the run as it was.
    int runId = -1;
    return atomically([&] { return deleteRun(run.id) && (runId = insertRun(run)) >= 0; }) ? runId
                                                                                          : -1;
}

bool SQLiteDefinitions::deleteRun(int runId)
{
    const QString id = QString::number(runId);
    return atomically([&] {
        return execLogged(QStringLiteral("DELETE FROM runs WHERE id = %1").arg(id)) &&
               execLogged(QStringLiteral("DELETE FROM runs_sites WHERE run_id = %1").arg(id)) &&
               execLogged(QStringLiteral("DELETE FROM releases_runs WHERE run_id = %1").arg(id));
    });
}

bool SQLiteDefinitions::deleteReleases(const QList<int>& releaseIds)
{
    const QString ids = joinIds(releaseIds);
    // The run links go too: SQLite hands a freed highest id to the next new release, which a
    // stale link would silently attach to an old run.
    return atomically([&] {
        return execLogged(QStringLiteral("DELETE FROM releases WHERE id IN (%1)").arg(ids)) &&
               execLogged(
                   QStringLiteral("DELETE FROM releases_release_groups WHERE release_id IN (%1)")
                       .arg(ids)) &&
               execLogged(
                   QStringLiteral("DELETE FROM releases_runs WHERE release_id IN (%1)").arg(ids));
    });
}

bool SQLiteDefinitions::deleteSites(const QList<int>& siteIds)
{
    const QString ids = joinIds(siteIds);
    return atomically([&] {
        return execLogged(QStringLiteral("DELETE FROM sites WHERE id IN (%1)").arg(ids)) &&
               execLogged(
                   QStringLiteral("DELETE FROM arrays_sites WHERE site_id IN (%1)").arg(ids)) &&
               execLogged(QStringLiteral("DELETE FROM runs_sites WHERE site_id IN (%1)").arg(ids));
    });
}

bool SQLiteDefinitions::clearReleases()
{
    return clear(QStringLiteral("releases")) && clear(QStringLiteral("releases_release_groups")) &&
           clear(QStringLiteral("releases_runs"));
}

bool SQLiteDefinitions::clearSites()
{
    return clear(QStringLiteral("sites")) && clear(QStringLiteral("arrays_sites")) &&
           clear(QStringLiteral("runs_sites"));
}

RunDefinition SQLiteDefinitions::runDefinition(int runId)
{
    RunDefinition run;
    QSqlQuery query(db_);
    const QString sql = QStringLiteral(
        "SELECT a.name, a.format, GROUP_CONCAT(DISTINCT d.id) AS releases, GROUP_CONCAT(DISTINCT "
        "e.id) AS sites, a.window_start, a.window_end, a.intervals FROM %1 a JOIN releases_runs b "
        "ON a.id = "
        "b.run_id JOIN runs_sites c ON "
        "a.id = c.run_id JOIN releases d ON d.id = b.release_id JOIN sites e ON e.id = c.site_id "
        "WHERE a.id = %2 GROUP BY a.id ORDER BY a.id");
    if (!query.exec(sql.arg(QStringLiteral("runs"), QString::number(runId))) || !query.next())
        return run;
    run.id = runId;
    run.name = query.value(0).toString();
    run.format = RunDefinition::formatCode(query.value(1).toString());
    const auto ids = [](const QString& text) {
        QList<int> result;
        for (const QString& part : text.split(QLatin1Char(',')))
            result.append(part.toInt());
        return result;
    };
    run.releaseIds = ids(query.value(2).toString());
    run.siteIds = ids(query.value(3).toString());
    run.windowStart = DateTimeText::parseStrict(query.value(4).toString());
    run.windowEnd = DateTimeText::parseStrict(query.value(5).toString());
    // Runs stored before the column have NULL there: the logit-scale intervals they had.
    run.profileIntervals = query.value(6).toString() == QLatin1String("profile");
    return run;
}

int SQLiteDefinitions::addRecordRun(const QString& name)
{
    // A release record selects the release groups of its location, species and year; a site
    // record the arrays of its location and deploy year.
    if (!execReported(QStringLiteral(
            "INSERT INTO releases_release_groups (release_id, release_group_id) SELECT r.id, g.id "
            "FROM releases r JOIN release_groups g ON g.release_location = r.release_location AND "
            "g.species_code_xlat = r.species_code_xlat AND g.tag_year = r.release_year")) ||
        !execReported(QStringLiteral(
            "INSERT INTO arrays_sites (array_id, site_id) SELECT a.id, s.id FROM sites s JOIN "
            "arrays a ON a.location = s.location AND a.deploy_year = s.deploy_year")))
        return -1;
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("INSERT INTO runs (name, format) VALUES (?, ?)"));
    query.addBindValue(name);
    query.addBindValue(RunDefinition::formatName(RunDefinition::Kavel));
    if (!query.exec()) {
        error(query.lastError().text());
        return -1;
    }
    const QString runId = query.lastInsertId().toString();
    if (!execReported(QStringLiteral("INSERT INTO releases_runs (release_id, run_id) SELECT id, %1 "
                                     "FROM releases")
                          .arg(runId)) ||
        !execReported(
            QStringLiteral("INSERT INTO runs_sites (site_id, run_id) SELECT id, %1 FROM sites")
                .arg(runId)))
        return -1;
    return runId.toInt();
}

QList<DefinitionPart> SQLiteDefinitions::parts(const QString& sql, const PartRest& rest)
{
    QList<DefinitionPart> parts;
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        log(query.lastError().text());
        return parts;
    }
    // Every part query starts with its owner's id and name, the part's location and kilometre.
    while (query.next()) {
        DefinitionPart part;
        part.ownerId = query.value(0).toInt();
        part.ownerName = query.value(1).toString();
        part.location = query.value(2).toString();
        part.riverKm = query.value(3).toLongLong();
        rest(query, part);
        parts.append(part);
    }
    return parts;
}

QList<DefinitionPart> SQLiteDefinitions::siteArrays()
{
    return parts(
        QStringLiteral(
            "SELECT s.id, s.name, a.location, a.river_kilometer, a.deploy_year FROM sites s "
            "JOIN arrays_sites l ON l.site_id = s.id JOIN arrays a ON a.id = l.array_id "
            "ORDER BY s.river_kilometer DESC, s.id, a.river_kilometer DESC, a.location, "
            "a.deploy_year"),
        [](const QSqlQuery& query, DefinitionPart& part) { part.year = query.value(4).toInt(); });
}

QList<DefinitionPart> SQLiteDefinitions::releaseGroupsOfReleases()
{
    return parts(QStringLiteral(
                     "SELECT r.id, r.name, g.release_location, g.release_location_river_kilometer, "
                     "g.species_code_xlat, g.tag_year, g.release_count FROM releases r JOIN "
                     "releases_release_groups l ON l.release_id = r.id JOIN release_groups g ON "
                     "g.id = l.release_group_id ORDER BY r.release_location_river_kilometer DESC, "
                     "r.id, g.id"),
                 [](const QSqlQuery& query, DefinitionPart& part) {
                     part.species = query.value(4).toString();
                     part.year = query.value(5).toInt();
                     part.count = query.value(6).toLongLong();
                 });
}

QList<int> SQLiteDefinitions::sitesInRiverOrder(const QList<int>& siteIds)
{
    // The run's extraction reaches nodes through the arrays' location and deploy year and lists
    // its sites by their highest node kilometre; the same join gives the same order.
    QHash<int, double> km;
    if (!siteIds.isEmpty()) {
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        if (query.exec(
                QStringLiteral(
                    "SELECT l.site_id, MAX(n.river_kilometer) FROM arrays_sites l JOIN arrays a "
                    "ON a.id = l.array_id JOIN nodes n ON n.location = a.location AND "
                    "STRFTIME('%Y', n.deploy_date) = a.deploy_year WHERE l.site_id IN (%1) "
                    "GROUP BY l.site_id")
                    .arg(joinIds(siteIds)))) {
            while (query.next()) {
                if (!query.value(1).isNull())
                    km.insert(query.value(0).toInt(), query.value(1).toDouble());
            }
        } else {
            log(query.lastError().text());
        }
    }
    QList<int> ordered = siteIds;
    std::stable_sort(ordered.begin(), ordered.end(), [&km](int a, int b) {
        const bool hasA = km.contains(a);
        const bool hasB = km.contains(b);
        if (hasA != hasB)
            return hasA;
        return hasA && km.value(a) > km.value(b);
    });
    return ordered;
}

} // namespace kd
