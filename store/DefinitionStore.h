#pragma once

#include "store/DefinitionPart.h"
#include "store/ReleaseRecord.h"
#include "store/RunDefinition.h"
#include "store/SiteRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace kd {

// The study's definitions: sites, releases and runs, and the release groups and arrays they
// are made of. The desktop's builders depend on this alone.
class DefinitionStore
{
public:
    DefinitionStore() = default;
    virtual ~DefinitionStore() = default;

    DefinitionStore(const DefinitionStore&) = delete;
    DefinitionStore& operator=(const DefinitionStore&) = delete;

    // Site, release and run definitions. Each write is whole or not at all: false (an id of
    // -1) when a statement failed, whose text has gone to the logger, and nothing changed.
    virtual bool addReleaseRecord(const ReleaseRecord& release) = 0;
    virtual bool addRelease(const QString& name, int riverKm,
                            const QList<int>& releaseGroupIds) = 0;
    virtual bool addSiteRecord(const SiteRecord& site) = 0;
    virtual bool addSite(const QString& name, int riverKm, const QList<int>& arrayIds) = 0;
    virtual int addRun(const RunDefinition& run) = 0;
    // The run under a new id (the replaced one gone), or -1 with the run as it was.
    virtual int updateRun(const RunDefinition& run) = 0;
    virtual bool deleteRun(int runId) = 0;
    virtual bool deleteReleases(const QList<int>& releaseIds) = 0;
    virtual bool deleteSites(const QList<int>& siteIds) = 0;
    virtual bool clearReleases() = 0;
    virtual bool clearSites() = 0;
    virtual RunDefinition runDefinition(int runId) = 0;
    // Sets the detection window of a stored run; null bounds are open.
    virtual bool setRunWindow(int runId, const QDateTime& start, const QDateTime& end) = 0;
    // Whether any release group has this location, species and year, and any array this
    // location and deploy year: a configured entry that matches none selects nothing.
    virtual bool hasReleaseGroup(const QString& location, const QString& species, int year) = 0;
    virtual bool hasArray(const QString& location, int year) = 0;
    // Links the releases and sites stored by addReleaseRecord and addSiteRecord to the release
    // groups and arrays they describe, and adds a run over all of them. Returns the run's id, or
    // -1 when that failed.
    virtual int addRecordRun(const QString& name) = 0;
    // The arrays of every site and the release groups of every release, in the order of the
    // builders' lists (highest river kilometre first). Stores without definitions have none.
    virtual QList<DefinitionPart> siteArrays() { return {}; }
    virtual QList<DefinitionPart> releaseGroupsOfReleases() { return {}; }
    // The sites ordered as a run over them lists them: by the highest river kilometre of their
    // nodes, downstream; sites without nodes come last. Stores without definitions keep the order.
    virtual QList<int> sitesInRiverOrder(const QList<int>& siteIds) { return siteIds; }
};

} // namespace kd
