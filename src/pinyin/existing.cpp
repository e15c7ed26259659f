// Pinyin a field already carries: which of its subfields are pinyin, and which are data.
#include "pinyin/existing.h"

#include <unicode/uchar.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/words.h"
#include "text/working_line.h"

namespace pinyin {
namespace {

/// Letters of pinyin with a tone mark, a diaeresis or a circumflex, and the plain letter each
/// stands for (ü as v).
constexpr std::u32string_view kMarked[] = {U"āáǎàĀÁǍÀɑ", U"ēéěèêếềĒÉĚÈÊẾỀ", U"īíǐìĪÍǏÌ", U"ōóǒòŌÓǑÒ",
                                           U"ūúǔùŪÚǓÙ",  U"üǖǘǚǜÜǕǗǙǛ",     U"ńňǹŃŇǸ",   U"ḿḾ",
                                           U"ɡ"};
constexpr char kPlain[] = "aeiouvnmg";

/// Whether `c` is a Chinese character: the common blocks at once, the rest by ICU.
bool isChinese(char32_t c) {
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF)) return true;
    return c >= 0x2E80 && isHan(c);
}

/// One code point as a word holds it, compared without letter case or tone marks: appended to
/// `word`, and true; false for a character that stands between words (space, punctuation, a
/// Chinese character). A combining mark is passed over, neither letter nor break.
bool appendFolded(std::string& word, char32_t c) {
    if (c < 0x80) {
        const char b = static_cast<char>(c);
        if (b >= 'A' && b <= 'Z')
            word += static_cast<char>(b - 'A' + 'a');
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'))
            word += b;
        else
            return false;
        return true;
    }
    if (c >= 0x0300 && c <= 0x036F) return true;
    if (c >= 0xFF10 && c <= 0xFF5A) return appendFolded(word, c - 0xFF10 + U'0');  // full-width forms
    if (isChinese(c) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF)) return false;
    for (std::size_t k = 0; k < std::size(kMarked); ++k)
        if (kMarked[k].find(c) != std::u32string_view::npos) {
            word += kPlain[k];
            return true;
        }
    const auto code = static_cast<UChar32>(c);
    if (!u_isalnum(code)) return false;
    const int32_t digit = u_charDigitValue(code);
    if (digit >= 0)
        word += static_cast<char>('0' + digit);
    else
        codepage::utf8::append(word, static_cast<char32_t>(u_tolower(code)));
    return true;
}

/// The words of a text, folded, back to back in one buffer.
struct Words {
    std::string folded;
    std::vector<std::pair<std::size_t, std::size_t>> at;  // start and length of each in `folded`
    bool han = false;                                     // the text holds a Chinese character

    void read(std::string_view text) {
        folded.clear();
        at.clear();
        han = false;
        std::size_t from = 0;
        const auto end = [&] {
            if (folded.size() > from) at.emplace_back(from, folded.size() - from);
            from = folded.size();
        };
        for (std::size_t i = 0; i < text.size();) {
            const unsigned char b = static_cast<unsigned char>(text[i]);
            const char32_t c = b < 0x80 ? (++i, b) : codepage::utf8::next(text, i);
            if (appendFolded(folded, c)) continue;
            han = han || (c >= 0x80 && isChinese(c));
            end();
        }
        end();
    }
    std::string_view operator[](std::size_t k) const {
        return std::string_view(folded).substr(at[k].first, at[k].second);
    }
    std::size_t size() const { return at.size(); }
};

