#pragma once

#include "store/RunExtraction.h"

#include <QSqlDatabase>
#include <QString>

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

private:
    QSqlDatabase db_;
    sqlite3* handle_;
};

} // namespace kd
