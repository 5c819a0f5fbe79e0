#pragma once

#include "store/CaptureRow.h"
#include "store/DefinitionPart.h"
#include "store/LoadSink.h"
#include "store/ReleaseRecord.h"
#include "store/RunDefinition.h"
#include "store/RunSource.h"
#include "store/SiteRecord.h"

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kd {

class MessageLoggerI;

// The abstract study store: a load sink for the loader, a run source for the runs, and the
// definitions and lists of the desktop. It carries the error of the opening and of a failed
// load, and an optional logger; the SQLite store implements the operations.
class DataProvider : public LoadSink, public RunSource
{
public:
    enum Table {
        TagsTable = 0,
        NodesTable,
        EventsTable,
        TagAttributesTable,
        TagLifeDataTable,
        TagLocationsTable,
        RemovalsTable,
        LoadsTable,
        RunsTable,
        ReleasesTable,
        SitesTable,
        ReleaseGroupsTable,
        ArraysTable,
        ReleasesReleaseGroupsTable,
        ArraysSitesTable,
        RunsSitesTable,
        ReleasesRunsTable
    };
    static constexpr int TableCount = 17;

    DataProvider();
    ~DataProvider() override;

    // Load bookkeeping (LoadSink).
    bool beginLoad() override;
    bool endLoad() override;
    bool abortLoad() override;
    int sharedTagCodes(QStringList& first, int limit) override;
    // The same as insertFields for a line of fields separated by commas, as a data file holds
    // them.
    bool insertRow(Model model, const QString& line, int loadId);
    bool finishRows() override { return true; }
    virtual bool clearTable(int table) = 0;
    virtual bool hasCoreData() = 0;
    virtual bool isModelLoaded(Model model) = 0;
    bool loadFailed() const override { return loadFailed_; }

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
    virtual int addRecordRun(const QString& name);
    // The arrays of every site and the release groups of every release, in the order of the
    // builders' lists (highest river kilometre first). Stores without definitions have none.
    virtual QList<DefinitionPart> siteArrays() { return {}; }
    virtual QList<DefinitionPart> releaseGroupsOfReleases() { return {}; }
    // The sites ordered as a run over them lists them: by the highest river kilometre of their
    // nodes, downstream; sites without nodes come last. Stores without definitions keep the order.
    virtual QList<int> sitesInRiverOrder(const QList<int>& siteIds) { return siteIds; }

    // The error of the opening, or of the last failure of a call that answers only true or
    // false (loading, clearing, the console's records). Calls whose result carries its reason
    // (the extraction, the definition writes through the logger) need no look here.
    bool hasError() const { return hasError_; }
    QString errorText() const override { return errorText_; }

    void setLogger(MessageLoggerI* logger) { logger_ = logger; }
    MessageLoggerI* logger() const { return logger_; }

    // Name of table number table (DataProvider::Table).
    QString tableName(int table) const;

protected:
    void setError(const QString& text);
    // Records a database error during a load (it also becomes the error text).
    void failLoad(const QString& text);
    void resetLoadFailure() { loadFailed_ = false; }
    void logMessage(const QString& text) const;

private:
    bool hasError_ = false;
    bool loadFailed_ = false;
    QString errorText_;
    MessageLoggerI* logger_ = nullptr;
};

} // namespace kd
