// Readings that the surrounding words call for: the phrase data of py.db and its segmenter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;

namespace pinyin {

class PinyinTable;
class TableRows;
struct Entry;

/// What the context says about one character of a text.
struct Suggestion {
    /// A reading as stored (capital initial); empty when context says nothing. It points into
    /// the phrase model or the PinYin table, so it stays valid while both are loaded.
    std::string_view reading;
    std::uint32_t index = 0;  ///< which of the character's readings it is
    bool sure = false;        ///< settled without asking: a known word, the name rule, a dominant reading
    /// The known word of two or more characters it stands in: how many characters before it
    /// the word starts, and its length (0: none).
    std::uint8_t wordBack = 0;
    std::uint8_t wordLength = 0;
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
    ///    or the first two for a double surname, take the surname reading, sure, unless the
    ///    segmentation finds a known word of two or more characters starting there that reads
    ///    the surname so too (曾参) or is a foreign name (查尔斯);
    ///  - a text whose last words are a surname, a given name of one or two characters and
    ///    传 standing alone (李白传, 苏东坡传): 传 takes zhuan, sure.
    /// Traditional characters are read as their simplified forms, so one word list serves
    /// both scripts and mixed text.
    std::vector<Suggestion> analyse(std::string_view text, bool nameField, const PinyinTable& table) const;
    /// The same into `out`, which is replaced: a caller that keeps it saves an allocation.
    void analyse(std::string_view text, bool nameField, const PinyinTable& table,
                 std::vector<Suggestion>& out) const;

    /// Number of words held (for reports).
    std::size_t size() const { return words_; }

private:
    /// A node of the word trie. The nodes are laid out level by level, so the children of a
    /// node are consecutive and sorted by character, and they end where the next node's
    /// children begin (see docs/performance.md for why a trie so laid out).
    struct Node {
        std::uint32_t first = 0;  ///< index of the first child
        float weight = 0;         ///< natural log of the word's frequency; 0: no word ends here
        /// A filter of its children's keys (childBit): most searches for a longer word end
        /// here, without reading the keys.
        std::uint64_t follow = 0;
    };
    /// A word's readings, read only for the words of the best segmentation.
    struct Readings {
        std::uint32_t py = 0;   ///< offset in pool_
        std::uint32_t len = 0;  ///< 0: none stored
    };
    /// Children looked through one by one; larger families are halved down to this, or for
    /// the root's children hashed.
    static constexpr std::size_t kBlock = 16;
    struct Dominant {
        std::string py;
        float share;
    };
    /// One row of the word list while the trie is built.
    struct Row;
    struct Root;

