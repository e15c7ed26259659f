// marc-pinyin-cli end to end: the real program on real files in a temporary folder.
#include "cli_support.h"

#include <algorithm>
#include <tuple>

namespace {

using namespace clitest;

const std::string yinhang = "\xD2\xF8\xD0\xD0";  // 银行 in GBK
const std::string shu = "\xCA\xE9";              // 书

TEST_F(Cli, EdgesOfTheInputFile) {
    std::string a = testrec::book("A1", yinhang), b = testrec::book("A2", shu);

    // An input without records (empty, line breaks only, or with blanks) is refused; no output is
    // created.
    spit(dir / "empty.iso", "");
    spit(dir / "breaks.iso", "\r\n\n\r\n");
    spit(dir / "blank.iso", "\r\n\r\n \n");
    Ran r;
    for (const char* nothing : {"empty.iso", "breaks.iso", "blank.iso"}) {
        r = batch(nothing, "out1.iso");
        EXPECT_TRUE(ended(r, 2, "holds no records"));
        EXPECT_FALSE(fs::exists(dir / "out1.iso"));
    }

    // No record terminator anywhere: a record cut short, kept in the rejects file.
    const std::string cut = a.substr(0, a.size() - 10);
    spit(dir / "noterm.iso", cut + "\r\n");
    r = batch("noterm.iso", "out2.iso");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(dir / "out2.iso"), "");
    EXPECT_EQ(slurp(dir / "out2.iso.rejected"), cut + "\r\n\r\n");
    EXPECT_TRUE(holds(r.err, "record 1 (input line 1): the file ends before the record's terminator"));

    // Nothing that looks like a record at all: not a file of records; nothing is created.
    spit(dir / "text.iso", "00100nam0 22 no terminator\r\n");
    EXPECT_TRUE(ended(batch("text.iso", "out2b.iso"), 2, "this is not an ISO 2709 file"));
    EXPECT_FALSE(fs::exists(dir / "out2b.iso"));
    for (const char* mode : {"--check", "--dump"}) {
        r = run(inMode(mode, {"text.iso", "report.tsv"}));
        EXPECT_TRUE(ended(r, 2, "this is not an ISO 2709 file")) << mode;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "report.tsv"));

    // A record wrapped over three lines (its directory leaves the breaks out), blank lines, a
    // record on the same line as the one before, and blank space with an end-of-file mark after
    // the last.
    const std::string c = testrec::book("C1", shu);
    const std::string wrapped = c.substr(0, 40) + "\r\n" + c.substr(40, 40) + "\n" + c.substr(80);
    spit(dir / "mixed.iso", "\r\n\r\n" + wrapped + "\r\n\r\n\r\n" + a + b + "\r\n  \r\n\x1A");
    const std::string old = testrec::book("O1", shu) + "\r\n";
    spit(dir / "out3.iso", old);
    r = batch("mixed.iso", "out3.iso");
    EXPECT_TRUE(ended(r, 0, "3 records read, 3 written, 0 failed"));
    std::string out = slurp(dir / "out3.iso");
    ASSERT_EQ(out.rfind(old, 0), 0u);
    auto recs = checkedRecords(out.substr(old.size()));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_TRUE(holds(recs[0], "C1"));
    EXPECT_TRUE(holds(recs[1], "yin xing"));
    EXPECT_TRUE(holds(recs[2], "\037Ashu\x1E"));
    EXPECT_FALSE(fs::exists(dir / "out3.iso.rejected"));

    // A note whose line breaks its directory counts: they are data, and the record is refused
    // with that reason and kept as it stands, never rewritten as spaces.
    std::string note = "  \037afirst line\r\nsecond line\r\nthird line";
    std::string spread = testrec::makeRecord({{"001", "S1"},
                                              {"005", "20240102030405.0"},
                                              {"101", "0 \037achi"},
                                              {"200", "1 \037a" + shu},
                                              {"330", note}});
    spit(dir / "note.iso", a + "\r\n" + spread + "\r\n" + b + "\r\n");
    r = batch("note.iso", "out3b.iso");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(checkedRecords(slurp(dir / "out3b.iso")).size(), 2u);
    EXPECT_EQ(slurp(dir / "out3b.iso.rejected"), spread + "\r\n");
    EXPECT_TRUE(holds(r.err, "record 2 (input line 2): field 330: a line break stands inside its data"));

    // Text after the last terminator that is more than blank space.
    spit(dir / "tail.iso", a + "\r\n" + b.substr(0, 70));
    r = batch("tail.iso", "out4.iso");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(checkedRecords(slurp(dir / "out4.iso")).size(), 1u);
    EXPECT_EQ(slurp(dir / "out4.iso.rejected"), b.substr(0, 70) + "\r\n");
    EXPECT_TRUE(holds(r.err, "record 2 (input line 2): the file ends before the record's terminator"));
}

