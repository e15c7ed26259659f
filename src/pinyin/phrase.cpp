// The phrase model: loading the word tables of py.db and choosing readings by segmentation.
#include "pinyin/phrase.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "codepage/codepage.h"
#include "pinyin/readings.h"
#include "pinyin/table.h"
#include "pinyin/rows.h"
#include "pinyin/sqlite.h"
#include "pinyin/utf8_next.h"

namespace pinyin {
namespace {

using sqlite::columnText;
using sqlite::eachRow;
using sqlite::hasTable;

// The queries of load(), which check() prepares without running.
constexpr const char* kPhraseQuery = "SELECT word, py, weight FROM Phrase";
constexpr const char* kSurnameQuery = "SELECT name, py FROM Surname";
constexpr const char* kDominantQuery = "SELECT hz, py, share FROM Dominant";
constexpr const char* kVariantQuery = "SELECT hz, simplified FROM Variant";

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) out += codepage::utf8::next(s, i);
    return out;
}

/// Fills in `s` when `reading` is one of the character's readings, and says whether it is.
/// Only such readings are suggested: the word list may know a reading that the PinYin table
/// does not.
bool suggest(Suggestion& s, std::string_view reading, const Entry& e, bool sure) {
    if (reading.empty()) return false;
    for (std::size_t k = 0; k < e.readings.size(); ++k)
        if (e.readings[k].stored == reading) {
            s = Suggestion{e.readings[k].stored, static_cast<std::uint32_t>(k), sure};
            return true;
        }
    return false;
}

/// The bit of a node's filter for a child `c`: one of 64.
unsigned childBit(char32_t c) {
    return static_cast<unsigned>((c * 0x9E3779B97F4A7C15ull) >> 58);
}

/// Where the search for a child `c` starts in a hashed family.
std::uint32_t familyHash(char32_t c) {
    return static_cast<std::uint32_t>((c * 0x9E3779B97F4A7C15ull) >> 40);
}

/// The bit of the pair filter for the pair (a, b): one of 2^20.
std::size_t pairBit(char32_t a, char32_t b) {
    const std::uint64_t key = (static_cast<std::uint64_t>(a) << 21) | b;
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 44);
}

/// The key of a one- or two-character surname.
std::uint64_t surnameKey(char32_t first, char32_t second = 0) {
    return (static_cast<std::uint64_t>(first) << 21) | second;
}

/// Stands for the row of every character with one reading: segmentation only needs to know
/// that it has a row.
const Entry kPlain{};

}  // namespace

struct PhraseModel::Row {
    char32_t chars[kMaxWord];
    Readings py;
    std::uint8_t len;  // characters
    float weight;

    bool operator<(const Row& o) const {
        return std::lexicographical_compare(chars, chars + len, o.chars, o.chars + o.len);
    }
};

PhraseModel::PhraseModel()
    : pairBits_((std::size_t{1} << 20) / 64, 0), rootChild_(0x10000), simplified_(0x10000, 0),
      traditional_(0x10000 / 64, 0), sureBits_(0x10000 / 64, 0) {}

/// Builds the trie from rows in the order of their characters, level by level: each level
/// keeps its nodes in the order of the list, and a row adds a node on every level from the
/// first character in which it differs from the row before. The levels are put end to end
/// once the last row is in.
class PhraseModel::Builder {
public:
    explicit Builder(PhraseModel& m) : m_(m) { levels_[0].nodes.emplace_back(); }

