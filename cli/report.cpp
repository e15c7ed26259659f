// Progress on a terminal, one line per failed record, and the one-line summary.
#include "report.h"

#include <signal.h>

namespace cli {

Report::Report(std::FILE* err, bool progressLine, bool summary, pinyin::Chooser* chooser)
    : err_(err), progressLine_(progressLine), summary_(summary), chooser_(chooser),
      began_(std::chrono::steady_clock::now()), lastShown_(began_) {}

void Report::clearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", err_);
    lineShown_ = false;
}

namespace {
volatile sig_atomic_t stopSignal = 0;
struct sigaction previousInt, previousTerm;

extern "C" void onStopSignal(int signal) { stopSignal = signal; }
}  // namespace

StopSignals::StopSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

int StopSignals::received() { return stopSignal; }

bool Report::yieldPoint() { return stopSignal == 0; }

void Report::recordFailed(const app::RecordFailure& f) {
    clearLine();
    std::fprintf(err_, "record %lld (line %lld): %s\n", static_cast<long long>(f.number),
                 static_cast<long long>(f.line), f.reason.c_str());
}

void Report::progress(std::uint64_t done, std::uint64_t total) {
    ++records_;
    if (!progressLine_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - lastShown_ < std::chrono::milliseconds(100)) return;
    lastShown_ = now;
    double seconds = std::chrono::duration<double>(now - began_).count();
    double mbs = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0;
    if (total > 0)
        std::fprintf(err_, "\r%lld records  %3.0f%%  %.1f MB/s\033[K", static_cast<long long>(records_),
                     100.0 * static_cast<double>(done) / static_cast<double>(total), mbs);
    else
        std::fprintf(err_, "\r%lld records  %.1f MB/s\033[K", static_cast<long long>(records_), mbs);
    std::fflush(err_);
    lineShown_ = true;
}

std::string summaryText(const app::BatchResult& r) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%lld records read, %lld written, %lld failed", static_cast<long long>(r.read),
                  static_cast<long long>(r.written), static_cast<long long>(r.failed));
    std::string text = buf;
    if (r.skipped > 0) text += ", " + std::to_string(r.skipped) + " skipped";
    std::snprintf(buf, sizeof buf, ", %.2f s", r.seconds);
    text += buf;
    if (!r.asciiOnly || !r.encodingDetected)
        text += std::string(", ") + (r.encodingDetected ? "detected " : "") +
                std::string(codepage::encodingName(r.encoding));
    if (r.failed > 0) {
        if (r.rejectsKept == r.failed)
            text += " (failed records kept in " + r.rejectsPath + ")";
        else if (r.rejectsKept > 0)
            text += " (" + std::to_string(r.rejectsKept) + " of the failed records kept in " + r.rejectsPath +
                    "; the others could not be kept)";
        else
            text += " (the failed records could not be kept)";
    }
    return text;
}

void Report::finished(const app::BatchResult& r) {
    clearLine();
    if (r.stopped && !r.error.empty()) std::fprintf(err_, "marc-pinyin-cli: stopped: %s\n", r.error.c_str());
    if (r.stopped && r.error.empty())
        std::fprintf(err_, "marc-pinyin-cli: stopped: %lld records written; the next is record %lld at input byte %llu "
                           "(to go on, run again with --skip %lld)\n",
                     static_cast<long long>(r.written), static_cast<long long>(r.nextRecord),
                     static_cast<unsigned long long>(r.nextOffset), static_cast<long long>(r.nextRecord - 1));
    if (r.repeatsOutputEnd > 0)
        std::fprintf(err_, "marc-pinyin-cli: note: record %lld came out exactly as the output's last record stood before "
                           "this run: the output may already hold this input's records up to %lld (to go on without "
                           "duplicates, use --skip %lld)\n",
                     static_cast<long long>(r.repeatsOutputEnd), static_cast<long long>(r.repeatsOutputEnd),
                     static_cast<long long>(r.repeatsOutputEnd));
    if (summary_) std::fprintf(err_, "marc-pinyin-cli: %s\n", summaryText(r).c_str());
}

}  // namespace cli
