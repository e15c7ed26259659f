// Loading py.db: the rows that count, and the files that stop a run before it starts.
#include "pinyin/table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "pinyin/lookup.h"

namespace fs = std::filesystem;

namespace pinyin {
namespace {

class TableLoadTest : public ::testing::Test {
protected:
    TableLoadTest() {
        dir = fs::temp_directory_path() /
              ("marcpy_table_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    ~TableLoadTest() override { fs::remove_all(dir); }

    /// A database made by running `sql` on a new file.
    std::string makeDb(const char* sql) {
        const std::string path = (dir / "py.db").string();
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_free(err);
        sqlite3_close(db);
        return path;
    }

    /// The DbError message of loading `path` (fails the test when it loads).
    static std::string loadError(const std::string& path) {
        try {
            PinyinTable::load(path);
        } catch (const DbError& e) {
            return e.what();
        }
        ADD_FAILURE() << path << " loaded";
        return {};
    }

    fs::path dir;
};

TEST_F(TableLoadTest, ReadsTheFirstRowOfEachCharacter) {
    const auto path = makeDb(
        "CREATE TABLE PinYin (hz TEXT, Py1 TEXT);"
        "INSERT INTO PinYin VALUES ('行', ' Xing Hang '), ('中', 'Zhong'), ('行', 'Hang'),"
        " ('中国', 'Zhong Guo'), ('', 'X'), ('空', NULL), ('''', 'Apostrophe'), ('乐', 'Le');"
        // An index that could hand the rows back in another order.
        "CREATE INDEX byHz ON PinYin (hz, Py1);");
    const auto table = PinyinTable::load(path);
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

TEST_F(TableLoadTest, AMissingFileIsAnErrorAndStaysMissing) {
    const std::string path = (dir / "py.db").string();
    const std::string message = loadError(path);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(TableLoadTest, AFileThatIsNoDatabaseIsAnError) {
    const std::string path = (dir / "py.db").string();
    std::ofstream(path) << "hz,Py1\n中,Zhong\n" << std::string(2000, 'x');
    const std::string message = loadError(path);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("not a database"), std::string::npos) << message;
}

TEST_F(TableLoadTest, ADatabaseWithoutThePinYinTableIsAnError) {
    const auto path = makeDb("CREATE TABLE Readings (hz TEXT, Py1 TEXT);");
    const std::string message = loadError(path);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("no table PinYin"), std::string::npos) << message;
}

TEST_F(TableLoadTest, APinYinTableWithOtherColumnsIsAnError) {
    const auto path = makeDb("CREATE TABLE PinYin (hanzi TEXT, reading TEXT);");
    const std::string message = loadError(path);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("hz and Py1"), std::string::npos) << message;
}

// The py.db that ships with the program.
TEST(ShippedDbTest, CoversCommonCharacters) {
    const fs::path path = fs::path(MARCPY_SOURCE_DIR) / "data" / "py.db";
    if (!fs::exists(path)) GTEST_SKIP() << path << " is not there yet";
    const auto table = PinyinTable::load(path.string());

    ASSERT_NE(table->readings(U'中'), nullptr);
    EXPECT_EQ(table->readings(U'中')->substr(0, 5), "Zhong");
    ASSERT_NE(table->readings(U'行'), nullptr);
    EXPECT_NE(table->readings(U'行')->find(' '), std::string::npos) << *table->readings(U'行');
    EXPECT_EQ(table->readings(U'，'), nullptr);
    EXPECT_EQ(table->readings(U'：'), nullptr);

    RunSettings settings;
    settings.polyphone = Polyphone::Automatic;
    Romaniser r(*table, settings, nullptr);
    EXPECT_EQ(r.pinyin("中华人民共和国，北京"), "zhong hua ren min gong he guo bei jing ");

    // With its phrase data, a known word settles a polyphonic character without asking.
    if (!table->phrases()) return;
    settings.polyphone = Polyphone::Phrase;
    EXPECT_EQ(r.pinyin("中国银行"), "zhong guo yin hang ");
    settings.polyphone = Polyphone::Manual;
    settings.askOnlyWhenUnsure = true;
    testing::ScriptedChooser chooser({});
    r.setChooser(&chooser);
    EXPECT_EQ(r.pinyin("银行"), "yin hang ");
    EXPECT_TRUE(chooser.asked.empty());
}

}  // namespace
}  // namespace pinyin
