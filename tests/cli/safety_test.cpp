// marc-pinyin-cli end to end where runs used to lose records: signals, a file-size limit, an
// output left with half a record, FIFOs, the check's report path, runs that did nothing, and
// messages that must reach the user in their language.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "cli_support.h"

namespace {

using namespace clitest;

const std::string shu = "\xCA\xE9";              // 书 in GBK
const std::string yinhang = "\xD2\xF8\xD0\xD0";  // 银行

/// Waits at most `seconds` for `pid` to end; its exit status, 128 + signal when a signal ended
/// it, -1 when it had not ended (it is then killed).
int finish(pid_t pid, int seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int raw = 0;
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

/// Records enough to take a while and more than a pipe holds.
std::string manyRecords(int n) {
    std::string input;
    for (int i = 0; i < n; ++i) input += testrec::book("S" + std::to_string(i), shu) + "\r\n";
    return input;
}

// SIGHUP (a closed terminal) stops a run as SIGTERM does: whole records, and where to go on.
TEST_F(Cli, AHangUpStopsAtARecordBoundary) {
    spit(dir / "big.iso", manyRecords(60000));
    const pid_t pid = start(dir, {"--db", db, "--polyphone", "first", "big.iso", "part.iso"});
    while (!fs::exists(dir / "part.iso") || fs::file_size(dir / "part.iso") == 0) ::usleep(2000);
    ::kill(pid, SIGHUP);
    EXPECT_EQ(finish(pid), 128 + SIGHUP);
    const std::string err = slurp(dir / "stderr.txt");
    EXPECT_TRUE(holds(err, "stopped: "));
    EXPECT_TRUE(holds(err, "run again with --skip"));
    checkedRecords(slurp(dir / "part.iso"));
}

// Under a file-size limit the write that crosses it fails (SIGXFSZ is ignored): the output keeps
// whole records, the run says where to go on, and the record cut off is not counted as failed.
TEST_F(Cli, AFileSizeLimitIsAFullDisk) {
    spit(dir / "in.iso", manyRecords(3000));
    ASSERT_EQ(shell("(ulimit -f 128; " + program() + " --polyphone first in.iso out.iso) 2> err.txt"), 2);
    const std::string err = slurp(dir / "err.txt");
    const std::size_t written = checkedRecords(slurp(dir / "out.iso")).size();
    EXPECT_GT(written, 0u);
    EXPECT_LE(fs::file_size(dir / "out.iso"), 128u * 1024);
    EXPECT_TRUE(holds(err, std::to_string(written) + " records written; the next is record " +
                               std::to_string(written + 1)));
    EXPECT_TRUE(holds(err, "--skip " + std::to_string(written)));
    EXPECT_TRUE(holds(err, std::to_string(written) + " written, 0 failed"));
    EXPECT_FALSE(fs::exists(dir / "out.iso.rejected"));
    // Going on from there, without the limit, gives what one run gives.
    EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--skip", std::to_string(written)}), 0));
    EXPECT_EQ(checkedRecords(slurp(dir / "out.iso")).size(), 3000u);
}

// An output that ends with half a record is refused with the bytes to remove; --repair-tail
// saves them to OUTPUT.partial and cuts them off.
TEST_F(Cli, HalfARecordAtTheEndOfTheOutput) {
    const std::string whole = testrec::book("E1", shu) + "\r\n";
    const std::string half = testrec::book("E2", shu).substr(0, 100);
    spit(dir / "in.iso", testrec::book("A1", yinhang) + "\r\n");
    spit(dir / "out.iso", whole + half);
    Ran r = batch("in.iso", "out.iso");
    EXPECT_TRUE(ended(r, 2, "ends with 100 bytes that are not a whole record"));
    EXPECT_TRUE(holds(r.err, "--repair-tail"));
    EXPECT_TRUE(holds(r.err, "truncate -s -100 out.iso"));
    EXPECT_EQ(slurp(dir / "out.iso"), whole + half);

    EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--repair-tail"}), 0, "saved them to out.iso.partial"));
    EXPECT_EQ(slurp(dir / "out.iso.partial"), half);
    EXPECT_EQ(checkedRecords(slurp(dir / "out.iso")).size(), 2u);
}

// An output FIFO gets every record, as a stream; one nobody reads is refused; a run blocked on a
// reader that stopped reading still ends on a stop.
TEST_F(Cli, AnOutputFifoGetsEveryRecordAndAStopStillEndsTheRun) {
    spit(dir / "in.iso", manyRecords(3000));  // several times what a pipe holds
    const std::string fifo = (dir / "out.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    EXPECT_TRUE(ended(batch("in.iso", "out.fifo"), 2, "nobody reads"));

    ASSERT_EQ(batch("in.iso", "file.iso").status, 0);
    const std::string file = slurp(dir / "file.iso");
    ASSERT_EQ(shell("(cat out.fifo > got.iso &)"), 0);
    // The reader may not have opened the FIFO yet when the run starts: try until it has.
    int status = 2;
    for (int tries = 0; tries < 100 && status == 2; ++tries) {
        status = shell(program() + " --polyphone first in.iso out.fifo 2> err.txt");
        if (status == 2) ::usleep(50000);
    }
    EXPECT_EQ(status, 0) << slurp(dir / "err.txt");
    // cat may still be writing what it read.
    for (int waited = 0; waited < 200 && fs::file_size(dir / "got.iso") < file.size(); ++waited)
        ::usleep(50000);
    EXPECT_TRUE(slurp(dir / "got.iso") == file) << "the FIFO got other bytes than a file does";
    EXPECT_FALSE(fs::exists(dir / "out.fifo.rejected"));

    // A reader that never reads: the pipe fills, the run waits in its write, and SIGTERM ends it.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const pid_t pid = start(dir, {"--db", db, "--polyphone", "first", "in.iso", "out.fifo"});
    int queued = 0;
    for (int waited = 0; waited < 2000 && queued < 60000; ++waited) {
        ::usleep(10000);
        ::ioctl(reader, FIONREAD, &queued);
    }
    ASSERT_GE(queued, 60000) << "the run did not fill the pipe";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid), 128 + SIGTERM);
    // The reader finds whole records in the pipe, as many as the run says it wrote.
    std::string got;
    char buf[65536];
    for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    ::close(reader);
    const std::string err = slurp(dir / "stderr.txt");
    long long written = -1;
    ASSERT_EQ(std::sscanf(err.c_str(), "marc-pinyin-cli: stopped: %lld records written", &written), 1) << err;
    EXPECT_EQ(static_cast<long long>(checkedRecords(got).size()), written);
    EXPECT_TRUE(holds(err, "run again with --skip " + std::to_string(written)));
}

// A stop while the run waits for more of a FIFO input: every record read is written, and the
// run says so, with where to go on.
TEST_F(Cli, AStopWhileWaitingForTheInputSaysWhereToGoOn) {
    const std::string fifo = (dir / "in.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t pid = start(dir, {"--db", db, "--polyphone", "first", "in.fifo", "out.iso"});
    const int writer = ::open(fifo.c_str(), O_WRONLY);  // returns once the run has opened it
    ASSERT_GE(writer, 0);
    const std::string three = testrec::book("A1", shu) + testrec::book("A2", shu) + testrec::book("A3", shu);
    ASSERT_EQ(::write(writer, three.data(), three.size()), static_cast<ssize_t>(three.size()));
    ::usleep(200000);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid), 128 + SIGTERM);
    ::close(writer);
    const std::string err = slurp(dir / "stderr.txt");
    const std::size_t written =
        fs::exists(dir / "out.iso") ? testrec::splitRecords(slurp(dir / "out.iso")).size() : 0;
    EXPECT_TRUE(holds(err, "stopped: " + std::to_string(written) + (written == 1 ? " record" : " records") +
                               " written; the next is record " + std::to_string(written + 1)));
}

