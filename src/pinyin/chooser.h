// The question a manual lookup asks about a polyphonic character, and who answers it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pinyin {

struct ChooserRequest {
    std::string text;       ///< the whole text being romanised
    int position = 0;       ///< 1-based position of the character in text, in UTF-16 code units
    std::string readings;   ///< all its readings as stored, trimmed, spaces between
    std::string character;  ///< the character itself
    int suggested = 0;      ///< index in splitReadings(readings) that context suggests (0: first)
    std::string tag;        ///< the field the text stands in, empty when unknown
    char subfield = 'a';    ///< the code of the subfield the text stands in
    /// What "remember this reading" needs: the word around the character that the phrase data
    /// found (empty when none) and where it starts in text, 1-based in UTF-16 code units...
    std::string word;
    int wordAt = 0;
    /// ...and the reading each code point of text takes without asking (the word list, the
    /// phrase data, else the first reading), as stored; empty for one without a reading.
    std::vector<std::string> textReadings;
};

/// Answers the question: one of the readings, or nullopt for no choice, in which case the
/// lookup keeps its last reading (Romaniser::lastReading).
class Chooser {
public:
    virtual ~Chooser() = default;
    virtual std::optional<std::string> choose(const ChooserRequest& request) = 0;
};

}  // namespace pinyin