/// The syllables as a trie over the letters a to z: one walk from a position of a word finds
/// every syllable that starts there.
class SyllableTrie {
public:
    SyllableTrie() {
        nodes_.emplace_back();
        for (std::string_view s : pinyinSyllables()) {
            std::size_t n = 0;
            for (const char c : s) {
                const auto k = static_cast<std::size_t>(c - 'a');
                if (!nodes_[n].next[k]) {
                    nodes_[n].next[k] = static_cast<std::uint16_t>(nodes_.size());
                    nodes_.emplace_back();
                }
                n = nodes_[n].next[k];
            }
            nodes_[n].end = true;
        }
    }
    /// Calls fn(end) for every syllable word[i, end).
    template <class Fn>
    void each(std::string_view word, std::size_t i, Fn&& fn) const {
        for (std::size_t n = 0; i < word.size() && word[i] >= 'a' && word[i] <= 'z';) {
            n = nodes_[n].next[static_cast<std::size_t>(word[i] - 'a')];
            if (!n) return;
            ++i;
            if (nodes_[n].end) fn(i);
        }
    }

private:
    struct Node {
        std::array<std::uint16_t, 26> next{};
        bool end = false;
    };
    std::vector<Node> nodes_;
};

constexpr std::uint8_t kPlainPath = 1;     // reached through the title's words and digits only
constexpr std::uint8_t kSyllablePath = 2;  // reached through at least one syllable

/// How `word` splits into syllables (each with an optional tone digit), runs of digits the
/// title holds and words of the title: kSyllablePath and/or kPlainPath, 0 when it does not.
std::uint8_t split(std::string_view word, const Words& title, std::vector<std::uint8_t>& reach) {
    static const SyllableTrie trie;
    const std::size_t n = word.size();
    reach.assign(n + 1, 0);
    reach[0] = kPlainPath;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t here = reach[i];
        if (!here) continue;
        trie.each(word, i, [&](std::size_t end) {
            reach[end] |= kSyllablePath;
            if (end < n && word[end] >= '1' && word[end] <= '5') reach[end + 1] |= kSyllablePath;
        });
        if (isDigit(word[i])) {
            std::size_t end = i;
            while (end < n && isDigit(word[end])) ++end;
            const std::string_view digits = word.substr(i, end - i);
            for (std::size_t k = 0; k < title.size(); ++k)
                if (title[k].find(digits) != std::string_view::npos) {
                    reach[end] |= here;
                    break;
                }
        }
        for (std::size_t k = 0; k < title.size(); ++k)
            if (word.substr(i, title[k].size()) == title[k]) reach[i + title[k].size()] |= here;
    }
    return reach[n];
}

}  // namespace

bool readsAsPinyinOf(std::string_view text, std::string_view title) {
    thread_local Words titleWords, words;
    thread_local std::vector<std::uint8_t> reach;
    titleWords.read(title);
    words.read(text);
    bool syllable = false;
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::uint8_t how = split(words[k], titleWords, reach);
        if (!how) return false;
        syllable = syllable || (how & kSyllablePath);
    }
    return syllable || !titleWords.han;
}

bool isPinyinSubfield(std::string_view piece, std::string_view before) {
    if (piece.empty()) return false;
    if (piece[0] == 'A') return true;
    return piece[0] == '9' && !before.empty() && before[0] == 'a' &&
           readsAsPinyinOf(piece.substr(1), before.substr(1));
}

bool carriesPinyin(std::string_view line) { return carriesPinyin(line, Subfields::A); }

bool holdsChinese(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        if (isChinese(codepage::utf8::next(text, i))) return true;
    }
    return false;
}

bool isPinyinSubfield(std::string_view piece, std::string_view before, Subfields mode) {
    if (mode == Subfields::A) return isPinyinSubfield(piece, before);
    return !piece.empty() && piece[0] >= 'A' && piece[0] <= 'Z' && !before.empty() &&
           before[0] == piece[0] - 'A' + 'a';
}

bool carriesPinyin(std::string_view line, Subfields mode) {
    std::string_view before;  // the subfield in front, empty for the first
    for (const text::Subfield s : text::subfieldsOf(line)) {
        if (isPinyinSubfield(s.piece, before, mode)) return true;
        before = s.piece;
    }
    return false;
}

}  // namespace pinyin
