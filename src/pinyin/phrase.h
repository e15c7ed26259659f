// Readings that the surrounding words call for: the phrase data of py.db and its segmenter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace pinyin {

class PinyinTable;
struct Entry;

/// What the context says about one character of a text.
struct Suggestion {
    /// A reading as stored (capital initial); empty when context says nothing. It points into
    /// the phrase model or the PinYin table, so it stays valid while both are loaded.
    std::string_view reading;
    bool sure = false;    ///< settled without asking: a known word, the name rule, a dominant reading
};

/// The phrase tables of py.db, immutable once loaded:
///   Phrase(word, py, weight)  words with their readings (NULL: each character's first) and
///                             100 × the log of their frequency; a one-character word's py,
///                             if any, is the reading the character takes standing alone;
///   Surname(name, py)         single and double surnames with their surname readings;
///   Dominant(hz, py, share)   a polyphonic character's most used reading and its share;
///   Variant(hz, simplified)   traditional characters and the simplified forms they are read as.
/// Surname, Dominant and Variant are optional.
class PhraseModel {
public:
    /// Share of a character's uses above which its dominant reading settles it when it stands
    /// outside any known word.
    static constexpr float kSureShare = 0.95f;
    /// Longest word tried, in characters.
    static constexpr std::size_t kMaxWord = 8;

    /// Loads the phrase tables from an open py.db; nullptr when the database has no Phrase
    /// table (the two plain modes then serve alone). Throws DbError when the tables exist but
    /// cannot be read.
    static std::shared_ptr<const PhraseModel> load(sqlite3* db);
    /// Whether `db` has phrase data that load() can read: false when it has no Phrase table;
    /// throws DbError when a table exists but its query cannot be prepared (a missing column,
    /// a damaged schema). Reads no rows, so it is cheap enough for every run.
    static bool check(sqlite3* db);

    /// One suggestion per code point of `text`, filled in for the polyphonic characters of
    /// `table` only, and always one of the character's own readings:
    ///  - inside a word of the best segmentation: the word's reading, sure;
    ///  - standing alone: its dominant reading, sure, when that is overwhelming; else the
    ///    reading of its own one-character entry, not sure; else none;
    ///  - `nameField` (the text is subfield a of a personal-name field): the first character,
    ///    or the first two for a double surname, take the surname reading, sure.
    /// Traditional characters are read as their simplified forms, so one word list serves
    /// both scripts and mixed text.
    std::vector<Suggestion> analyse(std::string_view text, bool nameField,
                                    const PinyinTable& table) const;

    /// Number of words held (for reports).
    std::size_t size() const { return words_; }

private:
    /// What a word's node holds. Node ids carry kWordBit when the node ends a word, so the
    /// segmenter reads these only for words.
    struct Word {
        float weight = 0;         ///< natural log of the word's frequency
        std::uint32_t py = 0;     ///< offset of the word's readings in pool_
        std::uint32_t pyLen : 31 = 0;   ///< 0: no readings stored
        std::uint32_t parent : 1 = 0;   ///< some longer word goes on from here
    };
    struct Dominant {
        std::string py;
        float share;
    };
    static constexpr std::uint32_t kWordBit = 0x80000000u;

    /// An empty model sized for a word list of `rows` rows.
    explicit PhraseModel(std::size_t rows);
    /// The node reached from `node` by `c`, 0 when none.
    std::uint32_t child(std::uint32_t node, char32_t c) const;
    std::uint32_t addChild(std::uint32_t node, char32_t c, bool word);
    void grow();
    /// The word added last and the nodes along it, which the next word may share.
    struct LastWord {
        char32_t chars[kMaxWord];
        std::uint32_t nodes[kMaxWord];
        std::size_t n = 0;
    };
    void addWord(std::string_view word, std::string_view py, float weight, LastWord& last);
    /// Whether some word starts with the pair (a, b): a filter that spares most probes.
    bool pairMayStart(char32_t a, char32_t b) const;
    /// Segments one run of looked-up characters and fills its suggestions.
    void segment(const char32_t* chars, const Entry* const* rows,
                 const Entry* const* simplifiedRows, std::size_t n, Suggestion* out) const;

    std::vector<Word> nodes_;  ///< by node id without kWordBit; nodes_[0] is the root
    std::vector<std::uint64_t> pairBits_;
    /// A child of the root and, when it is a word, its weight: the segmenter reads both for
    /// every character, so they share a cache line.
    struct Root {
        std::uint32_t node = 0;
        float weight = 0;
    };
    /// Children of the root for BMP characters, indexed by the character.
    std::vector<Root> rootChild_;
    /// Other edges: open addressing on (parent << 21 | character), key, word flag and child
    /// packed in one word; 0 marks a free slot.
    std::vector<std::uint64_t> edgeSlots_;
    std::size_t edges_ = 0;
    std::size_t words_ = 0;
    std::string pool_;
    std::unordered_map<std::u32string, std::string> surnames_;
    std::unordered_map<char32_t, Dominant> dominant_;
    /// The simplified form of a traditional BMP character, 0 for every other one.
    std::vector<char16_t> simplified_;
    /// One bit per BMP character: set when simplified_ holds a form for it. Eight kilobytes
    /// stay in the cache where simplified_ would not, and most text has no traditional form.
    std::vector<std::uint64_t> traditional_;
    float floor_ = -30.0f;  ///< weight of a character that is no word of its own
};

}  // namespace pinyin
