// The output written in large pieces, with the write system call replaced: a piece the disk takes
// only part of is cut back to whole records, the run stops there with every count true, and the
// records handled before a question are in the file when it is asked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "app/batch.h"
#include "app/files.h"
#include "app/records.h"
#include "support/files.h"
#include "marc/reader.h"
#include "pinyin/table.h"

namespace fs = std::filesystem;

namespace {

using testfiles::slurp;
using testfiles::spit;
using testrec::Tally;
using testrec::tally;

/// The 001 of each record of an output written with CR LF after each.
std::vector<std::string> identifiers(const std::string& out) {
    std::vector<std::string> ids;
    for (const std::string& rec : testrec::outputRecords(out)) {
        testrec::Parsed p;
        EXPECT_TRUE(testrec::parseRecord(rec, p)) << "a broken record";
        ids.push_back(p.fields.empty() ? "" : p.fields.front().second);
    }
    return ids;
}

/// Stands in for the disk under the output file; every other file is written as usual.
struct Disk {
    static inline ino_t output = 0;
    /// Handles the n-th write to the output (1-based); unset: the real call.
    static inline std::function<ssize_t(int n, int fd, const iovec* v, int count)> onOutput;
    static inline int calls = 0;

    static ssize_t write(int fd, const iovec* v, int count) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_ino == output) {
            ++calls;
            if (onOutput) return onOutput(calls, fd, v, count);
        }
        return ::writev(fd, v, count);
    }
};

/// Fails with `err`, taking nothing.
ssize_t refuse(int err) {
    errno = err;
    return -1;
}

/// Takes the first whole record of the piece and `more` bytes of the next, and says so.
ssize_t takeOneAndABit(int fd, const iovec* v, std::size_t more) {
    const std::string_view piece(static_cast<const char*>(v->iov_base), v->iov_len);
    const std::size_t end = piece.find("\x1D\r\n") + 3;
    return ::write(fd, piece.data(), end + more);
}

struct Observer : app::BatchObserver, pinyin::Chooser {
    std::function<void()> onQuestion;
    std::function<void(std::int64_t)> onDone;
    std::vector<std::int64_t> written;
    int asked = 0;
    app::RunControl* control = nullptr;
    void started(app::RunControl& run) override { control = &run; }
    void recordDone(std::int64_t count) override {
        if (onDone) onDone(count);
    }
    void recordsWritten(std::int64_t n) override { written.push_back(n); }
    pinyin::Chooser* chooser() override { return this; }
    std::optional<std::string> choose(const pinyin::ChooserRequest&) override {
        ++asked;
        if (onQuestion) onQuestion();
        return std::nullopt;
    }
};

const std::string shu = "\xCA\xE9";              // 书 in GBK
const std::string yinhang = "\xD2\xF8\xD0\xD0";  // 银行, whose 行 has two readings

class TheOutput : public testrec::RunTest<Observer> {
protected:
    void SetUp() override {
        spit(options.outputPath, "");
        struct stat st {};
        ASSERT_EQ(::stat(options.outputPath.c_str(), &st), 0);
        Disk::output = st.st_ino;
        Disk::calls = 0;
        Disk::onOutput = nullptr;
        app::writeCall = Disk::write;
    }
    void TearDown() override {
        app::writeCall = ::writev;
        Disk::onOutput = nullptr;
    }
    std::string output() const { return slurp(options.outputPath); }
};

// A failed record writes out those before it (the first piece); the last piece is taken up to
// the middle of its second record by a short write, and the write that goes on finds the disk
// full. The file keeps the whole records only; the record cut off and the one after it count as
// not handled (not failed: they are not in the rejects file), the run says where to go on, and
// nothing is written after the failure.
TEST_F(TheOutput, APieceTakenInPartIsCutBackToItsWholeRecords) {
    const std::string a1 = testrec::book("A1", shu), a2 = testrec::book("A2", shu),
                      bad = testrec::makeRecord({{"001", "B3"}}), a4 = testrec::book("A4", shu),
                      a5 = testrec::book("A5", shu), a6 = testrec::book("A6", shu);
    spit(options.inputPath, a1 + a2 + bad + a4 + a5 + a6);
    Disk::onOutput = [](int n, int fd, const iovec* v, int count) -> ssize_t {
        if (n == 1) return ::writev(fd, v, count);
        if (n == 2) return takeOneAndABit(fd, v, 10);
        return refuse(ENOSPC);
    };
    const app::BatchResult r = run();
    EXPECT_EQ(identifiers(output()), (std::vector<std::string>{"A1", "A2", "A4"}));
    EXPECT_EQ(Disk::calls, 3);
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 4, .written = 3, .failed = 1, .nextRecord = 5}));
    EXPECT_EQ(r.nextOffset, a1.size() + a2.size() + bad.size() + a4.size());
    ASSERT_TRUE(r.stopProblem);
    EXPECT_EQ(r.stopProblem->kind, problem::Kind::OutputWriteFailed);
    EXPECT_EQ(r.stopProblem->osError, ENOSPC);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(rejects(), bad + "\r\n");
    EXPECT_EQ(observer.written, (std::vector<std::int64_t>{2, 3}));
}

