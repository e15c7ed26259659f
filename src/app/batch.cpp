// The batch run: frames the input, reads, annotates and rebuilds each record, appends it whole.
#include "app/batch.h"

#include <sched.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/files.h"
#include "app/framer.h"
#include "app/handoff.h"
#include "app/output_end.h"
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
#include "text/tag_list.h"

namespace app {
namespace {

/// Whether a record is laid out as the writer lays one out, so that it may go out as it came:
/// record length and base address in five digits each and right, every directory entry's numbers
/// in digits, the fields back to back in directory order, each ended by its terminator, the
/// record terminator last.
bool laidOutAsWritten(std::string_view rec) {
    const auto number = [&](std::size_t at, std::size_t width) {
        std::size_t n = 0;
        for (std::size_t i = at; i < at + width; ++i) {
            if (rec[i] < '0' || rec[i] > '9') return std::string_view::npos;
            n = n * 10 + static_cast<std::size_t>(rec[i] - '0');
        }
        return n;
    };
    if (rec.size() < 26 || rec.back() != '\x1D' || number(0, 5) != rec.size()) return false;
    const std::size_t base = number(12, 5);
    if (base == std::string_view::npos || base <= 24 || base >= rec.size() ||
        rec.find('\x1E', 24) != base - 1 || (base - 25) % 12 != 0)
        return false;
    std::size_t next = 0;  // where the next field must start
    for (std::size_t e = 24; e + 12 <= base - 1; e += 12) {
        const std::size_t length = number(e + 3, 4), start = number(e + 7, 5);
        if (length == std::string_view::npos || start != next || length == 0 ||
            base + start + length >= rec.size() || rec[base + start + length - 1] != '\x1E')
            return false;
        next = start + length;
    }
    return base + next == rec.size() - 1;
}

class Run : public RunControl {
public:
    Run(const BatchOptions& options, const pinyin::RunSettings& settings, BatchObserver& observer)
        : options_(options),
          settings_(settings),
          observer_(observer),
          output_(options.outputPath),
          rejects_(options.rejectsPath.empty() ? rejectsPathFor(options.outputPath, options.inputPath)
                                               : options.rejectsPath),
          failureLog_(rejects_.path() + ".txt"),
          identifiers_(options.clock, options.identifierStatePath) {
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
            // The run stops: nobody is asked (again).
            if (run_.stopAtQuestion_ || !run_.writeGathered()) return std::nullopt;
            std::optional<std::string> answer = chooser_.choose(request);
            // No answer, and a stop asked for: the run stops at this record, before its next question.
            if (!answer && !run_.observer_.yieldPoint()) run_.stopAtQuestion_ = true;
            return answer;
        }

    private:
        Run& run_;
        pinyin::Chooser& chooser_;
    };

    /// A record gathered for the output and not yet written: what a failure to write it
    /// leaves for a later run.
    struct Gathered {
        std::int64_t number;
        std::uint64_t offset;
    };

    /// Where the reading of the input stands after a frame.
    struct InputState {
        std::int64_t number = 0;    // of the last record framed, in the input
        std::uint64_t consumed = 0, filler = 0, lineBreaks = 0;
        codepage::Encoding encoding = codepage::Encoding::Gbk;
        bool asciiOnly = false;
    };

    /// One frame of the input as reading and annotating leave it for writing.
    struct Handled {
        /// What ended the frames, instead of a frame: the input's end, a read error, a stop
        /// asked while the input kept the run waiting, or a fault of the reading thread.
        enum class End { None, Input, ReadFailed, StopAsked, Fault };
        /// What writing does with the frame.
        enum class Step { Write, Fail, FailAndStop };

