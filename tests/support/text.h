// Checks on what the programs say: whether a text holds an English sentence, or anything but ASCII.
#pragma once

#include <cstring>
#include <string>

namespace testtext {

/// Two English words in a row, once the names that stay as they are in Chinese text are taken out.
inline bool holdsEnglishSentence(std::string text) {
    for (const char* kept :
         {"yaz-marcdump -f MARC-8 -t UTF-8 -o marc", "--polyphone phrase", "/data/in.iso", "PinYin", "Py1",
          "hz", "SQLite", "MARC-8", "ISO 2709", "GB18030", "GBK", "UTF-8", "MB"})
        for (std::size_t at = text.find(kept); at != std::string::npos; at = text.find(kept))
            text.erase(at, std::strlen(kept));
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto wordAt = [&](std::size_t& i) {  // a word of two letters or more starting at i
        std::size_t j = i;
        while (j < text.size() && letter(text[j])) ++j;
        const bool word = j - i >= 2;
        i = j;
        return word;
    };
    for (std::size_t i = 0; i < text.size();) {
        if (!letter(text[i])) {
            ++i;
            continue;
        }
        if (!wordAt(i)) continue;
        std::size_t j = i;
        while (j < text.size() && (text[j] == ' ' || text[j] == ',' || text[j] == ':' || text[j] == ';')) ++j;
        if (j > i && wordAt(j)) return true;
    }
    return false;
}

inline bool holdsNonAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

}  // namespace testtext
