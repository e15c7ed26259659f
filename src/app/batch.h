// The batch run: every record of an input file read, annotated, rebuilt and appended.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "pinyin/chooser.h"
#include "pinyin/settings.h"
#include "pinyin/table.h"
#include "pinyin/words.h"

namespace app {

/// What follows each record in the output: CR LF, or nothing (a plain ISO 2709 stream).
enum class Separator { CrLf, None };

struct BatchOptions {
    std::string inputPath;   ///< "-" for standard input
    std::string outputPath;  ///< "-" for standard output; appended to, created if missing
    std::string dbPath;      ///< py.db
    codepage::Encoding encoding = codepage::Encoding::Gbk;
    Separator separator = Separator::CrLf;
    /// Where failed records go; empty for the default, rejectsPathFor(outputPath).
    std::string rejectsPath;
    /// Readings already loaded (tests, the fuzzer, a window that keeps them); dbPath is then
    /// not read.
    std::shared_ptr<const pinyin::PinyinTable> table;
    /// The cataloguer's word list, consulted before every other rule; may be null. Not const:
    /// a window's chooser may add to it during the run.
    std::shared_ptr<pinyin::UserWords> words;
};

/// The rejects file beside `outputPath`: outputPath + ".rejected"; "marc-pinyin.rejected" in the
/// current folder when the output is standard output.
std::string rejectsPathFor(const std::string& outputPath);

struct RecordFailure {
    std::int64_t number = 0;  ///< 1-based number of the record in the run
    std::int64_t line = 0;    ///< 1-based input line on which it starts
    std::string reason;       ///< readable, e.g. "no field terminator"
};

struct BatchResult {
    std::int64_t read = 0;     ///< records counted (the caption's number)
    std::int64_t written = 0;
    std::int64_t failed = 0;
    std::vector<RecordFailure> failures;
    std::string rejectsPath;   ///< outputPath + ".rejected", or empty when nothing failed
    bool stopped = false;      ///< ended early: the observer asked, or writing failed
    std::string error;         ///< why writing stopped the run, empty otherwise
    double seconds = 0;
};

/// A run that could not start: unusable input or output path, the same file for both, or a
/// missing or broken py.db. Nothing was read or written.
class StartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What a front end hears of a run. Every call is made on the thread that runs the batch.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    /// After every record, written or not; `count` is the number of records so far.
    virtual void recordDone(std::int64_t count) { (void)count; }
    virtual void recordFailed(const RecordFailure& failure) { (void)failure; }
    /// Input bytes consumed so far, and the input's size (0 when unknown, as for a pipe).
    virtual void progress(std::uint64_t done, std::uint64_t total) { (void)done; (void)total; }
    /// Once per record, after recordDone: the window handles its events here. Return false to
    /// end the run between two records (every written record is already on disk).
    virtual bool yieldPoint() { return true; }
    /// Who answers manual lookups; nullptr means none can be asked (the first reading is taken).
    virtual pinyin::Chooser* chooser() { return nullptr; }
    virtual void finished(const BatchResult& result) { (void)result; }
};

/// Runs the batch. `settings` is read as the run goes (letter case and polyphonic choice at
/// every lookup; tag list, subfield code and existing-pinyin choice once, at the start). Throws
/// StartError before anything is read when the run cannot start; finished() is then not called.
/// Failed records go, byte for byte and each followed by CR LF, to the rejects file, which is
/// created only when a record fails.
BatchResult runBatch(const BatchOptions& options, const pinyin::RunSettings& settings,
                     BatchObserver& observer);

}  // namespace app
