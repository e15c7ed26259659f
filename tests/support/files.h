// Files for tests: whole-file reads and writes, and a temporary folder per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testfiles {

namespace fs = std::filesystem;

/// The whole file, byte for byte ("" when it cannot be read).
inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

/// Writes `bytes` as the whole file.
inline void spit(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

/// A fresh folder under the system's temporary folder, named after the running test and the
/// process, removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "marcpy") {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                (prefix + "_" + std::to_string(::getpid()) + "_" + (test ? test->name() : "global"));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& name) const { return path_ / name; }

private:
    fs::path path_;
};

}  // namespace testfiles
