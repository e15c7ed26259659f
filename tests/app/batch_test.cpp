// The batch run over real files: what is written, what is rejected, when it refuses to start.
#include "app/batch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

#include "app/framer.h"
#include "app/output_end.h"
#include "app/records.h"
#include "marc/reader.h"
#include "pinyin/table.h"
#include "pinyin/words.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/pydb.h"

namespace fs = std::filesystem;

namespace {

using testfiles::slurp;
using testfiles::spit;
using testrec::outputRecords;
using testrec::Tally;
using testrec::tally;

std::string workingOf(const std::string& record) { return marc::workingText(record, codepage::Codec::gbk()); }

struct Recorder : app::BatchObserver {
    std::vector<std::int64_t> done;
    std::vector<app::RecordFailure> failed;
    std::uint64_t lastDone = 0, lastTotal = 0;
    int finishedCalls = 0;
    int stopAfter = -1;
    std::function<void(std::int64_t)> onRecord;
    pinyin::Chooser* answerer = nullptr;
    std::vector<std::pair<std::int64_t, std::string>> started;  // number and working record

    void recordStarted(std::int64_t number, std::string_view working) override {
        started.emplace_back(number, working);
    }
    void recordDone(std::int64_t count) override {
        done.push_back(count);
        if (onRecord) onRecord(count);
    }
    void recordFailed(const app::RecordFailure& f) override { failed.push_back(f); }
    void progress(std::uint64_t d, std::uint64_t t) override { lastDone = d, lastTotal = t; }
    bool yieldPoint() override { return stopAfter < 0 || static_cast<int>(done.size()) < stopAfter; }
    pinyin::Chooser* chooser() override { return answerer; }
    void finished(const app::BatchResult&) override { ++finishedCalls; }
};

class ARun : public testrec::RunTest<Recorder> {};

const std::string yinhang = "\xD2\xF8\xD0\xD0";  // 银行 in GBK
const std::string shu = "\xCA\xE9";              // 书

TEST_F(ARun, WritesEveryRecordOneLineOrBackToBack) {
    std::string a = testrec::book("A1", yinhang), b = testrec::book("A2", shu),
                c = testrec::book("A3", "x|y");
    spit(options.inputPath, a + "\r\n" + b + c + "\r\n\r\n" + a + "\x1A");
    auto r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = false, .read = 4, .written = 4, .failed = 0, .nextRecord = 0}));
    EXPECT_TRUE(r.rejectsPath.empty());
    EXPECT_FALSE(fs::exists(options.outputPath + ".rejected"));
    EXPECT_EQ(observer.done, (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(observer.finishedCalls, 1);
    EXPECT_EQ(observer.lastDone, fs::file_size(options.inputPath) - 1);  // all but the Ctrl-Z
    EXPECT_EQ(observer.lastTotal, fs::file_size(options.inputPath));

    auto recs = outputRecords(slurp(options.outputPath));
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_NE(workingOf(recs[0]).find("200 1  |a" + std::string("银行") + "|Ayin xing"), std::string::npos)
        << workingOf(recs[0]);
    EXPECT_NE(workingOf(recs[1]).find("|Ashu"), std::string::npos);
    EXPECT_NE(workingOf(recs[1]).find("001    A2"), std::string::npos);
    // A "|" in the data is data, not a subfield: it comes back as it was.
    EXPECT_NE(recs[2].find("x|y"), std::string::npos);
    EXPECT_EQ(recs[3], recs[0]);
}

// A front end that shows no record text (the command line): the run decodes only the listed
// fields, and writes the same bytes, keeps the same records aside and reports the same failures.
TEST_F(ARun, DecodingOnlyTheListedFieldsChangesNoByte) {
    struct ShowsNoText : Recorder {
        bool wantsWorkingText() const override { return false; }
    };
    const std::string yin = "\xD2\xF8";  // 银
    const std::string input =
        testrec::book("A1", yinhang) +
        testrec::makeRecord({{"001", "B1"},
                             {"005", "20240102030405.0"},
                             {"200", "1 \037a" + shu},
                             {"801", "  \037a\x81\x20\xFF"},
                             {"AVA", "\x81\x40\037a" + yin}}) +
        testrec::makeRecord({{"001", "C1"},
                             {"005", "20240102030405.0"},
                             {"200", "1 \037a" + shu + "\x81\x20"},
                             {"300", "  \037ax"}}) +
        testrec::makeRecord(
            {{"001", "D1"}, {"005", "20240102030405.0"}, {"200", "1 \037a" + shu}, {"300", "  \037a\rx"}}) +
        testrec::makeRecord({{"001", "E1"},
                             {"005", "20240102030405.0"},
                             {"200", "1 \037a" + shu + "|\037Ashu"},
                             {"225", "2 \037a" + yin}});
    spit(options.inputPath, input);
    for (const bool remove : {false, true}) {
        settings.removePinyin = remove;
        const app::BatchResult whole = run();
        const std::string written = slurp(options.outputPath), kept = slurp(options.outputPath + ".rejected");
        fs::remove(options.outputPath);
        fs::remove(options.outputPath + ".rejected");
        ShowsNoText quiet;
        const app::BatchResult listed = app::runBatch(options, settings, quiet);
        EXPECT_EQ(tally(listed), tally(whole));
        EXPECT_EQ(slurp(options.outputPath), written);
        EXPECT_EQ(slurp(options.outputPath + ".rejected"), kept);
        ASSERT_EQ(quiet.failed.size(), observer.failed.size());
        for (std::size_t i = 0; i < quiet.failed.size(); ++i)
            EXPECT_EQ(quiet.failed[i].problem.kind, observer.failed[i].problem.kind);
        fs::remove(options.outputPath);
        fs::remove(options.outputPath + ".rejected");
        observer.failed.clear();
    }
}

TEST_F(ARun, FailedRecordsGoToTheRejectsFileByteForByte) {
    std::string good1 = testrec::book("G1", shu), good2 = testrec::book("G2", yinhang);
    std::string noFieldTerminator = "00050nam0 22000        450 no directory at all\x1D";
    std::string damaged = testrec::book("D1", shu);
    damaged.pop_back();  // lost its terminator: the next record starts inside it
    std::string cut = "  \r\n" + testrec::book("C1", shu).substr(0, 60);
    spit(options.outputPath + ".rejected", "old rejects\r\n");
    spit(options.inputPath, good1 + "\r\n" + noFieldTerminator + "\r\n" + damaged + good2 + "\r\n" + cut);

    auto r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = false, .read = 5, .written = 2, .failed = 3, .nextRecord = 0}));
    // Number, input line and problem of each; the blank line in front of the last is not its own.
    using Failure = std::tuple<std::int64_t, std::int64_t, problem::Kind>;
    std::vector<Failure> failures;
    for (const app::RecordFailure& f : r.failures) failures.emplace_back(f.number, f.line, f.problem.kind);
    EXPECT_EQ(failures, (std::vector<Failure>{{2, 2, problem::Kind::NoFieldTerminator},
                                              {3, 3, problem::Kind::NextRecordInside},
                                              {5, 5, problem::Kind::CutShort}}));
    EXPECT_EQ(observer.failed.size(), 3u);
    EXPECT_EQ(r.rejectsPath, options.outputPath + ".rejected");

    auto recs = outputRecords(slurp(options.outputPath));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_NE(workingOf(recs[0]).find("001    G1"), std::string::npos);
    EXPECT_NE(workingOf(recs[1]).find("001    G2"), std::string::npos);
    EXPECT_EQ(slurp(r.rejectsPath),
              "old rejects\r\n" + noFieldTerminator + "\r\n" + damaged + "\r\n" + cut.substr(4) + "\r\n");
}

