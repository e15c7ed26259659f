// Progress on a terminal, one line per failed record, and the one-line summary.
#include "report.h"

namespace cli {

Report::Report(std::FILE* err, bool progressLine, bool summary, pinyin::Chooser* chooser)
    : err_(err), progressLine_(progressLine), summary_(summary), chooser_(chooser),
      began_(std::chrono::steady_clock::now()), lastShown_(began_) {}

void Report::clearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", err_);
    lineShown_ = false;
}

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
    char buf[160];
    std::snprintf(buf, sizeof buf, "%lld records read, %lld written, %lld failed, %.2f s",
                  static_cast<long long>(r.read), static_cast<long long>(r.written),
                  static_cast<long long>(r.failed), r.seconds);
    std::string text = buf;
    if (!r.asciiOnly || !r.encodingDetected)
        text += std::string(", ") + (r.encodingDetected ? "detected " : "") +
                std::string(codepage::encodingName(r.encoding));
    if (r.failed > 0 && !r.rejectsPath.empty()) text += " (failed records kept in " + r.rejectsPath + ")";
    return text;
}

void Report::finished(const app::BatchResult& r) {
    clearLine();
    if (r.stopped && !r.error.empty()) std::fprintf(err_, "marc-pinyin-cli: stopped: %s\n", r.error.c_str());
    if (summary_) std::fprintf(err_, "marc-pinyin-cli: %s\n", summaryText(r).c_str());
}

}  // namespace cli
