// Where the program looks for py.db.
#include "pinyin/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pinyin {
namespace {

TEST(DatapathTest, OneSeparatorBetweenFolderAndFile) {
    EXPECT_EQ(datapath("/opt/tools/marc"), "/opt/tools/marc/py.db");
    EXPECT_EQ(datapath("/"), "/py.db");
    EXPECT_EQ(datapath("/opt/tools/marc/"), "/opt/tools/marc/py.db");
    EXPECT_EQ(datapath("relative"), "relative/py.db");
    EXPECT_EQ(datapath(""), "py.db");
}

TEST(ProgramFolderTest, IsTheFolderOfThisTestProgram) {
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::path(folder).is_absolute());
    EXPECT_NE(folder.back(), '/');
    // The tests are built into the same bin folder as the programs.
    EXPECT_EQ(std::filesystem::canonical(folder),
              std::filesystem::canonical(std::filesystem::path(MARCPY_BINARY_DIR) / "bin"));
}

}  // namespace
}  // namespace pinyin
