// The quick test of a working-record line that tells whether the existing-pinyin rule needs to
// look at it at all.
#pragma once

#include <string_view>

#include "pinyin/settings.h"
#include "text/working_line.h"

namespace pinyin::detail {

/// Whether the line may hold a pinyin subfield: a "|A" or a "|9" somewhere. Only such a line
/// needs the rule of existing.h (carriesPinyin).
inline bool mayCarryPinyin(std::string_view line) {
    for (const text::Subfield s : text::subfieldsOf(line))
        if (s.code() == 'A' || s.code() == '9') return true;
    return false;
}

/// The same for the pinyin a run of `mode` writes: under Subfields::Chinese, a "|" followed by
/// a capital letter.
inline bool mayCarryPinyin(std::string_view line, Subfields mode) {
    if (mode == Subfields::A) return mayCarryPinyin(line);
    for (const text::Subfield s : text::subfieldsOf(line))
        if (s.code() >= 'A' && s.code() <= 'Z') return true;
    return false;
}

}  // namespace pinyin::detail