TEST_F(ARun, BriefRecordsAreWrittenAndEmptyOnesRejected) {
    // A brief record is written like any other, with its own leader.
    std::string brief = testrec::makeRecord({{"001", "S1"}, {"200", "1 \037a" + shu}});
    brief.replace(5, 4, "cam2");
    // Nothing to write but its number: refused with that reason, kept byte for byte.
    const std::string onlyNumbers = testrec::makeRecord({{"001", "S2"}, {"005", "20240102030405.0"}});
    // No fields at all.
    const std::string empty = "00026nam0 2200025   450 \x1E\x1D";
    spit(options.inputPath, brief + "\r\n" + onlyNumbers + "\r\n" + empty + "\r\n");
    auto r = run();
    EXPECT_EQ(r.written, 1);
    ASSERT_EQ(r.failed, 2);
    EXPECT_EQ(r.failures[0].problem.kind, problem::Kind::NothingToWrite);
    EXPECT_EQ(r.failures[1].problem.kind, problem::Kind::NoFields);
    EXPECT_EQ(slurp(r.rejectsPath), onlyNumbers + "\r\n" + empty + "\r\n");
    const auto recs = outputRecords(slurp(options.outputPath));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].substr(5, 4), "cam2");
    EXPECT_NE(workingOf(recs[0]).find("200 1  |a"
                                      "\xE4\xB9\246|Ashu"),
              std::string::npos);
}

