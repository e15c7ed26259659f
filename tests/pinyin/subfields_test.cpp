// Pinyin for every subfield that holds Chinese, under the capital of its code: which subfields
// get it, the existing-pinyin rules per subfield, taking pinyin out again, and the chooser.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "pinyin/annotate.h"
#include "pinyin/existing.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

class SubfieldsTest : public ::testing::Test {
protected:
    SubfieldsTest() {
        testing::fillSmallTable(table);
        for (auto [c, py] : {std::pair{U'红', "Hong"},
                             {U'楼', "Lou"},
                             {U'梦', "Meng"},
                             {U'曹', "Cao"},
                             {U'雪', "Xue"},
                             {U'芹', "Qin"},
                             {U'著', "Zhu Zhuo"},
                             {U'李', "Li"},
                             {U'白', "Bai"},
                             {U'唐', "Tang"},
                             {U'诗', "Shi"},
                             {U'人', "Ren"}})
            table.add(c, py);
        settings.polyphone = Polyphone::Automatic;
        settings.subfields = Subfields::Chinese;
    }
    std::string run(std::string_view line) {
        Romaniser romaniser(table, settings, nullptr);
        const std::string out = annotateRecord(line, settings, romaniser);
        return out.substr(0, out.size() - 2);  // the CR LF every line gets
    }
    PinyinTable table;
    RunSettings settings;
};

TEST_F(SubfieldsTest, EveryLowerCaseSubfieldWithChineseGetsItsCapital) {
    // A title: $v holds digits and gets none; $a, $e and $f each get theirs right behind them.
    const char* title = "200 1 |a红楼梦|e中国文|f曹雪芹著|v2";
    EXPECT_EQ(run(title),
              "200 1 |a红楼梦|Ahong lou meng|e中国文|Ezhong guo wen|f曹雪芹著|Fcao xue qin zhu|v2");
    // A name: the entry element, the rest of the name and an addition.
    EXPECT_EQ(run("701  0|a李|b白|c唐诗人|4070"), "701  0|a李|Ali|b白|Bbai|c唐诗人|Ctang shi ren|4070");
    // Subfields without Chinese, empty ones, digits, Latin text and codes that are no lower-case
    // letter get none; the head is never a subfield.
    EXPECT_EQ(run("200 1 |aHarry|e|1中|x（２）|Z中||a中"), "200 1 |aHarry|e|1中|x（２）|Z中||a中|Azhong");
    settings.tagList = "a00,200,701";
    EXPECT_EQ(run("a00 12|b中"), "a00 12|b中|Bzhong");
    // The letter case chosen applies to every subfield.
    settings.letterCase = LetterCase::Capitalised;
    EXPECT_EQ(run("200 1 |a红楼梦|f曹雪芹"), "200 1 |a红楼梦|AHong Lou Meng|f曹雪芹|FCao Xue Qin");
    // The code chosen for subfield a is not read: each capital says which subfield it romanises.
    settings.useCodeA = false;
    EXPECT_EQ(run("701  0|a李"), "701  0|a李|ALi");
    // Unlisted fields stay as they are.
    EXPECT_EQ(run("330   |a中国|b文"), "330   |a中国|b文");
}

TEST_F(SubfieldsTest, TheDefaultModeStillRomanisesSubfieldAOnly) {
    settings.subfields = Subfields::A;
    EXPECT_EQ(run("200 1 |a红楼梦|e中国文|f曹雪芹著|v2"),
              "200 1 |a红楼梦|Ahong lou meng|e中国文|f曹雪芹著|v2");
    EXPECT_EQ(run("200 1 |aHarry|Fx"),
              "200 1 |aHarry|AHarry|Fx");  // $a gets one whatever it holds; $F is data
}

TEST_F(SubfieldsTest, ExistingPinyinPerSubfield) {
    const char* line = "200 1 |a红楼梦|AHONG LOU|e中国|f曹雪芹|Fcao|v2|Vx";
    // delete: each capital that stands behind its source is replaced; $V behind $v is taken
    // out too, and $v, without Chinese, gets none.
    EXPECT_EQ(run(line), "200 1 |a红楼梦|Ahong lou meng|e中国|Ezhong guo|f曹雪芹|Fcao xue qin|v2");
    // keep: a subfield whose romanisation is there is left as it is, the others get theirs.
    settings.delExisting = false;
    EXPECT_EQ(run(line), "200 1 |a红楼梦|AHONG LOU|e中国|Ezhong guo|f曹雪芹|Fcao|v2|Vx");
    // keep: only the subfield right behind counts, never the line's head, even when the last
    // subfield's capital is the first letter of its tag.
    const std::string tags = settings.tagList;
    settings.tagList = "B01";
    EXPECT_EQ(run("B01  0|b白"), "B01  0|b白|Bbai");
    EXPECT_EQ(run("B01  0|b白|Bbai"), "B01  0|b白|Bbai");
    settings.tagList = tags;
    // Both are stable: a second run changes nothing.
    for (const bool del : {true, false}) {
        settings.delExisting = del;
        const std::string once = run(line);
        EXPECT_EQ(run(once), once) << del;
    }
}