// The check takes the report's lock before it touches the file, and never replaces records.
TEST_F(Cli, TheChecksReportIsNeverTheOutputOfARun) {
    const std::string records = testrec::book("A1", shu) + testrec::book("A2", shu);
    spit(dir / "in.iso", records);
    spit(dir / "out.iso", records);
    // A run in progress holds the lock on its output.
    const int held = ::open((dir / "out.iso").c_str(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    Ran r = batch("in.iso", "out.iso", {"--check"});
    ::close(held);
    EXPECT_TRUE(ended(r, 2, "another run is writing"));
    EXPECT_EQ(slurp(dir / "out.iso"), records);
    // No run: a file of records is not replaced by a report.
    EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--check"}), 2, "holds ISO 2709 records"));
    EXPECT_EQ(slurp(dir / "out.iso"), records);
    // An earlier report is.
    spit(dir / "report.tsv", "old report\n");
    EXPECT_EQ(batch("in.iso", "report.tsv", {"--check"}).status, 0);
    EXPECT_EQ(slurp(dir / "report.tsv"), kReportHeader);
}

// Runs that did nothing say so and end with status 1; a device output gets no side files.
TEST_F(Cli, RunsThatDoNothingSaySo) {
    spit(dir / "in.iso", testrec::book("A1", shu) + testrec::book("A2", shu) + testrec::book("A3", shu));
    EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--skip", "100"}), 1,
                      "no record written: the input holds only 3 records"));
    EXPECT_TRUE(ended(batch("in.iso", "out2.iso", {"--tags", "999", "--quiet"}), 1,
                      "no field got pinyin: none of the records written has a field listed (999)"));
    spit(dir / "one.iso", testrec::book("A1", shu));
    EXPECT_TRUE(ended(batch("one.iso", "out3.iso"), 0, "1 record read, 1 written"));

    spit(dir / "bad.iso", testrec::book("A1", shu) + testrec::makeRecord({{"001", "B2"}}));
    fs::remove("/dev/null.rejected");
    EXPECT_TRUE(ended(batch("bad.iso", "/dev/null"), 1));
    EXPECT_FALSE(fs::exists("/dev/null.rejected"));
    EXPECT_TRUE(fs::exists(dir / "bad.iso.rejected"));
}