TEST_F(ARun, AppendsToExistingOutputAndHonoursTheSeparator) {
    std::string a = testrec::book("A1", shu);
    spit(options.inputPath, a + "\r\n" + a + "\r\n");
    const std::string earlier = testrec::book("E0", shu) + "\r\n";
    spit(options.outputPath, earlier);
    run();
    std::string first = slurp(options.outputPath);
    ASSERT_EQ(first.rfind(earlier, 0), 0u);
    std::string ours = first.substr(earlier.size());
    EXPECT_EQ(outputRecords(ours).size(), 2u);

    options.separator = app::Separator::None;
    fs::remove(options.outputPath);
    run();
    EXPECT_EQ(slurp(options.outputPath), outputRecords(ours)[0] + outputRecords(ours)[1]);
}

TEST_F(ARun, RefusesToStartAndTouchesNothing) {
    const std::string a = testrec::book("A1", shu), in = options.inputPath, out = options.outputPath;
    spit(in, a);
    spit(out + ".rejected", a);
    spit(dir / "broken.db", "this is not an SQLite file, not at all, not even close to one");
    fs::create_directories(dir / "sub");
    fs::create_symlink(in, dir / "link.iso");
    fs::create_hard_link(in, dir / "hard.iso");
    const auto at = [&](const char* name) { return (dir / name).string(); };
    using problem::Kind;
    // Refused with `kind` at `path`, and nothing touched.
    struct Case {
        std::string input, output, db;  // db: none for the table given
        Kind kind;
        std::string path;
    } cases[] = {
        {at("missing.iso"), out, "", Kind::InputCannotOpen, at("missing.iso")},
        {dir.string(), out, "", Kind::InputIsFolder, dir.string()},
        {in, at("no/such/out.iso"), "", Kind::OutputFolderMissing, at("no/such/out.iso")},
        {in, dir.string(), "", Kind::OutputIsFolder, dir.string()},
        {in, at("in.iso/out.iso"), "", Kind::OutputCannotOpen, at("in.iso/out.iso")},
        // The same file under other names: another spelling, a symbolic link, a hard link.
        {in, at("./sub/../in.iso"), "", Kind::InputIsOutput, in},
        {in, at("link.iso"), "", Kind::InputIsOutput, in},
        {in, at("hard.iso"), "", Kind::InputIsOutput, in},
        // Reading the rejects file of this very output would feed the run its own failures.
        {out + ".rejected", out, "", Kind::InputIsRejects, out + ".rejected"},
        // py.db missing or not a database.
        {in, out, at("missing.db"), Kind::DbCannotOpen, at("missing.db")},
        {in, out, at("broken.db"), Kind::DbNotReadable, at("broken.db")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + " from " + c.input);
        options.inputPath = c.input;
        options.outputPath = c.output;
        if (!c.db.empty()) {
            options.table = nullptr;
            options.dbPath = c.db;
        }
        const bool existed = fs::is_regular_file(c.output);
        const std::string before = existed ? slurp(c.output) : "";
        const problem::Problem refused = refusal();
        EXPECT_EQ(refused.kind, c.kind);
        EXPECT_EQ(refused.path, c.path);
        // The system's reason, as data for the window's words too.
        if (c.kind == Kind::DbCannotOpen) {
            EXPECT_EQ(refused.osError, ENOENT);
        }
        EXPECT_EQ(fs::is_regular_file(c.output), existed);
        if (existed) {
            EXPECT_EQ(slurp(c.output), before);
        }
    }
    EXPECT_EQ(slurp(in), a);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(observer.done.empty());
    EXPECT_EQ(observer.finishedCalls, 0);
}

