#pragma once

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kd {

// The ids of a source table's rows by their code (tags by tag_code, nodes by node_code), read
// once from the table, so that a row's foreign id is stored with the row instead of being looked
// up afterwards by one UPDATE over the whole table. It answers exactly as that UPDATE's
// "(SELECT id FROM source WHERE source.code = target.code)" does: codes compare byte for byte,
// a code held by several rows gives the lowest id, and values that are not text match nothing.
//
// A flat table with the codes side by side: a load looks up every row's codes, in no order, and
// a map of nodes and separately held strings spends most of that time waiting for memory.
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
        if (slots_.empty())
            return false;
        const std::uint64_t hash = hashOf(code);
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.offset == Empty)
                return false;
            if (slot.hash == hash && slot.size == code.size() &&
                std::memcmp(codes_.data() + slot.offset, code.data(), code.size()) == 0) {
                id = slot.id;
                return true;
            }
        }
    }

private:
    struct Slot
    {
        std::uint64_t hash = 0;
        qint64 id = 0;
        std::uint32_t offset = Empty;
        std::uint32_t size = 0;
    };
    static constexpr std::uint32_t Empty = 0xFFFFFFFFu;

    static std::uint64_t hashOf(std::string_view code)
    {
        std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ code.size();
        const char* data = code.data();
        std::size_t left = code.size();
        while (left >= 8) {
            std::uint64_t word;
            std::memcpy(&word, data, 8);
            hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
            hash ^= hash >> 31;
            data += 8;
            left -= 8;
        }
        std::uint64_t word = 0;
        if (left > 0)
            std::memcpy(&word, data, left);
        hash = (hash ^ word) * 0x94D049BB133111EBull;
        return hash ^ (hash >> 29);
    }

    // Adds code unless it is there; false when it was.
    bool insert(std::string_view code, qint64 id);
    void grow();

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
    std::string codes_;
    bool read_ = false;
};

} // namespace kd
