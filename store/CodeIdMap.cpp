#include "store/CodeIdMap.h"

#include <sqlite3.h>

namespace kd {

bool CodeIdMap::read(sqlite3* db, const char* table, const char* codeColumn, QString& error)
{
    clear();
    const std::string sql =
        std::string("SELECT id, ") + codeColumn + " FROM " + table + " ORDER BY id";
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &statement, nullptr);
    if (result == SQLITE_OK)
        result = SQLITE_ROW;
    while (result == SQLITE_ROW && (result = sqlite3_step(statement)) == SQLITE_ROW) {
        // A NULL, a number or a blob never equals the text of a bound code.
        if (sqlite3_column_type(statement, 1) != SQLITE_TEXT)
            continue;
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
        const int size = sqlite3_column_bytes(statement, 1);
        std::string_view code(text ? text : "", size_t(size));
        // Rows come by ascending id: the first row of a code keeps it.
        if (ids_.find(code) != ids_.end())
            continue;
        const std::string& stored = codes_.emplace_back(code);
        ids_.emplace(std::string_view(stored), sqlite3_column_int64(statement, 0));
    }
    if (result != SQLITE_DONE) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        clear();
        return false;
    }
    sqlite3_finalize(statement);
    read_ = true;
    return true;
}

void CodeIdMap::clear()
{
    ids_.clear();
    codes_.clear();
    read_ = false;
}

} // namespace kd
