// The files of a run, on POSIX descriptors: the only buffer between a record and the disk is our
// own, which knows where each record ends.
#include "app/files.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>

#include "app/batch.h"

namespace app {
namespace {

/// A problem with the file at `path`, and the system's reason where it gave one.
FileProblem fileProblem(problem::Kind kind, const std::string& path, int osError) {
    problem::Problem p;
    p.kind = kind;
    p.path = path;
    p.osError = osError;
    return p;
}

/// How long a wait on a pipe, a FIFO or a terminal goes before it looks at stopRequested again
/// (a signal that comes during the wait ends it at once).
constexpr int kWaitMs = 200;

bool stopIsAsked() { return stopRequested && stopRequested(); }

/// Waits until `fd` is ready for `events`; false when a stop was asked for first.
bool waitFor(int fd, short events) {
    for (;;) {
        if (stopIsAsked()) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, kWaitMs);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the read or write that follows says why
    }
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

bool (*stopRequested)() = nullptr;

void ignoreWriteSignals() {
    for (const int signal : {SIGXFSZ, SIGPIPE}) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) ::signal(signal, SIG_IGN);
    }
}

InputFile::InputFile(const std::string& path) : path_(path) {
    const auto refuse = [&](problem::Kind kind, int err) {
        throw StartError(std::move(*fileProblem(kind, path, err)));
    };
    if (path.empty()) refuse(problem::Kind::NoInputPath, 0);
    if (path == "-") {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            refuse(problem::Kind::InputCannotOpen, err);
        }
        owned_ = true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            refuse(problem::Kind::InputIsFolder, EISDIR);
        }
        if (S_ISREG(st.st_mode)) size_ = static_cast<std::uint64_t>(st.st_size);
        waits_ = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode);
    }
}