        Frame frame;
        std::string frameBytes;  // the frame's own bytes, when it outlives the framer's block
        End end = End::None;
        std::exception_ptr fault;
        bool skipping = false;
        // Read ahead, and its annotation begun: the note of a record read with lengths counted
        // in characters and the observer's recordStarted() are still to come.
        bool deferred = false;
        Step step = Step::Write;
        problem::Problem problem;  // why, for Fail and FailAndStop
        const codepage::Codec* codec = nullptr;
        std::string_view record;  // the frame's bytes as the reader takes them (cleanedRecord)
        std::string joined;       // a record spread over lines, joined
        marc::SourceRecord source;
        // The fields as the annotation leaves them: field i's line in lines (a view into source
        // or annotated), and whether it changed.
        std::string annotated;
        std::vector<std::size_t> annotatedAt;  // where each field's line starts in annotated
        std::vector<std::string_view> lines;
        std::vector<bool> changed;
        bool lineBreak = false;  // a changed line holds a line break
        pinyin::AnnotateCounts counts;
        InputState after;
        // Read ahead, its annotation is done by whichever thread comes to it first: the writing
        // one when it needs the record, the reading one, newest first, while the ring is full.
        std::atomic<int> annotation{kAnnotated};
    };
    static constexpr int kAnnotated = 0, kToAnnotate = 1, kAnnotating = 2;

    void start();
    bool readsAhead() const;
    void readRecords();
    void read(const Frame& frame, Handled& h);
    void caught(Handled& h);
    void annotate(Handled& h, pinyin::Romaniser& romaniser);
    void annotateCaught(Handled& h, pinyin::Romaniser& romaniser);
    bool annotateNewest(Handoff<Handled>& handoff);
    void settle(Handled& h);
    std::string encode(Handled& h);
    void readFirstBlock();
    void handle(Handled& h);
    void afterRecord();
    void fail(const Handled& h, problem::Problem problem);
    void write(const Handled& h, const std::string& encoded);
    void noteCharCounted(const Handled& h);
    void log(const RecordFailure& failure);
    bool writeGathered();
    void leaveForLater();
    void toRejects(std::string_view bytes, bool last);
    void stop(problem::Problem problem);
    void stopAtUsersWish();
    void halt(problem::Problem problem);
    void rememberOutputEnd();
    void checkOutputEnd();
    void leaveAt(const Handled& h);
    InputState inputState() const;
    std::int64_t number() const { return ahead_ ? at_.number : number_; }
    std::uint64_t consumed() const { return ahead_ ? at_.consumed : records_->consumed(); }

