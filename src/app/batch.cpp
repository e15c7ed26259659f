// The batch run: frames the input, reads, annotates and rebuilds each record, appends it whole.
#include "app/batch.h"

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <utility>

#include "app/files.h"
#include "app/framer.h"
#include "app/shown_chooser.h"
#include "app/source.h"
#include "app/start.h"
#include "codepage/detect.h"
#include "marc/constants.h"
#include "marc/error.h"
#include "marc/identifiers.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "pinyin/annotate.h"
#include "pinyin/lookup.h"
#include "pinyin/table.h"

namespace app {
namespace {

constexpr std::string_view kNothingToWrite = "the record has no field to write besides 001 and 005";

class Run : public RunControl {
public:
    Run(const BatchOptions& options, const pinyin::RunSettings& settings, BatchObserver& observer)
        : options_(options), settings_(settings), observer_(observer),
          output_(options.outputPath),
          rejects_(options.rejectsPath.empty() ? rejectsPathFor(options.outputPath)
                                               : options.rejectsPath),
          failureLog_(rejects_.path() + ".txt"),
          identifiers_(options.clock, options.identifierStatePath) {
        context_.source = &source_;
        context_.keepLeader = options.keepLeader;
        context_.clock = options.clock;
        context_.identifiers = &identifiers_;
    }

    BatchResult go();
    bool writeOut() override { return writeGathered(); }

private:
    /// The observer's chooser, behind the records gathered for the output: they are written
    /// before every question, so that a user who leaves then finds them in the file.
    class WriteFirst : public pinyin::Chooser {
    public:
        WriteFirst(Run& run, pinyin::Chooser& chooser) : run_(run), chooser_(chooser) {}
        std::optional<std::string> choose(const pinyin::ChooserRequest& request) override {
            if (!run_.writeGathered()) return std::nullopt;  // the run stops: nobody is asked
            return chooser_.choose(request);
        }

    private:
        Run& run_;
        pinyin::Chooser& chooser_;
    };

    /// A record gathered for the output and not yet written, as the input holds it: what a
    /// failure to write it keeps aside.
    struct Gathered {
        std::int64_t number;
        Frame frame;
    };

    void start();
    void readFirstBlock();
    void handle(const Frame& frame);
    void fail(std::int64_t number, const Frame& frame, problem::Problem problem, std::string reason);
    void write(const Frame& frame, const std::string& encoded);
    void noteCharCounted(const Frame& frame);
    bool writeGathered();
    void leaveForLater();
    void toRejects(std::string_view bytes, bool last);
    void stop(problem::Problem problem, std::string error);
    void stopAtUsersWish();
    void halt(problem::Problem problem, std::string error);
    void rememberOutputEnd();

