// Annotating working records: which lines get pinyin, where it goes, and old pinyin.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

class PyTest : public ::testing::Test {
protected:
    PyTest() {
        testing::fillSmallTable(table);
        settings.polyphone = Polyphone::Automatic;
    }
    std::string run(std::string_view marc) { return py(marc, settings, romaniser); }

    PinyinTable table;
    RunSettings settings;
    Romaniser romaniser{table, settings, nullptr};
};

TEST_F(PyTest, ListedLinesGetPinyinBehindEverySubfieldA) {
    EXPECT_EQ(run("200 1 |a中国|f文"), "200 1 |a中国|Azhong guo|f文\r\n");
    settings.useCodeA = false;
    EXPECT_EQ(run("200 1 |a中国|f文"), "200 1 |a中国|9zhong guo|f文\r\n");
    settings.useCodeA = true;
    // Two subfields a, each followed by its own pinyin; ends trimmed, inner spaces kept.
    EXPECT_EQ(run("225 2 |a 中 国|vx|a文 "), "225 2 |a 中 国|Azhong  guo|vx|a文 |Awen\r\n");
    // Empty subfield a: an empty pinyin subfield.
    EXPECT_EQ(run("200 1 |a|f文"), "200 1 |a|A|f文\r\n");
}

TEST_F(PyTest, OnlyListedTagsAreTouched) {
    const std::string record = "001    0001\r\n"
                               "010   |a7-5600\r\n"
                               "200 1 |a中国\r\n"
                               "300   |a中国||b\r\n"
                               "701  0|a文|4著";
    EXPECT_EQ(run(record),
              "001    0001\r\n"
              "010   |a7-5600\r\n"
              "200 1 |a中国|Azhong guo\r\n"
              "300   |a中国||b\r\n"
              "701  0|a文|Awen|4著\r\n");
    // A listed control field has no delimiter and stays as it is.
    settings.tagList = "001,200";
    EXPECT_EQ(run("001    中国"), "001    中国\r\n");
    // The list is matched as text: "200225" also lists 002 and 022.
    settings.tagList = "200225";
    EXPECT_EQ(run("022   |a中\r\n002   |a国\r\n225   |a文\r\n202   |a中"),
              "022   |a中|Azhong\r\n002   |a国|Aguo\r\n225   |a文|Awen\r\n202   |a中\r\n");
    // A line whose first three characters are blank is never listed.
    settings.tagList = " 200";
    EXPECT_EQ(run("   1 |a中"), "   1 |a中\r\n");
}

TEST_F(PyTest, SubfieldCodesAreCaseSensitive) {
    settings.delExisting = false;
    // "|A" is no subfield a (and counts as pinyin); "|a" alone carries no pinyin.
    EXPECT_EQ(run("200 1 |A中国"), "200 1 |A中国\r\n");
    EXPECT_EQ(run("200 1 |b中|a国"), "200 1 |b中|a国|Aguo\r\n");
}

TEST_F(PyTest, DelimitersAreTidiedOnAnnotatedLinesOnly) {
    // No subfield a: only doubled delimiters shrink, three in a row to two,
    // and then one trailing delimiter goes.
    EXPECT_EQ(run("200 1 |b x||c y|||d z|"), "200 1 |b x|c y||d z|\r\n");
    settings.tagList = "300";
    EXPECT_EQ(run("200 1 |b x||c y|"), "200 1 |b x||c y|\r\n");
}

TEST_F(PyTest, LinesAndLineBreaks) {
    EXPECT_EQ(run(""), "\r\n");
    // A lone CR splits a line, a lone LF vanishes.
    EXPECT_EQ(run("200 1 |a中\r国\n文\r\n300   |a"), "200 1 |a中|Azhong\r\n国文\r\n300   |a\r\n");
}

TEST_F(PyTest, TheHeadIsNeverASubfield) {
    // Even under a tag that starts with "a" (or "A" or "9" for the old-pinyin rule).
    settings.tagList = "a00";
    EXPECT_EQ(run("a00 12|a中"), "a00 12|a中|Azhong\r\n");
}

TEST_F(PyTest, ExistingPinyinIsKeptOrRedone) {
    const std::string line = "200 1 |a中国|AZhong Guo|f文";
    settings.delExisting = false;
    EXPECT_EQ(run(line), line + "\r\n");
    // A 9 that holds something else still counts as pinyin.
    EXPECT_EQ(run("200 1 |a中|9local"), "200 1 |a中|9local\r\n");

    settings.delExisting = true;
    settings.useCodeA = false;
    EXPECT_EQ(run(line), "200 1 |a中国|9zhong guo|f文\r\n");
    EXPECT_EQ(run("200 1 |9local|a中|Ax|Ay"), "200 1 |a中|9zhong\r\n");
    // Unlisted lines never lose a subfield.
    EXPECT_EQ(run("330   |a中|Ax|9y"), "330   |a中|Ax|9y\r\n");
}

TEST(DelZDA9Test, RemovesEveryPinyinSubfieldAndNothingElse) {
    EXPECT_EQ(delZDA9("200 1 |a中国|f文"), "200 1 |a中国|f文");
    EXPECT_EQ(delZDA9("200 1 |Ax|a中|9y||f文|Az|9"), "200 1 |a中||f文");
    EXPECT_EQ(delZDA9("200 1 |a中|Ax"), "200 1 |a中");
    // The head stays, whatever its first character.
    EXPECT_EQ(delZDA9("905   |9x|a中"), "905   |a中");
    EXPECT_EQ(delZDA9("A05   |Ax|a中"), "A05   |a中");
    EXPECT_EQ(delZDA9("001    abc"), "001    abc");
    EXPECT_EQ(delZDA9(""), "");
}

}  // namespace
}  // namespace pinyin