    const BatchOptions& options_;
    const pinyin::RunSettings& settings_;
    BatchObserver& observer_;
    std::unique_ptr<InputFile> input_;
    AppendFile output_;
    AppendFile rejects_;
    AppendFile failureLog_;
    const codepage::Codec* codec_ = nullptr;
    std::optional<RecordCodePage> codePage_;  // decides codec_, and checks each record's listed fields
    marc::IdentifierSequence identifiers_;
    marc::WriteContext context_;
    std::shared_ptr<const pinyin::PinyinTable> table_;
    // The settings as the run started, for the tag list, subfield code and existing-pinyin
    // choice, which hold for the whole run; the romaniser reads the letter case and polyphonic
    // choice from the live settings at every lookup.
    pinyin::RunSettings atStart_;
    text::TagList tags_;     // atStart_'s tag list
    bool wholeText_ = true;  // every field is decoded, for the front end to show
    // Records are read and annotated on a thread of their own, ahead of the one that writes
    // them (and that alone touches the result, the observer and the files written).
    bool ahead_ = false;
    InputState at_;          // the input as it stood after the frame handled last, when ahead_
    Handled one_;            // the frame being handled, when not ahead_
    std::optional<ShownChooser> shownChooser_;
    std::unique_ptr<WriteFirst> asker_;
    std::unique_ptr<pinyin::Romaniser> romaniser_;
    std::unique_ptr<pinyin::Romaniser> writingRomaniser_;  // the writing thread's, when ahead_
    std::unique_ptr<RecordSource> records_;
    BatchResult result_;
    std::string_view separator_;
    std::int64_t number_ = 0;         // of the record read last, in the input
    bool skipping_ = false;           // the frame read last is read past
    bool rejectsWhole_ = false;       // every piece of the failed record so far is in the rejects file
    std::string outputEnd_;           // the output's last record as it stood before the run
    std::vector<Gathered> gathered_;  // the records the output gathers, in order
    bool outputFailed_ = false;       // the output did not take a write: nothing more goes to it
    bool stopAtQuestion_ = false;     // a stop came while a question was asked
};

void Run::start() {
    input_ = std::make_unique<InputFile>(options_.inputPath);
    records_ = std::make_unique<RecordSource>(*input_);
    checkOutput(*input_, options_.inputPath, output_);
    refuseSameFile(*input_, options_.inputPath, rejects_.path(), problem::Kind::InputIsRejects);
    refuseSameFile(*input_, options_.inputPath, failureLog_.path(), problem::Kind::InputIsFailureLog);
    if (options_.repairTail)
        refuseSameFile(*input_, options_.inputPath, partialPathFor(options_.outputPath),
                       problem::Kind::InputIsPartialFile);
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
    checkOutputEnd();
    rememberOutputEnd();
    atStart_ = settings_;
    tags_ = text::TagList(atStart_.tagList);
    wholeText_ = observer_.wantsWorkingText();
    ahead_ = readsAhead();
    result_.subfields = atStart_.subfields;
    result_.removePinyin = atStart_.removePinyin;
    if (pinyin::Chooser* chooser = observer_.chooser()) {
        shownChooser_.emplace(chooser);
        asker_ = std::make_unique<WriteFirst>(*this, *shownChooser_);
    }
    // Read ahead, the romaniser runs on the reading thread: it reads the settings as the run
    // started, which nobody changes under it.
    romaniser_ = std::make_unique<pinyin::Romaniser>(*table_, ahead_ ? atStart_ : settings_, asker_.get());
    romaniser_->setWords(options_.words.get());
    if (ahead_) {
        writingRomaniser_ = std::make_unique<pinyin::Romaniser>(*table_, atStart_, nullptr);
        writingRomaniser_->setWords(options_.words.get());
    }
    separator_ = result_.separator == Separator::CrLf ? marc::kCrLf
                 : result_.separator == Separator::Lf ? std::string_view("\n")
                                                      : std::string_view{};
}

/// Annotates the decoded fields of h.source one by one, as pinyin::annotateRecord() annotates the
/// lines of a working record, into h.lines and h.changed. A field left in bytes is not listed: it
/// stays.
void Run::annotate(Handled& h, pinyin::Romaniser& romaniser) {
    const marc::SourceRecord& source = h.source;
    const std::size_t n = source.lines.size();
    h.annotated.clear();
    h.annotatedAt.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        h.annotatedAt[i] = h.annotated.size();
        if (source.lines[i].decoded)
            pinyin::annotateLine(h.annotated, source.line(i), tags_, atStart_, romaniser, &h.counts);
    }
    h.annotatedAt[n] = h.annotated.size();
    h.lines.resize(n);
    h.changed.assign(n, false);
    h.lineBreak = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!source.lines[i].decoded) {
            h.lines[i] = source.tag(i);
            continue;
        }
        const std::string_view line = std::string_view(h.annotated)
                                          .substr(h.annotatedAt[i], h.annotatedAt[i + 1] - h.annotatedAt[i]);
        h.changed[i] = line != source.line(i);
        h.lines[i] = h.changed[i] ? line : source.line(i);
        // Two searches: find_first_of would search the two characters at every byte.
        h.lineBreak = h.lineBreak || (h.changed[i] && (line.find('\r') != std::string_view::npos ||
                                                       line.find('\n') != std::string_view::npos));
    }
}