    const BatchOptions& options_;
    const pinyin::RunSettings& settings_;
    BatchObserver& observer_;
    std::unique_ptr<InputFile> input_;
    AppendFile output_;
    AppendFile rejects_;
    AppendFile failureLog_;
    const codepage::Codec* codec_ = nullptr;
    marc::IdentifierSequence identifiers_;
    marc::SourceRecord source_;
    marc::WriteContext context_;
    std::shared_ptr<const pinyin::PinyinTable> table_;
    // The settings as the run started, for the tag list, subfield code and existing-pinyin
    // choice, which hold for the whole run; the romaniser reads the letter case and polyphonic
    // choice from the live settings at every lookup.
    pinyin::RunSettings atStart_;
    std::optional<ShownChooser> shownChooser_;
    std::unique_ptr<WriteFirst> asker_;
    std::unique_ptr<pinyin::Romaniser> romaniser_;
    std::unique_ptr<RecordSource> records_;
    BatchResult result_;
    std::string cleaned_;
    std::string_view separator_;
    std::int64_t number_ = 0;      // of the record being handled, in the input
    bool skipping_ = false;        // the frame being handled is read past
    bool rejectsWhole_ = false;    // every piece of the failed record so far is in the rejects file
    std::string outputEnd_;        // the output's last record as it stood before the run
    std::vector<Gathered> gathered_;  // the records the output gathers, in order
    bool outputFailed_ = false;    // the output did not take a write: nothing more goes to it
};

void Run::start() {
    input_ = std::make_unique<InputFile>(options_.inputPath);
    records_ = std::make_unique<RecordSource>(*input_);
    checkOutput(*input_, options_.inputPath, output_, "the output file itself");
    refuseSameFile(*input_, options_.inputPath, rejects_.path(), problem::Kind::InputIsRejects,
                   "the rejects file " + rejects_.path());
    // py.db is loaded on a thread of its own while the first block is read and its code page
    // decided; its errors still come after the input's (the loading is waited for either way).
    const PhraseUse phrases = phraseUseOf(settings_);
    std::future<std::shared_ptr<const pinyin::PinyinTable>> loading;
    if (!options_.table)
        loading = std::async(std::launch::async | std::launch::deferred,
                             [path = options_.dbPath, phrases] { return loadTable(path, phrases); });
    readFirstBlock();
    table_ = options_.table ? options_.table : loading.get();
    checkPhrases(*table_, options_.dbPath, phrases);
    refuse(output_.open());
    rememberOutputEnd();
    atStart_ = settings_;
    if (pinyin::Chooser* chooser = observer_.chooser()) {
        shownChooser_.emplace(chooser);
        asker_ = std::make_unique<WriteFirst>(*this, *shownChooser_);
    }
    romaniser_ = std::make_unique<pinyin::Romaniser>(*table_, settings_, asker_.get());
    romaniser_->setWords(options_.words.get());
    separator_ = result_.separator == Separator::CrLf ? marc::kCrLf : std::string_view{};
}

/// Reads the input's first block and decides, or checks, its code page from it: the block is
/// framed afterwards, so nothing is read twice.
void Run::readFirstBlock() {
    const FirstBlock first = readCheckedFirstBlock(*records_, options_);
    result_.encoding = first.encoding;
    result_.encodingDetected = options_.autoEncoding;
    result_.asciiOnly = first.detection.asciiOnly;
    codec_ = &codepage::Codec::get(result_.encoding);
    result_.separator = options_.separator;
    if (options_.separator == Separator::AsInput) {
        const std::string_view bytes = first.bytes;
        const std::size_t end = bytes.find(marc::kRecordTerminator);
        const bool lineBreak = end != std::string_view::npos && end + 1 < bytes.size() &&
                               (bytes[end + 1] == '\r' || bytes[end + 1] == '\n');
        result_.separator = lineBreak || end == std::string_view::npos ? Separator::CrLf : Separator::None;
    }
}

/// Keeps the output's last record, to notice a run that writes the same records again.
void Run::rememberOutputEnd() {
    std::string tail = output_.tail(marc::kMaxPosition + 2);
    while (!tail.empty() && (tail.back() == '\r' || tail.back() == '\n')) tail.pop_back();
    if (tail.empty() || tail.back() != marc::kRecordTerminator) return;
    const std::size_t before = tail.find_last_of(marc::kRecordTerminator, tail.size() - 2);
    std::size_t from = before == std::string::npos ? 0 : before + 1;
    while (from < tail.size() && (tail[from] == '\r' || tail[from] == '\n')) ++from;
    outputEnd_ = tail.substr(from);
}

/// Ends the run on a fault, once the records gathered are written; the first reason stands (a
/// write that fails on the way is the first).
void Run::stop(problem::Problem problem, std::string error) {
    if (result_.stopped || !writeGathered()) return;
    halt(std::move(problem), std::move(error));
}

/// Ends the run between two records, once the records gathered are written, and says where a
/// later run goes on.
void Run::stopAtUsersWish() {
    if (result_.stopped || !writeGathered()) return;
    result_.stopped = true;
    if (result_.nextRecord == 0) {
        result_.nextRecord = number_ + 1;
        result_.nextOffset = records_->consumed();
    }
}

/// Ends the run on a fault as it stands, nothing more written.
void Run::halt(problem::Problem problem, std::string error) {
    result_.stopped = true;
    if (result_.nextRecord == 0) {
        result_.nextRecord = number_ + 1;
        result_.nextOffset = records_->consumed();
    }
    result_.error = std::move(error) + "; " + std::to_string(result_.written) +
                    (result_.written == 1 ? " record" : " records") + " written";
    result_.stopProblem = std::move(problem);
}

/// Writes the records gathered for the output; they count as written from here. When the output
/// takes only some, the first it did not take fails like any other record (and is kept aside),
/// those after it count as not handled, and the run stops there: a later run goes on from the
/// failed record. False from then on.
bool Run::writeGathered() {
    if (outputFailed_) return false;
    if (gathered_.empty()) return true;
    AppendFile::Written w = output_.writeGathered();
    result_.written += static_cast<std::int64_t>(w.records);
    if (w.records > 0) observer_.recordsWritten(result_.written);
    if (!w.problem) {
        gathered_.clear();
        return true;
    }
    const Gathered first = gathered_[w.records];
    result_.read -= static_cast<std::int64_t>(gathered_.size() - w.records - 1);
    gathered_.clear();
    result_.nextRecord = first.number;
    result_.nextOffset = first.frame.offset;
    halt(*w.problem, w.problem->detail);
    fail(first.number, first.frame, *w.problem, w.problem->detail);
    outputFailed_ = true;
    return false;
}

/// The record being handled when the output failed before it was written: not handled after
/// all, a later run goes on before it.
void Run::leaveForLater() { --result_.read; }

void Run::toRejects(std::string_view bytes, bool last) {
    if (!rejectsWhole_) return;  // an earlier piece is missing: what follows cannot make it whole
    rejectsWhole_ = false;
    if (!rejects_.isOpen()) {
        if (FileProblem p = rejects_.open()) {
            p->kind = problem::Kind::RejectsWriteFailed;
            stop(*p, p->detail);
            return;
        }
        result_.rejectsPath = rejects_.path();
    }
    if (FileProblem p = rejects_.append(bytes, last ? marc::kCrLf : std::string_view{})) {
        p->kind = problem::Kind::RejectsWriteFailed;
        stop(*p, p->detail);
        return;
    }
    rejectsWhole_ = true;
    if (last) ++result_.rejectsKept;
}

void Run::fail(std::int64_t number, const Frame& frame, problem::Problem problem, std::string reason) {
    // The records gathered before it go first, so that a stopped run's place holds for the
    // output and the rejects file alike.
    if (!writeGathered()) return leaveForLater();
    ++result_.failed;
    RecordFailure failure{number, frame.line, frame.offset, marc::identifierOf(frame.bytes, *codec_),
                          std::move(problem), std::move(reason)};
    observer_.recordFailed(failure);
    // The log is a convenience beside the rejects file, which keeps the records themselves: a
    // log that cannot be written does not stop the run.
    if (options_.describeFailure) {
        if (!failureLog_.isOpen() && !failureLog_.open()) result_.failureLogPath = failureLog_.path();
        if (failureLog_.isOpen()) (void)failureLog_.append(options_.describeFailure(failure), "\n");
    }
    if (result_.failures.size() < kFailuresKept) result_.failures.push_back(std::move(failure));
    rejectsWhole_ = true;
    toRejects(frame.bytes, !frame.continues);
}

/// A record read with its lengths counted in characters: counted, and said in the failure log.
void Run::noteCharCounted(const Frame& frame) {
    ++result_.charCounted;
    if (!options_.describeFailure) return;
    if (!failureLog_.isOpen() && !failureLog_.open()) result_.failureLogPath = failureLog_.path();
    const RecordFailure note{number_, frame.line, frame.offset, marc::identifierOf(frame.bytes, *codec_),
                             problem::of(problem::Kind::CharCountedLengths), {}};
    if (failureLog_.isOpen()) (void)failureLog_.append(options_.describeFailure(note), "\n");
}

/// Gathers one record for the output, writing those gathered before when it does not fit beside
/// them; it counts as written only once its bytes are in the output (writeGathered()).
void Run::write(const Frame& frame, const std::string& encoded) {
    if (!output_.fits(encoded.size() + separator_.size()) && !writeGathered()) return leaveForLater();
    if (result_.repeatsOutputEnd == 0 && encoded.size() == outputEnd_.size() && encoded == outputEnd_)
        result_.repeatsOutputEnd = number_;
    output_.gather(encoded, separator_);
    gathered_.push_back({number_, frame});
}

void Run::handle(const Frame& frame) {
    if (frame.continuation) {  // the rest of an overlong piece, already counted
        if (!skipping_) toRejects(frame.bytes, !frame.continues);
        return;
    }
    ++number_;
    skipping_ = number_ <= options_.skip;
    if (skipping_) {
        ++result_.skipped;
        return;
    }
    ++result_.read;
    if (!frame.problem.empty()) {
        fail(number_, frame, problem::of(problemKindOf(frame.problem)), std::string(frame.problem));
    } else {
        cleanRecord(frame.bytes, cleaned_);
        try {
            marc::readRecord(cleaned_, *codec_, source_);
            if (source_.charCounted) noteCharCounted(frame);
            observer_.recordStarted(number_, source_.working);
            // The writer passes over empty lines: the annotated text goes to it as py returns it.
            const std::string annotated = pinyin::py(source_.working, atStart_, *romaniser_);
            if (outputFailed_) return leaveForLater();  // at a question
            const std::string encoded = marc::marcToIsoBytes(annotated, *codec_, context_);
            if (encoded.empty())
                fail(number_, frame, problem::of(problem::Kind::NothingToWrite), std::string(kNothingToWrite));
            else
                write(frame, encoded);
        } catch (const marc::MarcError& e) {
            problem::Problem p = e.problem;
            if (p.kind == problem::Kind::InvalidBytes) p.value += static_cast<long long>(frame.offset);
            fail(number_, frame, std::move(p), e.what());
        } catch (const pinyin::DbError& e) {
            // The phrase data is read at the first record that needs it; a py.db that fails
            // then fails every record alike, so the run stops with the record kept aside.
            problem::Problem p = problem::of(problem::Kind::DbFailed, options_.dbPath);
            p.detail = e.detail.empty() ? e.what() : e.detail;
            stop(p, e.what());
            fail(number_, frame, p, e.what());
        } catch (const std::exception& e) {
            problem::Problem p = problem::of(problem::Kind::Unexpected);
            p.detail = e.what();
            fail(number_, frame, std::move(p), e.what());
        }
    }
    if (result_.stopped) return;
    observer_.recordDone(result_.read);
    observer_.progress(records_->consumed(), input_->size());
    if (!observer_.yieldPoint()) stopAtUsersWish();
}

BatchResult Run::go() {
    start();
    observer_.started(*this);
    auto began = std::chrono::steady_clock::now();
    Frame frame;
    // The records gathered point into the framer's bytes, which the next block replaces.
    const std::function<bool()> writeFirst = [this] { return writeGathered(); };
    while (!result_.stopped) {
        try {
            if (!records_->next(frame, writeFirst)) break;
        } catch (const FileError& e) {
            stop(e.problem, e.what());
            break;
        }
        handle(frame);
    }
    (void)writeGathered();
    result_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    observer_.finished(result_);
    return std::move(result_);
}

}  // namespace

std::string rejectsPathFor(const std::string& outputPath) {
    if (outputPath == "-") return "marc-pinyin.rejected";
    return outputPath + ".rejected";
}

BatchResult runBatch(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer) {
    if (settings.polyphone == pinyin::Polyphone::Manual && !observer.chooser())
        throw std::invalid_argument("manual choice of readings needs the observer's chooser");
    Run run(options, settings, observer);
    return run.go();
}

}  // namespace app
