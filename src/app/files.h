// The files of a run: the input read in blocks, the output and rejects files appended to whole.
#pragma once

#include <cstdint>
#include <string>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "problem/problem.h"

namespace app {

/// What went wrong with a file (path, osError, and in `detail` the same in plain English); empty
/// when nothing did.
using FileProblem = std::optional<problem::Problem>;

/// A file that failed in the middle of a run.
class FileError : public std::runtime_error {
public:
    FileError(problem::Problem p, const std::string& text) : std::runtime_error(text), problem(std::move(p)) {}
    problem::Problem problem;
};

/// The input of a run, "-" for standard input. Throws StartError when it cannot be opened or
/// names a folder.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Reads up to `size` bytes into `buf`; 0 at the end. Throws FileError on a read error.
    std::size_t read(char* buf, std::size_t size);
    /// The file's size in bytes, 0 when unknown (a pipe).
    std::uint64_t size() const { return size_; }
    int fd() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
};

/// A file appended to, each append in one write() so that a record is on disk whole or not at
/// all. "-" is standard output. Nothing is created until open().
class AppendFile {
public:
    explicit AppendFile(std::string path) : path_(std::move(path)) {}
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    /// Checks, without creating or changing anything, that the file can be opened for appending:
    /// it exists and opens for writing, or its folder exists and is writable.
    FileProblem check() const;
    /// Opens (creating a missing file) and, for a regular file, takes an advisory lock on it for
    /// as long as it is open, so that two runs never append to one file at once (OutputBusy when
    /// another run holds it).
    FileProblem open();
    bool isOpen() const { return fd_ >= 0; }
    /// The last `n` bytes the open file held when it was opened (fewer for a shorter file; none
    /// for anything but a regular file).
    std::string tail(std::size_t n) const;
    /// Appends `a` and `b` in one write (OutputWriteFailed when it cannot); a regular file
    /// that took part of them before the error is cut back to its size before the call (when it
    /// holds nothing else new).
    FileProblem append(std::string_view a, std::string_view b = {});
    const std::string& path() const { return path_; }

private:
    FileProblem cannotOpen(int err) const;

    std::string path_;
    int fd_ = -1;
    bool owned_ = false;
    bool regular_ = false;
    std::uint64_t size_ = 0;  // of a regular file: we are its only writer while it is open
};

/// True when `path` names the file open as `fd`; for "-", when standard output is that file.
bool isOpenFile(int fd, const std::string& path);

}  // namespace app
