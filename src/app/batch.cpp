// The batch run: frames the input, reads, annotates and rebuilds each record, appends it whole.
#include "app/batch.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/files.h"
#include "app/framer.h"
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

    /// A record gathered for the output and not yet written, as the input holds it: what a
    /// failure to write it keeps aside.
    struct Gathered {
        std::int64_t number;
        Frame frame;
    };

    void start();
    void annotate(pinyin::AnnotateCounts& counts);
    std::string encode();
    void readFirstBlock();
    void handle(const Frame& frame);
    void afterRecord();
    void fail(std::int64_t number, const Frame& frame, problem::Problem problem);
    void write(const Frame& frame, const std::string& encoded);
    void noteCharCounted(const Frame& frame);
    void log(const RecordFailure& failure);
    bool writeGathered();
    void leaveForLater();
    void toRejects(std::string_view bytes, bool last);
    void stop(problem::Problem problem);
    void stopAtUsersWish();
    void halt(problem::Problem problem);
    void rememberOutputEnd();
    void checkOutputEnd();
    void leaveAt(std::int64_t number, const Frame& frame);

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
    marc::SourceRecord source_;
    marc::WriteContext context_;
    std::shared_ptr<const pinyin::PinyinTable> table_;
    // The settings as the run started, for the tag list, subfield code and existing-pinyin
    // choice, which hold for the whole run; the romaniser reads the letter case and polyphonic
    // choice from the live settings at every lookup.
    pinyin::RunSettings atStart_;
    text::TagList tags_;     // atStart_'s tag list
    bool wholeText_ = true;  // every field is decoded, for the front end to show
    // The fields of the record being handled as the annotation leaves them: field i's line in
    // lines_ (a view into source_ or annotated_), and whether it changed.
    std::string annotated_;
    std::vector<std::size_t> annotatedAt_;  // where each field's line starts in annotated_
    std::vector<std::string_view> lines_;
    std::vector<bool> changed_;
    bool lineBreak_ = false;  // a changed line holds a line break
    std::optional<ShownChooser> shownChooser_;
    std::unique_ptr<WriteFirst> asker_;
    std::unique_ptr<pinyin::Romaniser> romaniser_;
    std::unique_ptr<RecordSource> records_;
    BatchResult result_;
    std::string cleaned_;
    std::string_view separator_;
    std::int64_t number_ = 0;         // of the record being handled, in the input
    bool skipping_ = false;           // the frame being handled is read past
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
    result_.subfields = atStart_.subfields;
    result_.removePinyin = atStart_.removePinyin;
    if (pinyin::Chooser* chooser = observer_.chooser()) {
        shownChooser_.emplace(chooser);
        asker_ = std::make_unique<WriteFirst>(*this, *shownChooser_);
    }
    romaniser_ = std::make_unique<pinyin::Romaniser>(*table_, settings_, asker_.get());
    romaniser_->setWords(options_.words.get());
    separator_ = result_.separator == Separator::CrLf ? marc::kCrLf
                 : result_.separator == Separator::Lf ? std::string_view("\n")
                                                      : std::string_view{};
}

/// Annotates the decoded fields of source_ one by one, as pinyin::annotateRecord() annotates the lines of a
/// working record, into lines_ and changed_. A field left in bytes is not listed: it stays.
void Run::annotate(pinyin::AnnotateCounts& counts) {
    const std::size_t n = source_.lines.size();
    annotated_.clear();
    annotatedAt_.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        annotatedAt_[i] = annotated_.size();
        if (source_.lines[i].decoded)
            pinyin::annotateLine(annotated_, source_.line(i), tags_, atStart_, *romaniser_, &counts);
    }
    annotatedAt_[n] = annotated_.size();
    lines_.resize(n);
    changed_.assign(n, false);
    lineBreak_ = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!source_.lines[i].decoded) {
            lines_[i] = source_.tag(i);
            continue;
        }
        const std::string_view line =
            std::string_view(annotated_).substr(annotatedAt_[i], annotatedAt_[i + 1] - annotatedAt_[i]);
        changed_[i] = line != source_.line(i);
        lines_[i] = changed_[i] ? line : source_.line(i);
        // Two searches: find_first_of would search the two characters at every byte.
        lineBreak_ = lineBreak_ || (changed_[i] && (line.find('\r') != std::string_view::npos ||
                                                    line.find('\n') != std::string_view::npos));
    }
}

/// The record as the annotation left it: every field it did not change as its bytes. A new line
/// that holds a line break goes through the working text of the whole record, as it always did:
/// the writer splits it there and refuses the record.
std::string Run::encode() {
    if (!lineBreak_) return marc::writeRecord(lines_, changed_, *codec_, context_);
    marc::SourceRecord whole;
    marc::readRecord(source_.bytes, *codec_, whole);
    std::string text;
    for (std::size_t i = 0; i < whole.lines.size(); ++i) {
        text += source_.lines[i].decoded ? lines_[i] : whole.line(i);
        text += marc::kCrLf;
    }
    marc::WriteContext context = context_;
    context.source = &whole;
    return marc::recordFromWorkingText(text, *codec_, context);
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
        result_.nextRecord = number_ + 1;
        result_.nextOffset = records_->consumed();
    }
}

