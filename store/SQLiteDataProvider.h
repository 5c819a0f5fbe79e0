#pragma once

#include "store/DataProvider.h"

#include <QHash>
#include <QSqlDatabase>
#include <QStringList>

#include <array>
#include <memory>

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

    bool execStatement(const QString& sql);
    bool isOpen() const;

    bool beginLoad() override;
    bool endLoad() override;
    bool abortLoad() override;
    bool insertRow(Model model, const QString& line, int loadId) override;
    bool insertRowUtf8(Model model, QByteArrayView line, int loadId) override;
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

    void addReleaseRecord(const ReleaseRecord& release) override;
    void addRelease(const QString& name, int riverKm, const QList<int>& releaseGroupIds) override;
    void addSiteRecord(const SiteRecord& site) override;
    void addSite(const QString& name, int riverKm, const QList<int>& arrayIds) override;
    int addRun(const RunDefinition& run) override;
    int updateRun(const RunDefinition& run) override;
    bool deleteRun(int runId) override;
    void deleteReleases(const QList<int>& releaseIds) override;
    void deleteSites(const QList<int>& siteIds) override;
    bool clearReleases() override;
    bool clearSites() override;
    RunDefinition runDefinition(int runId) override;
    bool setRunWindow(int runId, const QDateTime& start, const QDateTime& end) override;
    bool hasReleaseGroup(const QString& location, const QString& species, int year) override;
    bool hasArray(const QString& location, int year) override;
    int addRecordRun(const QString& name) override;

    RunExtraction extractRun(int runId) override;

private:
    bool openDatabase(const QString& path);
    bool createMissingTables();
    sqlite3_stmt* insertStatement(Model model);
    void finalizeInsertStatements();
    bool execLogged(const QString& sql);

    bool updateIndices();
    bool createIndex(Model model, const QStringList& columns);
    bool updateForeignIds();
    bool updateForeignId(Model target, Model source, const QString& idColumn,
                         const QString& keyColumn, bool everyRow);
    bool buildReleaseGroups();
    bool buildArrays();

    QSqlDatabase db_;
    QString connectionName_;
    // Releases, sites and runs: their SQL lives apart from the loading.
    std::unique_ptr<SQLiteDefinitions> definitions_;
    // The bulk inserts go straight to SQLite's own statements on the driver's connection:
    // converting millions of fields to QVariant and back costs more than the inserts.
    sqlite3* handle_ = nullptr;
    std::array<sqlite3_stmt*, TableCount> insertStatements_{};
    std::array<int, ModelCount> columnCounts_{};
    // Which source tables of the foreign ids gained or lost rows during the open load: their
    // ids are then resolved again for every row, not only for rows without one.
    bool tagsChanged_ = false;
    bool nodesChanged_ = false;
};

} // namespace kd