InputFile::~InputFile() {
    if (owned_ && fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::read(char* buf, std::size_t size) {
    for (;;) {
        if (waits_ && !waitFor(fd_, POLLIN)) throw StopAsked{};
        ssize_t n = ::read(fd_, buf, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) {
            throw FileError(std::move(*fileProblem(problem::Kind::InputReadFailed, path_, errno)));
        }
    }
}

AppendFile::~AppendFile() {
    if (owned_ && fd_ >= 0) ::close(fd_);
}

FileProblem AppendFile::check() const {
    using problem::Kind;
    if (path_.empty()) return fileProblem(Kind::NoOutputPath, path_, 0);
    if (path_ == "-") return {};
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fileProblem(Kind::OutputIsFolder, path_, EISDIR);
        // Opening a FIFO and closing it would hand its reader the end of its input.
        if (!S_ISREG(st.st_mode))
            return ::access(path_.c_str(), W_OK) == 0 ? FileProblem{} : cannotOpen(errno);
        // Opening without O_CREAT and closing at once changes nothing.
        int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return cannotOpen(errno);
        ::close(fd);
        return {};
    }
    if (errno != ENOENT) return cannotOpen(errno);
    std::string folder = folderOf(path_);
    if (::stat(folder.c_str(), &st) != 0) return fileProblem(Kind::OutputFolderMissing, path_, errno);
    if (!S_ISDIR(st.st_mode)) return fileProblem(Kind::OutputFolderMissing, path_, ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return fileProblem(Kind::OutputCannotOpen, path_, errno);
    return {};
}

FileProblem AppendFile::cannotOpen(int err) const {
    return fileProblem(problem::Kind::OutputCannotOpen, path_, err);
}

FileProblem AppendFile::open() {
    if (fd_ >= 0) return {};
    ignoreWriteSignals();
    struct stat st {};
    if (path_ == "-") {
        fd_ = STDOUT_FILENO;
        stream_ = ::fstat(fd_, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
        return {};
    }
    if (::stat(path_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Write-only, once: a FIFO opened for reading too would be its own reader. Nobody
        // reading it yet: refused, rather than waiting for a reader that may never come.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            if (err == ENXIO) return fileProblem(problem::Kind::OutputNoReader, path_, err);
            return cannotOpen(err);
        }
        owned_ = true;
        stream_ = true;
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0) (void)::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
        return {};
    }
    // Read access too, to look at the records already there; a file we may only write to is
    // appended to all the same.
    fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == EACCES)
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return cannotOpen(errno);
    owned_ = true;
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        regular_ = true;
        // One run at a time appends to a file: another run's records would interleave with ours,
        // and cutting back a half-written record could cut into theirs.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd_);
            fd_ = -1;
            owned_ = false;
            if (err == EWOULDBLOCK) return fileProblem(problem::Kind::OutputBusy, path_, 0);
            return cannotOpen(err);
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    return {};
}

std::string AppendFile::tail(std::size_t n) const {
    if (!regular_ || size_ == 0) return {};
    const std::uint64_t from = size_ > n ? size_ - n : 0;
    std::string out(static_cast<std::size_t>(size_ - from), '\0');
    const ssize_t got = ::pread(fd_, out.data(), out.size(), static_cast<off_t>(from));
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

std::string AppendFile::readAt(std::uint64_t from, std::size_t n) const {
    if (!regular_ || from >= size_) return {};
    std::string out(static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - from)), '\0');
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(from + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return out;
}

FileProblem AppendFile::truncateTo(std::uint64_t size) {
    if (!regular_ || size > size_) return cannotWrite(EINVAL);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return cannotWrite(errno);
    size_ = size;
    return {};
}

WriteCall writeCall = ::writev;

FileProblem AppendFile::cannotWrite(int err) const {
    return fileProblem(problem::Kind::OutputWriteFailed, path_, err);
}

int AppendFile::writeAll(iovec* v, int count, std::size_t& taken) {
    taken = 0;
    while (count > 0) {
        // A pipe or FIFO is handed what it takes without waiting (PIPE_BUF bytes once it has
        // room), so that a stop still ends a run whose reader has stopped reading.
        int pieces = count;
        std::size_t cut = 0;
        if (stream_) {
            if (!waitFor(fd_, POLLOUT)) return ECANCELED;
            std::size_t room = PIPE_BUF;
            for (pieces = 0; pieces < count && room > 0; ++pieces) room -= std::min(room, v[pieces].iov_len);
            const std::size_t last = static_cast<std::size_t>(pieces - 1);
            std::size_t before = 0;
            for (std::size_t k = 0; k < last; ++k) before += v[k].iov_len;
            if (before + v[last].iov_len > PIPE_BUF) {
                cut = v[last].iov_len;
                v[last].iov_len = PIPE_BUF - before;
                cut -= v[last].iov_len;
            }
        }
        const ssize_t n = writeCall(fd_, v, pieces);
        if (cut > 0) v[pieces - 1].iov_len += cut;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        // A short write (a pipe, or a full disk that still took part) goes on from where it stopped.
        auto done = static_cast<std::size_t>(n);
        taken += done;
        while (count > 0 && done >= v->iov_len) {
            done -= v->iov_len;
            ++v;
            --count;
        }
        if (count > 0) {
            v->iov_base = static_cast<char*>(v->iov_base) + done;
            v->iov_len -= done;
        }
    }
    return 0;
}

FileProblem AppendFile::append(std::string_view a, std::string_view b) {
    iovec iov[2] = {{const_cast<char*>(a.data()), a.size()}, {const_cast<char*>(b.data()), b.size()}};
    std::size_t taken = 0;
    if (const int err = writeAll(iov, b.empty() ? 1 : 2, taken)) {
        // A disk that filled up halfway through keeps no half record: the file is cut back to
        // where this append began, but only when it holds exactly that and what this append
        // wrote (never into what anyone else wrote).
        struct stat st {};
        if (regular_ && taken > 0 && ::fstat(fd_, &st) == 0 &&
            static_cast<std::uint64_t>(st.st_size) == size_ + taken)
            (void)!::ftruncate(fd_, static_cast<off_t>(size_));
        return cannotWrite(err);
    }
    size_ += a.size() + b.size();
    return {};
}

void AppendFile::gather(std::string_view record, std::string_view after) {
    if (gathered_.capacity() < kGatherBytes) gathered_.reserve(kGatherBytes);
    gathered_.append(record).append(after);
    ends_.push_back(gathered_.size());
}

AppendFile::Written AppendFile::writeGathered() {
    Written w;
    if (ends_.empty()) return w;
    std::size_t taken = 0;
    int err = 0;
    if (!stream_) {
        iovec v{gathered_.data(), gathered_.size()};
        err = writeAll(&v, 1, taken);
    } else {
        // A pipe takes PIPE_BUF bytes at a time whole: each write ends at a record's end where
        // the records fit, so that a stop between two writes leaves its reader whole records.
        for (std::size_t k = 0; err == 0 && taken < gathered_.size();) {
            std::size_t to = taken;
            while (k < ends_.size() && ends_[k] - taken <= PIPE_BUF) to = ends_[k++];
            if (to == taken) to = std::min(taken + PIPE_BUF, ends_[k]);  // a record longer than that
            iovec v{gathered_.data() + taken, to - taken};
            std::size_t t = 0;
            err = writeAll(&v, 1, t);
            taken += t;
        }
    }
    if (err == 0) {
        w.records = ends_.size();
        size_ += gathered_.size();
    } else {
        // The records the file took whole stay; a record cut off partway is taken out again,
        // under the same proviso as in append().
        const auto whole = std::upper_bound(ends_.begin(), ends_.end(), taken);
        w.records = static_cast<std::size_t>(whole - ends_.begin());
        const std::size_t keep = w.records == 0 ? 0 : ends_[w.records - 1];
        struct stat st {};
        if (regular_ && taken > keep && ::fstat(fd_, &st) == 0 &&
            static_cast<std::uint64_t>(st.st_size) == size_ + taken)
            (void)!::ftruncate(fd_, static_cast<off_t>(size_ + keep));
        size_ += keep;
        w.problem = cannotWrite(err);
    }
    gathered_.clear();
    ends_.clear();
    return w;
}

bool isOpenFile(int fd, const std::string& path) {
    struct stat sa {
    }, sb{};
    if (::fstat(fd, &sa) != 0) return false;
    if (path == "-") {
        // Standard output redirected onto the input file would feed the run its own output.
        if (::fstat(STDOUT_FILENO, &sb) != 0 || !S_ISREG(sb.st_mode)) return false;
    } else if (::stat(path.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace app
