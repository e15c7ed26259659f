// The command line's options: parsed into a plain struct, then turned into the core's settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "pinyin/settings.h"

namespace cli {

/// Every option as typed, already checked against its allowed values.
struct Options {
    std::string input;
    std::string output;
    std::string tags{pinyin::kDefaultTags};
    std::string code = "A";            ///< A | 9
    std::string letterCase = "lower";  ///< lower | capital
    std::string existing = "delete";   ///< delete | keep
    std::string polyphone = "phrase";  ///< first | ask | phrase | ask-unsure
    std::string encoding = "auto";     ///< auto | gbk | gb18030 | utf-8
    std::string leader = "keep";       ///< keep | template
    std::string db;                    ///< empty: py.db beside the executable
    std::string separator = "auto";    ///< auto | crlf | none
    bool dump = false;
    bool lines = false;
    std::string field = "200";         ///< with --lines: the field the text stands in
    bool quiet = false;
    long long skip = 0;                ///< records at the start of the input to read past
    std::vector<std::string> words;    ///< the cataloguer's word lists, later ones win
    bool check = false;                ///< OUTPUT is a report of existing pinyin that disagrees
};

/// Exit statuses.
inline constexpr int kAllWritten = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kCannotStart = 2;

/// Parses the arguments into `options`. Returns an exit status when the program should end at
/// once (help shown: 0; a usage error, already reported on standard error: kCannotStart).
std::optional<int> parseOptions(int argc, const char* const* argv, Options& options);

/// The batch run's options (paths, encoding, separator, py.db).
app::BatchOptions toBatchOptions(const Options& options);
/// The run settings (tags, code, existing pinyin, letter case, polyphonic choice).
pinyin::RunSettings toRunSettings(const Options& options);

}  // namespace cli