/// The record as the annotation left it: every field it did not change as its bytes. A new line
/// that holds a line break goes through the working text of the whole record, as it always did:
/// the writer splits it there and refuses the record.
std::string Run::encode(Handled& h) {
    context_.source = &h.source;
    if (!h.lineBreak) return marc::writeRecord(h.lines, h.changed, *h.codec, context_);
    marc::SourceRecord whole;
    marc::readRecord(h.source.bytes, *h.codec, whole);
    std::string text;
    for (std::size_t i = 0; i < whole.lines.size(); ++i) {
        text += h.source.lines[i].decoded ? h.lines[i] : whole.line(i);
        text += marc::kCrLf;
    }
    marc::WriteContext context = context_;
    context.source = &whole;
    return marc::recordFromWorkingText(text, *h.codec, context);
}

/// Reads the input's first block and decides, or checks, its code page from it: the block is
/// framed afterwards, so nothing is read twice.
void Run::readFirstBlock() {
    const FirstBlock first = readCheckedFirstBlock(*records_, options_);
    result_.encoding = first.encoding;
    result_.encodingDetected = options_.autoEncoding;
    result_.asciiOnly = first.detection.asciiOnly;
    codePage_.emplace(first, options_);
    codec_ = &codePage_->codec();
    result_.separator = options_.separator;
    if (options_.separator == Separator::AsInput) {
        // As the first record is followed: LF, CR LF (or a lone CR), or nothing.
        const std::string_view bytes = first.bytes;
        const std::size_t end = bytes.find(marc::kRecordTerminator);
        const std::string_view after = end == std::string_view::npos ? "\r\n" : bytes.substr(end + 1);
        result_.separator = after.starts_with('\n')   ? Separator::Lf
                            : after.starts_with('\r') ? Separator::CrLf
                                                      : Separator::None;
    }
}