// What stands between records is passed over as the input has it: filler is counted in the
// summary, line breaks come back as they were, a byte order mark is no record.
TEST_F(Cli, WhatLiesBetweenRecords) {
    const fs::path real = fs::path(MARCPY_SOURCE_DIR) / "tests/data/real-world";
    fs::copy_file(real / "marc21-filler.usmarc", dir / "filler.usmarc");
    // MARC 21: the title field gets the pinyin, so that the run has something to do.
    Ran r = batch("filler.usmarc", "out1.mrc", {"--tags", "245"});
    EXPECT_TRUE(ended(r, 0, "3 records read, 3 written, 0 failed"));
    EXPECT_TRUE(holds(r.err, "bytes of filler between records (spaces, NUL) passed over"));
    EXPECT_FALSE(fs::exists(dir / "out1.mrc.rejected"));

    // LF between records and after the last: LF in the output too.
    fs::copy_file(real / "marc21-music-lf.mrc", dir / "music.mrc");
    r = batch("music.mrc", "out2.mrc", {"--tags", "245"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = slurp(dir / "out2.mrc");
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    std::string joined = out;
    std::erase(joined, '\n');
    EXPECT_EQ(checkedRecords(joined, false).size(), 3u);

    // A byte order mark before the first record.
    spit(dir / "bom.iso", "\xEF\xBB\xBF" + testrec::book("A1", shu) + testrec::book("A2", shu));
    EXPECT_TRUE(ended(batch("bom.iso", "out3.iso"), 0, "2 records read, 2 written, 0 failed"));

    // A Markdown text with a commit hash is no file of records.
    fs::copy_file(real / "text-with-hash.txt", dir / "text.txt");
    EXPECT_TRUE(ended(batch("text.txt", "out4.iso"), 2, "this is not an ISO 2709 file"));
    EXPECT_FALSE(fs::exists(dir / "out4.iso"));

    // A record whose terminator is a full stop: kept, never written with one invented.
    fs::copy_file(real / "marc21-swb-no-rt.marc21", dir / "swb.marc21");
    r = batch("swb.marc21", "out5.iso", {"--encoding", "utf-8"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(slurp(dir / "out5.iso"), "");
    EXPECT_EQ(slurp(dir / "out5.iso.rejected"), slurp(dir / "swb.marc21") + "\r\n");
}

TEST_F(Cli, DamagedRecordAmongGoodOnes) {
    std::string good1 = testrec::book("G1", shu), good2 = testrec::book("G2", yinhang);
    std::string badDirectory = testrec::book("B1", shu);
    badDirectory.replace(24 + 3, 4, "00x9");  // a field length that is no number
    std::string lost = testrec::book("L1", shu);
    lost.pop_back();  // its terminator is gone: the next record starts inside it
    spit(dir / "in.iso", good1 + "\r\n" + badDirectory + "\r\n" + lost + good2 + "\r\n" + good1 + "\r\n");
    Ran r = batch("in.iso", "out.iso");
    EXPECT_EQ(r.status, 1);
    auto recs = checkedRecords(slurp(dir / "out.iso"));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_TRUE(holds(recs[0], "G1"));
    EXPECT_TRUE(holds(recs[1], "G2"));
    EXPECT_TRUE(holds(recs[2], "G1"));
    EXPECT_EQ(slurp(dir / "out.iso.rejected"), badDirectory + "\r\n" + lost + "\r\n");
    EXPECT_TRUE(holds(r.err, "record 2 (input line 2): "));
    EXPECT_TRUE(holds(r.err, "record 3 (input line 3): the record has lost its terminator"));
    EXPECT_TRUE(holds(r.err, "5 records read, 3 written, 2 failed"));
    EXPECT_TRUE(holds(r.err, "out.iso.rejected"));
}

TEST_F(Cli, UnusablePathsStopBeforeAnything) {
    std::string a = testrec::book("A1", shu);
    spit(dir / "in.iso", a);
    spit(dir / "kept.iso", "keep me");
    fs::create_directories(dir / "folder");
    fs::create_symlink(dir / "in.iso", dir / "link.iso");
    spit(dir / "broken.db", std::string(200, 'x'));
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--db", db, "missing.iso", "kept.iso"}, "missing.iso"},
        {{"--db", db, "folder", "kept.iso"}, "folder"},
        {{"--db", db, "in.iso", "folder"}, "folder"},
        {{"--db", db, "in.iso", "no/such/folder/out.iso"}, "out.iso"},
        {{"--db", db, "in.iso", "./folder/../in.iso"}, "output file itself"},
        {{"--db", db, "link.iso", "in.iso"}, "output file itself"},
        {{"--db", "missing.db", "in.iso", "kept.iso"}, "missing.db"},
        {{"--db", "broken.db", "in.iso", "kept.iso"}, "broken.db"},
        {{"--db", "broken.db", "--lines", "in.iso"}, "broken.db"},
    };
    for (const auto& c : cases) {
        Ran r = run(c.args);
        EXPECT_TRUE(ended(r, 2, c.message));
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(slurp(dir / "kept.iso"), "keep me");
    EXPECT_EQ(slurp(dir / "in.iso"), a);
    EXPECT_FALSE(fs::exists(dir / "kept.iso.rejected"));
    EXPECT_FALSE(fs::exists(dir / "no"));

    // Standard output redirected onto the input.
    EXPECT_EQ(shell(program() + " in.iso - >> in.iso 2>/dev/null"), 2);
    EXPECT_EQ(slurp(dir / "in.iso"), a);

    // Asking needs a terminal: without one (a new session has none) it says so instead of blocking.
    if (std::system("command -v setsid > /dev/null 2>&1") == 0) {
        EXPECT_EQ(shell("setsid " + program() +
                        " --polyphone ask in.iso asked.iso < /dev/null > /dev/null 2> ask.err"),
                  2);
        EXPECT_TRUE(holds(slurp(dir / "ask.err"), "needs a terminal"));
        EXPECT_FALSE(fs::exists(dir / "asked.iso"));
    }

    // A write that fails mid-run stops at once and says how many records were written.
    if (fs::exists("/dev/full")) {
        EXPECT_TRUE(ended(batch("in.iso", "/dev/full"), 2, "0 records written"));
    }
}

TEST_F(Cli, OptionsAndUsage) {
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_TRUE(holds(run({"--help"}).out, "--polyphone"));
    EXPECT_EQ(run({"--version"}).status, 0);
    EXPECT_EQ(run({"--version"}).out.rfind("marc-pinyin-cli 0.", 0), 0u);
    EXPECT_TRUE(ended(run({"in.iso"}), 2, "no output file given"));
    EXPECT_EQ(run({"--code", "B", "in.iso", "out.iso"}).status, 2);
    EXPECT_EQ(run({"--encoding", "big5", "in.iso", "out.iso"}).status, 2);
    EXPECT_EQ(run({"--polyphone", "guess", "in.iso", "out.iso"}).status, 2);
    // Choices are taken by their names only, and named so in the message.
    EXPECT_TRUE(
        ended(run({"--case", "0", "in.iso", "out.iso"}), 2, "--case: \"0\" is not one of lower, capital"));
    EXPECT_EQ(run({"--separator", "1", "in.iso", "out.iso"}).status, 2);
    EXPECT_EQ(run({"--dump", "--lines", "in.iso"}).status, 2);
    EXPECT_EQ(run({"--no-such-option", "in.iso", "out.iso"}).status, 2);
    EXPECT_FALSE(fs::exists(dir / "out.iso"));

    // Code 9, capitals, existing pinyin kept, other tags, standard input and output.
    std::string withPinyin = testrec::makeRecord({{"001", "P1"},
                                                  {"005", "20240102030405.0"},
                                                  {"101", "0 \037achi"},
                                                  {"200", "1 \037a" + yinhang + "\037Aold"},
                                                  {"606", " 0\037a" + shu},
                                                  {"701", " 0\037a" + shu}});
    spit(dir / "in.iso", withPinyin);
    Ran r = batch("-", "-", {"--code", "9", "--case", "capital", "--existing", "keep", "--tags", "200,606"});
    // stdin is /dev/null here: no records, and standard input named as such.
    EXPECT_TRUE(ended(r, 2, "the input standard input holds no records"));
    ASSERT_EQ(shell(program() +
                    " --polyphone first --code 9 --case capital --existing keep --tags 200,606 --quiet - - "
                    "< in.iso > out.iso 2> err.txt"),
              0);
    EXPECT_EQ(slurp(dir / "err.txt"), "");
    // A record with nothing after it: written the same way, without a line break.
    auto recs = checkedRecords(slurp(dir / "out.iso"), false);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_TRUE(holds(recs[0], "\037Aold\x1E"));
    EXPECT_TRUE(holds(recs[0], "\0379Shu\x1E"));
    EXPECT_EQ(recs[0].find("\0379Shu\x1E", recs[0].find("\0379Shu\x1E") + 1), std::string::npos)
        << "701 is not in the tag list";
}

TEST_F(Cli, Gb18030AndUtf8RoundTrips) {
    // 书 and U+20000 (four bytes in GB18030 and UTF-8, outside GBK).
    struct Enc {
        std::string name, shu, ext;
    };
    for (const Enc& e :
         {Enc{"gb18030", "\xCA\xE9", "\x95\x32\x82\x36"}, Enc{"utf-8", "书", "\xF0\xA0\x80\x80"}}) {
        std::string rec = testrec::makeRecord({{"001", "U1"},
                                               {"005", "20240102030405.0"},
                                               {"101", "0 \037achi"},
                                               {"200", "1 \037a" + e.shu + e.ext + e.shu + "\037f" + e.ext},
                                               {"210", "  \037d2024"}});
        spit(dir / "in.iso", rec + "\r\n");
        std::string out = "out-" + e.name + ".iso";
        EXPECT_TRUE(ended(batch("in.iso", out, {"--encoding", e.name}), 0));
        auto recs = checkedRecords(slurp(dir / out));
        ASSERT_EQ(recs.size(), 1u) << e.name;
        // The field comes back byte for byte, the pinyin behind its subfield a.
        EXPECT_TRUE(
            holds(recs[0], "\037a" + e.shu + e.ext + e.shu + "\037Ashu " + e.ext + "shu\037f" + e.ext))
            << e.name;
        Ran d = run({"--dump", "--encoding", e.name, out});
        EXPECT_TRUE(holds(d.out, "200 1  |a书𠀀书|Ashu 𠀀shu|f𠀀"));
    }
}

TEST_F(Cli, DumpShowsTheWorkingRecords) {
    std::string a = testrec::makeRecord({{"001", "D1"}, {"200", "1 \037a" + yinhang + "|x"}});
    std::string b = testrec::makeRecord({{"005", "20240102030405.0"}, {"701", " 0\037a" + shu}});
    spit(dir / "in.iso", a + b + "\r\n" + "broken\x1D");
    Ran r = run({"--dump", "in.iso"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "001    D1\n200 1  |a银行|x\n\n005    20240102030405.0\n701  0 |a书\n");
    EXPECT_TRUE(holds(r.err, "record 3 (input line 2): "));
    EXPECT_EQ(run({"--dump", "in.iso", "out.iso"}).status, 2);
}

TEST_F(Cli, LinesRomaniseOneLineEach) {
    // GBK (the default) with CR LF and LF line ends, an empty line, no line end at the end.
    spit(dir / "titles.txt", yinhang + "\r\n\xB5\xA5\xCE\xBB\n\nABC \xB3\xA4\xB3\xC7 1\n\xC2\xC0");
    Ran r = run({"--db", db, "--polyphone", "first", "--lines", "titles.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    // A copied character follows the reading's own space: "cheng  1", as the lookup builds it.
    EXPECT_EQ(r.out, "yin xing\ndan wei\n\nABC chang cheng  1\nlv\n");
    spit(dir / "titles8.txt", "银行\r\n单位\n\nABC 长城 1\n吕");
    r = run({"--db", db, "--polyphone", "first", "--case", "capital", "--encoding", "utf-8", "--lines", "-"},
            "titles8.txt");
    EXPECT_EQ(r.out, "Yin Xing\nDan Wei\n\nABC Chang Cheng  1\nLv\n");
    // Into a file, appended to.
    spit(dir / "py.txt", "before\n");
    EXPECT_TRUE(ended(
        run({"--db", db, "--polyphone", "first", "--field", "701", "--lines", "titles.txt", "py.txt"}), 0));
    EXPECT_EQ(slurp(dir / "py.txt"), "before\nyin xing\ndan wei\n\nABC chang cheng  1\nlv\n");
    // Text in a code page other than the one chosen is refused, as a record file would be, and
    // the output is left as it was.
    for (const auto& [encoding, file, says] :
         {std::tuple{"utf-8", "titles.txt", "looks like GBK, not UTF-8"},
          std::tuple{"gbk", "titles8.txt", "looks like UTF-8, not GBK"}}) {
        EXPECT_TRUE(ended(run({"--db", db, "--encoding", encoding, "--lines", file, "py.txt"}), 2, says))
            << file;
    }
    EXPECT_EQ(slurp(dir / "py.txt"), "before\nyin xing\ndan wei\n\nABC chang cheng  1\nlv\n");
    r = run({"--db", db, "--encoding", "gbk", "--lines", "titles8.txt", "new.txt"});
    EXPECT_FALSE(fs::exists(dir / "new.txt"));
}

TEST_F(Cli, TheBundledSampleAndYazAgreeWithUs) {
    const std::string sample = MARCPY_SOURCE_DIR "/samples/sample.iso";
    // The shipped py.db beside the program, the default mode.
    EXPECT_TRUE(ended(run({sample, "out.iso"}), 0, "36 records read, 36 written, 0 failed"));
    auto recs = checkedRecords(slurp(dir / "out.iso"));
    ASSERT_EQ(recs.size(), 36u);
    for (const auto& rec : recs) EXPECT_NE(rec.find("\037A"), std::string::npos);

    EXPECT_TRUE(ended(run({"--separator", "none", sample, "plain.iso"}), 0));
    EXPECT_EQ(checkedRecords(slurp(dir / "plain.iso"), false).size(), 36u);
    if (std::system("command -v yaz-marcdump > /dev/null 2>&1") != 0) GTEST_SKIP() << "no yaz-marcdump";
    ASSERT_EQ(shell("yaz-marcdump -i marc -o line plain.iso > yaz.txt 2> yaz.err"), 0);
    std::string yaz = slurp(dir / "yaz.txt");
    EXPECT_EQ(slurp(dir / "yaz.err"), "");
    EXPECT_EQ(yaz.find("<!--"), std::string::npos) << "yaz-marcdump warned:\n"
                                                   << yaz.substr(yaz.find("<!--"), 300);
    // One leader line per record: "00413nam0 2200157   450 ".
    int leaders = 0;
    std::istringstream lines(yaz);
    for (std::string line; std::getline(lines, line);)
        leaders += line.size() == 24 && line.compare(20, 4, "450 ") == 0 &&
                   line.find_first_not_of("0123456789") == 5;
    EXPECT_EQ(leaders, 36);
}

TEST_F(Cli, WordListsComeFirstAndABadLineStopsTheRunAtTheStart) {
    spit(dir / "in.iso", testrec::book("W1", yinhang));
    spit(dir / "bank.txt", "# our words\n银行\tyin hang\n");
    spit(dir / "silver.txt", "银行\tyin xing\n");
    for (const char* mode : {"first", "phrase"}) {
        fs::remove(dir / "out.iso");
        // The phrase mode needs the phrase tables of the real py.db.
        const std::string useDb = std::string(mode) == "phrase" ? MARCPY_BINARY_DIR "/bin/py.db" : db;
        Ran r = run({"--db", useDb, "--polyphone", mode, "--words", "bank.txt", "in.iso", "out.iso"});
        EXPECT_EQ(r.status, 0) << mode << r.err;
        EXPECT_TRUE(holds(slurp(dir / "out.iso"), "\037Ayin hang")) << mode;
    }
    Ran r = batch("in.iso", "out2.iso", {"--words", "bank.txt", "--words", "silver.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(holds(slurp(dir / "out2.iso"), "\037Ayin xing"));
    spit(dir / "titles.txt", yinhang + "\n");
    r = run({"--db", db, "--polyphone", "first", "--words", "bank.txt", "--lines", "titles.txt"});
    EXPECT_EQ(r.out, "yin hang\n");

    // A single character of several readings overrides it in every word: read, and said once.
    spit(dir / "lone.txt", "行\thang\n书\tshu\n长城\tchang cheng\n");
    r = batch("in.iso", "out4.iso", {"--words", "lone.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string note = "the word list holds single characters of several readings: 行.";
    EXPECT_TRUE(holds(r.err, note));
    EXPECT_EQ(r.err.find(note, r.err.find(note) + 1), std::string::npos) << r.err;
    EXPECT_TRUE(holds(slurp(dir / "out4.iso"), "\037Ayin hang"));

    spit(dir / "bad.txt", "银行\tyin hang\n单位\tdan\n");
    EXPECT_TRUE(ended(batch("in.iso", "out3.iso", {"--words", "bad.txt"}), 2,
                      "the word list bad.txt, line 2: 1 syllable for 2 Chinese characters"));
    EXPECT_FALSE(fs::exists(dir / "out3.iso"));
    EXPECT_TRUE(ended(batch("in.iso", "out3.iso", {"--words", "missing.txt"}), 2, "missing.txt"));
}

TEST_F(Cli, SpacingSetsDigitsAndLettersApartAndCheckLooksPastIt) {
    spit(dir / "titles8.txt", "银行1单位\n2010长城ABC书\n");
    const std::vector<std::string> lines = {"--db",       db,      "--polyphone", "first",
                                            "--encoding", "utf-8", "--lines",     "-"};
    Ran r = run(lines, "titles8.txt");
    EXPECT_EQ(r.out, "yin xing 1dan wei\n2010chang cheng ABCshu\n");  // glued by default
    auto apart = lines;
    apart.insert(apart.begin(), {"--spacing", "apart"});
    r = run(apart, "titles8.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "yin xing 1 dan wei\n2010 chang cheng ABC shu\n");
    EXPECT_TRUE(ended(run({"--spacing", "wide", "in.iso", "out.iso"}), 2,
                      "--spacing: \"wide\" is not one of glued, apart"));

    // Existing pinyin written either way agrees with ours either way.
    const std::string title = "1" + yinhang;
    spit(dir / "in.iso",
         testrec::makeRecord({{"001", "R1"}, {"200", "1 \037a" + title + "\037A1 yin xing"}}) +
             testrec::makeRecord({{"001", "R2"}, {"200", "1 \037a" + title + "\037A1yin xing"}}));
    for (const char* spacing : {"glued", "apart"}) {
        EXPECT_TRUE(ended(batch("in.iso", "report.tsv", {"--check", "--spacing", spacing, "--quiet"}), 0));
        EXPECT_EQ(slurp(dir / "report.tsv"), kReportHeader) << spacing;
    }
}

TEST_F(Cli, CheckReportsExistingPinyinThatDisagrees) {
    const std::string changcheng = "\xB3\xA4\xB3\xC7";  // 长城
    spit(dir / "in.iso",
         testrec::makeRecord({{"001", "R1"},
                              {"200", "1 \037a" + yinhang + "\037AYin Xing"},
                              {"701", " 0\037a" + shu + "\0379shu"}}) +
             testrec::makeRecord({{"001", "R2"},
                                  {"200", "1 \037a" + changcheng + "\037Azhang cheng"},
                                  {"210", "  \037a" + changcheng + "\037Azhang"},  // not listed
                                  {"606", "0 \037a" + shu}}) +                     // no pinyin
             "\r\nbroken\x1D");
    Ran r = batch("in.iso", "report.tsv", {"--check"});
    EXPECT_TRUE(ended(r, 1, "record 3 (input line 2): "));  // the broken record, as in a run
    EXPECT_TRUE(holds(r.err, "3 records read, 3 fields checked, 1 disagree, 1 failed"));
    // Without phrase data the quieter manual mode would ask about 长: unsure.
    EXPECT_EQ(slurp(dir / "report.tsv"),
              kReportHeader + "2\tR2\t200\t长城\tzhang cheng\tchang cheng\t1\tyes\n");
    EXPECT_FALSE(fs::exists(dir / "report.tsv.rejected"));

    // The word list counts as everywhere else; the report is written afresh.
    spit(dir / "mine.txt", "长城\tzhang cheng\n");
    EXPECT_TRUE(ended(batch("in.iso", "report.tsv", {"--check", "--words", "mine.txt", "--quiet"}), 1));
    EXPECT_EQ(slurp(dir / "report.tsv"), kReportHeader);
    r = batch("in.iso", "-", {"--check", "--case", "capital"});
    EXPECT_EQ(r.out, kReportHeader + "2\tR2\t200\t长城\tzhang cheng\tChang Cheng\t1\tyes\n");
    EXPECT_EQ(batch("in.iso", "in.iso", {"--check"}).status, 2);
    EXPECT_GT(fs::file_size(dir / "in.iso"), 100u);  // not emptied
}

}  // namespace

namespace {

using namespace clitest;

// SIGTERM (as Ctrl-C) ends a run at a record boundary: whole records, the counts, and where to go
// on; a second run with --skip goes on from there, and together they write what one run writes.
TEST_F(Cli, AnInterruptedRunSaysWhereToGoOn) {
    std::string input;
    std::vector<std::size_t> starts;
    for (int i = 0; i < 60000; ++i) {
        starts.push_back(input.size());
        input += testrec::book("S" + std::to_string(i), shu);
    }
    spit(dir / "big.iso", input);
    ASSERT_EQ(batch("big.iso", "whole.iso").status, 0);

    const pid_t pid = start(dir, {"--db", db, "--polyphone", "first", "big.iso", "part.iso"});
    ASSERT_GE(pid, 0);
    while (!fs::exists(dir / "part.iso") || fs::file_size(dir / "part.iso") == 0) ::usleep(2000);
    ::kill(pid, SIGTERM);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 143);
    const std::string err = slurp(dir / "stderr.txt");
    long long written = 0, next = 0, offset = 0, skip = 0;
    ASSERT_EQ(
        std::sscanf(
            err.c_str(),
            "marc-pinyin-cli: stopped: %lld records written; the next is record %lld at input byte %lld "
            "(to go on, run again with --skip %lld)",
            &written, &next, &offset, &skip),
        4)
        << err;
    EXPECT_EQ(next, written + 1);
    EXPECT_EQ(skip, written);
    ASSERT_LT(written, 60000);
    EXPECT_EQ(static_cast<std::size_t>(offset), starts[static_cast<std::size_t>(written)]);
    const std::string part = slurp(dir / "part.iso");
    EXPECT_EQ(static_cast<long long>(testrec::splitRecords(part).size()), written);

    EXPECT_TRUE(ended(batch("big.iso", "part.iso", {"--skip", std::to_string(skip)}), 0));
    EXPECT_TRUE(slurp(dir / "part.iso") == slurp(dir / "whole.iso")) << "the two parts differ from one run";
}

// Chinese names of files and folders, as cataloguers' folders have them: input, output, the
// rejects file and its log, a word list, and py.db beside a program in such a folder.
TEST_F(Cli, ChineseFileAndFolderNames) {
    const fs::path folder = dir / "编目 数据" / "二〇二六";
    fs::create_directories(folder);
    const std::string damaged = testrec::book("D1", shu).substr(0, 40) + "\x1D";
    spit(folder / "输入.iso", testrec::book("G1", yinhang) + "\r\n" + damaged + "\r\n");
    spit(folder / "本馆词表.txt", "银行\tyin hang\n");
    const fs::path program = folder / "程序" / "marc-pinyin-cli";
    fs::create_directories(program.parent_path());
    fs::copy_file(kProgram, program);
    fs::copy_file(db, program.parent_path() / "py.db");  // found beside the program: no --db

    const std::string cmd = "cd " + quote(folder.string()) + " && XDG_STATE_HOME=" + quote(dir.string()) +
                            " " + quote(program.string()) +
                            " --polyphone first --words 本馆词表.txt 输入.iso 输出.iso 2> err.txt";
    const int raw = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1) << slurp(folder / "err.txt");
    const auto recs = checkedRecords(slurp(folder / "输出.iso"));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_TRUE(holds(recs[0], "\037Ayin hang"));
    EXPECT_EQ(slurp(folder / "输出.iso.rejected"), damaged + "\r\n");
    EXPECT_TRUE(holds(slurp(folder / "输出.iso.rejected.txt"), "record 2"));
    EXPECT_TRUE(holds(slurp(folder / "err.txt"), "输出.iso.rejected"));
}

TEST_F(Cli, TagListsThatListNoTagAreRefused) {
    spit(dir / "in.iso", testrec::book("A1", shu));
    // Not three digits or three capital letters: "2OO" typed with the letter O, lower case,
    // two tags run together, nothing at all.
    for (const char* tags : {"", "abc", ", ;", "200,2OO", "200606", "20"}) {
        EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--tags", tags}), 2, "is not a tag")) << tags;
    }
    EXPECT_FALSE(fs::exists(dir / "out.iso"));
    // A tag of letters is a tag; that the record has no such field is said at the end.
    EXPECT_TRUE(ended(batch("in.iso", "out.iso", {"--tags", "AVA"}), 1, "no field got pinyin"));
}

// One endless line is romanised in pieces that join up to what the line gives.
TEST_F(Cli, AnEndlessLineGivesWhatItsPiecesGive) {
    std::string line;
    while (line.size() < 3u * 1024 * 1024) line += "\xD2\xF8\xD0\xD0 ";  // 银行 in GBK
    spit(dir / "long.txt", line + "\n" + shu + "\n");
    ASSERT_TRUE(ended(
        run({"--db", db, "--polyphone", "first", "--encoding", "gbk", "--lines", "long.txt", "py.txt"}), 0));
    std::istringstream words(slurp(dir / "py.txt"));
    std::string word, lastLine;
    std::size_t count = 0;
    bool alternate = true;
    while (words >> word) {
        if (word == "shu") break;
        alternate = alternate && word == (count % 2 == 0 ? "yin" : "xing");
        ++count;
    }
    EXPECT_TRUE(alternate);
    EXPECT_EQ(count, 2 * (line.size() / 5));
    EXPECT_EQ(word, "shu");
}

}  // namespace

namespace {

using namespace clitest;

// The command line speaks the locale's language: Chinese under zh_*, English otherwise, whether
// or not the locale is installed; the failure log beside the rejects file is in the same words,
// one line per failed record, appended to like the output.
TEST_F(Cli, FailuresInTheLocalesLanguageAndTheLog) {
    const std::string good = testrec::book("G1", shu);
    const std::string bad1 = testrec::book("B1", shu).substr(0, 30) + "\x1D";  // cut inside its directory
    std::string bad2 = testrec::makeRecord({{"001", "B2"}, {"200", "1 \037a" + shu}});
    bad2.replace(24 + 12 + 3, 4, "0099");  // 200's length runs past the end
    const std::string bad3 =
        testrec::makeRecord({{"001", "B3"}, {"005", "20240102030405.0"}});  // nothing to write
    const std::string input = good + "\r\n" + bad1 + "\r\n" + good + "\r\n" + bad2 + "\r\n" + bad3 + "\r\n";
    spit(dir / "in.iso", input);
    const auto runIn = [&](const char* lang, const std::string& out) {
        EXPECT_EQ(shell(std::string("LC_ALL= LC_MESSAGES= LANG=") + lang +
                        " XDG_STATE_HOME=" + quote(dir.string()) + " " + program() +
                        " --polyphone first in.iso " + out + " 2> err.txt"),
                  1);
        return slurp(dir / "err.txt");
    };
    const std::string english = runIn("C", "en.iso");
    for (char c : english) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << english;
    EXPECT_TRUE(
        holds(english, "record 4 (input line 4): field 200 (directory entry 2): it runs past the end"));
    EXPECT_TRUE(holds(english, "reasons in en.iso.rejected.txt"));

    const std::string chinese = runIn("zh_CN.UTF-8", "zh.iso");
    EXPECT_TRUE(holds(chinese, "第 4 条记录（输入第 4 行）：字段 200（目录第 2 项）：超出了记录的末尾"));
    EXPECT_TRUE(holds(chinese, "读取 5 条记录，写入 2 条，失败 3 条"));

    // The log: three lines with number, input line, byte offset, 001 and reason; a second run
    // appends three more.
    const std::size_t offset2 = good.size() + 2, offset4 = 2 * (good.size() + 2) + bad1.size() + 2,
                      offset5 = offset4 + bad2.size() + 2;
    std::string log = slurp(dir / "en.iso.rejected.txt");
    EXPECT_EQ(log, "record 2, input line 2, byte " + std::to_string(offset2) +
                       ": no field terminator: the record has no directory\n"
                       "record 4, input line 4, byte " +
                       std::to_string(offset4) +
                       ", 001 B2: field 200 (directory entry 2): it runs past the end of the record\n"
                       "record 5, input line 5, byte " +
                       std::to_string(offset5) +
                       ", 001 B3: the record has no field to write besides 001 and 005\n");
    runIn("C", "en.iso");
    EXPECT_EQ(slurp(dir / "en.iso.rejected.txt"), log + log);
    EXPECT_TRUE(
        holds(slurp(dir / "zh.iso.rejected.txt"),
              "第 4 条记录，输入第 4 行，第 " + std::to_string(offset4) + " 字节，001 为 B2：字段 200"));
}

// Every mode refuses the same start in the same words, the system's reason worded in the locale's
// language too: a batch run, a check of existing pinyin and a run over plain lines.
TEST_F(Cli, EveryModeRefusesAMissingDatabaseInTheLocalesWords) {
    spit(dir / "in.iso", testrec::book("A1", shu));
    for (const std::string mode : {"", "--check", "--lines"}) {
        EXPECT_EQ(shell("LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8 " + quote(kProgram) + " " + mode +
                        " --db missing.db in.iso out.txt 2> err.txt"),
                  2)
            << mode;
        EXPECT_EQ(slurp(dir / "err.txt"),
                  "marc-pinyin-cli: 无法打开拼音数据库 missing.db：文件或文件夹不存在\n")
            << mode;
        EXPECT_FALSE(fs::exists(dir / "out.txt")) << mode;
    }
}

}  // namespace