    PhraseModel();
    class Builder;
    /// Reads the Phrase table into the trie; false, when the rows do not come in the order
    /// of their words, unless `sortFirst`.
    bool readWords(sqlite3* db, bool sortFirst);
    /// Each reads the optional table of its name into the model.
    void readSurnames(sqlite3* db);
    void readDominant(sqlite3* db);
    void readVariants(sqlite3* db);
    /// Fills in how each child of the root finds its own children (after the words are in).
    void indexFamilies();
    /// The index of the child of `node` reached by `c`; 0 when none.
    std::uint32_t child(std::uint32_t node, char32_t c) const;
    /// child(r.node, c) for a child r of the root, found from r alone.
    std::uint32_t second(const Root& r, char32_t c) const;
    /// The node whose key is `c` among the `n` keys from `b`; 0 when none.
    std::uint32_t inBlock(const char32_t* b, std::size_t n, char32_t c) const;
    /// Whether some word starts with the pair (a, b): a filter that spares most probes.
    bool pairMayStart(char32_t a, char32_t b) const;
    /// Fills in `s` with the dominant reading of `c` (row `e`) when it settles the character
    /// standing alone, and says whether it did.
    bool dominantSettles(char32_t c, const Entry& e, Suggestion& s) const;
    /// The double or single surname that `chars` (n of them) start with: its length (0 for
    /// none) and its readings.
    std::pair<std::size_t, const std::string*> surname(const char32_t* chars, std::size_t n) const;
    /// Reads 传 zhuan where a title is a name and 传 (李白传): see phrase.cpp.
    void lifeAfterName(const char32_t* chars, const Entry* const* rows, std::size_t count,
                       Suggestion* out) const;
    /// The characters of foreign names that no known word holds, read as transcriptions read
    /// them beside another character of transcription (欧什 shi, 柏柏尔 bo), from `from` on:
    /// see phrase.cpp.
    void foreignNames(const char32_t* chars, const Entry* const* rows, std::size_t from, std::size_t count,
                      Suggestion* out) const;
    /// The small words of running text decided from the characters beside them (地 de after
    /// an adverbial, 得 dei, 着 zhe after a verb, 了 liao after 不/得 at a clause's end, 长长了,
    /// 宿 xiu after a numeral or a lunar mansion, 咳 ke beside another character, 幢 zhuang
    /// counted and chuang else, 率 shuai before troops):
    /// see phrase.cpp.
    void grammarWords(const char32_t* chars, const Entry* const* rows, std::size_t count,
                      Suggestion* out) const;
    /// Whether the known word that the segmentation starts a name with (n characters from
    /// `chars`; `first` the suggestion for its first one) reads it rather than the surname rule.
    bool knownNameWins(const char32_t* chars, std::size_t n, const Suggestion& first) const;
    /// Whether the n characters are a word of the trie.
    bool isWord(const char32_t* chars, std::size_t n) const;
    /// Segments one run of looked-up characters and fills the suggestions of its polyphonic
    /// ones, which all stand before `polyphonicEnd`.
    void segment(const char32_t* chars, const Entry* const* rows, const Entry* const* simplifiedRows,
                 std::size_t n, std::size_t polyphonicEnd, Suggestion* out) const;
    /// The steps of analyse() and segment(), defined with them.
    struct Text;
    struct Step;
    /// Reads the code points of `text` into `t` with their rows; returns how many there are.
    std::size_t lookUp(std::string_view text, const TableRows& table, Text& t) const;
    /// Suggests the surname readings at the start of a name; returns where the given name
    /// starts.
    std::size_t readSurname(const Text& t, std::size_t count, Suggestion* out) const;
    /// Segments every run of looked-up characters from `from` on that holds a polyphonic one.
    void segmentRuns(const Text& t, std::size_t from, std::size_t count, Suggestion* out) const;
    /// Fills `step` (n + 1 of them) with the best segmentation of a run, up to a point past
    /// `polyphonicEnd` that no word spans; returns that point.
    std::size_t bestPath(const char32_t* chars, std::size_t n, std::size_t polyphonicEnd, Step* step) const;
    /// Goes back along the best path from `end`, suggesting the readings of its words.
    void readPath(const char32_t* chars, const Entry* const* rows, const Entry* const* simplifiedRows,
                  const Step* step, std::size_t end, Suggestion* out) const;
    /// Settles `s`, the suggestion for polyphonic character p (row `e`) that stands alone on
    /// the best path of a run of n characters, when every known word of the run that holds
    /// it reads it as it reads alone: see phrase.cpp.
    void overlapsAgree(const char32_t* chars, const Entry* const* simplifiedRows, std::size_t n,
                       std::size_t p, const Entry& e, Suggestion& s) const;
    /// The suggestion for polyphonic `c` (row `e`, its simplified form's row `simple`) that
    /// stands alone on the path: `ownReading` is its own one-character entry's, if any.
    void standingAlone(char32_t c, const Entry& e, const Entry& simple, std::string_view ownReading,
                       Suggestion& s) const;

    /// nodes_[0] is the root; one node more than the trie marks where the last one's
    /// children end.
    std::vector<Node> nodes_;
    std::vector<Readings> readings_;  ///< by node
    /// The character that leads to each node, apart from the nodes themselves.
    std::vector<char32_t> keys_;
    /// One bit per hash of a pair: set when some word may start with the pair.
    std::vector<std::uint64_t> pairBits_;
    /// A child of the root and, when it is a word, its weight: the segmenter reads both for
    /// every character.
    struct Root {
        std::uint32_t node = 0;
        float weight = 0;
        /// Its children: the index of their first key, or with kHashed set in `family`, the
        /// offset of their hash in familySlots_.
        std::uint32_t children = 0;
        std::uint32_t family = 0;  ///< how many children; with kHashed, the hash's mask
    };
    static constexpr std::uint32_t kHashed = 0x80000000u;
    /// Open addressing over the children of each large family of the root: node indices,
    /// 0 for a free slot.
    std::vector<std::uint32_t> familySlots_;
    /// Children of the root for BMP characters, indexed by the character.
    std::vector<Root> rootChild_;
    std::size_t words_ = 0;
    std::string pool_;
    /// Surname readings by their one or two characters (see surnameKey), in key order.
    std::vector<std::pair<std::uint64_t, std::string>> surnames_;
    std::unordered_map<char32_t, Dominant> dominant_;
    /// The simplified form of a traditional BMP character, 0 for every other one.
    std::vector<char16_t> simplified_;
    /// One bit per BMP character: set when simplified_ holds a form for it, which most text
    /// never needs to look at.
    std::vector<std::uint64_t> traditional_;
    /// One bit per BMP character whose dominant reading settles it alone (kSureShare).
    std::vector<std::uint64_t> sureBits_;
    float floor_ = -30.0f;  ///< weight of a character that is no word of its own
};

}  // namespace pinyin
