// The phrase model: loading the word tables of py.db and choosing readings by segmentation.
#include "pinyin/phrase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "codepage/codepage.h"
#include "pinyin/table.h"
#include "pinyin/table_impl.h"

namespace pinyin {
namespace {

struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

bool hasTable(sqlite3* db, const char* name) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                           -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(std::string("cannot read the pinyin database: ") + sqlite3_errmsg(db));
    Stmt stmt(raw);
    sqlite3_bind_text(raw, 1, name, -1, SQLITE_STATIC);
    const int step = sqlite3_step(raw);
    if (step != SQLITE_ROW && step != SQLITE_DONE)
        throw DbError(std::string("cannot read the pinyin database: ") + sqlite3_errmsg(db));
    return step == SQLITE_ROW;
}

// The queries of load(), which check() prepares without running.
constexpr const char* kPhraseQuery = "SELECT word, py, weight FROM Phrase";
constexpr const char* kSurnameQuery = "SELECT name, py FROM Surname";
constexpr const char* kDominantQuery = "SELECT hz, py, share FROM Dominant";
constexpr const char* kVariantQuery = "SELECT hz, simplified FROM Variant";

/// Runs `sql` and hands every row to `row`; a failure names the table.
template <class Row>
void eachRow(sqlite3* db, const char* table, const char* sql, Row row) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DbError(std::string("cannot read the table ") + table +
                      " of the pinyin database: " + sqlite3_errmsg(db));
    Stmt stmt(raw);
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) row(raw);
    if (step != SQLITE_DONE)
        throw DbError(std::string("cannot read the table ") + table +
                      " of the pinyin database: " + sqlite3_errmsg(db));
}

std::string_view columnText(sqlite3_stmt* s, int col) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s, col)))
             : std::string_view();
}

/// The code point at s[i], advancing i: three-byte characters (every Han one) decoded here,
/// anything else by the shared decoder, which gives the same result for them.
inline char32_t nextChar(std::string_view s, std::size_t& i) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    if ((p[i] & 0xF0) == 0xE0 && i + 2 < s.size() && (p[i + 1] & 0xC0) == 0x80 &&
        (p[i + 2] & 0xC0) == 0x80) {
        const char32_t c = (char32_t(p[i] & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) |
                           char32_t(p[i + 2] & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
            i += 3;
            return c;
        }
    }
    return codepage::utf8::next(s, i);
}

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) out += codepage::utf8::next(s, i);
    return out;
}

/// The `k`th space-separated piece of `py` (empty pieces skipped), or "" when there is none.
std::string_view piece(std::string_view py, std::size_t k) {
    std::size_t i = 0;
    while (i < py.size()) {
        while (i < py.size() && py[i] == ' ') ++i;
        const std::size_t end = std::min(py.find(' ', i), py.size());
        if (end > i && k-- == 0) return py.substr(i, end - i);
        i = end;
    }
    return {};
}

/// Whether `reading` is one of the character's readings. Only such readings are suggested:
/// the word list may know a reading that the PinYin table does not.
bool isReadingOf(std::string_view reading, const Entry& e) {
    if (reading.empty()) return false;
    for (const Reading& r : e.readings)
        if (r.stored == reading) return true;
    return false;
}

std::uint64_t edgeKey(std::uint32_t node, char32_t c) {
    return (static_cast<std::uint64_t>(node) << 21) | c;
}

std::size_t slotOf(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 29) & mask;
}

std::size_t pairBit(char32_t a, char32_t b) {
    const std::uint64_t key = (static_cast<std::uint64_t>(a) << 21) | b;
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 44);  // 20 bits
}

/// The first size of the edge table for a list of `rows` words. Sorted word lists share most
/// of their first characters: about one and a half edges a word below the root, which must
/// fill at most seven tenths of the slots. A list that needs more makes the table grow.
std::size_t edgeSlotsFor(std::size_t rows) {
    std::size_t slots = std::size_t{1} << 16;
    while (slots < (std::size_t{1} << 22) && slots * 7 < rows * 15) slots *= 2;
    return slots;
}

/// Stands for the row of every character with one reading: segmentation only needs to know
/// that it has a row.
const Entry kPlain{};

}  // namespace

// An edge slot packs the key (parent << 21 | character, 42 bits), the word flag and the
// child's id (21 bits) into one 64-bit word, so a probe reads eight bytes.
constexpr int kIdBits = 21;
constexpr std::uint64_t kIdMask = (std::uint64_t{1} << kIdBits) - 1;
constexpr std::uint64_t kSlotWord = std::uint64_t{1} << kIdBits;

