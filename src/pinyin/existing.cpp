// Pinyin a field already carries: which of its subfields are pinyin, and which are data.
#include "pinyin/existing.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/words.h"

namespace pinyin {
namespace {

/// Letters of pinyin with a tone mark, a diaeresis or a circumflex, and the plain letter each
/// stands for (ü as v).
constexpr std::u32string_view kMarked[] = {U"āáǎàĀÁǍÀɑ", U"ēéěèêếềĒÉĚÈÊẾỀ", U"īíǐìĪÍǏÌ", U"ōóǒòŌÓǑÒ",
                                           U"ūúǔùŪÚǓÙ", U"üǖǘǚǜÜǕǗǙǛ", U"ńňǹŃŇǸ", U"ḿḾ", U"ɡ"};
constexpr char kPlain[] = "aeiouvnmg";

/// One code point as a word holds it, compared without letter case or tone marks: appended to
/// `word`, and true; false for a character that stands between words (space, punctuation, a
/// Chinese character). A combining mark is passed over, neither letter nor break.
bool appendFolded(std::string& word, char32_t c) {
    if (c < 0x80) {
        const char b = static_cast<char>(c);
        if (b >= 'A' && b <= 'Z') word += static_cast<char>(b - 'A' + 'a');
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) word += b;
        else return false;
        return true;
    }
    if (c >= 0x0300 && c <= 0x036F) return true;
    if (c >= 0xFF10 && c <= 0xFF5A) return appendFolded(word, c - 0xFF10 + U'0');  // full-width forms
    for (std::size_t k = 0; k < std::size(kMarked); ++k)
        if (kMarked[k].find(c) != std::u32string_view::npos) {
            word += kPlain[k];
            return true;
        }
    const auto code = static_cast<UChar32>(c);
    if (!u_isalnum(code) || isHan(c)) return false;
    const int32_t digit = u_charDigitValue(code);
    if (digit >= 0) word += static_cast<char>('0' + digit);
    else codepage::utf8::append(word, static_cast<char32_t>(u_tolower(code)));
    return true;
}

/// The words of `text`, folded; `han` set when it holds a Chinese character.
std::vector<std::string> wordsOf(std::string_view text, bool* han = nullptr) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = codepage::utf8::next(text, i);
        if (appendFolded(word, c)) continue;
        if (han && c >= 0x80 && isHan(c)) *han = true;
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

constexpr std::uint8_t kPlainPath = 1;     // reached through the title's words and digits only
constexpr std::uint8_t kSyllablePath = 2;  // reached through at least one syllable

/// How `word` splits into syllables (each with an optional tone digit), runs of digits the
/// title holds and words of the title: kSyllablePath and/or kPlainPath, 0 when it does not.
std::uint8_t split(const std::string& word, const std::vector<std::string>& title) {
    const std::size_t n = word.size();
    std::vector<std::uint8_t> reach(n + 1, 0);
    reach[0] = kPlainPath;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t here = reach[i];
        if (!here) continue;
        for (std::size_t len = 1; len <= 6 && i + len <= n; ++len) {
            if (!isSyllable(std::string_view(word).substr(i, len))) continue;
            reach[i + len] |= kSyllablePath;
            if (i + len < n && word[i + len] >= '1' && word[i + len] <= '5') reach[i + len + 1] |= kSyllablePath;
        }
        if (isDigit(word[i])) {
            std::size_t end = i;
            while (end < n && isDigit(word[end])) ++end;
            const std::string_view digits = std::string_view(word).substr(i, end - i);
            if (std::any_of(title.begin(), title.end(),
                            [&](const std::string& t) { return t.find(digits) != std::string::npos; }))
                reach[end] |= here;
        }
        for (const std::string& t : title)
            if (word.compare(i, t.size(), t) == 0) reach[i + t.size()] |= here;
    }
    return reach[n];
}

}  // namespace

bool readsAsPinyinOf(std::string_view text, std::string_view title) {
    bool han = false;
    std::vector<std::string> titleWords = wordsOf(title, &han);
    std::sort(titleWords.begin(), titleWords.end());
    titleWords.erase(std::unique(titleWords.begin(), titleWords.end()), titleWords.end());
    bool syllable = false;
    for (const std::string& word : wordsOf(text)) {
        const std::uint8_t how = split(word, titleWords);
        if (!how) return false;
        syllable = syllable || (how & kSyllablePath);
    }
    return syllable || !han;
}

bool isPinyinSubfield(std::string_view piece, std::string_view before) {
    if (piece.empty()) return false;
    if (piece[0] == 'A') return true;
    return piece[0] == '9' && !before.empty() && before[0] == 'a' && readsAsPinyinOf(piece.substr(1), before.substr(1));
}

bool carriesPinyin(std::string_view line) {
    std::string_view before;  // the subfield in front, empty for the first
    std::size_t bar = line.find('|');
    while (bar != std::string_view::npos) {
        const std::size_t next = line.find('|', bar + 1);
        const std::string_view piece =
            line.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos : next - bar - 1);
        if (isPinyinSubfield(piece, before)) return true;
        before = piece;
        bar = next;
    }
    return false;
}

}  // namespace pinyin
