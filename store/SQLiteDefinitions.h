#pragma once

#include "store/DefinitionPart.h"
#include "store/ReleaseRecord.h"
#include "store/RunDefinition.h"
#include "store/SiteRecord.h"

#include <QList>
#include <QSqlDatabase>
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

    void addRelease(const QString& name, int riverKm, const QList<int>& releaseGroupIds);
    void addSite(const QString& name, int riverKm, const QList<int>& arrayIds);
    bool addReleaseRecord(const ReleaseRecord& release);
    bool addSiteRecord(const SiteRecord& site);
    int addRun(const RunDefinition& run);
    int updateRun(const RunDefinition& run);
    bool deleteRun(int runId);
    void deleteReleases(const QList<int>& releaseIds);
    void deleteSites(const QList<int>& siteIds);
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
    // Runs a statement whose failure sets the store's error.
    bool execReported(const QString& sql);
    bool clear(const QString& table);

    QSqlDatabase db_;
    Report log_;
    Report error_;
};

} // namespace kd
