#pragma once

#include "store/CaptureRow.h"
#include "store/DefinitionPart.h"
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

// The abstract study store. It carries the seven data file models, the error of the opening
// and of a failed load, and an optional logger; the SQLite store implements the operations.
class DataProvider : public RunSource
{
public:
    enum Model {
        TagsModel = 0,
        NodesModel = 1,
        EventsModel = 2,
        TagAttributesModel = 3,
        TagLifeDataModel = 4,
        TagLocationsModel = 5,
        RemovalsModel = 6,
        NoModel = 7
    };
    static constexpr int ModelCount = 7;

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

    DataProvider(const DataProvider&) = delete;
    DataProvider& operator=(const DataProvider&) = delete;

    // Load bookkeeping.
    virtual bool beginLoad();
    virtual bool endLoad();
    // Discards everything written since beginLoad (a canceled load).
    virtual bool abortLoad();
    // The number of tag codes on more than one tag row, with the first `limit` of them in the
    // order of their first row; -1 when it cannot be read.
    virtual int sharedTagCodes(QStringList& first, int limit);
    // Inserts one data row, its UTF-8 fields in the order of the model's columns; false when
    // the store refused it (the reason is in the error state).
    virtual bool insertFields(Model model, const QList<QByteArrayView>& fields, int loadId) = 0;
    // The same for a line of fields separated by commas, as a data file holds them.
    bool insertRow(Model model, const QString& line, int loadId);
    // Stores may hold inserted rows to write several at once: this writes any held rows. False
    // when writing them failed (loadFailed() then tells so). Ending the load writes them too.
    virtual bool finishRows() { return true; }
    virtual bool clearAllData() = 0;
    virtual bool clearTable(int table) = 0;
    virtual bool hasCoreData() = 0;
    virtual bool isModelLoaded(Model model) = 0;
    virtual bool isLoaded(const QFileInfo& file) = 0;
    virtual bool isLoadCurrent(const QFileInfo& file) = 0;
    virtual int addLoad(const QFileInfo& file, Model model) = 0;
    virtual bool deleteLoad(const QFileInfo& file) = 0;
    // Files are booked by their path relative to this folder, so that a study keeps its
    // bookkeeping however its folder is named on the command line, or when it is moved whole.
    // Without a folder, paths are booked as given.
    void setDataFolder(const QString& folder);
    QString dataFolder() const { return dataFolder_; }
    // The booked path of a file: relative to the data folder when it lies inside it.
    QString loadPath(const QFileInfo& file) const;
    // Every booked path, once each. Paths booked absolute by earlier versions that lie inside
    // the data folder are rewritten relative first.
    virtual QStringList loadedPaths() = 0;
    // Removes the rows of a booked path and its booking; the number of rows removed, -1 on
    // failure.
    virtual qint64 deleteLoadPath(const QString& path) = 0;
    // True once a database error broke the load that is open: the caller must abort it.
    bool loadFailed() const { return loadFailed_; }

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
    QString errorText() const { return errorText_; }

    void setLogger(MessageLoggerI* logger) { logger_ = logger; }
    MessageLoggerI* logger() const { return logger_; }

    // Name of table number table (DataProvider::Table).
    QString tableName(int table) const;

    // Data file models.
    QString modelTableName(Model model) const;
    QStringList modelColumns(Model model) const;
    QMap<QString, QStringList> columnAliases(Model model) const;
    QString modelDisplayName(Model model) const;

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
    QString dataFolder_;
    MessageLoggerI* logger_ = nullptr;
};

} // namespace kd
