// Pinyin a listed field already carries: finding it and taking it out.
#include "pinyin/lookup.h"

namespace pinyin {

std::string delZDA9(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    std::size_t start = 0;
    bool head = true;
    for (;;) {
        const std::size_t bar = line.find('|', start);
        const std::string_view piece =
            line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        // The head is never a subfield, whatever its first character: a tag that starts with
        // "9" or "A" keeps its line.
        const bool pinyinSubfield = !head && !piece.empty() && (piece[0] == 'A' || piece[0] == '9');
        if (!pinyinSubfield) {
            if (!head) out += '|';
            out += piece;
        }
        head = false;
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    return out;
}

std::optional<std::string> lineToAnnotate(std::string_view line, bool delExisting) {
    // Both codes count as pinyin, whichever one this run writes; "|a" never does.
    const bool carriesPinyin =
        line.find("|A") != std::string_view::npos || line.find("|9") != std::string_view::npos;
    if (!carriesPinyin) return std::string(line);
    if (!delExisting) return std::nullopt;
    return delZDA9(line);
}

}  // namespace pinyin