/// Refuses an output that ends with part of a record (a killed run's, or a cut-off write's): the
/// first record appended would be glued onto it. With repairTail those bytes are saved to
/// OUTPUT.partial first, then cut off.
void Run::checkOutputEnd() {
    const OutputEnd end = outputEnd(output_);
    const std::string& path = options_.outputPath;
    if (!end.whole) throw StartError(problem::of(problem::Kind::OutputNotRecords, path));
    if (end.partial == 0) return;
    if (!options_.repairTail) {
        problem::Problem p = problem::of(problem::Kind::OutputPartialTail, path);
        p.value = static_cast<long long>(end.partial);
        throw StartError(p);
    }
    const std::string bytes = output_.readAt(*end.whole, static_cast<std::size_t>(end.partial));
    AppendFile partial(partialPathFor(path));
    refuse(partial.open());
    FileProblem p = bytes.size() == end.partial ? partial.append(bytes) : partial.append({});
    if (!p && bytes.size() != end.partial) {
        p = problem::of(problem::Kind::OutputCannotOpen, path);
        p->osError = EIO;  // the output's end could not be read back
    }
    refuse(p);
    refuse(output_.truncateTo(*end.whole));
    result_.tailRepaired = end.partial;
    result_.partialPath = partial.path();
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
void Run::stop(problem::Problem problem) {
    if (result_.stopped || !writeGathered()) return;
    halt(std::move(problem));
}

/// Ends the run between two records, once the records gathered are written, and says where a
/// later run goes on.
void Run::stopAtUsersWish() {
    if (result_.stopped || !writeGathered()) return;
    result_.stopped = true;
    if (result_.nextRecord == 0) {
        result_.nextRecord = number() + 1;
        result_.nextOffset = consumed();
    }
}

/// Ends the run on a fault as it stands, nothing more written.
void Run::halt(problem::Problem problem) {
    result_.stopped = true;
    if (result_.nextRecord == 0) {
        result_.nextRecord = number() + 1;
        result_.nextOffset = consumed();
    }
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
    // The records the output did not take are not handled: a later run goes on from the first.
    const Gathered first = gathered_[w.records];
    result_.read -= static_cast<std::int64_t>(gathered_.size() - w.records);
    gathered_.clear();
    result_.nextRecord = first.number;
    result_.nextOffset = first.offset;
    outputFailed_ = true;
    if (w.problem->osError == ECANCELED)
        result_.stopped = true;  // a stop came while the output's reader took nothing
    else
        halt(*w.problem);
    return false;
}

/// The record being handled when the output failed before it was written: not handled after
/// all, a later run goes on before it.
void Run::leaveForLater() { --result_.read; }

/// The record being handled is not handled after all, and the run stops before it.
void Run::leaveAt(const Handled& h) {
    --result_.read;
    result_.stopped = true;
    result_.nextRecord = h.after.number;
    result_.nextOffset = h.frame.offset;
}

void Run::toRejects(std::string_view bytes, bool last) {
    if (!rejectsWhole_) return;  // an earlier piece is missing: what follows cannot make it whole
    rejectsWhole_ = false;
    if (!rejects_.isOpen()) {
        if (FileProblem p = rejects_.open()) {
            p->kind = problem::Kind::RejectsWriteFailed;
            stop(*p);
            return;
        }
        result_.rejectsPath = rejects_.path();
    }
    if (FileProblem p = rejects_.append(bytes, last ? marc::kCrLf : std::string_view{})) {
        p->kind = problem::Kind::RejectsWriteFailed;
        stop(*p);
        return;
    }
    rejectsWhole_ = true;
    if (last) ++result_.rejectsKept;
}

void Run::fail(const Handled& h, problem::Problem problem) {
    const Frame& frame = h.frame;
    const std::int64_t number = h.after.number;
    // The records gathered before it go first, so that a stopped run's place holds for the
    // output and the rejects file alike.
    if (!writeGathered()) return leaveForLater();
    rejectsWhole_ = true;
    const bool wasStopped = result_.stopped;
    toRejects(frame.bytes, !frame.continues);
    if (!rejectsWhole_ && !wasStopped) {
        // The rejects file did not take it: not handled, and a later run goes on from it, so
        // that no failed record goes unkept.
        return leaveAt(h);
    }
    ++result_.failed;
    RecordFailure failure{number, frame.line, frame.offset, marc::identifierOf(frame.bytes, *h.codec),
                          std::move(problem)};
    observer_.recordFailed(failure);
    log(failure);
    if (result_.failures.size() < kFailuresKept) result_.failures.push_back(std::move(failure));
}

/// A record read with its lengths counted in characters: counted, and said in the failure log.
void Run::noteCharCounted(const Handled& h) {
    ++result_.charCounted;
    log(RecordFailure{h.after.number, h.frame.line, h.frame.offset, marc::identifierOf(h.frame.bytes, *h.codec),
                      problem::of(problem::Kind::CharCountedLengths)});
}

/// A line of the failure log. The log is a convenience beside the rejects file, which keeps the
/// records themselves: a log that cannot be written does not stop the run, and is named only once
/// it holds a line.
void Run::log(const RecordFailure& failure) {
    if (!options_.describeFailure) return;
    if (!failureLog_.isOpen()) (void)failureLog_.open();
    if (failureLog_.isOpen() && !failureLog_.append(options_.describeFailure(failure), "\n"))
        result_.failureLogPath = failureLog_.path();
}

/// Gathers one record for the output, writing those gathered before when it does not fit beside
/// them; it counts as written only once its bytes are in the output (writeGathered()).
void Run::write(const Handled& h, const std::string& encoded) {
    if (!output_.fits(encoded.size() + separator_.size()) && !writeGathered()) return leaveForLater();
    const std::int64_t number = h.after.number;
    if (result_.repeatsOutputEnd == 0 && encoded.size() == outputEnd_.size() && encoded == outputEnd_)
        result_.repeatsOutputEnd = number;
    output_.gather(encoded, separator_);
    gathered_.push_back({number, h.frame.offset});
}

/// Reads one frame of the input and annotates it into `h`, for handle() to write. When the run
/// reads ahead, this runs on the reading thread and touches nothing that writing touches: what
/// the observer and the failure log hear of the record waits for handle().
void Run::read(const Frame& frame, Handled& h) {
    h.end = Handled::End::None;
    h.annotation.store(kAnnotated, std::memory_order_relaxed);
    h.frame = frame;
    if (ahead_) {  // the framer's block is replaced while the record waits to be written
        h.frameBytes.assign(frame.bytes);
        h.frame.bytes = h.frameBytes;
    }
    h.step = Handled::Step::Write;
    h.deferred = false;
    h.counts = {};
    if (!frame.continuation) {  // else the rest of an overlong piece, already counted
        ++number_;
        skipping_ = number_ <= options_.skip;
    }
    h.skipping = skipping_;
    h.after.number = number_;
    h.codec = codec_;
    if (frame.continuation || skipping_) {
    } else if (frame.problem) {
        h.step = Handled::Step::Fail;
        h.problem = problem::of(*frame.problem);
    } else {
        h.record = cleanedRecord(h.frame.bytes, h.joined);
        codePage_->see(h.record, records_->ahead(frame.offset + frame.bytes.size()));
        codec_ = &codePage_->codec();
        h.codec = codec_;
        try {
            // Only the listed fields are decoded, unless the front end shows the whole record.
            marc::readRecord(h.record, *codec_, h.source, wholeText_ ? nullptr : &tags_);
            // Text is romanised only where it reads in the run's code page.
            if (std::optional<problem::Problem> p = codePage_->checkFields(h.source, tags_)) {
                h.step = Handled::Step::Fail;
                h.problem = std::move(*p);
            } else {
                if (ahead_) {
                    h.deferred = true;
                    h.annotation.store(kToAnnotate, std::memory_order_relaxed);
                } else {
                    if (h.source.charCounted) noteCharCounted(h);
                    observer_.recordStarted(number_, h.source.working);
                    annotate(h, *romaniser_);
                }
            }
        } catch (...) {
            caught(h);
        }
    }
    h.after = inputState();
}

void Run::annotateCaught(Handled& h, pinyin::Romaniser& romaniser) {
    try {
        annotate(h, romaniser);
    } catch (...) {
        caught(h);
    }
}

/// On the reading thread, while the ring is full: annotates the newest record read ahead that
/// nobody has begun, if any.
bool Run::annotateNewest(Handoff<Handled>& handoff) {
    return handoff.anyHeld([this](Handled& h) {
        int state = kToAnnotate;
        if (!h.annotation.compare_exchange_strong(state, kAnnotating, std::memory_order_relaxed)) return false;
        annotateCaught(h, *romaniser_);
        h.annotation.store(kAnnotated, std::memory_order_release);
        return true;
    });
}

/// On the writing thread: the record read ahead in `h` annotated, by this thread when the reading
/// one has not begun it.
void Run::settle(Handled& h) {
    int state = kToAnnotate;
    if (h.annotation.compare_exchange_strong(state, kAnnotating, std::memory_order_acquire))
        return annotateCaught(h, *writingRomaniser_);
    while (h.annotation.load(std::memory_order_acquire) != kAnnotated) std::this_thread::yield();
}

/// What the exception under way means for the record in `h`: it fails, and a py.db that failed
/// stops the run as well. Call it in a catch block; anything but a std::exception goes on up.
void Run::caught(Handled& h) {
    try {
        throw;
    } catch (const pinyin::DbError& e) {
        // The phrase data is read at the first record that needs it; a py.db that fails then
        // fails every record alike, so the run stops with the record kept aside.
        h.step = Handled::Step::FailAndStop;
        h.problem = problem::of(problem::Kind::DbFailed, options_.dbPath);
        h.problem.detail = e.problem.detail;
    } catch (const problem::Error& e) {
        h.step = Handled::Step::Fail;
        h.problem = e.problem;
        if (h.problem.kind == problem::Kind::InvalidBytes)
            h.problem.value += static_cast<long long>(h.frame.offset);
    } catch (const std::exception& e) {
        // A fault of the program itself, no problem of the record: said as it stands.
        h.step = Handled::Step::Fail;
        h.problem = problem::of(problem::Kind::Unexpected);
        h.problem.detail = e.what();
    }
}

/// Writes one frame that read() left in `h`: to the output, or to the rejects file.
void Run::handle(Handled& h) {
    const Frame& frame = h.frame;
    if (frame.continuation) {
        if (h.skipping) return;
        toRejects(frame.bytes, !frame.continues);
        if (!frame.continues && !result_.stopped) afterRecord();
        return;
    }
    if (h.skipping) {
        ++result_.skipped;
        return;
    }
    ++result_.read;
    if (ahead_) settle(h);
    if (h.deferred) {
        if (h.source.charCounted) noteCharCounted(h);
        observer_.recordStarted(h.after.number, h.source.working);
    }
    if (h.step != Handled::Step::Write) {
        if (h.step == Handled::Step::FailAndStop) stop(h.problem);
        fail(h, std::move(h.problem));
    } else {
        if (outputFailed_) return leaveForLater();  // at a question
        if (stopAtQuestion_) return leaveAt(h);
        try {
            // Taking pinyin out of a record that carries none leaves it as it came, byte for
            // byte, whatever its 001 and 005. A record not laid out as the writer lays one out
            // (a leader that misstates its length or base address, blanks in its directory's
            // numbers, fields out of order), or that counts characters, is written anew as any
            // other; one with a line break in its data is refused as any run refuses it (its
            // lines, cut at the break, may hide pinyin). A line break in the leader is one of
            // its bytes like any other: the leader is kept as it stands either way.
            const bool asRead =
                atStart_.removePinyin && h.counts.annotated == 0 && options_.keepLeader &&
                !h.source.charCounted &&
                h.record.find_first_of("\r\n", static_cast<std::size_t>(marc::kLeaderLength)) ==
                    std::string::npos &&
                laidOutAsWritten(h.record);
            const std::string encoded = asRead ? std::string(h.record) : encode(h);
            if (encoded.empty())
                fail(h, problem::of(problem::Kind::NothingToWrite));
            else if (write(h, encoded); !outputFailed_) {
                result_.fieldsListed += h.counts.listed;
                result_.fieldsAnnotated += h.counts.annotated;
            }
        } catch (...) {
            caught(h);
            if (h.step == Handled::Step::FailAndStop) stop(h.problem);
            fail(h, std::move(h.problem));
        }
    }
    // A stop waits for the end of an overlong piece: the rejects file keeps it whole, and a
    // later run goes on behind it.
    if (!frame.continues) afterRecord();
}

/// After each record, once all its bytes are handled: the front end hears of it, and may stop.
void Run::afterRecord() {
    if (result_.stopped) return;
    observer_.recordDone(result_.read);
    observer_.progress(consumed(), input_->size());
    if (!observer_.yieldPoint()) stopAtUsersWish();
}

Run::InputState Run::inputState() const {
    return {number_,
            records_->consumed(),
            records_->filler(),
            records_->lineBreaks(),
            codePage_->encoding(),
            codePage_->asciiOnly()};
}

/// Whether records are read and annotated on a thread of their own (BatchOptions::readAhead):
/// never for a front end that shows each record or may be asked a question, nor for an input
/// that may keep the run waiting (a stop must then end the wait on the thread that stops).
bool Run::readsAhead() const {
    if (wholeText_ || input_->waits()) return false;
    if (settings_.polyphone == pinyin::Polyphone::Manual && !settings_.removePinyin) return false;
    switch (options_.readAhead) {
        case ReadAhead::Never: return false;
        case ReadAhead::Always: return true;
        case ReadAhead::Auto: break;
    }
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1;
}

/// The records, read and annotated on a second thread while this one writes them, in order.
/// The reading thread stops at the input's end, at the first fault, or when writing stops.
void Run::readRecords() {
    Handoff<Handled> handoff;
    std::thread reading([this, &handoff] {
        Frame frame;
        bool ended = false;
        while (!handoff.cancelled()) {
            Handled* h = ended ? nullptr : handoff.tryClaim();
            if (!h) {
                // The ring is full, or the input has ended: annotate what the writing thread has
                // not come to yet, from the newest record back, while it works from the oldest on.
                if (annotateNewest(handoff)) continue;
                if (ended || !handoff.waitForSpace()) return;
                continue;
            }
            try {
                if (records_->next(frame)) {
                    read(frame, *h);
                    handoff.fill();
                    continue;
                }
                h->end = Handled::End::Input;
            } catch (const problem::Error& e) {
                h->end = Handled::End::ReadFailed;
                h->problem = e.problem;
            } catch (const StopAsked&) {
                h->end = Handled::End::StopAsked;
            } catch (...) {
                h->end = Handled::End::Fault;
                h->fault = std::current_exception();
            }
            h->annotation.store(kAnnotated, std::memory_order_relaxed);
            h->after = inputState();
            handoff.fill(true);
            ended = true;
        }
    });
    struct Join {
        Handoff<Handled>& handoff;
        std::thread& thread;
        ~Join() {
            handoff.cancel();
            thread.join();
        }
    } join{handoff, reading};
    while (!result_.stopped) {
        Handled& h = handoff.take();
        at_ = h.after;
        switch (h.end) {
            case Handled::End::None: break;
            case Handled::End::Input: return;
            case Handled::End::ReadFailed: return stop(h.problem);
            case Handled::End::StopAsked: return stopAtUsersWish();
            case Handled::End::Fault: std::rethrow_exception(h.fault);
        }
        handle(h);
        handoff.release();
    }
}

BatchResult Run::go() {
    try {
        start();
    } catch (const StopAsked&) {
        // A stop while the start waited for the input's first bytes: nothing read or written.
        result_.stopped = true;
        result_.nextRecord = 1;
        observer_.finished(result_);
        return std::move(result_);
    }
    observer_.started(*this);
    auto began = std::chrono::steady_clock::now();
    if (ahead_) {
        readRecords();
    } else {
        Frame frame;
        // The records handled are written before a block is read: a run that waits on its input
        // (a pipe, a terminal) has them in its output meanwhile.
        const std::function<bool()> writeFirst = [this] { return writeGathered(); };
        while (!result_.stopped) {
            try {
                if (!records_->next(frame, writeFirst)) break;
            } catch (const problem::Error& e) {
                stop(e.problem);
                break;
            } catch (const StopAsked&) {
                stopAtUsersWish();  // while the input kept us waiting: every record read is handled
                break;
            }
            read(frame, one_);
            handle(one_);
        }
    }
    (void)writeGathered();
    const InputState end = ahead_ ? at_ : inputState();
    result_.fillerBytes = end.filler;
    result_.lineBreakBytes = end.lineBreaks;
    result_.encoding = end.encoding;
    result_.asciiOnly = result_.asciiOnly && end.asciiOnly;
    result_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    observer_.finished(result_);
    return std::move(result_);
}

}  // namespace

std::string rejectsPathFor(const std::string& outputPath) {
    if (outputPath == "-") return "marc-pinyin.rejected";
    return outputPath + ".rejected";
}

std::string rejectsPathFor(const std::string& outputPath, const std::string& inputPath) {
    struct stat st {};
    if (outputPath == "-" || ::stat(outputPath.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return rejectsPathFor(outputPath);
    return rejectsPathFor(inputPath);  // "-" gives the current folder's file, as for standard output
}

std::string partialPathFor(const std::string& outputPath) { return outputPath + ".partial"; }

BatchResult runBatch(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer) {
    if (settings.polyphone == pinyin::Polyphone::Manual && !settings.removePinyin && !observer.chooser())
        throw std::invalid_argument("manual choice of readings needs the observer's chooser");
    Run run(options, settings, observer);
    return run.go();
}

}  // namespace app
