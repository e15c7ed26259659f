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
    EXPECT_EQ(r.pinyin(""), "");
    EXPECT_EQ(r.pinyin("ISBN 7-5600, (2nd ed.)!"), "ISBN 7-5600, (2nd ed.)!");
    EXPECT_EQ(r.pinyin("中国"), "zhong guo ");
    // A Latin letter or digit between two readings sticks to the next one.
    EXPECT_EQ(r.pinyin("中a国1文"), "zhong aguo 1wen ");
    // Full-width punctuation and digits are double-byte: looked up, and without a row gone.
    EXPECT_EQ(r.pinyin("中，国：１"), "zhong guo ");
    // Double-byte characters without a row drop out too.
    EXPECT_EQ(r.pinyin("中丙国"), "zhong guo ");
    // Hangul and emoji are outside GBK: copied through, no separator.
    EXPECT_EQ(r.pinyin("中한😀国"), "zhong 한😀guo ");
    // A "|" that stood in field data arrives as the data bar and passes through untouched.
    const std::string bar(codepage::kDataBar);
    EXPECT_EQ(r.pinyin("中" + bar + "国"), "zhong " + bar + "guo ");
    // An empty Py1 stands for one space.
    EXPECT_EQ(r.pinyin("中空国"), "zhong  guo ");
}

TEST_F(RomaniserTest, LetterCaseIsReadAtEveryLookup) {
    Romaniser r(table, settings, nullptr);
    settings.letterCase = LetterCase::Capitalised;
    EXPECT_EQ(r.pinyin("中国怪"), "Zhong Guo McDonald ");
    settings.letterCase = LetterCase::Lower;
    EXPECT_EQ(r.pinyin("中国怪"), "zhong guo mcdonald ");

    // A change made while the chooser is open applies from the next character on.
    settings.polyphone = Polyphone::Manual;
    settings.letterCase = LetterCase::Capitalised;
    ScriptedChooser chooser({"Hang"});
    chooser.onAsk = [&](const ChooserRequest&) { settings.letterCase = LetterCase::Lower; };
    r.setChooser(&chooser);
    EXPECT_EQ(r.pinyin("中行国"), "Zhong hang guo ");
}

TEST_F(RomaniserTest, SmallUWithDiaeresisAndAcuteBecomesV) {
    Romaniser r(table, settings, nullptr);
    EXPECT_EQ(r.pinyin("驴绿吕"), "lv lü v ");
    settings.letterCase = LetterCase::Capitalised;
    // Exact: the capital form and the plain diaeresis stay under the stored-form scheme.
    EXPECT_EQ(r.pinyin("驴绿吕"), "Lv Lü Ǘ ");
}

TEST_F(RomaniserTest, AutomaticTakesTheFirstReadingAndKeepsIt) {
    Romaniser r(table, settings, nullptr);
    EXPECT_EQ(r.selpy, "");
    EXPECT_EQ(r.pinyin("银行"), "xing ");
    EXPECT_EQ(r.selpy, "Xing");
    // Stray and doubled spaces: the text before the first space of the trimmed value.
    EXPECT_EQ(r.pinyin("音乐"), "le ");
    EXPECT_EQ(r.selpy, "Le");
    // A character with one reading leaves selpy alone.
    r.pinyin("中");
    EXPECT_EQ(r.selpy, "Le");
}

TEST_F(RomaniserTest, ManualAsksTheChooserForEveryPolyphonicCharacter) {
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({"Hang", "Zhang", "Yue"});
    Romaniser r(table, settings, &chooser);
    EXPECT_EQ(r.pinyin("中行长😀乐"), "zhong hang zhang 😀yue ");
    ASSERT_EQ(chooser.asked.size(), 3u);
    const ChooserRequest& first = chooser.asked[0];
    EXPECT_EQ(first.allHz, "中行长😀乐");
    EXPECT_EQ(first.dyStr, 2);
    EXPECT_EQ(first.pystr, "Xing Hang");
    EXPECT_EQ(first.hz, "行");
    EXPECT_EQ(first.suggested, 0);
    // Positions count UTF-16 code units: the emoji takes two.
    EXPECT_EQ(chooser.asked[1].dyStr, 3);
    EXPECT_EQ(chooser.asked[2].dyStr, 6);
    // pystr is trimmed, inner doubled spaces stay.
    EXPECT_EQ(chooser.asked[2].pystr, "Le  Yue");
    EXPECT_EQ(r.selpy, "Yue");
}

TEST_F(RomaniserTest, NoChoiceKeepsThePreviousSelpy) {
    settings.polyphone = Polyphone::Manual;
    ScriptedChooser chooser({std::nullopt, "Zhang", std::nullopt});
    Romaniser r(table, settings, &chooser);
    // Nothing chosen since start-up: the reading is empty, a lone space.
    EXPECT_EQ(r.pinyin("行"), " ");
    EXPECT_EQ(r.pinyin("长"), "zhang ");
    // Kept across calls: the next unanswered question reuses it.
    EXPECT_EQ(r.pinyin("行"), "zhang ");
    EXPECT_EQ(r.selpy, "Zhang");

    // An automatic resolution sets it too.
    settings.polyphone = Polyphone::Automatic;
    r.pinyin("乐");
    settings.polyphone = Polyphone::Manual;
    EXPECT_EQ(r.pinyin("行"), "le ");
}

TEST_F(RomaniserTest, ManualAnswersTakeCaseAndTheVRule) {
    settings.polyphone = Polyphone::Manual;
    settings.letterCase = LetterCase::Capitalised;
    // An answer the table does not list is used as given.
    ScriptedChooser chooser({"HÁNǗ", "Nǘ"});
    Romaniser r(table, settings, &chooser);
    EXPECT_EQ(r.pinyin("行"), "HÁNǗ ");
    settings.letterCase = LetterCase::Lower;
    EXPECT_EQ(r.pinyin("行"), "nv ");
    EXPECT_EQ(r.selpy, "Nǘ");
}

TEST_F(RomaniserTest, WithoutAChooserOrPhraseDataTheModesFallBack) {
    // The command line has no chooser: manual takes the first reading.
    settings.polyphone = Polyphone::Manual;
    Romaniser r(table, settings, nullptr);
    EXPECT_EQ(r.pinyin("行长"), "xing chang ");
    EXPECT_EQ(r.selpy, "Chang");

    // Without phrase data the phrase mode is the automatic one, and "ask only when unsure"
    // asks every time.
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