// Every write of --dump, --lines and --check is checked: a full standard output ends the run
// with status 2 and a message.
TEST_F(Cli, AFullStandardOutputIsSaid) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    spit(dir / "in.iso", testrec::book("A1", shu));
    spit(dir / "in.txt", yinhang + "\n");
    for (const std::string& args :
         {std::string("--dump in.iso"), std::string("--lines in.txt"), std::string("--check in.iso -")}) {
        EXPECT_EQ(shell(program() + " --polyphone first " + args + " > /dev/full 2> err.txt"), 2) << args;
        EXPECT_TRUE(holds(slurp(dir / "err.txt"), "standard output: No space left on device"))
            << args << ": " << slurp(dir / "err.txt");
    }
}

// Usage errors speak the locale's language, as every other message does.
TEST_F(Cli, UsageErrorsInTheLocalesLanguage) {
    const auto chinese = [&](const std::string& args) {
        EXPECT_EQ(
            shell("LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8 " + quote(kProgram) + " " + args + " 2> err.txt"), 2)
            << args;
        return slurp(dir / "err.txt");
    };
    EXPECT_EQ(
        chinese("--field 2000 --lines in.txt"),
        "marc-pinyin-cli: --field：“2000”不是字段标识：字段标识是三个数字或三个大写字母，例如 200 或 AVA\n");
    EXPECT_TRUE(holds(chinese("--case 0 in.iso out.iso"), "--case：“0”不是可选的值，可选：lower, capital"));
    EXPECT_TRUE(holds(chinese("--no-such in.iso out.iso"), "没有 --no-such 这个选项"));
    EXPECT_TRUE(holds(chinese("in.iso"), "未指定输出文件"));
    EXPECT_TRUE(holds(chinese("--skip -1 in.iso out.iso"), "不是大于或等于 0 的整数"));
    EXPECT_TRUE(holds(chinese("--dump --lines in.iso"), "不能与"));
    EXPECT_TRUE(holds(chinese("in.iso out.iso --code"), "--code 后面需要一个值"));
    EXPECT_TRUE(holds(chinese("a b c"), "参数太多：c"));
}

}  // namespace

namespace {

using namespace clitest;

// Ctrl-C at a question on the terminal stops the run there: the record asked about is left for
// a later run, every record before it is in the output.
TEST_F(Cli, CtrlCAtAQuestionStopsThere) {
    const std::string first = testrec::book("A1", shu);
    spit(dir / "in.iso", first + testrec::book("A2", yinhang) + testrec::book("A3", shu));
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) GTEST_SKIP() << "no pseudo-terminal";
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(99);
        ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
        ::execl(kProgram.c_str(), kProgram.c_str(), "--db", db.c_str(), "--polyphone", "ask", "in.iso",
                "out.iso", static_cast<char*>(nullptr));
        ::_exit(98);
    }
    // What the terminal shows, until `text` appears or five seconds pass.
    std::string screen;
    const auto waitFor = [&](const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (screen.find(text) == std::string::npos && std::chrono::steady_clock::now() < until) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            screen.append(buf, static_cast<std::size_t>(n));
        }
        return screen.find(text) != std::string::npos;
    };
    ASSERT_TRUE(waitFor("reading [")) << screen;
    ASSERT_EQ(::write(master, "\x03", 1), 1);  // Ctrl-C, as the terminal sends it
    EXPECT_TRUE(waitFor("marc-pinyin-cli: stopped: 1 record written; the next is record 2")) << screen;
    EXPECT_EQ(finish(pid, 10), 130) << screen;
    ::close(master);
    EXPECT_EQ(testrec::splitRecords(slurp(dir / "out.iso")).size(), 1u);
}

}  // namespace