// The phrase data is read only when a mode needs it: unreadable phrase rows stop a run that
// starts in phrase mode before any record, and leave a first-reading run alone.
TEST_F(ARun, UnreadablePhraseRowsStopOnlyARunThatReadsThem) {
    const fs::path db = dir / "py.db";
    {
        std::string phrases = "CREATE TABLE Phrase(word TEXT, py TEXT, weight INTEGER); BEGIN;";
        for (int i = 0; i < 3000; ++i)
            phrases += "INSERT INTO Phrase VALUES ('书" + std::to_string(i) + "','Shu',-100);";
        testpydb::exec(db.string(),
                       "PRAGMA page_size=4096; CREATE TABLE PinYin(hz TEXT, Py1 TEXT);"
                       "INSERT INTO PinYin VALUES ('书','Shu'), ('行','Xing Hang');" +
                           phrases + "COMMIT;");
    }
    // Page 1 holds the schema and page 2 the PinYin table; the Phrase rows come after.
    std::string bytes = slurp(db);
    ASSERT_GT(bytes.size(), 3u * 4096);
    std::fill(bytes.begin() + 2 * 4096, bytes.end(), '\xFF');
    spit(db, bytes);

    spit(options.inputPath, testrec::book("A1", shu));
    options.table = nullptr;
    options.dbPath = db.string();
    settings.polyphone = pinyin::Polyphone::Phrase;
    const problem::Problem refused = refusal();
    EXPECT_EQ(refused.kind, problem::Kind::DbNotReadable);
    EXPECT_EQ(refused.path, db.string());
    EXPECT_EQ(refused.tag, "Phrase");  // the table that cannot be read
    EXPECT_FALSE(fs::exists(options.outputPath));

    settings.polyphone = pinyin::Polyphone::Automatic;
    const app::BatchResult r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = false, .read = 1, .written = 1, .failed = 0, .nextRecord = 0}));
    EXPECT_FALSE(r.stopProblem);

    // A window that turns to phrase mode in the middle of the run: the phrase rows are read at
    // the next record with a character of several readings, which fails, and the run stops there
    // with py.db named.
    spit(options.inputPath,
         testrec::book("A1", shu) + testrec::book("A2", yinhang) + testrec::book("A3", shu));
    options.outputPath = (dir / "switched.iso").string();
    observer.onRecord = [&](std::int64_t n) {
        if (n == 1) settings.polyphone = pinyin::Polyphone::Phrase;
    };
    const app::BatchResult s = run();
    EXPECT_EQ(tally(s), (Tally{.stopped = true, .read = 2, .written = 1, .failed = 1, .nextRecord = 3}));
    ASSERT_TRUE(s.stopProblem);
    EXPECT_EQ(s.stopProblem->kind, problem::Kind::DbFailed);
    EXPECT_EQ(s.stopProblem->path, db.string());
    EXPECT_FALSE(s.stopProblem->detail.empty());  // SQLite's words
    ASSERT_EQ(s.failures.size(), 1u);
    EXPECT_EQ(s.failures[0].number, 2);
    EXPECT_EQ(s.failures[0].problem.kind, problem::Kind::DbFailed);
}

// A record the output does not take is not handled, not failed: the run stops at once with where
// to go on, and nothing goes to the rejects file, whether or not that could take it.
TEST_F(ARun, AFullOutputStopsAtOnceAndLeavesTheRecordForLater) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    spit(options.inputPath, testrec::book("A1", shu) + testrec::book("A2", shu));
    options.outputPath = "/dev/full";
    for (const std::string& rejects : {(dir / "rejects").string(), std::string("/dev/full")}) {
        options.rejectsPath = rejects;
        const app::BatchResult r = run();
        // Both records were handled before the output was first written to; neither counts as
        // handled, and a later run goes on from the first.
        EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 0, .written = 0, .failed = 0, .nextRecord = 1}));
        EXPECT_EQ(r.nextOffset, 0u);
        EXPECT_EQ(r.rejectsKept, 0);
        EXPECT_TRUE(r.rejectsPath.empty());
        ASSERT_TRUE(r.stopProblem);
        EXPECT_EQ(r.stopProblem->kind, problem::Kind::OutputWriteFailed);
        EXPECT_EQ(r.stopProblem->path, "/dev/full");
        EXPECT_EQ(r.stopProblem->osError, ENOSPC);
    }
    EXPECT_EQ(observer.finishedCalls, 2);
    EXPECT_FALSE(fs::exists(dir / "rejects"));
}

