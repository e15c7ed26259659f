// The review: every reading the quieter manual mode would ask about, gathered from a whole input
// and grouped by the word it stands in, settled in one table, then used by a run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/batch.h"
#include "pinyin/chooser.h"

namespace app {

/// How many occurrences of a group keep their text; the rest keep only their record number.
inline constexpr std::size_t kReviewTextsKept = 20;

/// What a group is: the asked character, `index` (1-based, in code points) of `word`. The word is
/// the one the phrase data found around the character; where it found none, the character with
/// its neighbour on each side (a space or a control character is no neighbour).
struct ReviewKey {
    std::string word;
    std::uint32_t index = 1;
    auto operator<=>(const ReviewKey&) const = default;
};

/// The key of the question `request` asks.
ReviewKey reviewKey(const pinyin::ChooserRequest& request);

/// One place a group's character is asked about.
struct ReviewPlace {
    std::int64_t record = 0;  ///< 1-based number of the record in the input
    std::string tag;
    std::string id;        ///< the record's 001
    std::string text;      ///< the subfield's text, a "|" of the data as itself
    std::uint32_t at = 0;  ///< 0-based code point of the character in text
};

struct ReviewGroup {
    ReviewKey key;
    std::string character;
    std::vector<std::string> readings;  ///< as stored, in py.db's order
    std::uint32_t suggested = 0;        ///< the reading the phrase mode takes
    std::int64_t count = 0;
    std::vector<ReviewPlace> places;  ///< the first kReviewTextsKept occurrences
    std::vector<std::int64_t> more;   ///< the record numbers of the others
};

/// The input as it was gathered: a review is only good for the same bytes.
struct ReviewInput {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};

/// The size and hash of the file at `path`. Throws StartError when it cannot be read or is no
/// regular file (a review has to know its input again).
ReviewInput reviewInputOf(const std::string& path);

/// The options that decide which readings are unsure, as the review file's first line keeps
/// them: an answers file made with others does not fit the run.
struct ReviewOptions {
    std::string tags;
    std::string existing;         ///< "delete" or "keep"
    std::string encoding;         ///< as chosen ("auto", "gbk", ...)
    std::string words;            ///< the word lists' paths, apart by commas
    std::string subfields = "a";  ///< "a" or "chinese": which subfields are romanised
};

struct ReviewGathering {
    std::vector<ReviewGroup> groups;  ///< most occurrences first, then in order of first occurrence
    std::int64_t questions = 0;       ///< the questions the quieter manual mode would ask
    BatchResult run;                  ///< the records read, failed, and whether it stopped
};

/// Reads every record of options.inputPath as a run in the quieter manual mode would, writes
/// nothing (options.outputPath and rejectsPath are not used), and gathers each question it
/// would ask. `observer` hears of the records and may stop the pass; it is never asked. Throws
/// StartError as a run would.
ReviewGathering gatherReview(BatchOptions options, const pinyin::RunSettings& settings,
                             BatchObserver& observer);

/// The cataloguer's answer for one group.
struct ReviewAnswer {
    std::string reading;  ///< as stored
    bool remember = false;
    std::size_t line = 0;  ///< where the answers file has it, 0 when it came from elsewhere
};

struct ReviewAnswers {
    std::map<ReviewKey, ReviewAnswer> groups;
    /// Occurrences given their own reading: the group, the record and which of the group's
    /// occurrences in that record (1-based).
    std::map<std::pair<ReviewKey, std::pair<std::int64_t, std::uint32_t>>, std::string> places;
};

/// The review file: a first line that names the input and the options, a header, then one line
/// a group (word, index, readings, reading, count, remember, where), most occurrences first.
/// Readings are written in lower case.
std::string reviewFileText(const ReviewGathering& g, const ReviewInput& input, const ReviewOptions& options,
                           const ReviewAnswers* answers = nullptr);

/// Reads an answers file. Throws StartError: ReviewCannotRead, ReviewOtherInput (made from another
/// input, or the input changed since), ReviewOtherOptions, ReviewInvalid (a line that does not
/// fit, with its number) or ReviewBadReading (a reading that is none of the line's readings).
ReviewAnswers readReviewFile(const std::string& path, const ReviewInput& input, const ReviewOptions& options);

/// Answers every question of a run with its group's reading (its occurrence's own, where it has
/// one), else the suggestion, and collects the words to remember. Set `record` before each record.
class ReviewChooser : public pinyin::Chooser {
public:
    explicit ReviewChooser(const ReviewAnswers& answers) : answers_(answers) {}
    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;
    void startRecord(std::int64_t number);

    /// The words whose group says remember, each with its syllables (lower case, one for each
    /// character that has a reading), as the run met them.
    std::vector<std::pair<std::string, std::string>> remembered() const;

private:
    const ReviewAnswers& answers_;
    std::int64_t record_ = 0;
    std::map<ReviewKey, std::uint32_t> inRecord_;  // occurrences of each group in this record so far
    std::map<std::string, std::vector<std::string>> words_;  // word: reading of each code point
};

/// A run with the answers: `settings` in the phrase mode, every unsure reading taken from
/// `answers`. The words to remember are returned; the caller appends them to its word list.
BatchResult runWithAnswers(const BatchOptions& options, pinyin::RunSettings settings,
                           const ReviewAnswers& answers, BatchObserver& observer,
                           std::vector<std::pair<std::string, std::string>>* remembered = nullptr);

}  // namespace app
