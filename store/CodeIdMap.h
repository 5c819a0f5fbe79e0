#pragma once

#include <QString>

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;

namespace kd {

// The ids of a source table's rows by their code (tags by tag_code, nodes by node_code), read
// once from the table, so that a row's foreign id is stored with the row instead of being looked
// up afterwards by one UPDATE over the whole table. It answers exactly as that UPDATE's
// "(SELECT id FROM source WHERE source.code = target.code)" does: codes compare byte for byte,
// a code held by several rows gives the lowest id, and values that are not text match nothing.
class CodeIdMap
{
public:
    // Reads "SELECT id, codeColumn FROM table"; false (with the error in error) on a failure.
    bool read(sqlite3* db, const char* table, const char* codeColumn, QString& error);
    void clear();
    bool isRead() const { return read_; }
    // The id for code, or false when no row has it.
    bool find(std::string_view code, qint64& id) const
    {
        const auto it = ids_.find(code);
        if (it == ids_.end())
            return false;
        id = it->second;
        return true;
    }

private:
    // The keys point into these strings; a deque never moves its elements.
    std::deque<std::string> codes_;
    std::unordered_map<std::string_view, qint64> ids_;
    bool read_ = false;
};

} // namespace kd
