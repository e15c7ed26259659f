// Pinyin for every subfield that holds Chinese, and taking pinyin out again, through the real
// marc-pinyin-cli: a run and its undoing give back every field, on hand-made and real records;
// the check compares every pair; --code 9 is refused with the mode, in the user's language.
#include "cli_support.h"

namespace {

using namespace clitest;

const fs::path kRealRecords = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-records";
const std::string kPyDb = MARCPY_BINARY_DIR "/bin/py.db";
const std::string shu = "\xCA\xE9";                 // 书 in GBK
const std::string yinhang = "\xD2\xF8\xD0\xD0";     // 银行
const std::string changcheng = "\xB3\xA4\xB3\xC7";  // 长城

/// Every field of `before` stands in `after` with the same bytes and in the same order; `after`
/// may also hold a 001 or 005 the run generated where `before` had none.
void expectSameFields(const std::string& before, const std::string& after, const std::string& what) {
    const auto a = fieldsOf(before), b = fieldsOf(after);
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t r = 0; r < a.size(); ++r) {
        std::vector<testrec::Field> rest;
        for (const auto& f : b[r]) {
            const bool generated =
                (f.first == "001" || f.first == "005") &&
                std::none_of(a[r].begin(), a[r].end(), [&](auto& g) { return g.first == f.first; });
            if (!generated) rest.push_back(f);
        }
        std::vector<testrec::Field> want = a[r];
        // The writer puts 001 and 005 first.
        std::stable_partition(want.begin(), want.end(),
                              [](auto& f) { return f.first == "001" || f.first == "005"; });
        std::stable_partition(rest.begin(), rest.end(),
                              [](auto& f) { return f.first == "001" || f.first == "005"; });
        EXPECT_EQ(want, rest) << what << ", record " << r + 1;
    }
}

class Subfields : public Cli {};

