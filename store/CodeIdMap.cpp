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
    if (result == SQLITE_OK) {
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            // A NULL, a number or a blob never equals the text of a bound code.
            if (sqlite3_column_type(statement, 1) != SQLITE_TEXT)
                continue;
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
            const int size = sqlite3_column_bytes(statement, 1);
            // Offsets into the codes are 32 bits.
            if (codes_.size() + std::size_t(size) >= Empty) {
                result = SQLITE_TOOBIG;
                break;
            }
            // Rows come by ascending id: the first row of a code keeps it.
            insert(std::string_view(text ? text : "", std::size_t(size)),
                   sqlite3_column_int64(statement, 0));
        }
    }
    if (result != SQLITE_DONE) {
        error = result == SQLITE_TOOBIG
                    ? QStringLiteral("Too many codes in %1").arg(QLatin1String(table))
                    : QString::fromUtf8(sqlite3_errmsg(db));
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
    slots_.clear();
    mask_ = 0;
    count_ = 0;
    codes_.clear();
    read_ = false;
}

bool CodeIdMap::insert(std::string_view code, qint64 id)
{
    // At most half full, so that a search ends soon.
    if (2 * (count_ + 1) > slots_.size())
        grow();
    const std::uint64_t hash = hashOf(code);
    std::size_t at = hash & mask_;
    for (;; at = (at + 1) & mask_) {
        Slot& slot = slots_[at];
        if (slot.offset == Empty)
            break;
        if (slot.hash == hash && slot.size == code.size() &&
            std::memcmp(codes_.data() + slot.offset, code.data(), code.size()) == 0)
            return false;
    }
    Slot& slot = slots_[at];
    slot.hash = hash;
    slot.id = id;
    slot.offset = std::uint32_t(codes_.size());
    slot.size = std::uint32_t(code.size());
    codes_.append(code);
    ++count_;
    return true;
}

void CodeIdMap::grow()
{
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot());
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.offset == Empty)
            continue;
        std::size_t at = slot.hash & mask_;
        while (slots_[at].offset != Empty)
            at = (at + 1) & mask_;
        slots_[at] = slot;
    }
}

} // namespace kd