// A write refused outright (an I/O error) leaves the file as it stood, records of an earlier run
// included: every record of the piece is left for a later run, none counts as failed.
TEST_F(TheOutput, APieceRefusedOutrightLeavesTheFileAsItStood) {
    const std::string earlier = testrec::book("E0", shu) + "\r\n";
    spit(options.outputPath, earlier);
    const std::string a1 = testrec::book("A1", shu);
    spit(options.inputPath, a1 + testrec::book("A2", shu) + testrec::book("A3", shu));
    Disk::onOutput = [](int, int, const iovec*, int) { return refuse(EIO); };
    const app::BatchResult r = run();
    EXPECT_EQ(output(), earlier);
    EXPECT_EQ(Disk::calls, 1);
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 0, .written = 0, .failed = 0, .nextRecord = 1}));
    EXPECT_EQ(r.nextOffset, 0u);
    ASSERT_TRUE(r.stopProblem);
    EXPECT_EQ(r.stopProblem->osError, EIO);
    EXPECT_FALSE(fs::exists(options.outputPath + ".rejected"));
    EXPECT_TRUE(observer.written.empty());
}

// Before a question, every record handled is in the file; when the file fails then, nobody is
// asked and the record under way is left for a later run.
TEST_F(TheOutput, TheRecordsBeforeAQuestionAreInTheFile) {
    settings.polyphone = pinyin::Polyphone::Manual;
    const std::string a1 = testrec::book("A1", shu);
    spit(options.inputPath, a1 + testrec::book("A2", shu) + testrec::book("A3", yinhang));
    std::vector<std::string> seen;
    observer.onQuestion = [&] { seen = identifiers(output()); };
    app::BatchResult r = run();
    EXPECT_EQ(observer.asked, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"A1", "A2"}));
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(observer.written, (std::vector<std::int64_t>{2, 3}));

    spit(options.outputPath, "");
    observer.asked = 0;
    observer.written.clear();
    Disk::onOutput = [](int, int, const iovec*, int) { return refuse(ENOSPC); };
    r = run();
    EXPECT_EQ(observer.asked, 0);
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 0, .written = 0, .failed = 0, .nextRecord = 1}));
    EXPECT_EQ(output(), "");
    EXPECT_FALSE(fs::exists(options.outputPath + ".rejected"));
}

// A front end that asks for the records gathered so far finds them in the file at once.
TEST_F(TheOutput, AFrontEndCanHaveTheRecordsWrittenMidRun) {
    spit(options.inputPath, testrec::book("A1", shu) + testrec::book("A2", shu) + testrec::book("A3", shu));
    std::vector<std::string> seen;
    observer.onDone = [&](std::int64_t count) {
        if (count != 2) return;
        EXPECT_TRUE(observer.control->writeOut());
        seen = identifiers(output());
    };
    const app::BatchResult r = run();
    EXPECT_EQ(seen, (std::vector<std::string>{"A1", "A2"}));
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(observer.written, (std::vector<std::int64_t>{2, 3}));
}

// Thousands of records go out in a few large writes, each piece ending on a whole record; a
// record longer than a piece goes out whole on its own.
TEST_F(TheOutput, ManyRecordsGoOutInFewWrites) {
    std::string in;
    std::vector<std::string> ids;
    for (int i = 0; i < 3000; ++i) {
        ids.push_back("R" + std::to_string(i));
        if (i == 1000) {
            std::vector<testrec::Field> fields{{"001", ids.back()}, {"005", "20240102030405.0"}};
            for (const char* tag : {"300", "301", "302", "303", "304", "305", "306", "307"})
                fields.emplace_back(tag, "  \037a" + std::string(9000, 'x'));
            fields.emplace_back("200", "1 \037a" + shu);
            in += testrec::makeRecord(fields);
            continue;
        }
        in += testrec::book(ids.back(), shu + shu + shu + shu);
    }
    spit(options.inputPath, in);
    std::vector<std::size_t> pieces;
    Disk::onOutput = [&](int, int fd, const iovec* v, int count) {
        pieces.push_back(v->iov_len);
        EXPECT_TRUE(
            std::string_view(static_cast<const char*>(v->iov_base), v->iov_len).ends_with("\x1D\r\n"));
        return ::writev(fd, v, count);
    };
    const app::BatchResult r = run();
    EXPECT_EQ(r.written, 3000);
    EXPECT_EQ(identifiers(output()), ids);
    const std::size_t size = fs::file_size(options.outputPath);
    ASSERT_GT(size, 4 * app::AppendFile::kGatherBytes);
    EXPECT_LE(pieces.size(), 2 * size / app::AppendFile::kGatherBytes + 2);  // half full or more
    EXPECT_EQ(std::count_if(pieces.begin(), pieces.end(),
                            [](std::size_t p) { return p > app::AppendFile::kGatherBytes; }),
              1);
}

}  // namespace
