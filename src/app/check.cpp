// The check of existing pinyin: each listed field's pinyin compared with ours, character by
// character, and the disagreements written to a tab-separated report.
#include "app/check.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include "app/files.h"
#include "app/framer.h"
#include "app/source.h"
#include "app/start.h"
#include "codepage/codepage.h"
#include "marc/databar.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "pinyin/existing.h"
#include "pinyin/readings.h"
#include "text/ascii.h"
#include "text/tag_list.h"
#include "text/working_line.h"

namespace app {
namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;
/// Longer texts are compared, but their differing characters are not worked out.
constexpr std::size_t kLongestAligned = 1000;

/// The letters and digits of pinyin, lower case: a tone-marked vowel as the plain one, "ü" as
/// "v"; everything else (spaces, punctuation, the rest) left out.
void appendLetters(std::string& out, std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            if (text::isLetterOrDigit(static_cast<char>(b))) out += text::toLower(static_cast<char>(b));
            continue;
        }
        const char32_t c = codepage::utf8::next(s, i);
        static constexpr std::u32string_view kMarked[] = {U"āáǎàĀÁǍÀ", U"ēéěèêĒÉĚÈÊ", U"īíǐìĪÍǏÌ",
                                                          U"ōóǒòŌÓǑÒ", U"ūúǔùŪÚǓÙ",   U"ǖǘǚǜüǕǗǙǛÜ",
                                                          U"ńňǹŃŇǸ",   U"ḿḾ"};
        static constexpr char kPlain[] = "aeiouvnm";
        for (std::size_t k = 0; k < std::size(kMarked); ++k)
            if (kMarked[k].find(c) != std::u32string_view::npos) out += kPlain[k];
    }
}

