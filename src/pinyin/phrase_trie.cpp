// The word trie of the phrase model: built level by level from the rows of the Phrase table.
#include <sqlite3.h>

#include <algorithm>

#include "pinyin/phrase.h"
#include "pinyin/phrase_internal.h"
#include "pinyin/sqlite.h"
#include "pinyin/utf8_next.h"

namespace pinyin {

using phrase_detail::childBit;
using phrase_detail::familyHash;
using phrase_detail::pairBit;
using sqlite::columnText;

struct PhraseModel::Row {
    char32_t chars[kMaxWord];
    Readings py;
    std::uint8_t len;  // characters
    float weight;

    bool operator<(const Row& o) const {
        return std::lexicographical_compare(chars, chars + len, o.chars, o.chars + o.len);
    }
};

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
            levels_[d].nodes.push_back(Node{static_cast<std::uint32_t>(levels_[d + 1].nodes.size()), 0, 0});
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

bool PhraseModel::readWords(sqlite3* db, bool sortFirst) {
    Builder builder(*this);
    std::vector<Row> rows;  // when sorting first
    bool inOrder = true;
    float lowest = 0.0f;
    sqlite::eachRow(db, "Phrase", phrase_detail::kPhraseQuery, [&](sqlite3_stmt* s) {
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
        r.py = Readings{static_cast<std::uint32_t>(pool_.size()), static_cast<std::uint32_t>(py.size())};
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

}  // namespace pinyin