TEST_F(Subfields, EveryChineseSubfieldGetsItsOwnAndTheRunIsUndoneByteForByte) {
    const std::string title = "1 \037a" + yinhang + "\037e" + shu + "\037f" + changcheng + "\037v12";
    const std::string name = " 0\037a" + shu + "\037b" + yinhang + "\037c" + changcheng + "\0374070";
    // No 005, and the 001 behind the 200: a record that carries no pinyin keeps even that.
    const std::string rec =
        testrec::makeRecord({{"200", title}, {"001", "r1"}, {"701", name}, {"801", " 0\037aCN"}});
    spit(dir / "in.iso", rec);

    Ran r = batch("in.iso", "every.iso", {"--subfields", "chinese", "--separator", "none"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto got = fieldsOf(slurp(dir / "every.iso"));
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].size(), 5u);  // 001, a generated 005, 200, 701, 801
    EXPECT_EQ(got[0][2].second, "1 \037a" + yinhang + "\037Ayin xing\037e" + shu + "\037Eshu\037f" +
                                    changcheng + "\037Fchang cheng\037v12");
    EXPECT_EQ(got[0][3].second, " 0\037a" + shu + "\037Ashu\037b" + yinhang + "\037Byin xing\037c" +
                                    changcheng + "\037Cchang cheng\0374070");

    // Taken out again, in the mode that wrote it: every field of the input, byte for byte.
    r = run({"--db", db, "--subfields", "chinese", "--remove-pinyin", "--separator", "none", "every.iso",
             "back.iso"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectSameFields(rec, slurp(dir / "back.iso"), "chinese");
    // The same for the default mode.
    ASSERT_EQ(batch("in.iso", "a.iso", {"--separator", "none"}).status, 0);
    ASSERT_EQ(run({"--db", db, "--remove-pinyin", "--separator", "none", "a.iso", "a-back.iso"}).status, 0);
    expectSameFields(rec, slurp(dir / "a-back.iso"), "a");

    // A record without pinyin comes through as it was, 001 behind 200 and no 005; the run says
    // that it took nothing out.
    r = run({"--db", db, "--remove-pinyin", "--subfields", "chinese", "--separator", "none", "in.iso",
             "same.iso"});
    EXPECT_TRUE(ended(r, 1, "no pinyin taken out"));
    EXPECT_EQ(slurp(dir / "same.iso"), rec);
    // So does one with a line break among the leader's bytes: the leader is kept as it stands.
    std::string oddLeader = rec;
    oddLeader[7] = '\r';
    spit(dir / "odd.iso", oddLeader);
    r = run({"--db", db, "--remove-pinyin", "--separator", "none", "odd.iso", "odd-out.iso"});
    EXPECT_EQ(slurp(dir / "odd-out.iso"), oddLeader) << r.err;

    // One whose directory the writer would not write so (a blank in a length) is written anew,
    // its fields the same, its directory in digits.
    std::string blank = rec;
    const std::size_t length = 24 + 3;  // the first entry's length
    ASSERT_EQ(blank[length], '0');
    blank[length] = ' ';
    spit(dir / "blank.iso", blank);
    EXPECT_TRUE(
        ended(run({"--db", db, "--remove-pinyin", "--separator", "none", "blank.iso", "blank-out.iso"}), 1));
    const std::string out = slurp(dir / "blank-out.iso");
    const std::size_t base = std::stoul(out.substr(12, 5));
    for (std::size_t e = 24; e + 12 < base; e += 12)
        EXPECT_EQ(out.substr(e + 3, 9).find_first_not_of("0123456789"), std::string::npos)
            << out.substr(e, 12);
    expectSameFields(rec, out, "a");
}

TEST_F(Subfields, ExistingPinyinPerSubfieldAndLoneCapitals) {
    // $A behind $a (a cataloguer's), $F standing alone behind $v, $E behind its $e.
    const std::string title = "1 \037a" + yinhang + "\037AYIN HANG\037e" + shu + "\037Eold\037v1\037Flocal";
    spit(dir / "in.iso", testrec::makeRecord({{"001", "r1"}, {"005", "20240102030405.0"}, {"200", title}}));
    ASSERT_EQ(batch("in.iso", "del.iso", {"--subfields", "chinese"}).status, 0);
    EXPECT_EQ(fieldsOf(slurp(dir / "del.iso"))[0][2].second,
              "1 \037a" + yinhang + "\037Ayin xing\037e" + shu + "\037Eshu\037v1\037Flocal");
    Ran kept = batch("in.iso", "keep.iso", {"--subfields", "chinese", "--existing", "keep"});
    EXPECT_EQ(kept.status, 1);  // nothing added, and said so
    EXPECT_TRUE(holds(kept.err, "no lower-case subfield with Chinese that lacks its pinyin"));
    EXPECT_EQ(fieldsOf(slurp(dir / "keep.iso"))[0][2].second, title);
    // Taken out: the pinyin behind its source, not the lone $F; nobody is asked anything.
    ASSERT_EQ(run({"--db", db, "--subfields", "chinese", "--remove-pinyin", "--polyphone", "ask", "in.iso",
                   "out.iso"})
                  .status,
              0);
    EXPECT_EQ(fieldsOf(slurp(dir / "out.iso"))[0][2].second,
              "1 \037a" + yinhang + "\037e" + shu + "\037v1\037Flocal");
}

TEST_F(Subfields, TheCheckComparesEveryPair) {
    // $A right, $F wrong in one syllable (行 read hang where the first reading is xing).
    const std::string title = "1 \037a" + shu + "\037Ashu\037f" + yinhang + "\037Fyin hang";
    spit(dir / "in.iso", testrec::makeRecord({{"001", "r1"}, {"005", "20240102030405.0"}, {"200", title}}));
    Ran r = run(
        {"--db", db, "--polyphone", "first", "--subfields", "chinese", "--check", "in.iso", "report.tsv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string report = slurp(dir / "report.tsv");
    EXPECT_EQ(report, kReportHeader + "1\tr1\t200$f\t银行\tyin hang\tyin xing\t2\tyes\n");
    // The default mode compares subfield a only: $F is no pinyin of it.
    ASSERT_TRUE(ended(run({"--db", db, "--polyphone", "first", "--check", "in.iso", "report.tsv"}), 0));
    EXPECT_EQ(slurp(dir / "report.tsv"), kReportHeader);
}

TEST_F(Subfields, RefusedCombinationsSayWhy) {
    spit(dir / "in.iso", testrec::book("r1", shu));
    Ran r = run({"--db", db, "--subfields", "chinese", "--code", "9", "in.iso", "out.iso"});
    EXPECT_TRUE(ended(r, 2, "--code 9 cannot be used with --subfields chinese"));
    EXPECT_TRUE(holds(r.err, "which subfield"));
    EXPECT_EQ(shell("LANG=zh_CN.UTF-8 LC_ALL= LC_MESSAGES= " + quote(kProgram) +
                    " --subfields chinese --code 9 in.iso out.iso 2> err.txt"),
              2);
    EXPECT_TRUE(holds(slurp(dir / "err.txt"), "不能与 --subfields chinese 一起使用"));
    EXPECT_EQ(run({"--db", db, "--subfields", "every", "in.iso", "out.iso"}).status, 2);
    EXPECT_EQ(run({"--db", db, "--remove-pinyin", "--check", "in.iso", "out.iso"}).status, 2);
    EXPECT_FALSE(fs::exists(dir / "out.iso"));
}

// The real records: taken out in either mode, what remains carries no pinyin and comes through a
// second removal byte for byte; a run on it and its removal give back every field.
TEST_F(Subfields, RealRecordsRunAndUndo) {
    for (const char* name :
         {"cnmarc-university.gbk.iso", "cnmarc-university.utf8.iso", "marc21-collection1.utf8.mrc",
          "marc21-collection3.utf8.mrc", "marc21-record12.utf8.mrc", "marc21-chinese-880.utf8.mrc",
          "marc21-oclc-export.utf8.mrc"}) {
        for (const std::string mode : {"a", "chinese"}) {
            SCOPED_TRACE(std::string(name) + " " + mode);
            spit(dir / name, slurp(kRealRecords / name));
            const std::vector<std::string> common{"--db", kPyDb, "--subfields", mode, "--separator", "none"};
            const auto cli = [&](std::vector<std::string> more) {
                std::vector<std::string> args = common;
                args.insert(args.end(), more.begin(), more.end());
                Ran r = run(args);
                EXPECT_LE(r.status, 1) << r.err;
                return r;
            };
            for (const char* f : {"bare.iso", "bare2.iso", "ran.iso", "back.iso"}) fs::remove(dir / f);
            cli({"--remove-pinyin", name, "bare.iso"});
            const std::string bare = slurp(dir / "bare.iso");
            ASSERT_FALSE(bare.empty());
            expectSameFields(bare, bare, "bare");
            cli({"--remove-pinyin", "bare.iso", "bare2.iso"});
            EXPECT_EQ(slurp(dir / "bare2.iso"), bare);
            cli({"bare.iso", "ran.iso"});
            cli({"--remove-pinyin", "ran.iso", "back.iso"});
            expectSameFields(bare, slurp(dir / "back.iso"), "back");
        }
    }
}

}  // namespace
