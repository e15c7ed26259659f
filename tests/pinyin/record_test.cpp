// A record through annotation and the writer: the pinyin lands behind the title, and every
// length counts GBK bytes.
#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "fixtures.h"
#include "marc/writer.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

TEST(AnnotatedRecordTest, TitlePinyinThroughTheWriter) {
    PinyinTable table;
    testing::fillSmallTable(table);
    for (auto [c, py] : {std::pair{U'书', "Shu"}, {U'名', "Ming"}, {U'张', "Zhang"},
                         {U'三', "San"}, {U'著', "Zhu Zhuo"}, {U'北', "Bei"}, {U'京', "Jing"}})
        table.add(c, py);
    RunSettings settings;
    settings.polyphone = Polyphone::Automatic;
    Romaniser romaniser(table, settings, nullptr);

    const std::string working = "001    A0001\r\n"
                                "005    20240102030405.0\r\n"
                                "101 0  |achi\r\n"
                                "200 1  |a书名|f张三著\r\n"
                                "210    |a北京|d2024\r\n"
                                "701  0 |a张三|4著";
    const std::string annotated = py(working, settings, romaniser);
    EXPECT_EQ(annotated,
              "001    A0001\r\n"
              "005    20240102030405.0\r\n"
              "101 0  |achi\r\n"
              "200 1  |a书名|Ashu ming|f张三著\r\n"
              "210    |a北京|d2024\r\n"
              "701  0 |a张三|Azhang san|4著\r\n");

    const auto clock = [] { return marc::LocalTime{2030, 1, 1, 0, 0, 0}; };
    const std::string bytes = marc::marcToIsoBytes(annotated + "\r\n", codepage::Codec::gbk(), clock);
    // 001 6, 005 17, 101 8, 200 27, 210 15, 701 24 bytes: each Chinese character counts two.
    const std::string expected =
        "00195nam0 2200097   450 "
        "001000600000005001700006101000800023200002700031210001500058701002400073\x1E"
        "A0001\x1E" "20240102030405.0\x1E" "0 \x1F" "achi\x1E"
        "1 \x1F" "a书名\x1F" "Ashu ming\x1F" "f张三著\x1E"
        "  \x1F" "a北京\x1F" "d2024\x1E"
        " 0\x1F" "a张三\x1F" "Azhang san\x1F" "4著\x1E\x1D";
    EXPECT_EQ(bytes.size(), 195u);
    EXPECT_EQ(codepage::Codec::gbk().decode(bytes), expected);
}

}  // namespace
}  // namespace pinyin
