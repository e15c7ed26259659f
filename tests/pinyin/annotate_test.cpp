// Annotating working records: which lines get pinyin, where it goes, old pinyin, and a record
// through the writer whose lengths count GBK bytes.
#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "fixtures.h"
#include "marc/writer.h"
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

TEST(Annotation, TitlePinyinThroughTheWriter) {
    PinyinTable table;
    testing::fillSmallTable(table);
    for (auto [c, py] : {std::pair{U'书', "Shu"},
                         {U'名', "Ming"},
                         {U'张', "Zhang"},
                         {U'三', "San"},
                         {U'著', "Zhu Zhuo"},
                         {U'北', "Bei"},
                         {U'京', "Jing"}})
        table.add(c, py);
    RunSettings settings;
    settings.polyphone = Polyphone::Automatic;
    Romaniser romaniser(table, settings, nullptr);

    const std::string working =
        "001    A0001\r\n"
        "005    20240102030405.0\r\n"
        "101 0  |achi\r\n"
        "200 1  |a书名|f张三著\r\n"
        "210    |a北京|d2024\r\n"
        "701  0 |a张三|4著";
    const std::string annotated = annotateRecord(working, settings, romaniser);
    EXPECT_EQ(annotated,
              "001    A0001\r\n"
              "005    20240102030405.0\r\n"
              "101 0  |achi\r\n"
              "200 1  |a书名|Ashu ming|f张三著\r\n"
              "210    |a北京|d2024\r\n"
              "701  0 |a张三|Azhang san|4著\r\n");

    const auto clock = [] { return marc::LocalTime{2030, 1, 1, 0, 0, 0}; };
    const std::string bytes = marc::recordFromWorkingText(annotated + "\r\n", codepage::Codec::gbk(), clock);
    // 001 6, 005 17, 101 8, 200 27, 210 15, 701 24 bytes: each Chinese character counts two.
    const std::string expected =
        "00195nam0 2200097   450 "
        "001000600000005001700006101000800023200002700031210001500058701002400073\036A0001\03620240102030405."
        "0\0360 \037achi\0361 \037a书名\037Ashu ming\037f张三著\036  \037a北京\037d2024\036 "
        "0\037a张三\037Azhang san\0374著\x1E\x1D";
    EXPECT_EQ(bytes.size(), 195u);
    EXPECT_EQ(codepage::Codec::gbk().decode(bytes), expected);
}

}  // namespace
}  // namespace pinyin
