// The rows of the PinYin table as the romaniser and the phrase model read them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pinyin {

class PinyinTable;

/// One reading of a character in the forms the lookup appends.
struct Reading {
    std::string stored;  ///< as stored, e.g. "Lv" or "Zhong"
    std::string asIs;    ///< stored form, "ǘ" made "v", one space behind
    std::string lower;   ///< lower case, "ǘ" made "v", one space behind
};

/// The first row of one hz.
struct Entry {
    std::string py1;                ///< Py1 as stored (untrimmed; NULL reads as empty)
    std::string trimmed;            ///< Py1 without spaces at either end: what a chooser offers
    std::vector<Reading> readings;  ///< the readings of trimmed (see splitReadings) in order;
                                    ///< one empty reading when trimmed is empty
    bool polyphonic = false;        ///< trimmed holds a space
};

/// What the lookup loop reads for one BMP code point: whether it has a row the lookup uses,
/// and where the first reading's forms lie in one shared pool.
struct Hot {
    enum : std::uint8_t {
        kRow = 1,         ///< the code point has a row
        kDoubleByte = 2,  ///< GBK writes it with two bytes, so the lookup uses the row
        kPolyphonic = 4,
        kPooled = 8,  ///< the first reading's forms are in the pool (they are short enough)
    };
    std::uint32_t pool = 0;  ///< offset of stored form, asIs form, lower form, back to back
    std::uint8_t storedLen = 0;
    std::uint8_t asIsLen = 0;
    std::uint8_t lowerLen = 0;
    std::uint8_t flags = 0;
};

/// A reading in the form the lookup appends: lower-cased when `lower`, "ǘ" made "v", one
/// space behind.
std::string readingOut(std::string_view reading, bool lower);

/// The rows of a PinyinTable, worked out when each is added: read-only for everyone but the
/// table that fills them.
class TableRows {
public:
    TableRows() { bmp_.fill(kNone); }

    /// The first row of `c`, or nullptr when it has none.
    const Entry* find(char32_t c) const {
        if (c < 0x10000) {
            const std::int32_t i = bmp_[c];
            return i == kNone ? nullptr : &entries_[static_cast<std::size_t>(i)];
        }
        const auto it = astral_.find(c);
        return it == astral_.end() ? nullptr : &entries_[static_cast<std::size_t>(it->second)];
    }
    /// The hot slot of a BMP code point (`c` below 0x10000).
    Hot hot(char32_t c) const { return hot_[c]; }
    /// The pooled forms that Hot::pool counts into.
    const char* pool() const { return pool_.data(); }

private:
    friend class PinyinTable;
    /// Adds the row of `c` unless it has one: the first row wins.
    void add(char32_t c, std::string py1);

    static constexpr std::int32_t kNone = -1;
    /// Entries never move once added, so PinyinTable::readings() pointers stay valid.
    std::deque<Entry> entries_;
    /// Index into entries_ for every BMP code point, kNone when it has no row.
    std::array<std::int32_t, 0x10000> bmp_;
    std::unordered_map<char32_t, std::int32_t> astral_;
    std::array<Hot, 0x10000> hot_{};
    std::string pool_;
};

}  // namespace pinyin
