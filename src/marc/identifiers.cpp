// Generated record identifiers: one moment per identifier, never handed out twice.
#include "marc/identifiers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace marc {

namespace {

constexpr std::int64_t kLargestBlock = 256;

/// The clock's reading as seconds on a calendar without time zones, so that adding one second
/// is plain arithmetic and comes back as the next second of the same calendar.
std::int64_t toSeconds(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return static_cast<std::int64_t>(timegm(&tm));
}

std::string format(std::int64_t seconds) {
    const std::time_t s = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&s, &tm);
    char buf[64];  // room for any int, which is what GCC at -O3 checks the directives against
    std::snprintf(buf, sizeof buf, "01%02d%02d%02d%02d%02d", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return buf;
}

/// Closes the descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

IdentifierSequence::IdentifierSequence(Clock clock, std::string statePath)
    : clock_(std::move(clock)), statePath_(std::move(statePath)) {}

std::string IdentifierSequence::defaultStatePath() {
    std::filesystem::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "state";
    else
        return {};
    return (base / "marc-pinyin" / "last-identifier").string();
}

std::int64_t IdentifierSequence::reserveFrom(std::int64_t moment) {
    // Any trouble with the state file leaves identifiers distinct within this sequence only.
    auto giveUp = [&] {
        statePath_.clear();
        return moment;
    };
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(statePath_).parent_path(), ec);
    Fd f{::open(statePath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
    if (f.fd < 0 || ::flock(f.fd, LOCK_EX) != 0) return giveUp();
    char buf[32] = {};
    const ssize_t n = ::pread(f.fd, buf, sizeof buf - 1, 0);
    if (n < 0) return giveUp();
    char* end = nullptr;
    const long long stored = std::strtoll(buf, &end, 10);
    if (end != buf && stored >= moment) moment = stored + 1;
    reserved_ = moment + block_ - 1;
    const std::string text = std::to_string(reserved_) + "\n";
    if (::pwrite(f.fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ::ftruncate(f.fd, static_cast<off_t>(text.size())) != 0)
        return giveUp();
    block_ = std::min(block_ * 2, kLargestBlock);
    return moment;  // the lock goes with the descriptor
}

std::string IdentifierSequence::next() {
    std::int64_t moment = toSeconds(clock_());
    if (last_ != INT64_MIN) moment = std::max(moment, last_ + 1);
    if (!statePath_.empty() && moment > reserved_) moment = reserveFrom(moment);
    last_ = moment;
    return format(moment);
}

}  // namespace marc
