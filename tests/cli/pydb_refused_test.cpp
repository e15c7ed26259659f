// A py.db that would put into the records what no reading may hold, or that SQLite finds damaged,
// stops every mode at the start, saying where and why, in the locale's language.
#include "cli_support.h"

namespace {

using namespace clitest;

const std::string shu = "\xCA\xE9";  // 书 in GBK

std::string runIn(const fs::path& dir, const std::string& lang, const std::string& args) {
    const std::string cmd = "cd " + quote(dir.string()) + " && LC_ALL= LC_MESSAGES= LANG=" + lang + " " +
                            quote(kProgram) + " " + args + " 2> err.txt; echo $? > status.txt";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return slurp(dir / "status.txt") + slurp(dir / "err.txt");
}

TEST_F(Cli, APyDbWithABadReadingIsRefusedWithTheRowAndWhy) {
    spit(dir / "in.iso", testrec::book("A1", shu));
    const struct {
        const char* hex;
        const char* says;
    } bad[] = {
        {"5368757C41", "U+007C \"|\""},  // a delimiter that would split the field
        {"5368FE75", "0xFE"},           {"536807", "U+0007"}, {"53681E", "U+001E"},
        {"53681F", "U+001F"},           {"53681D", "U+001D"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.hex);
        testpydb::make(db, {{"位", "Wei"}},
                       std::string("INSERT INTO PinYin VALUES ('书', CAST(X'") + c.hex + "' AS TEXT));");
        for (const std::string mode : {"", "--check ", "--lines "}) {
            const std::string args = "--db py.db " + mode + "in.iso out.iso";
            EXPECT_EQ(
                runIn(dir, "C", args),
                "2\nmarc-pinyin-cli: row 2 of the table PinYin of the pinyin database py.db holds what no "
                "reading may hold (hz U+4E66, Py1 " +
                    std::string(c.says) +
                    "): readings are letters and digits in UTF-8, with spaces between them\n")
                << mode;
            EXPECT_EQ(runIn(dir, "zh_CN.UTF-8", args),
                      "2\nmarc-pinyin-cli: 拼音数据库 py.db 的 PinYin 表第 2 "
                      "行含有读音中不能有的字符或字节（hz U+4E66, "
                      "Py1 " +
                          std::string(c.says) + "）：读音只能是 UTF-8 编码的字母和数字，以空格分隔\n")
                << mode;
            EXPECT_FALSE(fs::exists(dir / "out.iso"));
        }
    }
}

TEST_F(Cli, ADamagedPyDbSaysWhatSqliteFound) {
    spit(dir / "in.iso", testrec::book("A1", shu));
    std::string rows = "BEGIN;";
    for (int i = 0; i < 3000; ++i)
        rows += "INSERT INTO PinYin VALUES ('" + std::to_string(i) + "', 'Zhong');";
    testpydb::make(db, {{"书", "Shu"}}, rows + "COMMIT;");
    {
        std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2 * 4096);
        const std::string junk(3 * 4096, '\x5A');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    EXPECT_EQ(
        runIn(dir, "C", "--db py.db in.iso out.iso"),
        "2\nmarc-pinyin-cli: the pinyin database py.db cannot be read: database disk image is malformed\n");
    EXPECT_FALSE(fs::exists(dir / "out.iso"));
}

}  // namespace
