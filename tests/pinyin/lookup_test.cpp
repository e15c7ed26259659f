// Romanising texts against a hand-made table: what each kind of character contributes.
#include "pinyin/lookup.h"

#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "fixtures.h"

namespace pinyin {
namespace {

using testing::ScriptedChooser;

class RomaniserTest : public ::testing::Test {
protected:
    RomaniserTest() {
        testing::fillSmallTable(table);
        settings.polyphone = Polyphone::Automatic;
    }
    PinyinTable table;
    RunSettings settings;
};

TEST_F(RomaniserTest, CharactersContributeByKind) {
    Romaniser r(table, settings, nullptr);
    const std::string bar = "\xEF\xB7\x90";  // U+FDD0, the working record's stand-in for a "|" of field data
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"ISBN 7-5600, (2nd ed.)!", "ISBN 7-5600, (2nd ed.)!"},
        {"中a国1文", "zhong aguo 1wen "},              // a Latin letter or digit sticks to the next reading
        {"中，国：", "zhong guo "},                    // full-width punctuation without a row: gone
        {"中丙国", "zhong guo "},                      // a Chinese character without a row too
        {"Nājī，Ωμέγα１", "NājīΩμέγα１"},              // letters and digits without a row: copied
        {"中한😀国", "zhong 한😀guo "},                  // outside GBK: copied through, no separator
        {"中" + bar + "国", "zhong " + bar + "guo "},  // a "|" of field data passes untouched
        {"中空国", "zhong  guo "},                     // an empty Py1 stands for one space
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(r.pinyin(text), expected) << text;
}

TEST_F(RomaniserTest, SpacingApartSetsDigitsAndLettersApartFromTheSyllableAfterThem) {
    Romaniser r(table, settings, nullptr);
    const std::pair<std::string, std::string> cases[] = {
        // text, glued, apart
        {"中1国", "zhong 1guo |zhong 1 guo "},
        {"2010中", "2010zhong |2010 zhong "},
        {"中ISBN7国", "zhong ISBN7guo |zhong ISBN7 guo "},
        {"中1，国", "zhong 1guo |zhong 1 guo "},     // punctuation without a row is no syllable
        {"中(1)国", "zhong (1)guo |zhong (1)guo "},  // only a letter or digit right before it
        {"中1丙", "zhong 1|zhong 1"},                // a character without a row adds nothing
        {"中1 国", "zhong 1 guo |zhong 1 guo "},     // a space already there is not doubled
        {"Nājī中", "Nājīzhong |Nājī zhong "},        // letters beyond ASCII too
        {"Ωμέγα中", "Ωμέγαzhong |Ωμέγα zhong "},
        {"中1한国", "zhong 1한guo |zhong 1한guo "},  // Hangul: no alphabet of spaced words
    };
    for (const auto& [text, both] : cases) {
        const std::size_t bar = both.find('|');
        settings.spacing = Spacing::Glued;
        EXPECT_EQ(r.pinyin(text), both.substr(0, bar)) << text;
        settings.spacing = Spacing::Apart;
        EXPECT_EQ(r.pinyin(text), both.substr(bar + 1)) << text;
    }
    // Every way a syllable is taken: capitals, the chooser's answer; and the start of each
    // character's pinyin is where its syllable starts.
    settings.letterCase = LetterCase::Capitalised;
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({"Hang"});
    r.setChooser(&chooser);
    std::vector<std::size_t> starts;
    r.setStarts(&starts);
    EXPECT_EQ(r.pinyin("A行B中"), "A Hang B Zhong ");
    EXPECT_EQ(starts, (std::vector<std::size_t>{0, 2, 7, 9, 15}));
}

TEST_F(RomaniserTest, LetterCaseIsReadAtEveryLookupAndOnlyLowerCaseWritesV) {
    Romaniser r(table, settings, nullptr);
    EXPECT_EQ(r.pinyin("中国怪驴绿吕"), "zhong guo mcdonald lv lü v ");
    settings.letterCase = LetterCase::Capitalised;
    EXPECT_EQ(r.pinyin("中国怪驴绿吕"), "Zhong Guo McDonald Lv Lü Ǘ ");

    // A change made while the chooser is open applies from the next character on.
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({"Hang"});
    chooser.onAsk = [&](const ChooserRequest&) { settings.letterCase = LetterCase::Lower; };
    r.setChooser(&chooser);
    EXPECT_EQ(r.pinyin("中行国"), "Zhong hang guo ");
}

TEST_F(RomaniserTest, AutomaticTakesTheFirstReadingAndKeepsIt) {
    Romaniser r(table, settings, nullptr);
    EXPECT_EQ(r.lastReading, "");
    EXPECT_EQ(r.pinyin("银行"), "xing ");
    EXPECT_EQ(r.lastReading, "Xing");
    // Stray and doubled spaces: the text before the first space of the trimmed value.
    EXPECT_EQ(r.pinyin("音乐"), "le ");
    r.pinyin("中");  // one reading leaves lastReading alone
    EXPECT_EQ(r.lastReading, "Le");
}

TEST_F(RomaniserTest, ManualAsksTheChooserForEveryPolyphonicCharacter) {
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({"Hang", "Zhang", "Yue"});
    Romaniser r(table, settings, &chooser);
    EXPECT_EQ(r.pinyin("中行长😀乐"), "zhong hang zhang 😀yue ");
    ASSERT_EQ(chooser.asked.size(), 3u);
    const ChooserRequest& first = chooser.asked[0];
    EXPECT_EQ(first.text, "中行长😀乐");
    EXPECT_EQ(first.position, 2);
    EXPECT_EQ(first.readings, "Xing Hang");
    EXPECT_EQ(first.character, "行");
    EXPECT_EQ(first.suggested, 0);
    // Positions count UTF-16 code units (the emoji takes two); the readings are trimmed, inner spaces stay.
    EXPECT_EQ(chooser.asked[1].position, 3);
    EXPECT_EQ(chooser.asked[2].position, 6);
    EXPECT_EQ(chooser.asked[2].readings, "Le  Yue");
    EXPECT_EQ(r.lastReading, "Yue");
}

TEST_F(RomaniserTest, AnswersAreUsedAsGivenAndNoAnswerReusesTheLastReading) {
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({std::nullopt, "Zhang", std::nullopt, std::nullopt, "HÁNǗ", "Nǘ"});
    Romaniser r(table, settings, &chooser);
    EXPECT_EQ(r.pinyin("行"), " ");  // nothing chosen since start-up: a lone space
    EXPECT_EQ(r.pinyin("长"), "zhang ");
    EXPECT_EQ(r.pinyin("行"), "zhang ");  // kept across calls
    settings.polyphone = Polyphone::Automatic;
    r.pinyin("乐");  // an automatic resolution sets it too
    settings.polyphone = Polyphone::Manual;
    EXPECT_EQ(r.pinyin("行"), "le ");
    // An answer the table does not list is used as given, under the letter case and the v rule.
    settings.letterCase = LetterCase::Capitalised;
    EXPECT_EQ(r.pinyin("行"), "HÁNǗ ");
    settings.letterCase = LetterCase::Lower;
    EXPECT_EQ(r.pinyin("行"), "nv ");
    EXPECT_EQ(r.lastReading, "Nǘ");
}

TEST_F(RomaniserTest, WithoutAChooserOrPhraseDataTheModesFallBack) {
    // Manual choice with nobody to ask is the caller's mistake, not a mode.
    settings.polyphone = Polyphone::Manual;
    Romaniser r(table, settings, nullptr);
    EXPECT_THROW(r.pinyin("行长"), std::logic_error);
    // Without phrase data the phrase mode is the automatic one, and "ask only when unsure" asks.
    ASSERT_EQ(table.phrases(), nullptr);
    settings.polyphone = Polyphone::Phrase;
    EXPECT_EQ(r.pinyin("行长"), "xing chang ");
    settings.polyphone = Polyphone::Manual;
    settings.askOnlyWhenUnsure = true;
    ScriptedChooser chooser({"Hang", "Zhang"});
    r.setChooser(&chooser);
    EXPECT_EQ(r.pinyin("行长", "200"), "hang zhang ");
    EXPECT_EQ(chooser.asked.size(), 2u);
}

}  // namespace
}  // namespace pinyin
