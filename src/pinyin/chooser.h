// The question a manual lookup asks about a polyphonic character, and who answers it.
#pragma once

#include <optional>
#include <string>

namespace pinyin {

struct ChooserRequest {
    std::string allHz;   ///< the whole text being romanised
    int dyStr = 0;       ///< 1-based position of the character in allHz, in UTF-16 code units
    std::string pystr;   ///< all its readings, single spaces between, trimmed
    std::string hz;      ///< the character itself
    int suggested = 0;   ///< index among the non-empty readings that context suggests (0: first)
    std::string tag;     ///< the field the text stands in, empty when unknown
};

/// Answers the question: a reading (one of the pieces of pystr), or nullopt for no choice, in
/// which case the lookup keeps the previous selpy.
class Chooser {
public:
    virtual ~Chooser() = default;
    virtual std::optional<std::string> choose(const ChooserRequest& request) = 0;
};

}  // namespace pinyin
