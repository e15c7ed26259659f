// The check of existing pinyin: fields that already carry pinyin, compared with what a run
// would write, each disagreement one line of a report.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch.h"
#include "pinyin/lookup.h"

namespace app {

struct CheckResult {
    std::int64_t read = 0;       ///< records counted
    std::int64_t failed = 0;     ///< records the reader refused
    std::int64_t checked = 0;    ///< listed fields with a subfield a and pinyin behind it
    std::int64_t differing = 0;  ///< of those, the fields whose pinyin disagrees somewhere
    std::vector<RecordFailure> failures;
    bool stopped = false;  ///< ended early: the observer asked, or writing the report failed
    std::optional<problem::Problem> stopProblem;  ///< why reading or writing stopped the check
    double seconds = 0;
};

/// One subfield a and the pinyin subfield behind it, compared.
struct PinyinComparison {
    bool agrees = true;
    std::string ours;                 ///< what the run would write, trimmed
    std::vector<std::size_t> places;  ///< 1-based characters of the text whose pinyin differs
    bool unsure = false;              ///< the quieter manual mode would ask about one of them
};

/// Compares the pinyin records carry with what a run would write for the same text.
class PinyinChecker {
public:
    /// `settings` chooses the mode compared with; a manual mode takes what the phrase mode
    /// would, as nobody is asked. `words` may be null.
    PinyinChecker(const pinyin::PinyinTable& table, const pinyin::RunSettings& settings,
                  const pinyin::UserWords* words);
    ~PinyinChecker();

    /// Compares `existing`, the pinyin a field carries for `text` (subfield `subfield` of field
    /// `tag`), with ours. Letter case, spaces and punctuation do not count; tone marks and "ü"
    /// read as the plain letters and "v".
    PinyinComparison compare(std::string_view text, std::string_view existing, std::string_view tag,
                             char subfield = 'a');

private:
    class Recorder;
    pinyin::RunSettings settings_, unsureSettings_;
    std::unique_ptr<Recorder> recorder_;
    pinyin::Romaniser ours_, unsure_;
    std::vector<std::size_t> starts_;
};

/// Reads every record of options.inputPath and writes to options.outputPath (replaced; "-" for
/// standard output) one tab-separated UTF-8 line per listed field whose subfield a has pinyin
/// (code A or 9) directly behind it that disagrees with what `settings` would write (under
/// Subfields::Chinese, per pair of a source holding Chinese and its capital behind it, the tag
/// then written with the source's code: "200$f"): record number, 001, tag, the text, the existing pinyin,
/// ours, the differing characters, and whether the quieter manual mode would have asked about one of them.
/// Writes no records and asks no questions: the manual modes take what the phrase mode would. A header line
/// comes first. Throws StartError when the check cannot start; records the reader refuses are reported to the
/// observer.
CheckResult runCheck(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer);

}  // namespace app
