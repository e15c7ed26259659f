// The files of a run: the input read in blocks, the output and rejects files appended to whole.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstdint>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "problem/error.h"
#include "problem/problem.h"

namespace app {

/// What went wrong with a file (kind, path, osError); empty when nothing did.
using FileProblem = std::optional<problem::Problem>;

/// A file that failed in the middle of a run (InputReadFailed: path, osError).
class FileError : public problem::Error {
public:
    using problem::Error::Error;
};

/// A stop the user asked for (stopRequested) that came while a read or write was waiting on a
/// pipe, a FIFO or a terminal: the wait ends, and the run stops where it stands.
struct StopAsked {};

/// Whether the user has asked the run to stop; a front end sets it (from its signal handler's
/// flag). A read or write that waits on a pipe, a FIFO or a terminal looks at it at least five
/// times a second and throws StopAsked (a read) or fails with ECANCELED (a write) once it is
/// true. Null: nobody asks.
extern bool (*stopRequested)();

/// Ignores SIGXFSZ and SIGPIPE (left at their default, either kills the program in the middle
/// of a write): a file over the size limit fails with EFBIG and a pipe whose reader has gone
/// with EPIPE, and the run stops with whole records as on a full disk. Called by every opening
/// of an output; a front end that writes by other means calls it too.
void ignoreWriteSignals();

/// The input of a run, "-" for standard input. Throws StartError when it cannot be opened or
/// names a folder.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Reads up to `size` bytes into `buf`; 0 at the end. Throws FileError on a read error, and
    /// StopAsked when a stop comes while it waits on a pipe, a FIFO or a terminal.
    std::size_t read(char* buf, std::size_t size);
    /// The file's size in bytes, 0 when unknown (a pipe).
    std::uint64_t size() const { return size_; }
    /// A pipe, a FIFO or a terminal: a read may wait for its writer.
    bool waits() const { return waits_; }
    int fd() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
    bool waits_ = false;  // a pipe, a FIFO or a terminal: a read may wait for its writer
};

/// A file appended to so that it only ever holds whole records. "-" is standard output. Nothing
/// is created until open().
///
/// Two ways in: append() writes at once (the rejects file, the failure log); gather() collects
/// records in one large buffer that writeGathered() hands to the file in one write (the output,
/// where a write per record would cost a system call each). A regular file that takes part of a
/// write and then fails is cut back to its last whole record.
class AppendFile {
public:
    /// What writeGathered() hands over in one write, unless a single record is longer. A write
    /// costs a system call whatever its size: at 64 KiB that is about a thousand of them for 60 MB
    /// of records, too few to measure, and the buffer leaves the run's peak memory as it was.
    static constexpr std::size_t kGatherBytes = std::size_t{64} << 10;

    explicit AppendFile(std::string path) : path_(std::move(path)) {}
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    /// Checks, without creating or changing anything, that the file can be opened for appending:
    /// it exists and may be written to, or its folder exists and is writable. A FIFO is not
    /// opened here (its reader would see the end of its input).
    FileProblem check() const;
    /// Opens (creating a missing file) and, for a regular file, takes an advisory lock on it for
    /// as long as it is open, so that two runs never append to one file at once (OutputBusy when
    /// another run holds it). A FIFO is opened once, for writing only, and written as a stream;
    /// one that nobody reads is refused (OutputNoReader).
    FileProblem open();
    bool isOpen() const { return fd_ >= 0; }
    /// Whether the open file is a regular file (not a pipe, a FIFO or a device).
    bool isRegular() const { return regular_; }
    /// The size the open regular file had when it was opened, plus what this object wrote to it.
    std::uint64_t size() const { return size_; }
    /// The `n` bytes of the open regular file from byte `from` on (fewer at its end).
    std::string readAt(std::uint64_t from, std::size_t n) const;
    /// Cuts the open regular file back to `size` bytes (size must not exceed its size).
    FileProblem truncateTo(std::uint64_t size);
    /// The last `n` bytes the open file held when it was opened (fewer for a shorter file; none
    /// for anything but a regular file).
    std::string tail(std::size_t n) const;
    /// Appends `a` and `b` in one write (OutputWriteFailed when it cannot); a regular file
    /// that took part of them before the error is cut back to its size before the call (when it
    /// holds nothing else new). Records gathered and not yet written must not be pending.
    FileProblem append(std::string_view a, std::string_view b = {});

    /// Whether a record of `bytes` bytes still fits beside the records gathered (any record fits
    /// when there are none).
    bool fits(std::size_t bytes) const { return ends_.empty() || gathered_.size() + bytes <= kGatherBytes; }
    /// Adds a record and what follows it to those waiting for writeGathered(); nothing is
    /// written yet.
    void gather(std::string_view record, std::string_view after);
    /// Records gathered and not yet written.
    std::size_t gatheredRecords() const { return ends_.size(); }

    struct Written {
        std::size_t records = 0;  ///< gathered records now whole in the file, from the first on
        FileProblem problem;      ///< why the rest were not written (OutputWriteFailed)
    };
    /// Writes every gathered record and forgets them all. When the file fails partway, a regular
    /// file is cut back to the end of the last whole record it took (when it holds nothing else
    /// new), so what it holds ends with `records` of them.
    Written writeGathered();

    const std::string& path() const { return path_; }

private:
    FileProblem cannotOpen(int err) const;
    FileProblem cannotWrite(int err) const;
    /// Writes `v` fully; the bytes it took before an error in `taken`.
    int writeAll(iovec* v, int count, std::size_t& taken);

    std::string path_;
    int fd_ = -1;
    bool owned_ = false;
    bool regular_ = false;
    bool stream_ = false;            // a pipe or FIFO: written in pieces it takes without waiting
    std::uint64_t size_ = 0;         // of a regular file: we are its only writer while it is open
    std::string gathered_;           // whole records, each with what follows it
    std::vector<std::size_t> ends_;  // where each record in gathered_ ends
};

/// True when `path` names the file open as `fd`; for "-", when standard output is that file.
bool isOpenFile(int fd, const std::string& path);

/// The system call every AppendFile writes through. Tests replace it to make a write fall short
/// or fail partway; nothing else does.
using WriteCall = ssize_t (*)(int fd, const iovec* v, int count);
extern WriteCall writeCall;

}  // namespace app
