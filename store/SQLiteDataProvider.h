#pragma once

#include "store/CodeIdMap.h"
#include "store/DataProvider.h"

#include <QHash>
#include <QSqlDatabase>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kd {

class SQLiteDefinitions;

// The SQLite study store. It owns the program's one database connection (the framework's default
// connection), creates the missing tables on opening and implements every store operation.
class SQLiteDataProvider : public DataProvider
{
public:
    explicit SQLiteDataProvider(const QString& databasePath);
    ~SQLiteDataProvider() override;

    // How long a statement waits for another process's lock on the database before it fails:
    // long enough to outlast another program's write, so that a busy database is waited for.
    static constexpr int BusyTimeoutMs = 30000;
    // Changes the wait for this connection (tests use a short one); false when not open.
    bool setBusyTimeout(int milliseconds);

    bool execStatement(const QString& sql);
    bool isOpen() const;

    bool beginLoad() override;
    bool endLoad() override;
    int sharedTagCodes(QStringList& first, int limit) override;
    bool abortLoad() override;
    bool insertFields(Model model, const QList<QByteArrayView>& fields, int loadId) override;
    bool finishRows() override;
    bool clearAllData() override;
    bool clearTable(int table) override;
    bool hasCoreData() override;
    bool isModelLoaded(Model model) override;
    bool isLoaded(const QFileInfo& file) override;
    bool isLoadCurrent(const QFileInfo& file) override;
    int addLoad(const QFileInfo& file, Model model) override;
    bool deleteLoad(const QFileInfo& file) override;
    QStringList loadedPaths() override;
    qint64 deleteLoadPath(const QString& path) override;

    bool addReleaseRecord(const ReleaseRecord& release) override;
    bool addRelease(const QString& name, int riverKm, const QList<int>& releaseGroupIds) override;
    bool addSiteRecord(const SiteRecord& site) override;
    bool addSite(const QString& name, int riverKm, const QList<int>& arrayIds) override;
    int addRun(const RunDefinition& run) override;
    int updateRun(const RunDefinition& run) override;
    bool deleteRun(int runId) override;
    bool deleteReleases(const QList<int>& releaseIds) override;
    bool deleteSites(const QList<int>& siteIds) override;
    bool clearReleases() override;
    bool clearSites() override;
    RunDefinition runDefinition(int runId) override;
    bool setRunWindow(int runId, const QDateTime& start, const QDateTime& end) override;
    bool hasReleaseGroup(const QString& location, const QString& species, int year) override;
    bool hasArray(const QString& location, int year) override;
    int addRecordRun(const QString& name) override;
    QList<DefinitionPart> siteArrays() override;
    QList<DefinitionPart> releaseGroupsOfReleases() override;
    QList<int> sitesInRiverOrder(const QList<int>& siteIds) override;

    RunExtraction extractRun(int runId) override;

private:
    bool openDatabase(const QString& path);
    bool createMissingTables();
    // The statement inserting rows rows of the model (1 or BatchRows).
    sqlite3_stmt* insertStatement(Model model, int rows);
    bool writeRows(sqlite3_stmt* statement, int firstRow, int rows);
    void finalizeInsertStatements();
    bool execLogged(const QString& sql);

    bool updateIndices();
    bool createIndex(Model model, const QStringList& columns);
    bool updateForeignIds();
    // A source table (tags or nodes) gained or lost rows.
    void noteSourceChange(int table);
    void resetLoadState();
    bool buildReleaseGroups();
    bool buildArrays();
    bool countArrayDetections();

    QSqlDatabase db_;
    QString connectionName_;
    // Releases, sites and runs: their SQL lives apart from the loading.
    std::unique_ptr<SQLiteDefinitions> definitions_;
    // The bulk inserts go straight to SQLite's own statements on the driver's connection:
    // converting millions of fields to QVariant and back costs more than the inserts.
    sqlite3* handle_ = nullptr;
    std::array<sqlite3_stmt*, TableCount> insertStatements_{};
    // One statement inserts this many rows: most of the cost of a single-row insert is the
    // statement's own run, not the row.
    static constexpr int BatchRows = 32;
    std::array<sqlite3_stmt*, TableCount> batchStatements_{};
    // Rows taken by insertFields and not yet written, all of one model.
    struct PendingRows
    {
        int model = -1;
        int rows = 0;
        QByteArray text;
        // Per row: the fields as (offset in text, size), the load id, then per foreign id
        // the id, none when its code was not found.
        std::vector<std::pair<qsizetype, int>> fields;
        std::vector<int> loadIds;
        std::vector<std::optional<qint64>> ids;
        void clear();
    };
    PendingRows pending_;
    std::array<int, ModelCount> columnCounts_{};
    // The foreign ids' source tables during the open load (indexed by model: tags, nodes).
    struct Source
    {
        // Read at the load's first row that refers to the table; by then a load has stored
        // its tags and nodes, since files are loaded by model in that order.
        CodeIdMap ids;
        // The table gained or lost rows: rows of earlier loads are resolved again.
        bool changed = false;
        // The table changed after ids were taken from it: every row is resolved again.
        bool stale = false;
    };
    std::array<Source, 2> sources_;
    // Id of each table's first row of the open load (0: none). Later rows have higher ids.
    std::array<qint64, ModelCount> firstNewRow_{};
};

} // namespace kd