    /// Adds a word; false, adding nothing, when it sorts before the word added last. The
    /// same word again adds nothing either: its first row counts.
    bool add(const char32_t* chars, std::size_t len, Readings py, float weight) {
        std::size_t shared = 0;
        while (shared < len && shared < lastLen_ && chars[shared] == last_[shared]) ++shared;
        if (shared == len) return len == lastLen_;
        if (shared < lastLen_ && chars[shared] < last_[shared]) return false;
        for (std::size_t d = shared + 1; d <= len; ++d) {
            // Its children will follow on the level below, from the end it has now.
            levels_[d].nodes.push_back(
                Node{static_cast<std::uint32_t>(levels_[d + 1].nodes.size()), 0, 0});
            levels_[d - 1].nodes.back().follow |= std::uint64_t{1} << childBit(chars[d - 1]);
            levels_[d].keys.push_back(chars[d - 1]);
            levels_[d].readings.emplace_back();
            last_[d - 1] = chars[d - 1];
        }
        lastLen_ = len;
        levels_[len].nodes.back().weight = weight;
        levels_[len].readings.back() = py;
        ++m_.words_;
        if (len > 1) {
            const std::size_t bit = pairBit(chars[0], chars[1]);
            m_.pairBits_[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
        return true;
    }

    void finish();

private:
    struct Level {
        std::vector<Node> nodes;  // `first` counted within the level below
        std::vector<char32_t> keys;
        std::vector<Readings> readings;
    };
    PhraseModel& m_;
    Level levels_[kMaxWord + 2];  // the root's, then one for each length of word
    char32_t last_[kMaxWord] = {};
    std::size_t lastLen_ = 0;
};

void PhraseModel::Builder::finish() {
    std::uint32_t offset[kMaxWord + 2];
    std::uint32_t total = 0;
    for (std::size_t d = 0; d < kMaxWord + 2; ++d) {
        offset[d] = total;
        total += static_cast<std::uint32_t>(levels_[d].nodes.size());
    }
    m_.nodes_.reserve(total + 1);
    m_.keys_.reserve(total + 1);
    m_.readings_.reserve(total + 1);
    for (std::size_t d = 0; d < kMaxWord + 2; ++d) {
        Level& l = levels_[d];
        for (Node& n : l.nodes) n.first += d + 1 < kMaxWord + 2 ? offset[d + 1] : total;
        m_.nodes_.insert(m_.nodes_.end(), l.nodes.begin(), l.nodes.end());
        if (d == 0) {  // the root has no key or readings
            m_.keys_.push_back(0);
            m_.readings_.emplace_back();
        }
        m_.keys_.insert(m_.keys_.end(), l.keys.begin(), l.keys.end());
        m_.readings_.insert(m_.readings_.end(), l.readings.begin(), l.readings.end());
        l = Level{};
    }
    // The one after the last marks where its children end.
    m_.nodes_.push_back(Node{total, 0, 0});
    m_.keys_.push_back(0);
    m_.readings_.emplace_back();
    for (std::uint32_t k = m_.nodes_[0].first; k < m_.nodes_[1].first; ++k)
        if (m_.keys_[k] < 0x10000) m_.rootChild_[m_.keys_[k]] = Root{k, m_.nodes_[k].weight};
    m_.indexFamilies();
}

void PhraseModel::indexFamilies() {
    // Where the root's BMP children find their own: a block of keys, or for a large family a
    // hash of it, at most half full.
    for (std::uint32_t k = nodes_[0].first; k < nodes_[1].first; ++k) {
        if (keys_[k] >= 0x10000) continue;
        Root& r = rootChild_[keys_[k]];
        const std::uint32_t count = nodes_[k + 1].first - nodes_[k].first;
        if (count <= kBlock) {
            r.children = nodes_[k].first;
            r.family = count;
            continue;
        }
        std::uint32_t size = 2;
        while (size < count * 2) size *= 2;
        r.children = static_cast<std::uint32_t>(familySlots_.size());
        r.family = kHashed | (size - 1);
        familySlots_.resize(familySlots_.size() + size, 0);
        std::uint32_t* const slots = familySlots_.data() + r.children;
        for (std::uint32_t j = nodes_[k].first; j < nodes_[k + 1].first; ++j) {
            std::uint32_t i = familyHash(keys_[j]) & (size - 1);
            while (slots[i] != 0) i = (i + 1) & (size - 1);
            slots[i] = j;
        }
    }
    familySlots_.shrink_to_fit();
}

inline std::uint32_t PhraseModel::second(const Root& r, char32_t c) const {
    if (r.family & kHashed) {
        const std::uint32_t mask = r.family & ~kHashed;
        const std::uint32_t* const slots = familySlots_.data() + r.children;
        for (std::uint32_t i = familyHash(c) & mask;; i = (i + 1) & mask) {
            const std::uint32_t j = slots[i];
            if (j == 0 || keys_[j] == c) return j;
        }
    }
    return inBlock(keys_.data() + r.children, r.family, c);
}

inline std::uint32_t PhraseModel::inBlock(const char32_t* b, std::size_t n, char32_t c) const {
    for (const char32_t* const e = b + n; b != e; ++b)
        if (*b == c) return static_cast<std::uint32_t>(b - keys_.data());
    return 0;
}

inline std::uint32_t PhraseModel::child(std::uint32_t node, char32_t c) const {
    if (node == 0 && c < 0x10000) return rootChild_[c].node;
    if (!((nodes_[node].follow >> childBit(c)) & 1u)) return 0;
    const char32_t* const keys = keys_.data();
    const char32_t* b = keys + nodes_[node].first;
    std::size_t n = nodes_[node + 1].first - nodes_[node].first;
    // The first characters of the commonest words have hundreds of children, halved without
    // branches to mispredict down to one block.
    while (n > kBlock) {
        const std::size_t half = n / 2;
        b = b[half] <= c ? b + half : b;
        n -= half;
    }
    return inBlock(b, n, c);
}

bool PhraseModel::pairMayStart(char32_t a, char32_t b) const {
    const std::size_t bit = pairBit(a, b);
    return (pairBits_[bit / 64] >> (bit % 64)) & 1u;
}

bool PhraseModel::check(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return false;
    // Preparing a statement checks its table and columns without reading a row.
    const auto prepares = [db](const char* table, const char* sql) {
        if (!sqlite::prepare(db, sql))
            throw DbError(std::string("cannot read the table ") + table +
                          " of the pinyin database: " + sqlite3_errmsg(db));
    };
    prepares("Phrase", kPhraseQuery);
    if (hasTable(db, "Surname")) prepares("Surname", kSurnameQuery);
    if (hasTable(db, "Dominant")) prepares("Dominant", kDominantQuery);
    if (hasTable(db, "Variant")) prepares("Variant", kVariantQuery);
    return true;
}

bool PhraseModel::readWords(sqlite3* db, bool sortFirst) {
    Builder builder(*this);
    std::vector<Row> rows;  // when sorting first
    bool inOrder = true;
    float lowest = 0.0f;
    eachRow(db, "Phrase", kPhraseQuery, [&](sqlite3_stmt* s) {
        Row r;
        const std::string_view word = columnText(s, 0);
        std::size_t n = 0;
        for (std::size_t i = 0; i < word.size(); ++n) {
            if (n == kMaxWord) return true;  // longer words are not looked for
            r.chars[n] = nextCodePoint(word, i);
            if (r.chars[n] == 0) return true;
        }
        const std::string_view py = columnText(s, 1);
        if (n == 0) return true;
        r.len = static_cast<std::uint8_t>(n);
        // Stored in hundredths. A weight of exactly 0 (frequency 1) would read as "no word".
        r.weight = std::min(static_cast<float>(sqlite3_column_double(s, 2) / 100.0), -1e-6f);
        r.py = Readings{static_cast<std::uint32_t>(pool_.size()),
                        static_cast<std::uint32_t>(py.size())};
        pool_.append(py);
        lowest = std::min(lowest, r.weight);
        if (sortFirst)
            rows.push_back(r);
        else
            inOrder = builder.add(r.chars, n, r.py, r.weight);
        return inOrder;
    });
    if (!inOrder) return false;
    // Sorted with the first row for a word still first.
    std::stable_sort(rows.begin(), rows.end());
    for (const Row& r : rows) builder.add(r.chars, r.len, r.py, r.weight);
    builder.finish();
    pool_.shrink_to_fit();
    // A character that is no word of its own weighs less than the rarest word.
    floor_ = lowest - 1.0f;
    return true;
}

std::shared_ptr<const PhraseModel> PhraseModel::load(sqlite3* db) {
    if (!hasTable(db, "Phrase")) return nullptr;
    std::shared_ptr<PhraseModel> m(new PhraseModel());

    // The table's key keeps the words in order, and the trie is built as they come; a table
    // made otherwise is read again and sorted first.
    if (!m->readWords(db, false)) {
        m.reset(new PhraseModel());
        m->readWords(db, true);
    }

    if (hasTable(db, "Surname"))
        eachRow(db, "Surname", kSurnameQuery, [&](sqlite3_stmt* s) {
            const std::u32string name = decode(columnText(s, 0));
            if (name.size() == 1 || name.size() == 2)
                m->surnames_.emplace_back(surnameKey(name[0], name.size() == 2 ? name[1] : 0),
                                          std::string(columnText(s, 1)));
        });
    // In key order for the search, the first row for a name kept.
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(m->surnames_.begin(), m->surnames_.end(), byKey);
    m->surnames_.erase(std::unique(m->surnames_.begin(), m->surnames_.end(),
                                   [](const auto& a, const auto& b) { return a.first == b.first; }),
                       m->surnames_.end());
    if (hasTable(db, "Dominant"))
        eachRow(db, "Dominant", kDominantQuery, [&](sqlite3_stmt* s) {
            const std::u32string hz = decode(columnText(s, 0));
            if (hz.size() != 1) return;
            const float share = static_cast<float>(sqlite3_column_double(s, 2));
            m->dominant_.emplace(hz[0], Dominant{std::string(columnText(s, 1)), share});
            if (share >= kSureShare && hz[0] < 0x10000)
                m->sureBits_[hz[0] / 64] |= std::uint64_t{1} << (hz[0] % 64);
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
    std::vector<Suggestion> out;
    analyse(text, nameField, table, out);
    return out;
}

void PhraseModel::analyse(std::string_view text, bool nameField, const PinyinTable& table,
                          std::vector<Suggestion>& out) const {
    // The code points of the text, traditional ones folded to simplified, and the table's row
    // for each (the original character's); scratch kept between calls.
    thread_local std::vector<char32_t> chars;
    thread_local std::vector<const Entry*> rows;
    thread_local std::vector<const Entry*> simplifiedRows;  // the folded character's row
    thread_local std::vector<std::uint8_t> polyphonic;      // the row's flag, kept at hand
    // No more code points than bytes; the scratch only grows.
    if (chars.size() < text.size()) {
        chars.resize(text.size());
        rows.resize(text.size());
        simplifiedRows.resize(text.size());
        polyphonic.resize(text.size());
    }
    const TableRows& t = table.rows();
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const char32_t c = nextCodePoint(text, i);
        const char16_t folded =
            c < 0x10000 && (traditional_[c / 64] >> (c % 64)) & 1u ? simplified_[c] : 0;
        chars[count] = folded ? folded : c;
        // The eight-byte hot slot says whether a BMP character has a row and several readings;
        // only a polyphonic character's full row is read.
        const Entry* e = nullptr;
        bool several = false;
        if (c >= 0x10000) {
            e = t.find(c);
            several = e && e->polyphonic;
        } else if (c >= 0x80) {
            const std::uint8_t flags = t.hot(c).flags;
            several = flags & Hot::kPolyphonic;
            if (several)
                e = t.find(c);
            else if (flags & Hot::kRow)
                e = &kPlain;
        }
        rows[count] = e;
        polyphonic[count] = several;
        const Entry* f = folded && polyphonic[count] ? t.find(folded) : nullptr;
        simplifiedRows[count] = f ? f : e;
    }
    out.assign(count, Suggestion{});

    std::size_t start = 0;
    if (nameField) {
        // The name starts with its surname: a double one when the first two characters make
        // one, else a single one. The given name after it is segmented on its own.
        while (start < count && chars[start] == U' ') ++start;
        const auto [len, py] = surname(&chars[start], count - start);
        for (std::size_t k = 0; k < len; ++k) {
            const Entry* e = rows[start + k];
            if (e && e->polyphonic) suggest(out[start + k], readingAt(*py, k), *e, true);
        }
        start += len;
    }

    // Runs of characters that the table reads; punctuation without a row and ASCII end a run.
    for (std::size_t i = start; i < count;) {
        if (!rows[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        std::size_t lastPolyphonic = 0;  // past the run's last polyphonic character; 0: none
        for (; j < count && rows[j]; ++j)
            if (polyphonic[j]) lastPolyphonic = j - i + 1;
        if (lastPolyphonic)
            segment(&chars[i], &rows[i], &simplifiedRows[i], j - i, lastPolyphonic, &out[i]);
        i = j;
    }
    lifeAfterName(chars.data(), rows.data(), count, out.data());
}

std::pair<std::size_t, const std::string*> PhraseModel::surname(const char32_t* chars,
                                                                  std::size_t n) const {
    for (std::size_t len : {std::size_t{2}, std::size_t{1}}) {
        if (len > n) continue;
        const std::uint64_t key = surnameKey(chars[0], len == 2 ? chars[1] : 0);
        const auto it = std::lower_bound(
            surnames_.begin(), surnames_.end(), key,
            [](const std::pair<std::uint64_t, std::string>& s, std::uint64_t k) {
                return s.first < k;
            });
        if (it != surnames_.end() && it->first == key) return {len, &it->second};
    }
    return {0, nullptr};
}

void PhraseModel::lifeAfterName(const char32_t* chars, const Entry* const* rows,
                                std::size_t count, Suggestion* out) const {
    // A title that is a name and 传 (李白传, 苏东坡传, 司马迁传) is a life: zhuan. Only when
    // the name and 传 make the last run of the text, with nothing read after them (the
    // punctuation of a title may follow), and the segmentation left 传 standing alone, so
    // that 流传, 宣传 and 相传 (广为流传, 代代相传) keep their words' readings.
    std::size_t last = count;
    while (last > 0 && !rows[last - 1]) --last;
    if (last < 3 || chars[last - 1] != U'传' || out[last - 1].wordLength != 0) return;
    const Entry* zhuan = rows[last - 1];
    if (!zhuan->polyphonic) return;
    std::size_t first = last - 1;
    while (first > 0 && rows[first - 1]) --first;
    const std::size_t name = last - 1 - first;
    const std::size_t family = surname(chars + first, name).first;
    // A surname and a given name of one or two characters.
    if (family == 0 || name < family + 1 || name > family + 2) return;
    Suggestion& s = out[last - 1];
    if (suggest(s, "Zhuan", *zhuan, true)) {
        s.wordBack = static_cast<std::uint8_t>(name);
        s.wordLength = static_cast<std::uint8_t>(name + 1);
    }
}

bool PhraseModel::dominantSettles(char32_t c, const Entry& e, Suggestion& s) const {
    // The bits spare most characters the search.
    if (c < 0x10000 && !((sureBits_[c / 64] >> (c % 64)) & 1u)) return false;
    const auto d = dominant_.find(c);
    return d != dominant_.end() && d->second.share >= kSureShare &&
           suggest(s, d->second.py, e, true);
}

void PhraseModel::segment(const char32_t* chars, const Entry* const* rows,
                          const Entry* const* simplifiedRows, std::size_t n,
                          std::size_t polyphonicEnd, Suggestion* out) const {
    // The best segmentation: the one whose words' log frequencies add up to the most. Every
    // character may stand alone, so a path always exists. Unlike longest match this reads
    // 在行动 as 在 + 行动, although 在行 is a word that longest match would take first.
    //
    // For each end of a prefix: the best score, the node of the last word of that path (0
    // for a character that is no word) and the word's length. Runs are mostly short enough
    // for the stack.
    struct Step {
        double best;
        std::uint32_t last;
        std::uint8_t len;
    };
    constexpr std::size_t kOnStack = 64;
    Step onStack[kOnStack];
    thread_local std::vector<Step> onHeap;
    Step* const step = n < kOnStack ? onStack : (onHeap.resize(n + 1), onHeap.data());
    for (std::size_t i = 0; i <= n; ++i)
        step[i] = Step{-std::numeric_limits<double>::infinity(), 0, 1};
    step[0].best = 0.0;
    // Past the last polyphonic character the segmentation only has to reach a point that no
    // word found so far spans: every path goes through it, so the best one up to there is
    // part of the best one through the whole run, and what comes after decides nothing.
    std::size_t reach = 0;  // the furthest end of a word found so far
    std::size_t end = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= polyphonicEnd && reach <= i) {
            end = i;
            break;
        }
        const Root* root = chars[i] < 0x10000 ? &rootChild_[chars[i]] : nullptr;
        std::uint32_t node = root ? root->node : child(0, chars[i]);
        const float weight = root ? root->weight : nodes_[node].weight;  // the root's is 0
        const bool word = weight != 0;
        const double alone = step[i].best + (word ? weight : floor_);
        if (alone > step[i + 1].best) {
            step[i + 1].best = alone;
            step[i + 1].last = word ? node : 0;
            step[i + 1].len = 1;
        }
        if (!node || i + 1 == n || !pairMayStart(chars[i], chars[i + 1])) continue;
        for (std::size_t k = 2; k <= kMaxWord && i + k <= n; ++k) {
            node = k == 2 && root ? second(*root, chars[i + 1]) : child(node, chars[i + k - 1]);
            if (!node) break;
            const Node& w = nodes_[node];
            if (w.weight == 0) continue;
            reach = std::max(reach, i + k);
            const double score = step[i].best + w.weight;
            if (score > step[i + k].best) {
                step[i + k].best = score;
                step[i + k].last = node;
                step[i + k].len = static_cast<std::uint8_t>(k);
            }
            // A node that ends no word always leads to one; a word's node may end its branch,
            // as most two-character words do.
            if (nodes_[node + 1].first == w.first) break;
        }
    }

    while (end > 0) {
        const std::size_t k = step[end].len;
        const std::size_t first = end - k;
        std::string_view py;  // the word's readings, looked up for its first polyphonic character
        bool looked = false;
        for (std::size_t p = first; p < end; ++p) {
            const Entry& e = *rows[p];
            if (!e.polyphonic) continue;
            if (!looked) {
                const Readings& w = readings_[step[end].last];  // the root's are none
                py = std::string_view(pool_).substr(w.py, w.len);
                looked = true;
            }
            Suggestion& s = out[p];
            // A word without readings stored confirms the first ones: those of the simplified
            // form for a folded character, whose own row may order its readings otherwise.
            const std::string_view r =
                py.empty() ? std::string_view(simplifiedRows[p]->readings.front().stored)
                           : readingAt(py, k > 1 ? p - first : 0);
            if (k > 1) {
                // A known word decides every character in it.
                if (suggest(s, r, e, true)) {
                    s.wordBack = static_cast<std::uint8_t>(p - first);
                    s.wordLength = static_cast<std::uint8_t>(k);
                }
                continue;
            }
            // Standing alone: a traditional character whose simplified form has one reading,
            // its own first, is settled (於 as 于, Yu; 縣 as 县, Xian; not 閤, whose first
            // reading Ge is not 合's He); an overwhelming reading settles any other; else the
            // character's own entry suggests one.
            const Entry& simple = *simplifiedRows[p];
            if (&simple != &e && !simple.polyphonic) {
                const std::string& first = e.readings.front().stored;
                if (simple.readings.front().stored == first) s = Suggestion{first, 0, true};
            } else if (!dominantSettles(chars[p], e, s) && !py.empty()) {
                suggest(s, r, e, false);
            }
        }
        end = first;
    }
}

}  // namespace pinyin