TEST_F(ARun, StopsBetweenRecordsWhenAskedAndReadsLiveSettings) {
    std::string a = testrec::book("A1", yinhang);
    spit(options.inputPath, a + a + a + a);
    // Letter case changes take effect from the next record; the subfield code is fixed at start.
    observer.onRecord = [&](std::int64_t n) {
        if (n == 1) {
            settings.letterCase = pinyin::LetterCase::Capitalised;
            settings.useCodeA = false;
        }
    };
    observer.stopAfter = 3;
    auto r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 3, .written = 3, .failed = 0, .nextRecord = 4}));
    EXPECT_FALSE(r.stopProblem);
    auto recs = outputRecords(slurp(options.outputPath));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_NE(workingOf(recs[0]).find("|Ayin xing"), std::string::npos);
    EXPECT_NE(workingOf(recs[1]).find("|AYin Xing"), std::string::npos);
}

struct Answer : pinyin::Chooser {
    std::vector<pinyin::ChooserRequest> asked;
    std::optional<std::string> choose(const pinyin::ChooserRequest& r) override {
        asked.push_back(r);
        return std::string("Hang");
    }
};

TEST_F(ARun, ManualModeAsksTheObserversChooser) {
    Answer answer;
    observer.answerer = &answer;
    settings.polyphone = pinyin::Polyphone::Manual;
    spit(options.inputPath, testrec::book("A1", yinhang));
    run();
    ASSERT_EQ(answer.asked.size(), 1u);
    EXPECT_EQ(answer.asked[0].character, "行");
    EXPECT_EQ(answer.asked[0].text, "银行");
    EXPECT_EQ(answer.asked[0].tag, "200");
    // The observer heard the record before the question, as the working record it stands in.
    ASSERT_EQ(observer.started.size(), 1u);
    EXPECT_EQ(observer.started[0].first, 1);
    EXPECT_NE(observer.started[0].second.find("A1"), std::string::npos);
    EXPECT_NE(workingOf(outputRecords(slurp(options.outputPath))[0]).find("|Ayin hang"), std::string::npos);

    // A "|" of the field data is shown as itself, where it stands.
    answer.asked.clear();
    spit(options.inputPath, testrec::book("A2", "\xD2\xF8|\xD0\xD0"));
    run();
    ASSERT_EQ(answer.asked.size(), 1u);
    EXPECT_EQ(answer.asked[0].text, "银|行");
    EXPECT_EQ(answer.asked[0].position, 3);

    // Manual choice with nobody to ask is refused before anything is read or written.
    observer.answerer = nullptr;
    const auto before = slurp(options.outputPath);
    EXPECT_THROW(app::runBatch(options, settings, observer), std::invalid_argument);
    EXPECT_EQ(slurp(options.outputPath), before);
}

// What the chooser's "remember this reading" does: the word goes into the per-user list, the
// rest of the run reads it from the live list, a later run from the file.
TEST_F(ARun, ARememberedWordIsNotAskedAgainInThisRunOrTheNext) {
    struct Remembering : pinyin::Chooser {
        std::string path;
        std::shared_ptr<pinyin::UserWords> words;
        int asked = 0;
        std::optional<std::string> choose(const pinyin::ChooserRequest& r) override {
            ++asked;
            EXPECT_EQ(r.text, "银行");
            pinyin::appendWord(path, r.text, "Yin Hang");
            words->add(r.text, "yin hang");
            return "Hang";
        }
    } chooser;
    chooser.path = (dir / "user" / "words.txt").string();
    chooser.words = options.words = std::make_shared<pinyin::UserWords>();
    observer.answerer = &chooser;
    settings.polyphone = pinyin::Polyphone::Manual;
    spit(options.inputPath, testrec::book("A1", yinhang) + testrec::book("A2", yinhang));
    EXPECT_EQ(run().written, 2);
    EXPECT_EQ(chooser.asked, 1);

    options.words = std::make_shared<pinyin::UserWords>();
    options.words->load(chooser.path);
    fs::remove(options.outputPath);
    EXPECT_EQ(run().written, 2);
    EXPECT_EQ(chooser.asked, 1);
    for (const std::string& rec : outputRecords(slurp(options.outputPath)))
        EXPECT_NE(workingOf(rec).find("|Ayin hang"), std::string::npos) << workingOf(rec);
}

}  // namespace

