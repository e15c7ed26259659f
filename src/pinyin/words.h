// The cataloguer's own word list: words whose readings win over every other rule.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "problem/error.h"
#include "problem/problem.h"

#include "pinyin/chooser.h"

namespace pinyin {

struct Reading;

/// A word list that cannot be read or written (WordsCannotRead: path, osError; or detail, what
/// keeps a word from it), or a line of it that does not fit (WordsInvalid: path, value: the
/// 1-based line, detail: what is wrong; no path and line 0 for a word given alone).
class WordsError : public problem::Error {
public:
    using problem::Error::Error;
};

/// Whether `s` is a pinyin syllable as a word list writes it: lower case, no tone, ü as v.
bool isSyllable(std::string_view s);
/// Every such syllable, in alphabetical order.
const std::vector<std::string_view>& pinyinSyllables();
/// Whether `c` is a Chinese character: one syllable each in a word list.
bool isHan(char32_t c);
/// A reading as py.db stores it ("Lǘ", "Zhuan") in the form of a word list ("lv", "zhuan").
std::string listedSyllable(std::string_view stored);

/// Words with their readings, from plain UTF-8 files that people edit and share:
///
///     # a comment, to the end of the line
///     校注<TAB>jiao zhu
///     叶圣陶<TAB>ye sheng tao
///
/// One syllable per Chinese character of the word; other characters of a word (Latin letters,
/// digits) must match as they stand and take no syllable. A word listed again replaces the
/// earlier entry, so a file loaded later wins.
class UserWords {
public:
    UserWords();
    ~UserWords();
    UserWords(UserWords&&) noexcept;
    UserWords& operator=(UserWords&&) noexcept;

    /// Adds the words of the file at `path`. Throws WordsError.
    void load(const std::string& path);
    /// Adds the words of `text`, the contents of a file called `name`. Throws WordsError.
    void parse(std::string_view text, const std::string& name);
    /// Adds or replaces one word. Throws WordsError (without a file name) when it does not fit.
    void add(std::string_view word, std::string_view syllables);

    bool empty() const;
    std::size_t size() const;
    /// The listed words with a single Chinese character, in byte order: each gives that
    /// character its reading in every word that holds it.
    std::vector<std::string> lone() const;

    /// For each code point of `text`, the listed reading of the Chinese character there when a
    /// listed word covers it, else nullptr. Longer words are placed first, then the ones that
    /// start earlier; a word that would overlap one already placed is left out. Returns false,
    /// leaving `out` as it was, when no listed word occurs in `text`.
    bool cover(std::string_view text, std::vector<const Reading*>& out) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class PinyinTable;

/// The words of `words` that are a single Chinese character with more than one reading in
/// `table`: each overrides that character's reading in every word that holds it, which a word
/// list seldom means. In byte order.
std::vector<std::string> lonePolyphonic(const UserWords& words, const PinyinTable& table);

/// One entry of a word list: the word and its syllables as the file writes them.
struct WordEntry {
    std::string word;
    std::string syllables;
};

/// What the chooser's "remember this reading" adds for `answer`, the reading chosen for the
/// character `request` asks about: the characters of its text from `markedFrom` to `markedTo`
/// (1-based UTF-16 positions, both included) when they take in that character; else the word
/// the phrase data found around it; else the character alone. The other characters keep the
/// readings they take without asking. nullopt when a Chinese character of it has none, and
/// when it holds fewer than two Chinese characters (a lone character would take the reading in
/// every word that holds it).
std::optional<WordEntry> wordToRemember(const ChooserRequest& request, std::string_view answer,
                                        int markedFrom = 0, int markedTo = 0);

/// Appends the entry "word, tab, syllables" to the word list at `path`, creating the file and
/// its folder when missing. `syllables` may be given in py.db's form ("Zhuan Ji"). Throws
/// WordsError when the entry does not fit or the file cannot be written.
void appendWord(const std::string& path, std::string_view word, std::string_view syllables);

}  // namespace pinyin