/// The characters of `ours` whose letters an alignment of `ours` with `theirs` (fewest edits)
/// changes, by `owner`, the character each letter of ours comes from. A letter theirs has in
/// addition counts against the character after it (the last, at the end).
std::vector<std::size_t> differingOwners(const std::string& ours, const std::vector<std::size_t>& owner,
                                         const std::string& theirs) {
    const std::size_t n = ours.size(), m = theirs.size();
    std::vector<std::size_t> found;
    if (n == 0) return found;
    std::vector<std::uint32_t> d((n + 1) * (m + 1));
    const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return d[i * (m + 1) + j]; };
    for (std::size_t i = 0; i <= n; ++i) at(i, 0) = static_cast<std::uint32_t>(i);
    for (std::size_t j = 0; j <= m; ++j) at(0, j) = static_cast<std::uint32_t>(j);
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j)
            at(i, j) = std::min({at(i - 1, j - 1) + (ours[i - 1] == theirs[j - 1] ? 0u : 1u),
                                 at(i - 1, j) + 1, at(i, j - 1) + 1});
    for (std::size_t i = n, j = m; i > 0 || j > 0;) {
        if (i > 0 && j > 0 && ours[i - 1] == theirs[j - 1] && at(i, j) == at(i - 1, j - 1)) {
            --i, --j;
        } else if (j > 0 && at(i, j) == at(i, j - 1) + 1) {
            found.push_back(owner[std::min(i, n - 1)]), --j;
        } else if (i > 0 && j > 0 && at(i, j) == at(i - 1, j - 1) + 1) {
            found.push_back(owner[--i]), --j;
        } else {
            found.push_back(owner[--i]);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

using text::trimSpaces;

/// Field text for a report cell: a "|" of the data as itself, tabs and line breaks as spaces.
std::string cell(std::string_view s) {
    std::string out = marc::withBars(s);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

/// The subfield a (code first) that the pinyin subfield `pieces[k]` stands for: the nearest one
/// before it, else the first one after it; empty when the field has none.
std::string_view titleOf(const std::vector<std::string_view>& pieces, std::size_t k) {
    for (std::size_t i = k; i-- > 0;)
        if (!pieces[i].empty() && pieces[i][0] == 'a') return pieces[i];
    for (std::size_t i = k + 1; i < pieces.size(); ++i)
        if (!pieces[i].empty() && pieces[i][0] == 'a') return pieces[i];
    return {};
}

}  // namespace

/// Answers the quieter manual mode's questions with the suggested reading and keeps where
/// they were asked.
class PinyinChecker::Recorder : public pinyin::Chooser {
public:
    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override {
        asked.push_back(request.position);
        const std::string_view reading =
            pinyin::readingAt(request.readings, static_cast<std::size_t>(request.suggested));
        if (reading.empty()) return std::nullopt;
        return std::string(reading);
    }
    std::vector<int> asked;  ///< 1-based UTF-16 positions
};

PinyinChecker::PinyinChecker(const pinyin::PinyinTable& table, const pinyin::RunSettings& settings,
                             const pinyin::UserWords* words)
    : settings_(settings),
      unsureSettings_(settings),
      recorder_(std::make_unique<Recorder>()),
      ours_(table, settings_, nullptr),
      unsure_(table, unsureSettings_, recorder_.get()) {
    // Nobody is asked: the manual modes take what the words around call for.
    if (settings_.polyphone == pinyin::Polyphone::Manual) {
        settings_.polyphone = pinyin::Polyphone::Phrase;
        settings_.askOnlyWhenUnsure = false;
    }
    unsureSettings_.polyphone = pinyin::Polyphone::Manual;
    unsureSettings_.askOnlyWhenUnsure = true;
    ours_.setWords(words);
    unsure_.setWords(words);
    ours_.setStarts(&starts_);
}

PinyinChecker::~PinyinChecker() = default;

PinyinComparison PinyinChecker::compare(std::string_view text, std::string_view existing,
                                        std::string_view tag, char subfield) {
    PinyinComparison c;
    const std::string out = ours_.pinyin(text, tag, subfield);
    c.ours = std::string(trimSpaces(out));
    std::string letters, theirs;
    std::vector<std::size_t> owner;
    for (std::size_t k = 0; k + 1 < starts_.size(); ++k) {
        appendLetters(letters, std::string_view(out).substr(starts_[k], starts_[k + 1] - starts_[k]));
        owner.resize(letters.size(), k);
    }
    appendLetters(theirs, existing);
    if (letters == theirs) return c;
    c.agrees = false;
    if (letters.size() > kLongestAligned || theirs.size() > kLongestAligned) return c;
    c.places = differingOwners(letters, owner, theirs);

    recorder_->asked.clear();
    unsure_.pinyin(text, tag, subfield);
    // The questions' UTF-16 positions as characters.
    std::vector<std::size_t> askedAt;
    std::size_t units = 0, index = 0;
    for (std::size_t i = 0; i < text.size(); ++index) {
        const char32_t ch = codepage::utf8::next(text, i);
        if (std::find(recorder_->asked.begin(), recorder_->asked.end(), static_cast<int>(units) + 1) !=
            recorder_->asked.end())
            askedAt.push_back(index);
        units += ch > 0xFFFF ? 2 : 1;
    }
    for (std::size_t& p : c.places) {
        c.unsure = c.unsure || std::find(askedAt.begin(), askedAt.end(), p) != askedAt.end();
        ++p;  // 1-based from here on
    }
    return c;
}

namespace {

class Check {
public:
    Check(const BatchOptions& options, const pinyin::RunSettings& settings, BatchObserver& observer)
        : options_(options), settings_(settings), observer_(observer), report_(options.outputPath) {}

    CheckResult go();

private:
    void start();
    void handle(const Frame& frame);
    void checkRecord(const std::string& working);
    void fail(const Frame& frame, problem::Problem problem);

    const BatchOptions& options_;
    const pinyin::RunSettings& settings_;
    BatchObserver& observer_;
    std::unique_ptr<InputFile> input_;
    AppendFile report_;
    const codepage::Codec* codec_ = nullptr;  // chosen, or decided from the first block
    std::optional<RecordCodePage> codePage_;  // decides codec_, and checks the listed fields
    marc::SourceRecord source_;
    text::TagList tags_{settings_.tagList};
    std::shared_ptr<const pinyin::PinyinTable> table_;
    std::unique_ptr<PinyinChecker> checker_;
    std::unique_ptr<RecordSource> records_;
    CheckResult result_;
    std::string cleaned_, lines_;
};

void Check::start() {
    input_ = std::make_unique<InputFile>(options_.inputPath);
    records_ = std::make_unique<RecordSource>(*input_);
    checkOutput(*input_, options_.inputPath, report_);
    const FirstBlock first = readCheckedFirstBlock(*records_, options_);
    codePage_.emplace(first, options_);
    codec_ = &codePage_->codec();
    // Every mode is compared with the quieter manual mode's questions, which read the phrase data.
    table_ = options_.table ? options_.table : loadTable(options_.dbPath, PhraseUse::IfPresent);
    checkPhrases(*table_, options_.dbPath, PhraseUse::IfPresent);
    // The report is written afresh, once it is ours (locked: never the file a run is writing)
    // and holds no records (an output named by mistake).
    refuse(report_.open());
    if (report_.isRegular() && report_.size() > 0) {
        if (holdsRecordLeader(report_.readAt(0, kBlockSize)))
            throw StartError(problem::of(problem::Kind::ReportHoldsRecords, options_.outputPath));
        refuse(report_.truncateTo(0));
    }
    checker_ = std::make_unique<PinyinChecker>(*table_, settings_, options_.words.get());
    lines_ = "record\t001\ttag\ttext\texisting\tours\tdiffering\tunsure\n";
}

void Check::checkRecord(const std::string& working) {
    std::string id;
    std::string out;
    // Unlike the annotation, a line keeps an LF that stands inside it: the reader refuses line
    // breaks in field data, so the records checked hold none there.
    for (const std::string_view line : text::linesOf(working)) {
        const std::string_view tag = line.substr(0, 3);
        if (tag == "001" && id.empty()) id = std::string(trimSpaces(line.substr(3)));
        if (tag.size() == 3 && !trimSpaces(tag).empty() &&
            std::string_view(settings_.tagList).find(tag) != std::string_view::npos) {
            std::vector<std::string_view> pieces;
            for (const text::Subfield s : text::subfieldsOf(line)) pieces.push_back(s.piece);
            bool checked = false, differs = false;
            const pinyin::Subfields mode = settings_.subfields;
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                const std::string_view py = pieces[k];
                if (!pinyin::isPinyinSubfield(py, k > 0 ? pieces[k - 1] : std::string_view(), mode)) continue;
                // The subfield a it romanises: the nearest before it, else the first after it;
                // in the other mode, its source right before it, when that holds Chinese (a pair
                // a run would write).
                const std::string_view a = mode == pinyin::Subfields::A ? titleOf(pieces, k) : pieces[k - 1];
                if (a.empty() || (mode == pinyin::Subfields::Chinese && !pinyin::holdsChinese(a.substr(1))))
                    continue;
                checked = true;
                const PinyinComparison c = checker_->compare(a.substr(1), py.substr(1), tag, a[0]);
                if (c.agrees) continue;
                differs = true;
                std::string places;
                for (std::size_t p : c.places) {
                    if (!places.empty()) places += ',';
                    places += std::to_string(p);
                }
                // Which subfield, where every subfield may have its own.
                const std::string where =
                    mode == pinyin::Subfields::A ? std::string(tag) : std::string(tag) + '$' + a[0];
                out += std::to_string(result_.read) + '\t' + cell(id) + '\t' + where + '\t' +
                       cell(a.substr(1)) + '\t' + cell(trimSpaces(py.substr(1))) + '\t' + cell(c.ours) +
                       '\t' + places + '\t' + (c.unsure ? "yes" : "no") + '\n';
            }
            result_.checked += checked;
            result_.differing += differs;
        }
    }
    lines_ += out;
}

void Check::fail(const Frame& frame, problem::Problem problem) {
    ++result_.failed;
    RecordFailure failure{result_.read, frame.line, frame.offset, marc::identifierOf(frame.bytes, *codec_),
                          std::move(problem)};
    observer_.recordFailed(failure);
    if (result_.failures.size() < kFailuresKept) result_.failures.push_back(std::move(failure));
}

void Check::handle(const Frame& frame) {
    if (frame.continuation) return;
    ++result_.read;
    if (frame.problem) {
        fail(frame, problem::of(*frame.problem));
    } else {
        try {
            cleanRecord(frame.bytes, cleaned_);
            codePage_->see(cleaned_, records_->ahead(frame.offset + frame.bytes.size()));
            codec_ = &codePage_->codec();
            marc::readRecord(cleaned_, *codec_, source_);
            // As a run: text that does not read in the run's code page is not compared.
            if (std::optional<problem::Problem> p = codePage_->checkFields(source_, tags_))
                fail(frame, *p);
            else
                checkRecord(source_.working);
        } catch (const problem::Error& e) {
            fail(frame, e.problem);
        } catch (const std::exception& e) {
            // A fault of the program itself, no problem of the record: said as it stands.
            problem::Problem p;
            p.detail = e.what();
            fail(frame, p);
        }
    }
    if (lines_.size() >= kBlockSize) {
        if (FileProblem p = report_.append(lines_)) {
            result_.stopped = true;
            result_.stopProblem = std::move(*p);
            return;
        }
        lines_.clear();
    }
    observer_.recordDone(result_.read);
    observer_.progress(records_->consumed(), input_->size());
    if (!observer_.yieldPoint()) result_.stopped = true;
}

CheckResult Check::go() {
    start();
    const auto began = std::chrono::steady_clock::now();
    Frame frame;
    try {
        while (!result_.stopped && records_->next(frame)) handle(frame);
    } catch (const problem::Error& e) {
        result_.stopped = true;
        result_.stopProblem = e.problem;
    } catch (const StopAsked&) {
        result_.stopped = true;
    }
    if (!lines_.empty() && !result_.stopProblem)
        if (FileProblem p = report_.append(lines_)) {
            result_.stopped = true;
            result_.stopProblem = std::move(*p);
        }
    result_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return std::move(result_);
}

}  // namespace

CheckResult runCheck(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer) {
    Check check(options, settings, observer);
    return check.go();
}

}  // namespace app