namespace {

// What "ends at a record boundary" means: the last record, readable by its own leader length,
// followed by nothing, CR LF or LF; anything else at the end is part of a record.
TEST(OutputEnd, AWholeRecordAndItsLineBreaksEndAnOutput) {
    const std::string a = testrec::book("A1", shu), b = testrec::book("B2", yinhang);
    for (const std::string& after :
         {std::string(), std::string("\r\n"), std::string("\n"), std::string("\r\n\r\n")}) {
        EXPECT_TRUE(app::endsWithWholeRecord(a + after, true));
        EXPECT_TRUE(app::endsWithWholeRecord(a + after + b + after, true));
    }
    EXPECT_TRUE(app::endsWithWholeRecord("", true));
    EXPECT_TRUE(app::endsWithWholeRecord("\r\n", true));
    EXPECT_FALSE(app::endsWithWholeRecord(a + b.substr(0, 40), true));                     // a cut-off write
    EXPECT_FALSE(app::endsWithWholeRecord(a + "\r\n" + b.substr(0, b.size() - 1), true));  // no terminator
    EXPECT_FALSE(app::endsWithWholeRecord(a + b.substr(30), true));  // a tail that ends with a terminator
    EXPECT_FALSE(app::endsWithWholeRecord(a + "\x1A", true));
    EXPECT_FALSE(app::endsWithWholeRecord("old content\r\n", true));
    // A record whose leader gives another length is not whole.
    std::string wrong = b;
    wrong.replace(0, 5, "00099");
    EXPECT_FALSE(app::endsWithWholeRecord(a + wrong, true));
    // Where the bytes do not start the file, a record must start after a terminator or line break.
    EXPECT_FALSE(app::endsWithWholeRecord(a, false));
    EXPECT_TRUE(app::endsWithWholeRecord("x\x1D" + a, false));
}

// An output a killed run left with half a record is refused, said with the bytes to remove and
// left as it was; --repair-tail saves those bytes beside it and cuts them off first.
TEST_F(ARun, AnOutputEndingInPartOfARecordIsRefusedOrRepaired) {
    const std::string whole = testrec::book("E1", shu) + "\r\n" + testrec::book("E2", shu) + "\r\n";
    const std::string half = testrec::book("E3", yinhang).substr(0, 57);
    spit(options.inputPath, testrec::book("A1", shu));
    spit(options.outputPath, whole + half);
    const problem::Problem refused = refusal();
    EXPECT_EQ(refused.kind, problem::Kind::OutputPartialTail);
    EXPECT_EQ(refused.value, 57);
    EXPECT_EQ(slurp(options.outputPath), whole + half);
    EXPECT_FALSE(fs::exists(options.outputPath + ".partial"));

    options.repairTail = true;
    const app::BatchResult r = run();
    EXPECT_EQ(r.written, 1);
    EXPECT_EQ(r.tailRepaired, 57u);
    EXPECT_EQ(r.partialPath, options.outputPath + ".partial");
    EXPECT_EQ(slurp(options.outputPath + ".partial"), half);
    const std::string out = slurp(options.outputPath);
    ASSERT_EQ(out.rfind(whole, 0), 0u);
    EXPECT_EQ(outputRecords(out.substr(whole.size())).size(), 1u);

    // An output of nothing but a partial record (killed during its first write) is all cut off.
    spit(options.outputPath, half);
    fs::remove(options.outputPath + ".partial");
    EXPECT_EQ(run().tailRepaired, 57u);
    EXPECT_EQ(slurp(options.outputPath + ".partial"), half);
    EXPECT_EQ(outputRecords(slurp(options.outputPath)).size(), 1u);

    // No whole record in the last megabytes: not an output of records at all; nothing is cut.
    const std::string text(5 << 20, 'x');
    spit(options.outputPath, text);
    EXPECT_EQ(refusal().kind, problem::Kind::OutputNotRecords);
    EXPECT_TRUE(slurp(options.outputPath) == text);
}

// Every file a run writes is checked against the input, not the output alone: the rejects file,
// its log, and the file --repair-tail saves to, each a link to the input, are refused.
TEST_F(ARun, NoFileTheRunWritesMayBeTheInput) {
    const std::string a = testrec::book("A1", shu);
    spit(options.inputPath, a);
    options.describeFailure = [](const app::RecordFailure&) { return std::string("why"); };
    options.repairTail = true;
    for (const auto& [side, kind] : {std::pair{".rejected", problem::Kind::InputIsRejects},
                                     std::pair{".rejected.txt", problem::Kind::InputIsFailureLog},
                                     std::pair{".partial", problem::Kind::InputIsPartialFile}}) {
        fs::create_symlink(options.inputPath, options.outputPath + side);
        EXPECT_EQ(refusal().kind, kind) << side;
        fs::remove(options.outputPath + side);
    }
    EXPECT_EQ(slurp(options.inputPath), a);
    EXPECT_FALSE(fs::exists(options.outputPath));
}

// A failed record the rejects file does not take is not handled: the run stops before it, says
// where to go on, and names no failure log that holds nothing.
TEST_F(ARun, AFailedRecordTheRejectsFileDoesNotTakeIsLeftForLater) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string a = testrec::book("A1", shu), bad = testrec::makeRecord({{"001", "B2"}});
    spit(options.inputPath, a + bad + testrec::book("A3", shu));
    options.rejectsPath = "/dev/full";
    options.describeFailure = [](const app::RecordFailure&) { return std::string("why"); };
    const app::BatchResult r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 1, .written = 1, .failed = 0, .nextRecord = 2}));
    EXPECT_EQ(r.nextOffset, a.size());
    EXPECT_EQ(r.rejectsKept, 0);
    EXPECT_TRUE(r.failureLogPath.empty());
    ASSERT_TRUE(r.stopProblem);
    EXPECT_EQ(r.stopProblem->kind, problem::Kind::RejectsWriteFailed);
}

