// The code page a run reads in: MARC-8 and other single-byte code pages refused however they
// look, the code page decided at the first bytes that are not ASCII wherever they stand, and a
// listed field in another code page than the run's kept aside, never romanised.
#include "cli_support.h"

namespace {

using namespace clitest;

const fs::path kRealWorld = fs::path(MARCPY_SOURCE_DIR) / "tests" / "data" / "real-world";

const std::string kYinHangUtf8 = "\xE9\x93\xB6\xE8\xA1\x8C";  // 银行
const std::string kYinHangGbk = "\xD2\xF8\xD0\xD0";

/// Records of ASCII alone, at least `bytes` of them.
std::string asciiRecords(std::size_t bytes) {
    std::string out;
    for (int i = 0; out.size() < bytes; ++i)
        out += testrec::book("w" + std::to_string(i), "Western title " + std::to_string(i));
    return out;
}

TEST_F(Cli, RefusesMarc8AndSingleByteFilesInEveryMode) {
    struct Case {
        const char* file;
        const char* says;
    } cases[] = {
        {"marc8-uoft.mrc", "MARC-8"},
        {"marc8-french-accepted.mrc", "MARC-8"},
        {"marc8-cjk.marc", "MARC-8"},
        {"rusmarc-cp866.marc", "single-byte code page"},
    };
    for (const Case& c : cases) {
        spit(dir / c.file, slurp(kRealWorld / c.file));
        for (const std::string mode : {"", "--check", "--dump", "--lines"}) {
            const Ran r = run(inMode(mode, {"--db", db, c.file, "out.iso"}));
            EXPECT_TRUE(ended(r, 2, c.says)) << c.file << " " << mode;
            EXPECT_TRUE(holds(r.err, "library system"));
            EXPECT_FALSE(fs::exists(dir / "out.iso")) << c.file << " " << mode;
        }
    }
    // GBK chosen by the user is followed (escape sequences are MARC-8 whatever is chosen).
    EXPECT_EQ(
        run({"--db", db, "--polyphone", "first", "--encoding", "gbk", "marc8-french-accepted.mrc", "gbk.iso"})
            .status,
        0);
    EXPECT_EQ(run({"--db", db, "--encoding", "gbk", "marc8-cjk.marc", "gbk2.iso"}).status, 2);
}

#ifdef YAZ_MARCDUMP
TEST_F(Cli, RefusesMarc8ThatYazWrites) {
    // A UTF-8 MARC 21 record with accented Latin letters, written in MARC-8 by yaz.
    std::string rec =
        testrec::makeRecord({{"001", "m1"},
                             {"008", "000101s2000    fr            000 0 fre d"},
                             {"245", "10\037aHistoire litt\xC3\xA9raire de la Compagnie de J\xC3\xA9sus"},
                             {"700", "1 \037aCr\xC3\xA9tineau-Joly, Jacques"}});
    rec.replace(5, 5, "cam a");  // MARC 21: leader/09 "a", Unicode
    rec.replace(20, 4, "4500");
    spit(dir / "utf8.mrc", rec);
    ASSERT_EQ(shell(YAZ_MARCDUMP " -f UTF-8 -t MARC-8 -l 9=32 -i marc -o marc utf8.mrc > marc8.mrc"), 0);
    ASSERT_TRUE(holds(slurp(dir / "marc8.mrc"), "J\342esus"));
    EXPECT_TRUE(ended(run({"--db", db, "marc8.mrc", "out.iso"}), 2, "MARC-8"));
    EXPECT_EQ(run({"--db", db, "--polyphone", "first", "--tags", "700", "utf8.mrc", "out2.iso"}).status, 0);
}
#endif

TEST_F(Cli, ToldAPdfIsNoRecordFile) {
    // A PDF's binary may hold escape bytes and text shaped like a leader: it is no ISO 2709 file.
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 52 >>\nstream\n";
    pdf += "00012 0 obj 00034 0 R /Type /Page >>\n\x1B(B\x1B$1\x91\x1B(B\nendstream\nendobj\n%%EOF\n";
    spit(dir / "doc.pdf", pdf);
    for (const std::string mode : {"", "--check", "--dump"}) {
        EXPECT_TRUE(ended(run(inMode(mode, {"--db", db, "doc.pdf", "out.iso"})), 2, "not an ISO 2709 file"))
            << mode;
    }
}

TEST_F(Cli, DecidesTheCodePageAtTheFirstBytesThatAreNotAscii) {
    // More than the first block of Western records in ASCII, then a Chinese title in UTF-8.
    const std::string western = asciiRecords((std::size_t{1} << 20) + 1000);
    spit(dir / "utf8.iso", western + testrec::book("c1", kYinHangUtf8));
    EXPECT_TRUE(ended(batch("utf8.iso", "utf8.out"), 0, "detected utf-8"));
    const std::vector<std::string> recs = checkedRecords(slurp(dir / "utf8.out"), false);
    ASSERT_FALSE(recs.empty());
    EXPECT_TRUE(holds(recs.back(), kYinHangUtf8 + "\037Ayin xing"));
    // The same in GBK is read as GBK.
    spit(dir / "gbk.iso", western + testrec::book("c1", kYinHangGbk));
    EXPECT_TRUE(ended(batch("gbk.iso", "gbk.out"), 0, "detected gbk"));
    EXPECT_TRUE(holds(slurp(dir / "gbk.out"), kYinHangGbk + "\037Ayin xing"));
    // --lines decides alike: plain text whose first block is ASCII, then Chinese in UTF-8.
    std::string lines;
    while (lines.size() <= (std::size_t{1} << 20)) lines += "western line\n";
    spit(dir / "lines.txt", lines + kYinHangUtf8 + "\n");
    Ran r = run({"--db", db, "--polyphone", "first", "--lines", "lines.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "yin xing\n");
    // A file of ASCII alone says so.
    spit(dir / "ascii.iso", asciiRecords(100));
    r = batch("ascii.iso", "ascii.out");
    EXPECT_TRUE(holds(r.err, "ASCII only"));
}

TEST_F(Cli, KeepsAFieldInAnotherCodePageAside) {
    // A UTF-8 record among GBK records: its title's bytes are valid GBK too.
    const std::string utf8Record = testrec::book("u1", kYinHangUtf8);
    spit(dir / "mixed.iso", testrec::book("g1", kYinHangGbk) + utf8Record + testrec::book("g2", kYinHangGbk));
    for (const std::vector<std::string>& more : {std::vector<std::string>{}, {"--encoding", "gbk"}}) {
        fs::remove(dir / "mixed.out");
        fs::remove(dir / "mixed.out.rejected");
        fs::remove(dir / "mixed.out.rejected.txt");
        const Ran r = batch("mixed.iso", "mixed.out", more);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(checkedRecords(slurp(dir / "mixed.out"), false).size(), 2u);
        EXPECT_EQ(slurp(dir / "mixed.out.rejected"), utf8Record + "\r\n");
        EXPECT_TRUE(holds(slurp(dir / "mixed.out.rejected.txt"), "field 200 is in UTF-8, not in GBK"));
    }
    // And the other way round: a GBK record among UTF-8 ones.
    const std::string gbkRecord = testrec::book("g1", kYinHangGbk + kYinHangGbk);
    std::string utf8Records;
    for (int i = 0; i < 20; ++i) utf8Records += testrec::book("u" + std::to_string(i), kYinHangUtf8);
    spit(dir / "mixed8.iso", utf8Records + gbkRecord + testrec::book("u99", kYinHangUtf8));
    const Ran r = batch("mixed8.iso", "mixed8.out");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(slurp(dir / "mixed8.out.rejected"), gbkRecord + "\r\n");
    EXPECT_TRUE(holds(slurp(dir / "mixed8.out.rejected.txt"), "field 200 is in GBK, not in UTF-8"));
    // The check of existing pinyin and the dump refuse the same record.
    EXPECT_TRUE(ended(run({"--db", db, "--check", "mixed.iso", "report.tsv"}), 1));
    EXPECT_TRUE(ended(run({"--db", db, "--dump", "mixed.iso"}), 1, "field 200 is in UTF-8, not in GBK"));
}

}  // namespace
