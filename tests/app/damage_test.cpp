// Damaged input and faults: a record is written exactly or refused and kept, and every count is
// true. A table of damaged records, then faults of the files and of py.db.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "app/batch.h"
#include "app/files.h"
#include "app/framer.h"
#include "app/records.h"
#include "pinyin/table.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/pydb.h"

namespace fs = std::filesystem;

namespace {

using testfiles::slurp;
using testfiles::spit;
using testrec::Tally;
using testrec::tally;
using Kind = problem::Kind;

const std::string shu = "\xCA\xE9";  // 书 in GBK

struct Stopper : app::BatchObserver {
    int stopAfter = -1;
    int done = 0;
    bool yieldPoint() override { return ++done != stopAfter; }
};

class DamagedInput : public testrec::RunTest<Stopper> {};

/// A record whose leader and directory are given as they stand, over the data given.
std::string rawRecord(const std::string& directory, const std::string& data) {
    const std::size_t base = 24 + directory.size() + 1;
    char leader[32];
    std::snprintf(leader, sizeof leader, "%05zunam0 22%05zu   450 ", base + data.size() + 1, base);
    return leader + directory + "\x1E" + data + "\x1D";
}

// Each damaged record between two good ones: refused with the kind of its damage and kept byte
// for byte, or written exactly; the good ones are written either way, and every count adds up.
TEST_F(DamagedInput, ATableOfDamagedRecords) {
    struct Case {
        const char* what;
        std::string record;
        std::optional<Kind> kind;  // none: written
    } cases[] = {
        {"every entry beyond the data", rawRecord("001000400100200000900200", "123\x1E"), Kind::FieldPastEnd},
        {"every entry of length 0", rawRecord("001000000000200000000004", "123\x1E"), Kind::FieldLengthZero},
        {"no directory at all", rawRecord("", "123\x1E"), Kind::NoFields},
        {"a field running past the data", rawRecord("001000400000200009900004", "123\0361 \037ax\x1E"),
         Kind::FieldPastEnd},
        {"an extra entry past the data",
         rawRecord("001000400000200000600004300000400010", "123\0361 \037ax\x1E"), Kind::FieldPastEnd},
        {"a field terminator inside a field",
         rawRecord("001000400000200000700004", "123\0361 \037a\036x\x1E"), Kind::FieldTerminatorInData},
        {"a field not ended where the directory says", rawRecord("001000300000", "123\x1E"),
         Kind::FieldNotTerminated},
        // The directory leaves bytes of the data in no field: they would be lost.
        {"a last entry cut short", rawRecord("0010004000002000", "123\0361 \037ax\x1E"),
         Kind::DirectoryNotWholeEntries},
        {"a field without its entry", rawRecord("001000400000", "123\0361 \037ax\x1E"),
         Kind::BytesAfterFields},
        {"bytes between two fields", rawRecord("001000400000200000600005", "123\036-1 \037ax\x1E"),
         Kind::DataOutsideFields},
        {"text before the first subfield", testrec::makeRecord({{"001", "T1"}, {"200", "1 lead\037a" + shu}}),
         std::nullopt},
        {"a field of indicators only", testrec::makeRecord({{"001", "T2"}, {"980", "  "}}), std::nullopt},
    };
    const std::string good1 = testrec::book("G1", shu), good2 = testrec::book("G2", shu);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(options.outputPath);
        fs::remove(options.outputPath + ".rejected");
        spit(options.inputPath, good1 + "\r\n" + c.record + "\r\n" + good2 + "\r\n");
        const app::BatchResult r = run();
        EXPECT_EQ(r.read, 3);
        EXPECT_EQ(r.read, r.written + r.failed);
        const std::string out = slurp(options.outputPath);
        const auto written = testrec::splitRecords(out);
        EXPECT_EQ(static_cast<std::int64_t>(written.size()), r.written);
        EXPECT_EQ(testrec::parsedRecords(out).size(), written.size());
        if (c.kind) {
            ASSERT_EQ(r.failed, 1);
            EXPECT_EQ(r.failures[0].problem.kind, *c.kind);
            EXPECT_EQ(r.failures[0].number, 2);
            EXPECT_EQ(r.failures[0].offset, good1.size() + 2);
            EXPECT_EQ(rejects(), c.record + "\r\n");
            EXPECT_EQ(r.rejectsKept, 1);
        } else {
            EXPECT_EQ(r.failed, 0);
            ASSERT_EQ(written.size(), 3u);
            testrec::Parsed in, got;
            ASSERT_TRUE(testrec::parseRecord(c.record, in));
            ASSERT_TRUE(testrec::parseRecord(written[1], got));
            EXPECT_EQ(got.fields.back().first, in.fields.back().first);
            // The text before the first delimiter is kept; the pinyin goes behind subfield a.
            const std::string& data = in.fields.back().second;
            EXPECT_EQ(got.fields.back().second.substr(0, data.size()), data);
        }
    }
}