TEST_F(SubfieldsTest, ALoneCapitalIsDataUnderEveryRule) {
    // $F behind $e, $A first, $E behind another $E: none stands behind its source.
    const char* line = "200 1 |Alocal|a中|e文|Fkeep|f国|x1|Ey";
    const char* annotated = "200 1 |Alocal|a中|Azhong|e文|Ewen|Fkeep|f国|Fguo|x1|Ey";
    for (const bool del : {true, false}) {
        settings.delExisting = del;
        EXPECT_EQ(run(line), annotated) << del;
    }
    EXPECT_EQ(run("200 1 |a中|Azhong|Aagain"), "200 1 |a中|Azhong|Aagain");
    settings.delExisting = true;
    EXPECT_EQ(run("200 1 |a中|Aold|Aagain"), "200 1 |a中|Azhong|Aagain");
    settings.removePinyin = true;
    EXPECT_EQ(run(annotated), line);
}

TEST_F(SubfieldsTest, WhichSubfieldsArePinyin) {
    const Subfields every = Subfields::Chinese;
    EXPECT_TRUE(isPinyinSubfield("Fcao", "f曹", every));
    EXPECT_TRUE(isPinyinSubfield("A", "a", every));  // whatever either holds
    EXPECT_FALSE(isPinyinSubfield("Fcao", "e曹", every));
    EXPECT_FALSE(isPinyinSubfield("Fcao", "", every));
    EXPECT_FALSE(isPinyinSubfield("Fcao", "Fcao", every));
    EXPECT_FALSE(isPinyinSubfield("9zhong", "a中", every));  // a 9 is data here
    EXPECT_FALSE(isPinyinSubfield("fcao", "f曹", every));
    EXPECT_TRUE(isPinyinSubfield("9zhong", "a中", Subfields::A));
    EXPECT_TRUE(carriesPinyin("701  0|a李|b白|Bbai", every));
    EXPECT_FALSE(carriesPinyin("701  0|a李|Bbai|b白", every));
    EXPECT_FALSE(carriesPinyin("A01  0|a李", every));  // the head is no subfield
    EXPECT_TRUE(holdsChinese("（2）红"));
    EXPECT_TRUE(holdsChinese("\xF0\xA0\x80\x80"));  // U+20000, beyond the common blocks
    EXPECT_FALSE(holdsChinese("（２）、Harry"));
}

TEST_F(SubfieldsTest, RemovingGivesBackTheLineARunWasGiven) {
    const char* lines[] = {
        "200 1 |a红楼梦|e中国文|f曹雪芹著|v2",
        "701  0|a李|b白|c唐诗人|4070",
        "200 1 |9local|a中|91234|Xx|e文||f",
        "606   |a中国|xHistory|91234",
        "200 1 |a|e|",
    };
    for (const Subfields mode : {Subfields::A, Subfields::Chinese}) {
        for (const char* line : lines) {
            settings.subfields = mode;
            settings.removePinyin = false;
            const std::string annotated = run(line);
            settings.removePinyin = true;
            EXPECT_EQ(run(annotated), line) << annotated;
            EXPECT_EQ(run(line), line) << line;  // nothing to take out
        }
    }
    // Taking out is the chosen mode's: the default mode takes A and a 9 that reads as pinyin,
    // and leaves $F; the other leaves a lone A and every 9.
    settings.subfields = Subfields::A;
    EXPECT_EQ(run("200 1 |a中|9zhong|f文|Fwen|Ax"), "200 1 |a中|f文|Fwen");
    settings.subfields = Subfields::Chinese;
    EXPECT_EQ(run("200 1 |a中|9zhong|f文|Fwen|Ax"), "200 1 |a中|9zhong|f文|Ax");
    // Counted as the fields pinyin came out of.
    AnnotateCounts counts;
    Romaniser romaniser(table, settings, nullptr);
    annotateRecord("200 1 |a中|Azhong\r\n701  0|a李\r\n330   |a中|Azhong", settings, romaniser, &counts);
    EXPECT_EQ(counts.listed, 2);
    EXPECT_EQ(counts.annotated, 1);
}

TEST_F(SubfieldsTest, TheChooserAndTheWordListWorkInEverySubfield) {
    settings.polyphone = Polyphone::Manual;
    testing::ScriptedChooser chooser({"Hang", "Zhang"});
    Romaniser romaniser(table, settings, &chooser);
    UserWords words;
    words.add("中行", "zhong hang");
    romaniser.setWords(&words);
    const std::string out = annotateRecord("200 1 |a中行|e行|f长", settings, romaniser);
    EXPECT_EQ(out, "200 1 |a中行|Azhong hang|e行|Ehang|f长|Fzhang\r\n");
    ASSERT_EQ(chooser.asked.size(), 2u);  // the listed word is never asked about
    EXPECT_EQ(chooser.asked[0].tag, "200");
    EXPECT_EQ(chooser.asked[0].subfield, 'e');
    EXPECT_EQ(chooser.asked[1].subfield, 'f');
}

}  // namespace
}  // namespace pinyin
