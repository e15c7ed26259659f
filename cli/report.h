// What the command line shows of a run on standard error: progress, failures, the summary.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "app/batch.h"
#include "messages/messages.h"

namespace cli {

/// Observer of a run for a terminal. The progress line (records, percent of the input, MB/s)
/// appears only when `progressLine` is set and is rewritten at most ten times a second.
class Report : public app::BatchObserver {
public:
    Report(std::FILE* err, bool progressLine, bool summary, pinyin::Chooser* chooser,
           messages::Language lang = messages::Language::English);

    bool wantsWorkingText() const override { return false; }
    void recordFailed(const app::RecordFailure& failure) override;
    void progress(std::uint64_t done, std::uint64_t total) override;
    pinyin::Chooser* chooser() override { return chooser_; }
    /// False once SIGINT, SIGTERM or SIGHUP has come (see stopSignal()): the run ends after the record.
    bool yieldPoint() override;
    void finished(const app::BatchResult& result) override;

    /// Wipes the progress line (before a question on the terminal).
    void clearLine();
    /// What the closing lines name: the output (for --repair-tail's note) and the tag list (for
    /// a run that annotated nothing).
    void setRun(std::string outputPath, std::string tagList) {
        outputPath_ = std::move(outputPath);
        tagList_ = std::move(tagList);
    }

private:
    std::FILE* err_;
    bool progressLine_, summary_;
    messages::Language lang_;
    pinyin::Chooser* chooser_;
    bool lineShown_ = false;
    std::int64_t records_ = 0;
    std::string outputPath_, tagList_;
    std::chrono::steady_clock::time_point began_, lastShown_;
};

/// Catches SIGINT, SIGTERM and SIGHUP (a closed terminal) for the life of the object, so that a
/// run ends at a record boundary instead of in the middle of a write, and sets
/// app::stopRequested so that a wait on a pipe, a FIFO or the terminal ends too; the previous
/// handlers come back afterwards.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    /// The signal that came, 0 for none.
    static int received();
};

}  // namespace cli
