// The settings of a run, as the window or the command line fills them.
#pragma once

#include <string>
#include <string_view>

namespace pinyin {

/// The eighteen tags that get pinyin unless the user lists others.
inline constexpr std::string_view kDefaultTags =
    "200,225,517,600,601,602,603,604,605,606,607,608,609,610,701,702,711,712";
/// Personal-name fields, whose subfield a starts with a surname.
inline constexpr std::string_view kDefaultNameTags = "600,700,701,702";

enum class LetterCase { Capitalised, Lower };
/// Whether a run of digits or Latin letters is glued to the syllable after it ("di 1ban") or
/// set apart from it by a space ("di 1 ban").
enum class Spacing { Glued, Apart };
/// How a character with several readings is resolved.
enum class Polyphone {
    Manual,     ///< the user picks every one in the chooser
    Automatic,  ///< the first stored reading
    Phrase,     ///< the reading the surrounding words call for, else the first
};
/// Which subfields of a listed field get pinyin.
enum class Subfields {
    A,        ///< subfield a only, into a subfield A or 9 (useCodeA)
    Chinese,  ///< every lower-case subfield that holds Chinese, into the upper-case letter of its code
};

/// Everything a run reads. The front end owns it; the run holds a reference, so the fields
/// below marked "every lookup" may change while a run is under way and apply from the next
/// character looked up. The others are fixed when the run starts.
struct RunSettings {
    std::string tagList{kDefaultTags};          ///< matched as text, never split at commas
    bool useCodeA = true;                       ///< "|A" when true, "|9" when false
    bool delExisting = true;                    ///< re-do fields that already carry pinyin
    LetterCase letterCase = LetterCase::Lower;  ///< every lookup
    Spacing spacing = Spacing::Glued;           ///< every lookup
    Polyphone polyphone = Polyphone::Manual;    ///< every lookup
    bool askOnlyWhenUnsure = false;             ///< every lookup; with Manual, settle the sure ones
    std::string nameTags{kDefaultNameTags};     ///< matched like tagList
    Subfields subfields = Subfields::A;         ///< with Chinese, useCodeA is not read
    bool removePinyin = false;                  ///< take out the pinyin `subfields` writes, add none
};

}  // namespace pinyin
