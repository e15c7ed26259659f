// Loading py.db: where it lies, the rows that count, and the files that stop a run before it starts.
#include "pinyin/table.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "codepage/codepage.h"
#include "fixtures.h"
#include "support/errors.h"
#include "support/files.h"
#include "pinyin/lookup.h"
#include "pinyin/db_path.h"
#include "pinyin/settings.h"

namespace fs = std::filesystem;

namespace pinyin {
namespace {

using testing::TempDb;

TEST(DatapathTest, OneSeparatorBetweenTheProgramFolderAndTheFile) {
    EXPECT_EQ(pyDbPath("/opt/tools/marc"), "/opt/tools/marc/py.db");
    EXPECT_EQ(pyDbPath("/"), "/py.db");
    EXPECT_EQ(pyDbPath("/opt/tools/marc/"), "/opt/tools/marc/py.db");
    EXPECT_EQ(pyDbPath("relative"), "relative/py.db");
    EXPECT_EQ(pyDbPath(""), "py.db");
    // The tests are built into the same bin folder as the programs.
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_EQ(fs::canonical(folder), fs::canonical(fs::path(MARCPY_BINARY_DIR) / "bin"));
}

// Installed as a package, the programs lie in /usr/bin and py.db in /usr/share/marc-pinyin; a
// py.db beside the program (a build folder, an install with --prefix) still comes first.
TEST(DatapathTest, FallsBackToTheSharedDataFolderOnlyWhenNothingLiesBesideTheProgram) {
    testfiles::TempDir root("marcpy_db_path");
    const fs::path bin = root / "usr/bin", share = root / "usr/share/marc-pinyin";
    fs::create_directories(bin);
    fs::create_directories(share);
    const std::string beside = (bin / "py.db").string(), shared = (share / "py.db").string();
    // Neither file: the one beside the program is named, as a missing py.db is reported there.
    EXPECT_EQ(pyDbPath(bin.string()), beside);
    testfiles::spit(shared, "x");
    EXPECT_EQ(pyDbPath(bin.string()), shared);
    EXPECT_EQ(pyDbPath(bin.string() + "/"), shared);
    testfiles::spit(beside, "x");
    EXPECT_EQ(pyDbPath(bin.string()), beside);
    // A folder named py.db beside the program is no database: the shared file is used.
    fs::remove(beside);
    fs::create_directory(beside);
    EXPECT_EQ(pyDbPath(bin.string()), shared);
    // Only share/marc-pinyin one level up counts, not a py.db lying loose in share/.
    fs::remove_all(share);
    testfiles::spit(root / "usr/share/py.db", "x");
    EXPECT_EQ(pyDbPath(bin.string()), beside);
}

TEST(TableLoadTest, ReadsTheFirstRowOfEachCharacter) {
    TempDb db(
        "CREATE TABLE PinYin (hz TEXT, Py1 TEXT);"
        "INSERT INTO PinYin VALUES ('行', ' Xing Hang '), ('中', 'Zhong'), ('行', 'Hang'),"
        " ('中国', 'Zhong Guo'), ('', 'X'), ('空', NULL), ('''', 'Apostrophe'), ('乐', 'Le');"
        // An index that could hand the rows back in another order.
        "CREATE INDEX byHz ON PinYin (hz, Py1);");
    const auto table = PinyinTable::load(db.path());
    ASSERT_NE(table->readings(U'行'), nullptr);
    EXPECT_EQ(*table->readings(U'行'), " Xing Hang ");
    EXPECT_EQ(*table->readings(U'空'), "");
    EXPECT_EQ(*table->readings(U'\''), "Apostrophe");
    EXPECT_EQ(table->readings(U'国'), nullptr);  // only in a two-character row
    EXPECT_EQ(table->phrases(), nullptr);

    RunSettings settings;
    settings.polyphone = Polyphone::Automatic;
    Romaniser r(*table, settings, nullptr);
    EXPECT_EQ(r.pinyin("中国空行乐"), "zhong  xing le ");
}

TEST(TableLoadTest, FilesThatAreNoUsablePyDbStopWithTheirPath) {
    const struct {
        const char* sql;
        const char* contents;
        problem::Kind kind;
    } cases[] = {
        {nullptr, nullptr, problem::Kind::DbCannotOpen},  // missing, and not created by the attempt
        {nullptr,
         "hz,Py1\n中,Zhong\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
         problem::Kind::DbNotReadable},
        {"CREATE TABLE Readings (hz TEXT, Py1 TEXT);", nullptr, problem::Kind::DbNoPinYinTable},
        {"CREATE TABLE PinYin (hanzi TEXT, reading TEXT);", nullptr, problem::Kind::DbNoColumns},
    };
    for (const auto& c : cases) {
        TempDb db(c.sql, c.contents);
        SCOPED_TRACE(static_cast<int>(c.kind));
        const problem::Problem p = testerrors::problemOf<DbError>([&] { PinyinTable::load(db.path()); });
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_EQ(p.path, db.path());
        // The file missing, the system's reason; else SQLite's words where it has some.
        if (c.kind == problem::Kind::DbCannotOpen) {
            EXPECT_EQ(p.osError, ENOENT);
        }
        if (c.kind == problem::Kind::DbNotReadable || c.kind == problem::Kind::DbNoColumns) {
            EXPECT_FALSE(p.detail.empty());
        }
        if (!c.sql && !c.contents) {
            EXPECT_FALSE(fs::exists(db.path()));
        }
    }
}

// A reading goes into the records as it stands: one that could change them ("|" becomes a
// subfield delimiter, a control character a terminator or a line break, a byte that is not UTF-8
// a "?") stops the load, with the table, the row, its character and what is wrong.
TEST(TableLoadTest, AReadingThatWouldChangeTheRecordsIsRefusedWithItsRow) {
    const struct {
        const char* hex;  // Py1's bytes
        const char* says;
    } bad[] = {
        {"4A697C47756F", "U+007C \"|\""},  // Ji|Guo
        {"5A68FF", "0xFF"},
        {"5A68C3", "0xC3"},  // a sequence cut short
        {"5A680A", "U+000A"},
        {"5A6809", "U+0009"},
        {"5A6801", "U+0001"},
        {"5A681E", "U+001E"},
        {"5A681F", "U+001F"},
        {"5A681D", "U+001D"},
        {"5A682D", "U+002D \"-\""},
        {"5A68EFBFBD", "U+FFFD"},
        {"5A68EFB790", "U+FDD0"},  // what stands for a "|" of field data
        {"E4B8AD", "U+4E2D"},
        {"C797", "U+01D7"},  // a capital GBK cannot write
    };
    for (const auto& c : bad) {
        TempDb db(std::string("CREATE TABLE PinYin (hz TEXT, Py1 TEXT);"
                              "INSERT INTO PinYin VALUES ('行', 'Xing Hang'), ('中国', 'Zhong|Guo'),"
                              " ('国', CAST(X'") +
                  c.hex + "' AS TEXT)), ('中', 'Zhong');");
        SCOPED_TRACE(c.hex);
        const problem::Problem p = testerrors::problemOf<DbError>([&] { PinyinTable::load(db.path()); });
        EXPECT_EQ(p.kind, problem::Kind::DbBadReading);
        EXPECT_EQ(p.path, db.path());
        EXPECT_EQ(p.tag, "PinYin");
        EXPECT_EQ(p.value, 3);  // the row of two characters is never read, so never refused
        EXPECT_EQ(p.detail, std::string("hz U+56FD, Py1 ") + c.says);
    }
    // Letters of pinyin in every form the table may store, digits, spaces around and between.
    TempDb good(
        "CREATE TABLE PinYin (hz TEXT, Py1 TEXT);"
        "INSERT INTO PinYin VALUES ('驴', 'Lǘ Lü Lv'), ('①', '1'), ('ⅳ', 'iv'), ('乐', ' Le  Yue '),"
        " ('空', NULL), ('哦', 'ó ò ō'), ('嗯', 'ń ň Ng'), ('怪', 'McDonald');");
    EXPECT_EQ(*PinyinTable::load(good.path())->readings(U'驴'), "Lǘ Lü Lv");
    // Every marked letter a reading may hold is one GBK writes.
    const std::string marked = "āáǎàēéěèêīíǐìōóǒòūúǔùüǖǘǚǜńňɑɡ";
    EXPECT_EQ(codepage::Codec::gbk().decode(codepage::Codec::gbk().encode(marked)), marked);
}

// A file SQLite calls damaged says why: SQLite's own words reach the message.
TEST(TableLoadTest, ADamagedFileSaysWhatSqliteFound) {
    std::string sql = "BEGIN; CREATE TABLE PinYin (hz TEXT, Py1 TEXT);";
    for (int i = 0; i < 3000; ++i) sql += "INSERT INTO PinYin VALUES ('" + std::to_string(i) + "', 'Zhong');";
    TempDb db(sql + "COMMIT;");
    {
        // The pages of the table, past the first two, overwritten.
        std::fstream f(db.path(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2 * 4096);
        const std::string junk(3 * 4096, '\x5A');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    const problem::Problem p = testerrors::problemOf<DbError>([&] { PinyinTable::load(db.path()); });
    EXPECT_EQ(p.kind, problem::Kind::DbNotReadable);
    EXPECT_EQ(p.path, db.path());
    EXPECT_NE(p.detail.find("malformed"), std::string::npos) << p.detail;
}

// The py.db that ships with the program.
TEST(ShippedDbTest, CoversCommonCharacters) {
    const fs::path path = fs::path(MARCPY_SOURCE_DIR) / "data" / "py.db";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is not there yet";
    const auto table = PinyinTable::load(path.string());
    ASSERT_NE(table->readings(U'行'), nullptr);
    EXPECT_NE(table->readings(U'行')->find(' '), std::string::npos) << *table->readings(U'行');
    EXPECT_EQ(table->readings(U'，'), nullptr);

    RunSettings settings;
    settings.polyphone = Polyphone::Automatic;
    Romaniser r(*table, settings, nullptr);
    EXPECT_EQ(r.pinyin("中华人民共和国，北京"), "zhong hua ren min gong he guo bei jing ");
}

}  // namespace
}  // namespace pinyin