PhraseModel::PhraseModel(std::size_t rows)
    : pairBits_((std::size_t{1} << 20) / 64, 0), rootChild_(0x10000),
      edgeSlots_(edgeSlotsFor(rows), 0), simplified_(0x10000, 0),
      traditional_(0x10000 / 64, 0) {
    // Room for every node the words could need, so that the vector never moves while it is
    // filled: memory it reserves but never touches costs nothing.
    nodes_.reserve(std::min<std::size_t>(rows * kMaxWord, kIdMask) + 1);
    nodes_.emplace_back();
}


inline std::uint32_t PhraseModel::child(std::uint32_t node, char32_t c) const {
    node &= ~kWordBit;
    if (node == 0 && c < 0x10000) return rootChild_[c].node;
    const std::uint64_t key = edgeKey(node, c);
    const std::size_t mask = edgeSlots_.size() - 1;
    for (std::size_t i = slotOf(key, mask);; i = (i + 1) & mask) {
        const std::uint64_t slot = edgeSlots_[i];
        if (slot >> (kIdBits + 1) == key)
            return static_cast<std::uint32_t>(slot & kIdMask) | (slot & kSlotWord ? kWordBit : 0);
        if (slot == 0) return 0;
    }
}

bool PhraseModel::pairMayStart(char32_t a, char32_t b) const {
    const std::size_t bit = pairBit(a, b);
    return (pairBits_[bit / 64] >> (bit % 64)) & 1u;
}

