// The question a manual lookup asks about a polyphonic character, and who answers it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pinyin {

struct ChooserRequest {
    std::string allHz;   ///< the whole text being romanised
    int dyStr = 0;       ///< 1-based position of the character in allHz, in UTF-16 code units
    std::string pystr;   ///< all its readings, single spaces between, trimmed
    std::string hz;      ///< the character itself
    int suggested = 0;   ///< index among the non-empty readings that context suggests (0: first)
    std::string tag;     ///< the field the text stands in, empty when unknown
    /// What "remember this reading" needs: the word around the character that the phrase data
    /// found (empty when none) and where it starts in allHz, 1-based in UTF-16 code units...
    std::string word;
    int wordAt = 0;
    /// ...and the reading each code point of allHz takes without asking (the word list, the
    /// phrase data, else the first reading), as stored; empty for one without a reading.
    std::vector<std::string> readings;
};

/// Answers the question: a reading (one of the pieces of pystr), or nullopt for no choice, in
/// which case the lookup keeps the previous selpy.
class Chooser {
public:
    virtual ~Chooser() = default;
    virtual std::optional<std::string> choose(const ChooserRequest& request) = 0;
};

}  // namespace pinyin
