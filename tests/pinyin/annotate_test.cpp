// Annotating working records: which lines get pinyin, where it goes, old pinyin, and taking it out.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "pinyin/annotate.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

struct Case {
    const char* why;
    const char* input;
    const char* expected;
    const char* tagList = nullptr;  // the default list when null
    bool delExisting = true;
    bool useCodeA = true;
};

const Case cases[] = {
    {"listed line", "200 1 |a中国|f文", "200 1 |a中国|Azhong guo|f文\r\n"},
    {"code 9", "200 1 |a中国|f文", "200 1 |a中国|9zhong guo|f文\r\n", nullptr, true, false},
    {"two subfields a; ends trimmed, inner spaces kept", "225 2 |a 中 国|vx|a文 ",
     "225 2 |a 中 国|Azhong  guo|vx|a文 |Awen\r\n"},
    {"empty subfield a", "200 1 |a|f文", "200 1 |a|A|f文\r\n"},
    {"only listed tags", "001    0001\r\n010   |a7-5600\r\n200 1 |a中国\r\n300   |a中国||b\r\n701  0|a文|4著",
     "001    0001\r\n010   |a7-5600\r\n200 1 |a中国|Azhong guo\r\n300   |a中国||b\r\n701  "
     "0|a文|Awen|4著\r\n"},
    {"listed control field", "001    中国", "001    中国\r\n", "001,200"},
    {"list matched as text", "022   |a中\r\n002   |a国\r\n225   |a文\r\n202   |a中",
     "022   |a中|Azhong\r\n002   |a国|Aguo\r\n225   |a文|Awen\r\n202   |a中\r\n", "200225"},
    {"blank tag never listed", "   1 |a中", "   1 |a中\r\n", " 200"},
    {"|A is no subfield a, and is pinyin", "200 1 |A中国", "200 1 |A中国\r\n", nullptr, false},
    {"|a after another subfield", "200 1 |b中|a国", "200 1 |b中|a国|Aguo\r\n", nullptr, false},
    {"empty subfields kept on listed lines", "200 1 |b x||c y|||a中|", "200 1 |b x||c y|||a中|Azhong|\r\n"},
    {"unlisted lines untidied", "200 1 |b x||c y|", "200 1 |b x||c y|\r\n", "300"},
    {"empty record", "", "\r\n"},
    {"lone CR splits, lone LF vanishes", "200 1 |a中\r国\n文\r\n300   |a",
     "200 1 |a中|Azhong\r\n国文\r\n300   |a\r\n"},
    {"head is never a subfield", "a00 12|a中", "a00 12|a中|Azhong\r\n", "a00"},
    {"existing pinyin kept", "200 1 |a中国|AZhong Guo|f文", "200 1 |a中国|AZhong Guo|f文\r\n", nullptr,
     false},
    {"a 9 with other data is data", "200 1 |a中|9local", "200 1 |a中|Azhong|9local\r\n", nullptr, false},
    {"a 9 that reads as pinyin counts", "200 1 |a中|9Zhong", "200 1 |a中|9Zhong\r\n", nullptr, false},
    {"existing pinyin redone", "200 1 |a中国|AZhong Guo|f文", "200 1 |a中国|9zhong guo|f文\r\n", nullptr,
     true, false},
    {"every old pinyin goes, data stays", "200 1 |9local|a中|9zhong|Ax|Ay", "200 1 |9local|a中|9zhong\r\n",
     nullptr, true, false},
    {"unlisted lines keep theirs", "330   |a中|Ax|9y", "330   |a中|Ax|9y\r\n"},
};

TEST(Annotation, ListedLinesGainPinyinAndTheRestStayAsTheyWere) {
    PinyinTable table;
    testing::fillSmallTable(table);
    for (const Case& c : cases) {
        RunSettings settings;
        settings.polyphone = Polyphone::Automatic;
        if (c.tagList) settings.tagList = c.tagList;
        settings.delExisting = c.delExisting;
        settings.useCodeA = c.useCodeA;
        Romaniser romaniser(table, settings, nullptr);
        EXPECT_EQ(annotateRecord(c.input, settings, romaniser), c.expected) << c.why;
    }
}

TEST(TakingPinyinOut, RemovesEveryPinyinSubfieldAndNothingElse) {
    EXPECT_EQ(withoutPinyin("200 1 |a中国|f文", Subfields::A), "200 1 |a中国|f文");
    EXPECT_EQ(withoutPinyin("200 1 |Ax|a中|9Zhong||f文|Az|9", Subfields::A), "200 1 |a中||f文|9");
    // A 9 that is not the pinyin of the subfield a right before it is data.
    EXPECT_EQ(withoutPinyin("606   |91234|a中|91234|xy|9zhong", Subfields::A),
              "606   |91234|a中|91234|xy|9zhong");
    EXPECT_EQ(withoutPinyin("200 1 |a中|Ax", Subfields::A), "200 1 |a中");
    // The head stays, whatever its first character.
    EXPECT_EQ(withoutPinyin("905   |Ax|a中", Subfields::A), "905   |a中");
    EXPECT_EQ(withoutPinyin("A05   |Ax|a中", Subfields::A), "A05   |a中");
    EXPECT_EQ(withoutPinyin("001    abc", Subfields::A), "001    abc");
    EXPECT_EQ(withoutPinyin("", Subfields::A), "");
}

}  // namespace
}  // namespace pinyin
