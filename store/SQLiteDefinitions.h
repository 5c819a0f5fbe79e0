#pragma once

#include "store/DefinitionPart.h"
#include "store/ReleaseRecord.h"
#include "store/RunDefinition.h"
#include "store/SiteRecord.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>

namespace kd {

// The SQL of the analyst's definitions: releases built from release groups, sites built from
// arrays, runs over both, and the console's configured entries linked to what they describe.
class SQLiteDefinitions
{
public:
    using Report = std::function<void(const QString& text)>;

    // log receives failures that only need saying, error those that set the store's error.
    SQLiteDefinitions(QSqlDatabase db, Report log, Report error)
        : db_(std::move(db)), log_(std::move(log)), error_(std::move(error))
    {
    }

    // Each write is whole or not at all; false (or -1) when it failed, after logging why.
    bool addRelease(const QString& name, int riverKm, const QList<int>& releaseGroupIds);
    bool addSite(const QString& name, int riverKm, const QList<int>& arrayIds);
    bool addReleaseRecord(const ReleaseRecord& release);
    bool addSiteRecord(const SiteRecord& site);
    int addRun(const RunDefinition& run);
    int updateRun(const RunDefinition& run);
    bool deleteRun(int runId);
    bool deleteReleases(const QList<int>& releaseIds);
    bool deleteSites(const QList<int>& siteIds);
    bool clearReleases();
    bool clearSites();
    RunDefinition runDefinition(int runId);
    bool setRunWindow(int runId, const QDateTime& start, const QDateTime& end);
    bool hasReleaseGroup(const QString& location, const QString& species, int year);
    bool hasArray(const QString& location, int year);
    int addRecordRun(const QString& name);
    QList<DefinitionPart> siteArrays();
    QList<DefinitionPart> releaseGroupsOfReleases();
    QList<int> sitesInRiverOrder(const QList<int>& siteIds);

private:
    void log(const QString& text) const;
    void error(const QString& text) const;
    bool execLogged(const QString& sql);
    // Runs work inside a savepoint, undone when work fails.
    bool atomically(const std::function<bool()>& work);
    bool insertRelease(const QString& name, int riverKm, const QList<int>& releaseGroupIds);
    bool insertSite(const QString& name, int riverKm, const QList<int>& arrayIds);
    int insertRun(const RunDefinition& run);
    // Runs a statement whose failure sets the store's error.
    bool execReported(const QString& sql);
    // The rows of a query of definitions' parts; rest reads the columns after the fourth.
    using PartRest = std::function<void(const QSqlQuery& query, DefinitionPart& part)>;
    QList<DefinitionPart> parts(const QString& sql, const PartRest& rest);
    bool clear(const QString& table);

    QSqlDatabase db_;
    Report log_;
    Report error_;
};

} // namespace kd
