// The files of a run, on POSIX descriptors: the only buffer between a record and the disk is our
// own, which knows where each record ends.
#include "app/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "app/batch.h"

namespace app {
namespace {

std::string errorText(int err) { return std::strerror(err); }

/// A problem with the file at `path`; `text` says it in plain English for logs and tests.
FileProblem fileProblem(problem::Kind kind, const std::string& path, int osError, std::string text) {
    problem::Problem p;
    p.kind = kind;
    p.path = path;
    p.osError = osError;
    p.detail = std::move(text);
    return p;
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(path) {
    const auto refuse = [&](problem::Kind kind, int err, const std::string& text) {
        FileProblem p = fileProblem(kind, path, err, text);
        throw StartError(std::move(*p), text);
    };
    if (path.empty()) refuse(problem::Kind::NoInputPath, 0, "no input file given");
    if (path == "-") {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            refuse(problem::Kind::InputCannotOpen, err, "cannot open input " + path + ": " + errorText(err));
        }
        owned_ = true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            refuse(problem::Kind::InputIsFolder, EISDIR, "cannot open input " + path + ": it is a folder");
        }
        if (S_ISREG(st.st_mode)) size_ = static_cast<std::uint64_t>(st.st_size);
    }
}

InputFile::~InputFile() {
    if (owned_ && fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::read(char* buf, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd_, buf, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) {
            const int err = errno;
            const std::string text = "cannot read " + path_ + ": " + errorText(err);
            throw FileError(std::move(*fileProblem(problem::Kind::InputReadFailed, path_, err, text)), text);
        }
    }
}

AppendFile::~AppendFile() {
    if (owned_ && fd_ >= 0) ::close(fd_);
}

FileProblem AppendFile::check() const {
    using problem::Kind;
    if (path_.empty()) return fileProblem(Kind::NoOutputPath, path_, 0, "no output file given");
    if (path_ == "-") return {};
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fileProblem(Kind::OutputIsFolder, path_, EISDIR, path_ + " is a folder");
        // Opening without O_CREAT and closing at once changes nothing.
        int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return cannotOpen(errno);
        ::close(fd);
        return {};
    }
    if (errno != ENOENT) return cannotOpen(errno);
    std::string folder = folderOf(path_);
    if (::stat(folder.c_str(), &st) != 0)
        return fileProblem(Kind::OutputFolderMissing, path_, errno, "cannot create " + path_ + ": " + errorText(errno));
    if (!S_ISDIR(st.st_mode))
        return fileProblem(Kind::OutputFolderMissing, path_, ENOTDIR,
                           "cannot create " + path_ + ": " + folder + " is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return fileProblem(Kind::OutputCannotOpen, path_, errno, "cannot create " + path_ + ": " + errorText(errno));
    return {};
}

FileProblem AppendFile::cannotOpen(int err) const {
    return fileProblem(problem::Kind::OutputCannotOpen, path_, err,
                       "cannot open " + path_ + " for appending: " + errorText(err));
}

FileProblem AppendFile::open() {
    if (fd_ >= 0) return {};
    if (path_ == "-") {
        fd_ = STDOUT_FILENO;
        return {};
    }
    // Read access too, to look at the records already there; a file we may only write to is
    // appended to all the same.
    fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return cannotOpen(errno);
    owned_ = true;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        regular_ = true;
        // One run at a time appends to a file: another run's records would interleave with ours,
        // and cutting back a half-written record could cut into theirs.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd_);
            fd_ = -1;
            owned_ = false;
            if (err == EWOULDBLOCK)
                return fileProblem(problem::Kind::OutputBusy, path_, 0, "another run is writing to " + path_);
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

WriteCall writeCall = ::writev;

FileProblem AppendFile::cannotWrite(int err) const {
    return fileProblem(problem::Kind::OutputWriteFailed, path_, err,
                       "cannot write " + (path_ == "-" ? std::string("standard output") : path_) + ": " +
                           errorText(err));
}

int AppendFile::writeAll(iovec* v, int count, std::size_t& taken) {
    taken = 0;
    while (count > 0) {
        const ssize_t n = writeCall(fd_, v, count);
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
        if (regular_ && taken > 0 && ::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) == size_ + taken)
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
    iovec v{gathered_.data(), gathered_.size()};
    std::size_t taken = 0;
    const int err = writeAll(&v, 1, taken);
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
    struct stat sa {}, sb {};
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