/// The records a run wrote, read back field by field as `parseRecord` cuts them.
std::vector<testrec::Parsed> parsedOutput(const std::string& path) {
    return testrec::parsedRecords(slurp(path));
}

// Where one record ends and the next begins, as the records' own directories say: every byte is
// written, kept in the rejects file, or counted as passed over, and the counts say what the files
// hold.
TEST_F(DamagedInput, FramingLosesNoRecordAndInventsNone) {
    const std::string a = testrec::book("A1", shu), c = testrec::book("C3", shu);
    const auto check = [&](const std::string& input, std::int64_t written, const std::string& rejected) {
        fs::remove(options.outputPath);
        fs::remove(options.outputPath + ".rejected");
        spit(options.inputPath, input);
        const app::BatchResult r = run();
        EXPECT_EQ(r.written, written);
        EXPECT_EQ(r.read, r.written + r.failed);
        EXPECT_EQ(static_cast<std::int64_t>(parsedOutput(options.outputPath).size()), r.written);
        EXPECT_EQ(fs::exists(options.outputPath + ".rejected") ? rejects() : "", rejected);
        return r;
    };
    // A note holding a leader and a directory entry as text: one sound record, written whole.
    const std::string noted = testrec::makeRecord({{"001", "N2"},
                                                   {"005", "20240102030405.0"},
                                                   {"200", "1 \037a" + shu},
                                                   {"300", "  \037a00000nam0 2200037   450 200000500000"},
                                                   {"210", "  \037d2024"}});
    app::BatchResult r = check(a + noted + c, 3, "");
    EXPECT_EQ(parsedOutput(options.outputPath)[1].fields[3].second,
              "  \037a00000nam0 2200037   450 200000500000");

    // Record 1 lost its terminator, record 2 has a wrong base address: three records read,
    // record 1 kept byte for byte, records 2 and 3 written.
    std::string wrongBase = testrec::book("B2", shu);
    wrongBase.replace(12, 5, "00099");
    const std::string lost = a.substr(0, a.size() - 1);
    r = check(lost + wrongBase + c, 2, lost + "\r\n");
    EXPECT_EQ(r.read, 3);
    EXPECT_EQ(r.failures.at(0).problem.kind, problem::Kind::NextRecordInside);

    // Line breaks in field data that the directory counts: refused with that reason, kept as
    // they stand (never rewritten as spaces).
    for (const std::string breaks : {"\r\n", "\r", "\n"}) {
        const std::string broken = testrec::makeRecord({{"001", "L2"},
                                                        {"005", "20240102030405.0"},
                                                        {"200", "1 \037a" + shu},
                                                        {"330", "  \037aone" + breaks + "two"},
                                                        {"210", "  \037d2024"}});
        r = check(a + "\r\n" + broken + "\r\n" + c + "\r\n", 2, broken + "\r\n");
        EXPECT_EQ(r.failures.at(0).problem.kind, problem::Kind::LineBreakInData);
        EXPECT_EQ(r.failures.at(0).problem.tag, "330");
    }

    // The file wrapped with CR LF every 80 bytes, the directories leaving the breaks out: joined,
    // written.
    std::string wrapped;
    const std::string stream = a + c;
    for (std::size_t at = 0; at < stream.size(); at += 80) wrapped += stream.substr(at, 80) + "\r\n";
    r = check(wrapped, 2, "");
    EXPECT_EQ(parsedOutput(options.outputPath)[1].fields[0].second, "C3");

    // A byte order mark and filler (spaces, NUL bytes) between records: passed over, counted.
    r = check("\xEF\xBB\xBF" + a + std::string("  \0\0\0\0", 6) + c + std::string(100, '\0'), 2, "");
    EXPECT_EQ(r.read, 2);
    EXPECT_EQ(r.fillerBytes, 3u + 6 + 100);
    EXPECT_EQ(r.failed, 0);
}

