#pragma once

#include "store/CaptureRow.h"
#include "store/DefinitionStore.h"
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

// The abstract study store: a load sink for the loader, the definitions, and a run source for
// the runs. It carries the error of the opening and of a failed
// load, and an optional logger; the SQLite store implements the operations.
class DataProvider : public LoadSink, public DefinitionStore, public RunSource
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
