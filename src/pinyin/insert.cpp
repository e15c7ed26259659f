// Pinyin subfield insertion: a romanised subfield behind every subfield a of the listed fields.
#include <bitset>
#include <string>
#include <string_view>

#include "codepage/codepage.h"
#include "pinyin/lookup.h"
#include "pinyin/pieces.h"

namespace pinyin {
namespace {

std::string_view trimSpaces(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

/// The first three characters (code points) of the line, as they stand.
std::string_view tagOf(std::string_view line) {
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    if (line.size() >= 3 && ascii(line[0]) && ascii(line[1]) && ascii(line[2])) return line.substr(0, 3);
    std::size_t i = 0;
    for (int n = 0; n < 3 && i < line.size(); ++n) codepage::utf8::next(line, i);
    return line.substr(0, i);
}

/// Every "||" made "|" in out[from..], scanning once from the left: three delimiters in a row
/// become two. Works in place: the write position never passes the read position, and nothing
/// before the first "||" moves at all.
void reduceDoubleBars(std::string& out, std::size_t from) {
    // Raw pointers: through the string's own accessors every byte written would make the
    // compiler read its data pointer and size again.
    char* const d = out.data();
    const std::size_t n = out.size();
    std::size_t i = from;
    while (i + 1 < n && !(d[i] == '|' && d[i + 1] == '|')) ++i;
    std::size_t w = i;
    for (; i < n; ++i) {
        d[w++] = d[i];
        if (d[i] == '|' && i + 1 < n && d[i + 1] == '|') ++i;
    }
    out.resize(w);
}

/// Appends the line with a pinyin subfield behind each subfield a.
void annotate(std::string& out, std::string_view line, std::string_view tag,
              const RunSettings& settings, Romaniser& romaniser) {
    const std::string_view code = settings.useCodeA ? "|A" : "|9";
    const std::size_t from = out.size();
    detail::forEachPiece(line, [&](std::string_view piece, bool head) {
        // The head (tag, indicators) is never a subfield a, even under a tag that starts with "a".
        if (!head && !piece.empty() && piece[0] == 'a') {
            out += piece;
            out += code;
            out += trimSpaces(romaniser.pinyin(piece.substr(1), tag));
        } else {
            out += piece;
        }
        out += '|';
    });
    // The line was split with one "|" appended, which leaves an empty last piece: its "|"
    // stands here, and the tidying below takes it away again.
    out += '|';
    reduceDoubleBars(out, from);
    if (out.size() > from && out.back() == '|') out.pop_back();
}

/// Whether the tag list holds `tag` as text. Tags of three ASCII digits, nearly every line,
/// are answered from a table of the list's three-digit windows, rebuilt when the list changes:
/// such a tag occurs in the list exactly when it equals one of those windows. Any other tag
/// is searched for as it stands.
bool isListed(std::string_view tagList, std::string_view tag) {
    thread_local std::string windowsOf;  // the list the table was built for
    thread_local std::bitset<1000> windows;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (tag.size() != 3 || !digit(tag[0]) || !digit(tag[1]) || !digit(tag[2]))
        return !trimSpaces(tag).empty() && tagList.find(tag) != std::string_view::npos;
    if (windowsOf != tagList) {
        windows.reset();
        for (std::size_t i = 0; i + 3 <= tagList.size(); ++i)
            if (digit(tagList[i]) && digit(tagList[i + 1]) && digit(tagList[i + 2]))
                windows.set(static_cast<std::size_t>((tagList[i] - '0') * 100 +
                                                     (tagList[i + 1] - '0') * 10 + (tagList[i + 2] - '0')));
        windowsOf.assign(tagList);
    }
    return windows[static_cast<std::size_t>((tag[0] - '0') * 100 + (tag[1] - '0') * 10 + (tag[2] - '0'))];
}

}  // namespace

std::string py(std::string_view marc, const RunSettings& settings, Romaniser& romaniser) {
    // The tag list and the subfield code are fixed for the run: read them once per record.
    const std::string_view tagList = settings.tagList;
    std::string out;
    out.reserve(marc.size() + marc.size() / 2 + 2);
    std::size_t start = 0;
    // Every CR ends a line (the record gets one more CR LF at its end); LFs vanish wherever
    // they stand, so a lone LF never splits a line and a lone CR always does.
    std::string noLf;  // a line's text with its LFs taken out, for the rare line that has any
    for (;;) {
        const std::size_t cr = marc.find('\r', start);
        std::string_view line =
            marc.substr(start, cr == std::string_view::npos ? std::string_view::npos : cr - start);
        if (!line.empty() && line.front() == '\n') line.remove_prefix(1);  // the LF of a CR LF
        if (line.find('\n') != std::string_view::npos) {
            noLf.clear();
            for (char ch : line)
                if (ch != '\n') noLf += ch;
            line = noLf;
        }

        const std::string_view tag = tagOf(line);
        if (!isListed(tagList, tag)) {
            out += line;
        } else if (!detail::carriesPinyin(line)) {  // the common case, without a copy of the line
            annotate(out, line, tag, settings, romaniser);
        } else if (const auto todo = lineToAnnotate(line, settings.delExisting)) {
            annotate(out, *todo, tag, settings, romaniser);
        } else {
            out += line;
        }
        out += "\r\n";
        if (cr == std::string_view::npos) break;
        start = cr + 1;
    }
    return out;
}

}  // namespace pinyin
