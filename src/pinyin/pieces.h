// Cutting a working-record line into its head and subfields, shared by the insertion and the
// existing-pinyin rule.
#pragma once

#include <string_view>

#include "pinyin/settings.h"

namespace pinyin::detail {

/// Calls fn(piece, isHead) for every piece of `line` between "|" marks, in order: first the
/// head (tag, indicators, anything before the first "|"), then each subfield, code first.
/// Empty pieces (two "|" in a row, a "|" at the end) are visited too.
template <class Fn>
void forEachPiece(std::string_view line, Fn&& fn) {
    std::size_t start = 0;
    bool head = true;
    for (;;) {
        const std::size_t bar = line.find('|', start);
        fn(line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start), head);
        if (bar == std::string_view::npos) return;
        head = false;
        start = bar + 1;
    }
}

/// Whether the line may hold a pinyin subfield: a "|A" or a "|9" somewhere. Only such a line
/// needs the rule of existing.h (carriesPinyin).
inline bool mayCarryPinyin(std::string_view line) {
    // One walk over the delimiters, where two searches for "|A" and "|9" walked them twice.
    for (std::size_t bar = line.find('|'); bar != std::string_view::npos && bar + 1 < line.size();
         bar = line.find('|', bar + 1))
        if (line[bar + 1] == 'A' || line[bar + 1] == '9') return true;
    return false;
}

/// The same for the pinyin a run of `mode` writes: under Subfields::Chinese, a "|" followed by
/// a capital letter.
inline bool mayCarryPinyin(std::string_view line, Subfields mode) {
    if (mode == Subfields::A) return mayCarryPinyin(line);
    for (std::size_t bar = line.find('|'); bar != std::string_view::npos && bar + 1 < line.size();
         bar = line.find('|', bar + 1))
        if (line[bar + 1] >= 'A' && line[bar + 1] <= 'Z') return true;
    return false;
}

}  // namespace pinyin::detail
