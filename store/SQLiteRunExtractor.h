#pragma once

#include "store/RunExtraction.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <initializer_list>

struct sqlite3;

namespace kd {

// The SQL of a run's extraction: working tables of the run's nodes, tagged fish and
// detections, then a cursor over the capture query that reads them. The working tables are
// temporary (SQLite keeps them on disk, not in our memory) and go with the cursor.
class SQLiteRunExtractor
{
public:
    SQLiteRunExtractor(QSqlDatabase db, sqlite3* handle) : db_(std::move(db)), handle_(handle) {}

    // Adds the SQL functions the extraction uses to a connection.
    static void registerFunctions(sqlite3* handle);

    // The run's extraction; on failure ok is false and error says why.
    RunExtraction extract(int runId, QString& error);

    // Makes the extraction take the general plan even where the direct one gives the same rows
    // (to compare the two).
    void setGeneralPlan(bool on) { generalPlan_ = on; }

private:
    // The state of one extraction: its names, the working tables made so far (dropped on a
    // failure, otherwise handed to the cursor) and where its result and error go.
    struct Working
    {
        Working(RunExtraction& extraction, QString& error) : extraction(extraction), error(error) {}
        RunExtraction& extraction;
        QString& error;
        int runId = -1;
        QString suffix;
        QString nodesSites;
        QString releasesTags;
        QString window;
        QStringList created;
    };
    // A statement making a working table, and the message of its failure.
    struct Step
    {
        QString sql;
        QString table;
        const char* message;
    };

    // The WHERE clause of the run's detection window on Event; empty when open.
    QString windowClause(int runId);
    bool readReleaseKm(Working& work);
    // Makes the tables in order; on a failure sets the error and drops what was made.
    bool runSteps(Working& work, std::initializer_list<Step> steps);
    void dropCreated(Working& work);
    void tryExec(const QString& sql);
    Step releasesTagsStep(const Working& work, bool tagsFirst);
    // Sets the extraction's row count from a COUNT query.
    bool countRows(Working& work, const QString& sql);
    // The capture query of each plan after its working tables; empty on a failure.
    QByteArray generalPlan(Working& work);
    QByteArray directPlan(Working& work);
    // The run's sites, highest kilometre first, and their kilometres.
    void readSites(Working& work);

    // True when a group of the general capture query could hold rows that differ in a value
    // taken from one of them (two fish of one code in a release, a site at two kilometres,
    // two removal kilometres of a fish): only the general plan then gives its rows.
    bool needsGeneralPlan(const QString& nodesSites, const QString& releasesTags);
    // The run's tagged fish with their release, as a working table; tags first or as the
    // general plan has always read them.
    static QString releasesTagsSql(const QString& table, int runId, bool tagsFirst);
    // Sets how many threads SQLite may sort with; returns the setting before.
    int sorterThreads(int threads);
    // True when the run's nodes are more than a quarter of all nodes.
    bool manyNodes(const QString& nodesSites);

    QSqlDatabase db_;
    sqlite3* handle_;
    bool generalPlan_ = false;
};

} // namespace kd
