// Progress on a terminal, one line per failed record, and the one-line summary.
#include "report.h"

#include <signal.h>

#include "app/files.h"

namespace cli {

Report::Report(std::FILE* err, bool progressLine, bool summary, pinyin::Chooser* chooser,
               messages::Language lang)
    : err_(err),
      progressLine_(progressLine),
      summary_(summary),
      lang_(lang),
      chooser_(chooser),
      began_(std::chrono::steady_clock::now()),
      lastShown_(began_) {}

void Report::clearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", err_);
    lineShown_ = false;
}

namespace {
volatile sig_atomic_t stopSignal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

extern "C" void onStopSignal(int signal) {
    if (stopSignal == 0) stopSignal = signal;
}

bool stopAsked() { return stopSignal != 0; }
}  // namespace

StopSignals::StopSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t k = 0; k < 3; ++k) sigaction(kStopSignals[k], &action, &previous[k]);
    // A read or write that waits on a pipe, a FIFO or the terminal ends when a stop comes.
    app::stopRequested = stopAsked;
}

StopSignals::~StopSignals() {
    app::stopRequested = nullptr;
    for (std::size_t k = 0; k < 3; ++k) sigaction(kStopSignals[k], &previous[k], nullptr);
}

int StopSignals::received() { return stopSignal; }

bool Report::yieldPoint() { return stopSignal == 0; }

void Report::recordFailed(const app::RecordFailure& f) {
    clearLine();
    std::fprintf(err_, "%s\n", messages::failure(f, lang_).c_str());
}

void Report::progress(std::uint64_t done, std::uint64_t total) {
    ++records_;
    if (!progressLine_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - lastShown_ < std::chrono::milliseconds(100)) return;
    lastShown_ = now;
    double seconds = std::chrono::duration<double>(now - began_).count();
    double mbs = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0;
    const bool chinese = lang_ == messages::Language::Chinese;
    if (total > 0)
        std::fprintf(err_,
                     chinese ? "\r已处理 %lld 条  %3.0f%%  %.1f MB/s\033[K"
                             : "\r%lld records  %3.0f%%  %.1f MB/s\033[K",
                     static_cast<long long>(records_),
                     100.0 * static_cast<double>(done) / static_cast<double>(total), mbs);
    else
        std::fprintf(err_, chinese ? "\r已处理 %lld 条  %.1f MB/s\033[K" : "\r%lld records  %.1f MB/s\033[K",
                     static_cast<long long>(records_), mbs);
    std::fflush(err_);
    lineShown_ = true;
}

void Report::finished(const app::BatchResult& r) {
    clearLine();
    const auto say = [&](const std::string& line) {
        std::fprintf(err_, "marc-pinyin-cli: %s\n", line.c_str());
    };
    if (r.tailRepaired > 0) say(messages::tailRepaired(r, outputPath_, lang_));
    if (r.stopped && r.stopProblem)
        say(messages::stoppedByFault(r, lang_, true));
    else if (r.stopped)
        say(messages::stoppedByUser(r, lang_, true));
    if (r.repeatsOutputEnd > 0) say(messages::repeatedRun(r, lang_, true));
    if (summary_) say(messages::summary(r, lang_));
    // Said even with --quiet: a run that did nothing it was asked is not a quiet success.
    if (app::didNothing(r)) say(messages::nothingDone(r, tagList_, lang_));
}

}  // namespace cli
