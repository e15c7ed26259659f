// The batch run: every record of an input file read, annotated, rebuilt and appended.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codepage/codepage.h"
#include "marc/writer.h"
#include "pinyin/chooser.h"
#include "pinyin/settings.h"
#include "pinyin/table.h"
#include "problem/error.h"
#include "problem/problem.h"
#include "pinyin/words.h"

namespace app {

/// What follows each record in the output: CR LF, nothing (a plain ISO 2709 stream), LF, or what
/// follows the input's first record (CR LF or LF as the line break that follows it, else nothing).
enum class Separator { CrLf, None, AsInput, Lf };

struct RecordFailure;

/// Whether a run reads and annotates its records on a second thread, ahead of the one that writes
/// them: Auto does when the process may use more than one processor. Never for a front end that
/// wants each record's working text (BatchObserver::wantsWorkingText) or has questions asked,
/// nor for an input that may keep the run waiting (a pipe, a FIFO, a terminal). A run that reads
/// ahead romanises with the settings as it started. The output is the same bytes either way.
enum class ReadAhead { Auto, Never, Always };

struct BatchOptions {
    std::string inputPath;   ///< "-" for standard input
    std::string outputPath;  ///< "-" for standard output; appended to, created if missing
    std::string dbPath;      ///< py.db
    codepage::Encoding encoding = codepage::Encoding::Gbk;
    /// Decide the code page from the input's first bytes; `encoding` is then not read.
    bool autoEncoding = false;
    /// Keep each record's own leader (false: build it from the templates, as for a record made
    /// by hand).
    bool keepLeader = true;
    /// Where generated record identifiers are remembered between runs (empty: not remembered;
    /// they are then distinct within the run only). IdentifierSequence::defaultStatePath() is the
    /// one the programs share.
    std::string identifierStatePath;
    /// The clock that stamps generated 001 and 005.
    marc::Clock clock = marc::systemClock;
    /// Records at the start of the input that an earlier run handled: read past, not written.
    std::int64_t skip = 0;
    /// Words one failure as a line of the failure log, OUTPUT.rejected.txt (beside the rejects
    /// file, appended to like it); no log without it.
    std::function<std::string(const RecordFailure&)> describeFailure;
    Separator separator = Separator::CrLf;
    /// Where failed records go; empty for the default, rejectsPathFor(outputPath, inputPath).
    std::string rejectsPath;
    /// An output that ends with part of a record (what a killed run leaves) is refused; with
    /// this, those bytes are moved to partialPathFor(outputPath) and the output cut back to its
    /// last whole record before the run appends.
    bool repairTail = false;
    /// Readings already loaded (tests, the fuzzer, a window that keeps them); dbPath is then
    /// not read.
    std::shared_ptr<const pinyin::PinyinTable> table;
    /// The cataloguer's word list, consulted before every other rule; may be null. Not const:
    /// a window's chooser may add to it during the run.
    std::shared_ptr<pinyin::UserWords> words;
    ReadAhead readAhead = ReadAhead::Auto;
};

/// The rejects file beside `outputPath`: outputPath + ".rejected"; "marc-pinyin.rejected" in the
/// current folder when the output is standard output.
std::string rejectsPathFor(const std::string& outputPath);
/// The same, except that an output that is not a regular file (a device such as /dev/null, a
/// FIFO) gets no files beside it: the rejects file is then beside the input (INPUT.rejected, or
/// marc-pinyin.rejected in the current folder for standard input).
std::string rejectsPathFor(const std::string& outputPath, const std::string& inputPath);
/// Where BatchOptions::repairTail keeps the bytes it cuts off: outputPath + ".partial".
std::string partialPathFor(const std::string& outputPath);

struct RecordFailure {
    std::int64_t number = 0;   ///< 1-based number of the record in the input
    std::int64_t line = 0;     ///< 1-based input line on which it starts
    std::uint64_t offset = 0;  ///< input byte offset at which it starts
    std::string identifier;    ///< its 001 where it can be read, else empty
    problem::Problem problem;  ///< why, for the front ends to word
};

/// How many failures a run keeps in BatchResult::failures; the rest are counted (and in the
/// rejects file), so that a file of damaged records runs in flat memory.
inline constexpr std::size_t kFailuresKept = 500;

struct BatchResult {
    /// Records handled (the caption's number); read = written + failed. A record the output or
    /// the rejects file did not take is not handled: a later run goes on from it (nextRecord).
    std::int64_t read = 0;
    std::int64_t written = 0;  ///< records whose bytes are in the output
    std::int64_t failed = 0;
    std::int64_t skipped = 0;  ///< records read past (BatchOptions::skip)
    /// Records whose directory counted lengths in characters, read so (each noted in the
    /// failure log, problem::Kind::CharCountedLengths) and written with byte counts.
    std::int64_t charCounted = 0;
    std::vector<RecordFailure> failures;  ///< the first kFailuresKept failures
    std::string rejectsPath;              ///< outputPath + ".rejected", or empty when nothing failed
    std::string failureLogPath;           ///< rejectsPath + ".txt" when a failure log was written
    std::int64_t rejectsKept = 0;         ///< failed records whose bytes are whole in the rejects file
    bool stopped = false;                 ///< ended early: the observer asked, or writing failed
    std::optional<problem::Problem> stopProblem;  ///< why the run stopped on a fault; empty otherwise
    /// Where a stopped run ends: the number of the first record not handled and its input byte
    /// offset (a later run goes on with skip = nextRecord - 1).
    std::int64_t nextRecord = 0;
    std::uint64_t nextOffset = 0;
    /// The number of a record this run wrote exactly as the output's last record already stood
    /// before the run (0: none): the output may already hold the records up to it.
    std::int64_t repeatsOutputEnd = 0;
    double seconds = 0;
    codepage::Encoding encoding = codepage::Encoding::Gbk;  ///< the code page the run used
    bool encodingDetected = false;                          ///< decided from the input's bytes
    bool asciiOnly = false;                                 ///< the input's first part held nothing but ASCII
    Separator separator = Separator::CrLf;                  ///< what the run wrote after each record
    /// Input bytes passed over as no part of any record: filler (spaces, NUL bytes, Ctrl-Z, a
    /// byte order mark) and line breaks around records. With the records written, those in the
    /// rejects file and those skipped, they make up every byte the run framed.
    std::uint64_t fillerBytes = 0;
    std::uint64_t lineBreakBytes = 0;
    /// Fields of the records written whose tag is listed, and of those the fields that got a
    /// pinyin subfield: a run that wrote records with none annotated did nothing it was asked.
    std::int64_t fieldsListed = 0;
    std::int64_t fieldsAnnotated = 0;
    /// The run's mode, for the front ends' words on what it did: under removePinyin,
    /// fieldsAnnotated counts the fields the pinyin was taken out of.
    pinyin::Subfields subfields = pinyin::Subfields::A;
    bool removePinyin = false;
    /// Bytes of a partial record cut off the output's end (BatchOptions::repairTail) and saved
    /// to partialPath; 0 when the output ended with a whole record.
    std::uint64_t tailRepaired = 0;
    std::string partialPath;
};

/// Whether a run that ended without a stop did nothing it was asked: it wrote no record (every
/// record skipped or failed), or wrote records without adding pinyin to any field. The front
/// ends say so (messages::nothingDone) and the command line ends with status 1.
inline bool didNothing(const BatchResult& r) {
    return !r.stopped && (r.written == 0 || r.fieldsAnnotated == 0);
}

/// A run that could not start: unusable input or output path, the same file for both, an input
/// without records (NoRecords), an output that ends with part of a record (OutputPartialTail),
/// or a missing or broken py.db. Nothing was read or written.
class StartError : public problem::Error {
public:
    using problem::Error::Error;
};

/// What a front end may ask of the run under way (BatchObserver::started).
class RunControl {
public:
    /// Writes the records gathered so far to the output; false when the output does not take
    /// them all (the run then stops, and its result says so). A front end calls it before it
    /// tells the user how many records are written.
    virtual bool writeOut() = 0;

protected:
    ~RunControl() = default;
};

/// What a front end hears of a run. Every call is made on the thread that runs the batch.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    /// Before the first record: the run, to be called on this thread until finished().
    virtual void started(RunControl& run) { (void)run; }
    /// Before a readable record is annotated: its number in the run and its working record
    /// text, which stays valid until the record is done (a chooser may show where it asks).
    virtual void recordStarted(std::int64_t number, std::string_view working) {
        (void)number;
        (void)working;
    }
    /// Whether recordStarted() needs the whole working text of a record. When not, the run
    /// decodes only the fields it may change, and recordStarted() is given their lines alone.
    virtual bool wantsWorkingText() const { return true; }
    /// After every record, written or not; `count` is the number of records so far.
    virtual void recordDone(std::int64_t count) { (void)count; }
    /// Records are gathered and written to the output in large pieces: after each piece, the
    /// number of records in the output so far (it trails recordDone's count).
    virtual void recordsWritten(std::int64_t written) { (void)written; }
    virtual void recordFailed(const RecordFailure& failure) { (void)failure; }
    /// Input bytes consumed so far, and the input's size (0 when unknown, as for a pipe).
    virtual void progress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
    /// Once per record, after recordDone: the window handles its events here. Return false to
    /// end the run between two records (the records gathered are written before it ends).
    virtual bool yieldPoint() { return true; }
    /// Who answers manual lookups; nullptr means none can be asked (then the run must not be
    /// in manual mode). Every record handled before a question is in the output when it is asked.
    virtual pinyin::Chooser* chooser() { return nullptr; }
    virtual void finished(const BatchResult& result) { (void)result; }
};

/// Runs the batch. `settings` is read as the run goes (letter case and polyphonic choice at
/// every lookup; tag list, subfield code and existing-pinyin choice once, at the start). Throws
/// StartError before anything is read when the run cannot start; finished() is then not called.
/// Failed records go, byte for byte and each followed by CR LF, to the rejects file, and their
/// reasons, worded by options.describeFailure, to the failure log beside it; both are created
/// only when a record fails. The output is locked for the run (StartError when another run holds
/// it) and only ever holds whole records; a record counts as written only once the output has
/// taken all its bytes. Records go to the output in large pieces: before each question, when a
/// record fails, when the run stops and at the end, all those handled so far are written. When
/// the output takes only part of a piece, it is cut back to its last whole record, the first
/// record not taken and those after it count as not handled, and the run stops with nextRecord at
/// the first of them (so does a failed record the rejects file does not take). A stop that comes
/// while the input or the output keeps the run waiting (a pipe, a FIFO, a terminal; see
/// stopRequested) or while a question is asked ends it there, with nextRecord set; finished() is
/// then called even when the stop came during the start. Manual choice with an observer that has
/// no chooser is the caller's mistake: std::invalid_argument.
BatchResult runBatch(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer);

}  // namespace app