// A device output gets no files beside it: failed records go beside the input.
TEST_F(ARun, ADeviceOutputGetsNoSideFiles) {
    EXPECT_EQ(app::rejectsPathFor("/dev/null", "in.iso"), "in.iso.rejected");
    EXPECT_EQ(app::rejectsPathFor("/dev/null", "-"), "marc-pinyin.rejected");
    EXPECT_EQ(app::rejectsPathFor("out.iso", "in.iso"), "out.iso.rejected");
    EXPECT_EQ(app::rejectsPathFor("-", "in.iso"), "marc-pinyin.rejected");
    const std::string bad = testrec::makeRecord({{"001", "B1"}});
    spit(options.inputPath, testrec::book("A1", shu) + bad);
    options.outputPath = "/dev/null";
    const app::BatchResult r = run();
    EXPECT_EQ(r.rejectsPath, options.inputPath + ".rejected");
    EXPECT_EQ(slurp(options.inputPath + ".rejected"), bad + "\r\n");
}

// A run that did nothing it was asked says so: every record skipped, or no field annotated.
TEST_F(ARun, ARunThatDidNothingIsToldApart) {
    spit(options.inputPath, testrec::book("A1", yinhang) + testrec::book("A2", shu));
    app::BatchResult r = run();
    EXPECT_EQ(r.fieldsListed, 2);
    EXPECT_EQ(r.fieldsAnnotated, 2);
    EXPECT_FALSE(app::didNothing(r));
    settings.tagList = "999";
    r = run();
    EXPECT_EQ(r.written, 2);
    EXPECT_EQ(r.fieldsListed, 0);
    EXPECT_TRUE(app::didNothing(r));
    settings.tagList = "200";
    options.skip = 100;
    r = run();
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(r.written, 0);
    EXPECT_TRUE(app::didNothing(r));
}

// No answer at a question and a stop asked for: the run stops at that record, which is left for
// a later run with every record before it in the output.
TEST_F(ARun, AStopAtAQuestionStopsThere) {
    struct NoAnswer : pinyin::Chooser {
        Recorder* observer;
        int asked = 0;
        std::optional<std::string> choose(const pinyin::ChooserRequest&) override {
            ++asked;
            observer->stopAfter = 0;  // Ctrl-C at the question: yieldPoint says stop from here on
            return std::nullopt;
        }
    } chooser;
    chooser.observer = &observer;
    const std::string a = testrec::book("A1", shu);
    spit(options.inputPath, a + testrec::book("A2", yinhang + yinhang) + testrec::book("A3", shu));
    settings.polyphone = pinyin::Polyphone::Manual;
    observer.answerer = &chooser;
    const app::BatchResult r = run();
    EXPECT_EQ(chooser.asked, 1);  // not asked about the second 行 of the record
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 1, .written = 1, .failed = 0, .nextRecord = 2}));
    EXPECT_EQ(r.nextOffset, a.size());
    EXPECT_EQ(outputRecords(slurp(options.outputPath)).size(), 1u);
}

}  // namespace
