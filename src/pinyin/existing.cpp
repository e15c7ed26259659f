// Pinyin a listed field already carries: finding it and taking it out.
#include "pinyin/lookup.h"
#include "pinyin/pieces.h"

namespace pinyin {

std::string delZDA9(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    detail::forEachPiece(line, [&](std::string_view piece, bool head) {
        // The head is never a subfield, whatever its first character: a tag that starts with
        // "9" or "A" keeps its line.
        const bool pinyinSubfield = !head && !piece.empty() && (piece[0] == 'A' || piece[0] == '9');
        if (pinyinSubfield) return;
        if (!head) out += '|';
        out += piece;
    });
    return out;
}

std::optional<std::string> lineToAnnotate(std::string_view line, bool delExisting) {
    // Both codes count as pinyin, whichever one this run writes; "|a" never does.
    if (!detail::carriesPinyin(line)) return std::string(line);
    if (!delExisting) return std::nullopt;
    return delZDA9(line);
}

}  // namespace pinyin