void PhraseModel::grow() {
    std::vector<std::uint64_t> slots(edgeSlots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (const std::uint64_t slot : edgeSlots_) {
        if (slot == 0) continue;
        std::size_t i = slotOf(slot >> (kIdBits + 1), mask);
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }
    edgeSlots_.swap(slots);
}

std::uint32_t PhraseModel::addChild(std::uint32_t node, char32_t c, bool word) {
    node &= ~kWordBit;
    if (node == 0 && c < 0x10000) {
        std::uint32_t& slot = rootChild_[c].node;
        if (slot == 0) {
            slot = static_cast<std::uint32_t>(nodes_.size());
            nodes_.emplace_back();
            nodes_[0].parent = 1;
        }
        if (word) slot |= kWordBit;
        return slot;
    }
    const std::uint64_t key = edgeKey(node, c);
    // At most seven tenths of the slots in use. The load is checked first: the probe for an
    // existing edge is a cache miss, and only matters when the table is that full.
    if ((edges_ + 1) * 10 > edgeSlots_.size() * 7 && child(node, c) == 0) grow();
    const std::size_t mask = edgeSlots_.size() - 1;
    std::size_t i = slotOf(key, mask);
    while (edgeSlots_[i] != 0 && edgeSlots_[i] >> (kIdBits + 1) != key) i = (i + 1) & mask;
    std::uint64_t& slot = edgeSlots_[i];
    if (slot == 0) {
        slot = (key << (kIdBits + 1)) | nodes_.size();
        nodes_.emplace_back();
        nodes_[node].parent = 1;
        ++edges_;
    }
    if (word) slot |= kSlotWord;
    return static_cast<std::uint32_t>(slot & kIdMask) | (slot & kSlotWord ? kWordBit : 0);
}

void PhraseModel::addWord(std::string_view word, std::string_view py, float weight,
                          LastWord& last) {
    char32_t chars[kMaxWord];
    std::size_t n = 0;
    for (std::size_t i = 0; i < word.size(); ++n) {
        if (n == kMaxWord) return;
        chars[n] = nextChar(word, i);
        if (chars[n] == 0) return;
    }
    // Node ids have 21 bits; a list that would need more keeps the words it has.
    if (n == 0 || nodes_.size() + n > kIdMask) return;
    // The table comes sorted by word, so a word mostly shares its first characters with the
    // one before: their nodes are taken from there, not looked up again. The last character
    // always goes through addChild, which marks its edge as ending a word.
    std::size_t shared = 0;
    while (shared + 1 < n && shared < last.n && last.chars[shared] == chars[shared]) ++shared;
    std::uint32_t node = shared ? last.nodes[shared - 1] : 0;
    for (std::size_t k = shared; k < n; ++k) {
        node = addChild(node, chars[k], k + 1 == n);
        last.chars[k] = chars[k];
        last.nodes[k] = node;
    }
    last.n = n;
    Word& w = nodes_[node & ~kWordBit];
    if (w.weight != 0) return;  // a second row for the same word
    if (n > 1) {
        const std::size_t bit = pairBit(chars[0], chars[1]);
        pairBits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
    w.weight = weight;
    if (n == 1 && chars[0] < 0x10000) rootChild_[chars[0]].weight = weight;
    w.py = static_cast<std::uint32_t>(pool_.size());
    w.pyLen = static_cast<std::uint32_t>(py.size());
    pool_.append(py);
    ++words_;
}

bool PhraseModel::check(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return false;
    // Preparing a statement checks its table and columns without reading a row.
    const auto prepares = [db](const char* table, const char* sql) {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        Stmt stmt(raw);
        if (rc != SQLITE_OK)
            throw DbError(std::string("cannot read the table ") + table +
                          " of the pinyin database: " + sqlite3_errmsg(db));
    };
    prepares("Phrase", kPhraseQuery);
    if (hasTable(db, "Surname")) prepares("Surname", kSurnameQuery);
    if (hasTable(db, "Dominant")) prepares("Dominant", kDominantQuery);
    if (hasTable(db, "Variant")) prepares("Variant", kVariantQuery);
    return true;
}

std::shared_ptr<const PhraseModel> PhraseModel::load(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return nullptr;
    // Counting walks the table's pages without decoding a row, and lets the tables be sized
    // once instead of grown.
    std::size_t rows = 0;
    eachRow(db, "Phrase", "SELECT count(*) FROM Phrase", [&](sqlite3_stmt* s) {
        // No more words than node ids fit: a larger count sizes nothing larger.
        rows = static_cast<std::size_t>(std::clamp<sqlite3_int64>(
            sqlite3_column_int64(s, 0), 0, static_cast<sqlite3_int64>(kIdMask)));
    });
    std::shared_ptr<PhraseModel> m(new PhraseModel(rows));

    float lowest = 0.0f;
    LastWord last;
    eachRow(db, "Phrase", kPhraseQuery, [&](sqlite3_stmt* s) {
        // Stored in hundredths. A weight of exactly 0 (frequency 1) would read as "unset".
        const float weight =
            std::min(static_cast<float>(sqlite3_column_double(s, 2) / 100.0), -1e-6f);
        m->addWord(columnText(s, 0), columnText(s, 1), weight, last);
        lowest = std::min(lowest, weight);
    });
    // A character that is no word of its own weighs less than the rarest word.
    m->floor_ = lowest - 1.0f;

    if (hasTable(db, "Surname"))
        eachRow(db, "Surname", kSurnameQuery, [&](sqlite3_stmt* s) {
            m->surnames_.emplace(decode(columnText(s, 0)), std::string(columnText(s, 1)));
        });
    if (hasTable(db, "Dominant"))
        eachRow(db, "Dominant", kDominantQuery, [&](sqlite3_stmt* s) {
            const std::u32string hz = decode(columnText(s, 0));
            if (hz.size() != 1) return;
            m->dominant_.emplace(hz[0], Dominant{std::string(columnText(s, 1)),
                                                 static_cast<float>(sqlite3_column_double(s, 2))});
        });
    if (hasTable(db, "Variant"))
        eachRow(db, "Variant", kVariantQuery, [&](sqlite3_stmt* s) {
            const std::u32string hz = decode(columnText(s, 0));
            const std::u32string to = decode(columnText(s, 1));
            if (hz.size() == 1 && to.size() == 1 && hz[0] < 0x10000 && to[0] < 0x10000) {
                m->simplified_[hz[0]] = static_cast<char16_t>(to[0]);
                m->traditional_[hz[0] / 64] |= std::uint64_t{1} << (hz[0] % 64);
            }
        });
    return m;
}

std::vector<Suggestion> PhraseModel::analyse(std::string_view text, bool nameField,
                                             const PinyinTable& table) const {
    // The code points of the text, traditional ones folded to simplified, and the table's row
    // for each (the original character's); scratch kept between calls.
    thread_local std::vector<char32_t> chars;
    thread_local std::vector<const Entry*> rows;
    thread_local std::vector<const Entry*> simplifiedRows;  // the folded character's row
    chars.clear();
    rows.clear();
    simplifiedRows.clear();
    const PinyinTable::Impl& t = table.impl();
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = nextChar(text, i);
        const char16_t folded =
            c < 0x10000 && (traditional_[c / 64] >> (c % 64)) & 1u ? simplified_[c] : 0;
        chars.push_back(folded ? folded : c);
        // The eight-byte hot slot says whether a BMP character has a row and several readings;
        // only a polyphonic character's full row is read.
        const Entry* e = nullptr;
        if (c >= 0x10000) {
            e = t.find(c);
        } else if (c >= 0x80) {
            const std::uint8_t flags = t.hot[c].flags;
            if (flags & Hot::kPolyphonic)
                e = t.find(c);
            else if (flags & Hot::kRow)
                e = &kPlain;
        }
        rows.push_back(e);
        const Entry* f = folded && e && e->polyphonic ? t.find(folded) : nullptr;
        simplifiedRows.push_back(f ? f : e);
    }
    std::vector<Suggestion> out(chars.size());

    std::size_t start = 0;
    if (nameField) {
        // The name starts with its surname: a double one when the first two characters make
        // one, else a single one. The given name after it is segmented on its own.
        while (start < chars.size() && chars[start] == U' ') ++start;
        for (std::size_t len : {std::size_t{2}, std::size_t{1}}) {
            if (start + len > chars.size()) continue;
            const auto it = surnames_.find(std::u32string(&chars[start], len));
            if (it == surnames_.end()) continue;
            for (std::size_t k = 0; k < len; ++k) {
                const Entry* e = rows[start + k];
                const std::string_view r = piece(it->second, k);
                if (e && e->polyphonic && isReadingOf(r, *e))
                    out[start + k] = Suggestion{r, true};
            }
            start += len;
            break;
        }
    }

    // Runs of characters that the table reads; punctuation without a row and ASCII end a run.
    for (std::size_t i = start; i < chars.size();) {
        if (!rows[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        bool anyPolyphonic = false;
        for (; j < chars.size() && rows[j]; ++j) anyPolyphonic |= rows[j]->polyphonic;
        if (anyPolyphonic) segment(&chars[i], &rows[i], &simplifiedRows[i], j - i, &out[i]);
        i = j;
    }
    return out;
}

void PhraseModel::segment(const char32_t* chars, const Entry* const* rows,
                          const Entry* const* simplifiedRows, std::size_t n,
                          Suggestion* out) const {
    // The best segmentation: the one whose words' log frequencies add up to the most. Every
    // character may stand alone, so a path always exists. Unlike longest match this reads
    // 在行动 as 在 + 行动, although 在行 is a word that longest match would take first.
    thread_local std::vector<double> best;
    thread_local std::vector<std::uint32_t> last;  // node of the last word of the best path
    thread_local std::vector<std::uint8_t> len;    // its length
    best.assign(n + 1, -std::numeric_limits<double>::infinity());
    last.assign(n + 1, 0);
    len.assign(n + 1, 1);
    best[0] = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t node;
        float weight;
        if (chars[i] < 0x10000) {
            node = rootChild_[chars[i]].node;
            weight = rootChild_[chars[i]].weight;
        } else {
            node = child(0, chars[i]);
            weight = node & kWordBit ? nodes_[node & ~kWordBit].weight : 0;
        }
        const bool word = node & kWordBit;
        const double alone = best[i] + (word ? weight : floor_);
        if (alone > best[i + 1]) {
            best[i + 1] = alone;
            last[i + 1] = word ? node : 0;
            len[i + 1] = 1;
        }
        if (!node || i + 1 == n || !pairMayStart(chars[i], chars[i + 1])) continue;
        for (std::size_t k = 2; k <= kMaxWord && i + k <= n; ++k) {
            node = child(node, chars[i + k - 1]);
            if (!node) break;
            if (!(node & kWordBit)) continue;
            const Word& word = nodes_[node & ~kWordBit];
            const double score = best[i] + word.weight;
            if (score > best[i + k]) {
                best[i + k] = score;
                last[i + k] = node;
                len[i + k] = static_cast<std::uint8_t>(k);
            }
            // A word's node, read for its weight anyway, says whether a longer word goes on
            // from it; a node that ends no word always leads to one. Most two-character words
            // end there, and a probe of the edge table is the costly step: a cache miss.
            if (!word.parent) break;
        }
    }

    for (std::size_t end = n; end > 0;) {
        const std::size_t k = len[end];
        const std::size_t first = end - k;
        const Word* w = last[end] ? &nodes_[last[end] & ~kWordBit] : nullptr;
        const std::string_view py =
            w ? std::string_view(pool_).substr(w->py, w->pyLen) : std::string_view();
        for (std::size_t p = first; p < end; ++p) {
            const Entry& e = *rows[p];
            if (!e.polyphonic) continue;
            Suggestion& s = out[p];
            // A word without readings stored confirms the first ones: those of the simplified
            // form for a folded character, whose own row may order its readings otherwise.
            const std::string_view r =
                py.empty() ? std::string_view(simplifiedRows[p]->readings.front().stored)
                           : piece(py, k > 1 ? p - first : 0);
            if (k > 1) {
                // A known word decides every character in it.
                if (isReadingOf(r, e)) s = Suggestion{r, true};
                continue;
            }
            // Standing alone: a traditional character whose simplified form has one reading,
            // its own first, is settled (於 as 于, Yu; 縣 as 县, Xian; not 閤, whose first
            // reading Ge is not 合's He); an overwhelming reading settles any other; else the
            // character's own entry suggests one.
            const Entry& simple = *simplifiedRows[p];
            if (&simple != &e && !simple.polyphonic) {
                const std::string& only = simple.readings.front().stored;
                if (only == e.readings.front().stored) s = Suggestion{only, true};
            } else if (const auto d = dominant_.find(chars[p]);
                d != dominant_.end() && d->second.share >= kSureShare &&
                isReadingOf(d->second.py, e))
                s = Suggestion{d->second.py, true};
            else if (!py.empty() && isReadingOf(r, e))
                s = Suggestion{r, false};
        }
        end = first;
    }
}

}  // namespace pinyin
