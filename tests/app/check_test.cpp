// Comparing the pinyin a field carries with ours: what counts as a difference, which characters
// differ, and whether we were unsure there.
#include "app/check.h"

#include <gtest/gtest.h>

#include "pinyin/fixtures.h"

namespace {

class CheckerTest : public ::testing::Test {
protected:
    CheckerTest() {
        table.add(U'叶', "Ye Xie");
        table.add(U'圣', "Sheng");
        table.add(U'陶', "Tao Yao");
        table.add(U'朱', "Zhu");
        table.add(U'熹', "Xi");
        table.add(U'西', "Xi");
        table.add(U'安', "An");
        table.add(U'吕', "Lǘ");
        settings.polyphone = pinyin::Polyphone::Automatic;
    }
    pinyin::PinyinTable table;
    pinyin::RunSettings settings;
};

TEST_F(CheckerTest, CaseSpacingPunctuationAndToneMarksDoNotCount) {
    app::PinyinChecker checker(table, settings, nullptr);
    for (const char* theirs : {"ye sheng tao", "Ye Shengtao", "YE, SHENG-TAO.", "Yè Shèngtáo"})
        EXPECT_TRUE(checker.compare("叶圣陶", theirs, "200").agrees) << theirs;
    EXPECT_TRUE(checker.compare("西安", "Xian", "200").agrees);  // "xi an" joined: no telling
    EXPECT_TRUE(checker.compare("吕", "Lü", "200").agrees);      // ü is v
}

TEST_F(CheckerTest, TheDifferingCharactersAreNamed) {
    app::PinyinChecker checker(table, settings, nullptr);
    const struct {
        const char* text;
        const char* theirs;
        std::vector<std::size_t> places;
    } cases[] = {
        {"叶圣陶", "Xie Shengtao", {1}},      // the surname read as the other reading
        {"朱熹", "Shu Xi", {1}},              // a slip of the keyboard
        {"叶圣陶", "ye sheng", {3}},          // a syllable missing
        {"叶圣陶", "ye sheng tao tao", {3}},  // one too many, counted against the last
        {"A叶圣陶", "B ye sheng tao", {1}},   // other characters count too
        {"朱熹", "", {1, 2}},
    };
    for (const auto& c : cases) {
        const app::PinyinComparison r = checker.compare(c.text, c.theirs, "200");
        EXPECT_FALSE(r.agrees) << c.text << " / " << c.theirs;
        EXPECT_EQ(r.places, c.places) << c.text << " / " << c.theirs;
    }
    EXPECT_EQ(checker.compare("朱熹", "Shu Xi", "200").ours, "zhu xi");
}

TEST_F(CheckerTest, UnsureWhereTheQuieterManualModeWouldAskAndTheWordListDecides) {
    // Without phrase data the quieter manual mode asks about every polyphonic character.
    app::PinyinChecker checker(table, settings, nullptr);
    EXPECT_TRUE(checker.compare("叶圣陶", "xie sheng tao", "700").unsure);
    EXPECT_FALSE(checker.compare("朱熹", "shu xi", "700").unsure);

    pinyin::UserWords words;
    words.add("叶圣陶", "ye sheng tao");
    words.add("陶", "yao");
    app::PinyinChecker listed(table, settings, &words);
    const app::PinyinComparison r = listed.compare("叶圣陶", "xie sheng tao", "700");
    EXPECT_EQ(r.places, std::vector<std::size_t>{1});
    EXPECT_FALSE(r.unsure);  // a listed word is never asked about
    EXPECT_EQ(listed.compare("陶", "tao", "700").ours, "yao");
}

}  // namespace
