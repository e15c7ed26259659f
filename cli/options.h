// The command line's options: parsed into a plain struct, then turned into the core's settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/review.h"
#include "pinyin/settings.h"

namespace cli {

/// How --polyphone resolves characters with several readings.
enum class PolyphoneChoice { First, Ask, Phrase, AskUnsure };

/// Every option, checked against its allowed values and mapped to the core's own types where
/// there is one.
struct Options {
    std::string input;
    std::string output;
    std::string tags{pinyin::kDefaultTags};
    std::string code = "A";  ///< A | 9
    pinyin::LetterCase letterCase = pinyin::LetterCase::Lower;
    pinyin::Spacing spacing = pinyin::Spacing::Glued;
    std::string existing = "delete";  ///< delete | keep
    std::string subfields = "a";      ///< a | chinese
    bool removePinyin = false;        ///< take the pinyin out instead of adding it
    PolyphoneChoice polyphone = PolyphoneChoice::Phrase;
    std::string encoding = "auto";  ///< auto | gbk | gb18030 | utf-8
    std::string leader = "keep";    ///< keep | template
    std::string db;                 ///< empty: py.db beside the executable
    app::Separator separator = app::Separator::AsInput;
    bool dump = false;
    bool lines = false;
    std::string field = "200";  ///< with --lines: the field the text stands in
    bool quiet = false;
    long long skip = 0;              ///< records at the start of the input to read past
    std::vector<std::string> words;  ///< the cataloguer's word lists, later ones win
    bool check = false;              ///< OUTPUT is a report of existing pinyin that disagrees
    bool repairTail = false;         ///< cut a partial record off the output's end first
    std::string rejects;             ///< where failed records go; empty: the default
    std::string reviewOut;           ///< write only the review of the unsure readings, here
    std::string answers;             ///< a review file whose readings the run takes
};

/// Whether the terminal chooser asks in this run.
inline bool asks(const Options& o) {
    return o.polyphone == PolyphoneChoice::Ask || o.polyphone == PolyphoneChoice::AskUnsure;
}

/// Exit statuses.
inline constexpr int kAllWritten = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kCannotStart = 2;

/// Parses the arguments into `options`. Returns an exit status when the program should end at
/// once (help shown: 0; a usage error, already reported on standard error in the locale's
/// language: kCannotStart).
std::optional<int> parseOptions(int argc, const char* const* argv, Options& options);

/// The batch run's options (paths, encoding, separator, py.db).
app::BatchOptions toBatchOptions(const Options& options);
/// The options a review file keeps, to know whether an answers file fits the run.
app::ReviewOptions toReviewOptions(const Options& options);
/// The run settings (tags, code, existing pinyin, letter case, polyphonic choice).
pinyin::RunSettings toRunSettings(const Options& options);

}  // namespace cli