// The separator "as in the input" is the line break that follows its first record.
TEST_F(DamagedInput, TheSeparatorAsInTheInput) {
    const std::string a = testrec::book("A1", shu), b = testrec::book("A2", shu);
    options.separator = app::Separator::AsInput;
    for (const std::string sep : {"\n", "\r\n", ""}) {
        fs::remove(options.outputPath);
        spit(options.inputPath, a + sep + b + sep);
        const app::BatchResult r = run();
        EXPECT_EQ(r.written, 2);
        const std::string out = slurp(options.outputPath);
        const auto recs = testrec::splitRecords(out);
        ASSERT_EQ(recs.size(), 2u);
        EXPECT_EQ(out, recs[0] + sep + recs[1] + sep);
        EXPECT_EQ(r.lineBreakBytes, 2 * sep.size());
    }
}

// A stop asked for inside a damaged stretch longer than 4 MiB waits for the stretch's end: the
// rejects file keeps it whole, and the run goes on behind it.
TEST_F(DamagedInput, AStopInsideAnOverlongStretchKeepsItWhole) {
    const std::string junk(app::kMaxRecordBytes + (std::size_t{2} << 20), 'x');
    const std::string a = testrec::book("A1", shu), b = testrec::book("A2", shu),
                      c = testrec::book("A3", shu);
    spit(options.inputPath, a + junk + b + "\r\n" + c);
    observer.stopAfter = 2;  // asked while the stretch is read
    app::BatchResult r = run();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.failed, 1);
    EXPECT_TRUE(rejects() == junk + "\r\n") << rejects().size() << " bytes kept of " << junk.size();
    EXPECT_EQ(r.nextRecord, 3);
    EXPECT_EQ(r.nextOffset, a.size() + junk.size());

    observer = Stopper{};
    options.skip = r.nextRecord - 1;
    r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = false, .read = 2, .written = 2, .failed = 0, .nextRecord = 0}));
    EXPECT_TRUE(rejects() == junk + "\r\n");
    EXPECT_EQ(testrec::splitRecords(slurp(options.outputPath)).size(), 3u);
}

// A record that fails gets its reason: over 99999 bytes is too long, said so.
TEST_F(DamagedInput, ARecordOver99999BytesIsTooLong) {
    const fs::path oversize = fs::path(MARCPY_SOURCE_DIR) / "tests/data/real-world/marc21-bne-oversize.mrc";
    const std::string bytes = slurp(oversize);
    options.encoding = codepage::Encoding::Utf8;                // the file's own
    const std::string a = testrec::book("A1", "\xE4\xB9\xA6");  // 书
    spit(options.inputPath, a + bytes + a);
    const app::BatchResult r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = false, .read = 3, .written = 2, .failed = 1, .nextRecord = 0}));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].problem.kind, problem::Kind::RecordOver99999);
    EXPECT_TRUE(rejects() == bytes + "\r\n");
}

