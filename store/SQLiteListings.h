#pragma once

#include <QString>

namespace kd {

// The SELECTs behind the desktop's lists, one per listed table, so that the SQL of every list
// stays in the store; the columns come in the order the lists' titles name them.
class SQLiteListings
{
public:
    // The listing of table (a DataProvider::Table) under the name tableName; empty for a table
    // that no list shows.
    static QString query(int table, const QString& tableName);
};

} // namespace kd
