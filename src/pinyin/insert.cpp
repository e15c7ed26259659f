// Pinyin subfield insertion: a romanised subfield behind every subfield a of the listed fields.
#include <string>
#include <string_view>

#include "codepage/codepage.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

std::string_view trimSpaces(std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

/// The first three characters (code points) of the line, as they stand.
std::string_view tagOf(std::string_view line) {
    std::size_t i = 0;
    for (int n = 0; n < 3 && i < line.size(); ++n) codepage::utf8::next(line, i);
    return line.substr(0, i);
}

/// Every "||" made "|" in out[from..], scanning once from the left: three delimiters in a row
/// become two. Works in place: the write position never passes the read position.
void reduceDoubleBars(std::string& out, std::size_t from) {
    std::size_t w = from;
    for (std::size_t i = from; i < out.size(); ++i) {
        out[w++] = out[i];
        if (out[i] == '|' && i + 1 < out.size() && out[i + 1] == '|') ++i;
    }
    out.resize(w);
}

/// Appends the line with a pinyin subfield behind each subfield a.
void annotate(std::string& out, std::string_view line, std::string_view tag,
              const RunSettings& settings, Romaniser& romaniser) {
    const std::string_view code = settings.useCodeA ? "|A" : "|9";
    const std::size_t from = out.size();
    std::size_t start = 0;
    bool head = true;
    for (;;) {
        const std::size_t bar = line.find('|', start);
        const std::string_view piece =
            line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        // The head (tag, indicators) is never a subfield a, even under a tag that starts with "a".
        if (!head && !piece.empty() && piece[0] == 'a') {
            const std::string_view text = piece.substr(1);
            out += piece;
            out += code;
            out += trimSpaces(romaniser.pinyin(text, tag));
        } else {
            out += piece;
        }
        out += '|';
        head = false;
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    // The line was split with one "|" appended, which leaves an empty last piece: its "|"
    // stands here, and the tidying below takes it away again.
    out += '|';
    reduceDoubleBars(out, from);
    if (out.size() > from && out.back() == '|') out.pop_back();
}

/// The same test as lineToAnnotate's: whether the line already carries a pinyin subfield.
bool carriesPinyin(std::string_view line) {
    return line.find("|A") != std::string_view::npos || line.find("|9") != std::string_view::npos;
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
        const bool listed = !trimSpaces(tag).empty() && tagList.find(tag) != std::string_view::npos;
        if (!listed) {
            out += line;
        } else if (!carriesPinyin(line)) {  // the common case, without a copy of the line
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
