// The in-memory form of the PinYin table: everything the lookup loop needs, worked out at load.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pinyin/table.h"

struct sqlite3;

namespace pinyin {

/// One reading of a character in the forms the lookup appends.
struct Reading {
    std::string stored;  ///< as stored, e.g. "Lv" or "Zhong"
    std::string asIs;    ///< stored form, "ǘ" made "v", one space behind
    std::string lower;   ///< lower case, "ǘ" made "v", one space behind
};

/// The first row of one hz.
struct Entry {
    std::string py1;                ///< Py1 as stored (untrimmed; NULL reads as empty)
    std::string trimmed;            ///< Py1 without spaces at either end: the chooser's pystr
    std::vector<Reading> readings;  ///< the non-empty pieces of trimmed in order; one empty
                                    ///< reading when trimmed is empty
    bool polyphonic = false;        ///< trimmed holds a space
};

/// What the lookup loop reads for one BMP code point: eight bytes, so the characters of
/// running text stay in the cache, with the first reading's forms in one shared pool.
struct Hot {
    enum : std::uint8_t {
        kRow = 1,         ///< the code point has a row
        kDoubleByte = 2,  ///< GBK writes it with two bytes, so the lookup uses the row
        kPolyphonic = 4,
        kPooled = 8,      ///< the first reading's forms are in the pool (they are short enough)
    };
    std::uint32_t pool = 0;  ///< offset of stored form, asIs form, lower form, back to back
    std::uint8_t storedLen = 0;
    std::uint8_t asIsLen = 0;
    std::uint8_t lowerLen = 0;
    std::uint8_t flags = 0;
};

struct PinyinTable::Impl {
    static constexpr std::int32_t kNone = -1;

    /// Entries never move once added, so readings() pointers stay valid.
    std::deque<Entry> entries;
    /// Index into entries for every BMP code point, kNone when it has no row.
    std::array<std::int32_t, 0x10000> bmp;
    std::unordered_map<char32_t, std::int32_t> astral;
    std::array<Hot, 0x10000> hot{};
    std::string pool;
    /// The phrase data, built at the first phrases() call that finds `phraseDb` set: loading
    /// it takes longer than the whole PinYin table, and the plain modes never read it.
    std::shared_ptr<const PhraseModel> phrases;
    struct DbCloser {
        void operator()(sqlite3* db) const;
    };
    /// py.db kept open from load() until the phrase data is built from it; null when the
    /// database has no phrase data or it is built already (or the table was filled by hand).
    std::unique_ptr<sqlite3, DbCloser> phraseDb;
    bool lazyPhrases = false;  ///< set once by load(): phrases() builds from phraseDb
    std::once_flag phrasesOnce;
    std::string dbPath;  ///< for the message of a phrase load that fails

    Impl() { bmp.fill(kNone); }

    const Entry* find(char32_t c) const {
        if (c < 0x10000) {
            const std::int32_t i = bmp[c];
            return i == kNone ? nullptr : &entries[static_cast<std::size_t>(i)];
        }
        const auto it = astral.find(c);
        return it == astral.end() ? nullptr : &entries[static_cast<std::size_t>(it->second)];
    }
};

/// A reading in the form the lookup appends: lower-cased when `lower`, "ǘ" made "v", one
/// space behind.
std::string readingOut(std::string_view reading, bool lower);

}  // namespace pinyin
