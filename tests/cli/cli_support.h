// What the end-to-end tests of marc-pinyin-cli share: a temporary folder, the program run in it,
// a small py.db, and a check of the records it writes.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/records.h"
#include "fuzz/record_check.h"
#include "support/files.h"
#include "support/pydb.h"

namespace fs = std::filesystem;

namespace clitest {

const std::string kProgram = MARCPY_BINARY_DIR "/bin/marc-pinyin-cli";

using testfiles::slurp;
using testfiles::spit;

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/// The first line of every report of --check.
const std::string kReportHeader = "record\t001\ttag\ttext\texisting\tours\tdiffering\tunsure\n";

/// Whether `text` holds `part`, as EXPECT_TRUE(holds(r.err, "...")): a failure shows the text.
inline ::testing::AssertionResult holds(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

struct Ran {
    int status = -1;
    std::string out, err;
};

/// Whether the run ended with `status` and said `part` on standard error, as
/// EXPECT_TRUE(ended(r, 2, "...")): a failure shows the status and the whole of standard error.
inline ::testing::AssertionResult ended(const Ran& r, int status, const std::string& part = "") {
    if (r.status == status && r.err.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "status " << r.status << " (wanted " << status << "), \"" << part << "\" wanted in:\n"
           << r.err;
}

/// `args`, ending in the input and an output, as `mode` takes them: "" a run, "--check" (the output
/// its report), "--dump" and "--lines" without the output (they write to standard output).
inline std::vector<std::string> inMode(const std::string& mode, std::vector<std::string> args) {
    if (mode == "--dump" || mode == "--lines") args.pop_back();
    if (!mode.empty()) args.insert(args.begin(), mode);
    return args;
}

/// The fields of every record of `file`, which must be whole records.
inline std::vector<std::vector<testrec::Field>> fieldsOf(const std::string& file) {
    std::vector<std::vector<testrec::Field>> out;
    for (testrec::Parsed& p : testrec::parsedRecords(file)) out.push_back(std::move(p.fields));
    return out;
}

// Splits an output file written with CR LF after each record into its records, checking that
// every one is whole and that its leader and directory agree with its bytes (the fuzzers' check).
inline std::vector<std::string> checkedRecords(const std::string& out, bool crlf = true) {
    std::vector<std::string> recs;
    std::size_t from = 0;
    const std::string end = crlf ? "\x1D\r\n" : "\x1D";
    for (std::size_t at; (at = out.find(end, from)) != std::string::npos; from = at + end.size())
        recs.push_back(out.substr(from, at + 1 - from));
    EXPECT_EQ(from, out.size()) << "output does not end with a whole record";
    for (const std::string& r : recs) fuzzcheck::checkRecord(r);  // aborts, saying what is wrong
    return recs;
}

/// The program started in `dir` with `args`, standard error to `err` in dir; its pid.
inline pid_t start(const fs::path& dir, const std::vector<std::string>& args,
                   const std::string& err = "stderr.txt") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(99);
        if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(99);
        ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(kProgram.c_str(), argv.data());
        ::_exit(98);
    }
    return pid;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "py.db").string();
        testpydb::make(db, {{"银", "Yin"},
                            {"行", "Xing Hang"},
                            {"单", "Dan Shan Chan"},
                            {"位", "Wei"},
                            {"书", "Shu"},
                            {"长", "Chang Zhang"},
                            {"城", "Cheng"},
                            {"吕", "Lǘ"}});
    }

    // Runs the program in `dir` with `args`; standard input from `in` (a file name in dir).
    Ran run(const std::vector<std::string>& args, const std::string& in = "/dev/null") {
        // Generated identifiers are remembered in the test's own folder, not the user's.
        std::string cmd =
            "cd " + quote(dir.string()) + " && XDG_STATE_HOME=" + quote(dir.string()) + " " + quote(kProgram);
        for (const auto& a : args) cmd += " " + quote(a);
        cmd += " < " + quote(in) + " > stdout.txt 2> stderr.txt";
        int raw = std::system(cmd.c_str());
        Ran r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir / "stdout.txt");
        r.err = slurp(dir / "stderr.txt");
        fs::remove(dir / "stdout.txt");
        fs::remove(dir / "stderr.txt");
        return r;
    }
    // Runs `command` through the shell in `dir`; its exit status, -1 when a signal ended it.
    int shell(const std::string& command) {
        const int raw = std::system(("cd " + quote(dir.string()) + " && " + command).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    // The program with the test database, quoted for `shell`.
    std::string program() const { return quote(kProgram) + " --db " + quote(db); }
    // A batch run with the test database and the first reading.
    Ran batch(const std::string& in, const std::string& out, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--db", db, "--polyphone", "first"};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(in);
        args.push_back(out);
        return run(args);
    }

    testfiles::TempDir tmp{"cli_test"};
    fs::path dir = tmp.path();
    std::string db;
};

}  // namespace clitest