// One run at a time appends to a file: a second one is refused at the start and says why.
TEST_F(DamagedInput, TwoRunsNeverAppendToOneFileAtOnce) {
    spit(options.inputPath, testrec::book("A1", shu));
    app::AppendFile first(options.outputPath);
    ASSERT_FALSE(first.open());
    const problem::Problem refused = refusal();
    EXPECT_EQ(refused.kind, problem::Kind::OutputBusy);
    EXPECT_EQ(refused.path, options.outputPath);
    EXPECT_EQ(slurp(options.outputPath), "");
}

// A run stopped at a record boundary says where the next record starts, and a run with skip goes
// on from there: together they write every record once.
TEST_F(DamagedInput, AStoppedRunGoesOnWithSkip) {
    const std::string a = testrec::book("A1", shu), b = testrec::book("A2", shu),
                      c = testrec::book("A3", shu);
    spit(options.inputPath, a + b + "junk" + c);
    observer.stopAfter = 2;
    app::BatchResult r = run();
    EXPECT_EQ(tally(r), (Tally{.stopped = true, .read = 2, .written = 2, .failed = 0, .nextRecord = 3}));
    EXPECT_FALSE(r.stopProblem);
    EXPECT_EQ(r.nextOffset, a.size() + b.size());
    const std::string firstPart = slurp(options.outputPath);

    observer = Stopper{};
    options.skip = r.nextRecord - 1;
    r = run();
    EXPECT_EQ(r.skipped, 2);
    // "junk" failed: numbered as in the input
    ASSERT_EQ(tally(r), (Tally{.stopped = false, .read = 2, .written = 1, .failed = 1, .nextRecord = 0}));
    EXPECT_EQ(r.failures[0].number, 3);
    const auto recs = testrec::splitRecords(slurp(options.outputPath));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(slurp(options.outputPath).substr(0, firstPart.size()), firstPart);
    EXPECT_NE(recs[2].find("A3"), std::string::npos);
}

// A run that writes a record exactly as the output already ends says so.
TEST_F(DamagedInput, ARepeatedRunIsNoticed) {
    spit(options.inputPath, testrec::book("A1", shu) + testrec::book("A2", shu));
    EXPECT_EQ(run().repeatsOutputEnd, 0);
    EXPECT_EQ(run().repeatsOutputEnd, 2);
}

TEST_F(DamagedInput, FailuresAreCountedAllAndKeptFirst) {
    std::string input;
    const std::size_t n = app::kFailuresKept + 100;
    for (std::size_t i = 0; i < n; ++i) input += rawRecord("001000000000", "1\x1E");
    spit(options.inputPath, input);
    const app::BatchResult r = run();
    EXPECT_EQ(r.failed, static_cast<std::int64_t>(n));
    EXPECT_EQ(r.failures.size(), app::kFailuresKept);
    EXPECT_EQ(r.rejectsKept, r.failed);
}

// Inputs that are no records at all, and a py.db that cannot serve the mode, stop the run
// before anything is created.
TEST_F(DamagedInput, UselessInputsAndDatabasesStopAtTheStart) {
    using problem::Kind;
    const auto startError = [&] {
        const Kind kind = refusal().kind;
        EXPECT_FALSE(fs::exists(options.outputPath));
        return kind;
    };
    spit(options.inputPath, std::string(1 << 20, '\0'));
    EXPECT_EQ(startError(), Kind::NotIso2709);
    spit(options.inputPath, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj << /Type /Catalog >> endobj\n");
    EXPECT_EQ(startError(), Kind::NotIso2709);

    spit(options.inputPath, testrec::book("A1", shu));
    const fs::path db = dir / "py.db";
    testpydb::make(db, {});
    options.table = nullptr;
    options.dbPath = db.string();
    EXPECT_EQ(startError(), Kind::DbEmpty);
    testpydb::exec(db, "INSERT INTO PinYin VALUES ('书', 'Shu');");
    settings.polyphone = pinyin::Polyphone::Phrase;
    EXPECT_EQ(startError(), Kind::DbNoPhrases);
    settings.polyphone = pinyin::Polyphone::Automatic;
    EXPECT_EQ(run().written, 1);
}

}  // namespace