/// Ends the run on a fault as it stands, nothing more written.
void Run::halt(problem::Problem problem) {
    result_.stopped = true;
    if (result_.nextRecord == 0) {
        result_.nextRecord = number_ + 1;
        result_.nextOffset = records_->consumed();
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
    result_.nextOffset = first.frame.offset;
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
void Run::leaveAt(std::int64_t number, const Frame& frame) {
    --result_.read;
    result_.stopped = true;
    result_.nextRecord = number;
    result_.nextOffset = frame.offset;
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

void Run::fail(std::int64_t number, const Frame& frame, problem::Problem problem) {
    // The records gathered before it go first, so that a stopped run's place holds for the
    // output and the rejects file alike.
    if (!writeGathered()) return leaveForLater();
    rejectsWhole_ = true;
    const bool wasStopped = result_.stopped;
    toRejects(frame.bytes, !frame.continues);
    if (!rejectsWhole_ && !wasStopped) {
        // The rejects file did not take it: not handled, and a later run goes on from it, so
        // that no failed record goes unkept.
        return leaveAt(number, frame);
    }
    ++result_.failed;
    RecordFailure failure{number, frame.line, frame.offset, marc::identifierOf(frame.bytes, *codec_),
                          std::move(problem)};
    observer_.recordFailed(failure);
    log(failure);
    if (result_.failures.size() < kFailuresKept) result_.failures.push_back(std::move(failure));
}

/// A record read with its lengths counted in characters: counted, and said in the failure log.
void Run::noteCharCounted(const Frame& frame) {
    ++result_.charCounted;
    log(RecordFailure{number_, frame.line, frame.offset, marc::identifierOf(frame.bytes, *codec_),
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
void Run::write(const Frame& frame, const std::string& encoded) {
    if (!output_.fits(encoded.size() + separator_.size()) && !writeGathered()) return leaveForLater();
    if (result_.repeatsOutputEnd == 0 && encoded.size() == outputEnd_.size() && encoded == outputEnd_)
        result_.repeatsOutputEnd = number_;
    output_.gather(encoded, separator_);
    gathered_.push_back({number_, frame});
}

void Run::handle(const Frame& frame) {
    if (frame.continuation) {  // the rest of an overlong piece, already counted
        if (skipping_) return;
        toRejects(frame.bytes, !frame.continues);
        if (!frame.continues && !result_.stopped) afterRecord();
        return;
    }
    ++number_;
    skipping_ = number_ <= options_.skip;
    if (skipping_) {
        ++result_.skipped;
        return;
    }
    ++result_.read;
    if (frame.problem) {
        fail(number_, frame, problem::of(*frame.problem));
    } else {
        cleanRecord(frame.bytes, cleaned_);
        codePage_->see(cleaned_, records_->ahead(frame.offset + frame.bytes.size()));
        codec_ = &codePage_->codec();
        try {
            // Only the listed fields are decoded, unless the front end shows the whole record.
            marc::readRecord(cleaned_, *codec_, source_, wholeText_ ? nullptr : &tags_);
            // Text is romanised only where it reads in the run's code page.
            if (std::optional<problem::Problem> p = codePage_->checkFields(source_, tags_)) {
                fail(number_, frame, std::move(*p));
                return afterRecord();
            }
            if (source_.charCounted) noteCharCounted(frame);
            observer_.recordStarted(number_, source_.working);
            pinyin::AnnotateCounts counts;
            annotate(counts);
            if (outputFailed_) return leaveForLater();  // at a question
            if (stopAtQuestion_) return leaveAt(number_, frame);
            // Taking pinyin out of a record that carries none leaves it as it came, byte for
            // byte, whatever its 001 and 005. A record not laid out as the writer lays one out
            // (a leader that misstates its length or base address, blanks in its directory's
            // numbers, fields out of order), or that counts characters, is written anew as any
            // other; one with a line break in its data is refused as any run refuses it (its
            // lines, cut at the break, may hide pinyin). A line break in the leader is one of
            // its bytes like any other: the leader is kept as it stands either way.
            const bool asRead =
                atStart_.removePinyin && counts.annotated == 0 && options_.keepLeader &&
                !source_.charCounted &&
                cleaned_.find_first_of("\r\n", static_cast<std::size_t>(marc::kLeaderLength)) ==
                    std::string::npos &&
                laidOutAsWritten(cleaned_);
            const std::string encoded = asRead ? cleaned_ : encode();
            if (encoded.empty())
                fail(number_, frame, problem::of(problem::Kind::NothingToWrite));
            else if (write(frame, encoded); !outputFailed_) {
                result_.fieldsListed += counts.listed;
                result_.fieldsAnnotated += counts.annotated;
            }
        } catch (const pinyin::DbError& e) {
            // The phrase data is read at the first record that needs it; a py.db that fails
            // then fails every record alike, so the run stops with the record kept aside.
            problem::Problem p = problem::of(problem::Kind::DbFailed, options_.dbPath);
            p.detail = e.problem.detail;
            stop(p);
            fail(number_, frame, p);
        } catch (const problem::Error& e) {
            problem::Problem p = e.problem;
            if (p.kind == problem::Kind::InvalidBytes) p.value += static_cast<long long>(frame.offset);
            fail(number_, frame, std::move(p));
        } catch (const std::exception& e) {
            // A fault of the program itself, no problem of the record: said as it stands.
            problem::Problem p = problem::of(problem::Kind::Unexpected);
            p.detail = e.what();
            fail(number_, frame, std::move(p));
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
    observer_.progress(records_->consumed(), input_->size());
    if (!observer_.yieldPoint()) stopAtUsersWish();
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
    Frame frame;
    // The records gathered point into the framer's bytes, which the next block replaces.
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
        handle(frame);
    }
    (void)writeGathered();
    result_.fillerBytes = records_->filler();
    result_.lineBreakBytes = records_->lineBreaks();
    result_.encoding = codePage_->encoding();
    result_.asciiOnly = result_.asciiOnly && codePage_->asciiOnly();
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
