// Which subfields of a listed field are pinyin already there, and which are data: one rule that
// keeping, deleting, the check and the writer share.
#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "fixtures.h"
#include "marc/writer.h"
#include "pinyin/annotate.h"
#include "pinyin/existing.h"
#include "pinyin/lookup.h"

namespace pinyin {
namespace {

TEST(ReadsAsPinyinTest, SyllablesInTheFormsCataloguersWrite) {
    for (const char* text : {"zhong guo", "Zhong Guo", "ZHONGGUO", "Zhongguo", "zhōng guó", "zhong1 guo2",
                             "zhong1guo2", " zhong guo ", "Xi'an", "xi an", "lü", "lv", "lǘ", "nü ren",
                             "Zhong-guo", "zhong guo.", "(zhong guo)", "zho\xCC\x84ng guo"})
        EXPECT_TRUE(readsAsPinyinOf(text, "中国")) << text;
    // Digits and Latin words the title holds, as a romanisation copies them, glued or not.
    EXPECT_TRUE(readsAsPinyinOf("di 2 ban", "第2版"));
    EXPECT_TRUE(readsAsPinyinOf("2008nian bei jing", "2008年北京"));
    EXPECT_TRUE(readsAsPinyinOf("2 0 0 8 nian", "２００８年"));  // full-width digits read one by one
    EXPECT_TRUE(readsAsPinyinOf("ABCzhong guo", "ABC中国"));
    EXPECT_TRUE(readsAsPinyinOf("Harry Potter", "Harry Potter"));  // a title with no Chinese
    EXPECT_TRUE(readsAsPinyinOf("", ""));
    EXPECT_TRUE(readsAsPinyinOf("", "  "));
}

TEST(ReadsAsPinyinTest, IdentifiersAndOtherDataAreNot) {
    for (const char* text : {"1234", "a001000", "(CN)123", "ppn123456", "local", "http://viaf.org/viaf/123",
                             "zhong guo 1234", "", "-", "中国", "12844147", "zhong2008"})
        EXPECT_FALSE(readsAsPinyinOf(text, "中国")) << text;
    // Digits only count where the title has them; a title with those digits still needs a syllable.
    EXPECT_FALSE(readsAsPinyinOf("1234", "1234年"));
    EXPECT_FALSE(readsAsPinyinOf("1234", "Smith"));
    EXPECT_FALSE(readsAsPinyinOf("a001000", "Clément-Janin"));
}

TEST(PinyinSubfieldTest, AnAWhereverItStandsANineOnlyBehindItsTitle) {
    EXPECT_TRUE(isPinyinSubfield("Ax", ""));
    EXPECT_TRUE(isPinyinSubfield("A1234", "a中国"));
    EXPECT_TRUE(isPinyinSubfield("9zhong guo", "a中国"));
    EXPECT_FALSE(isPinyinSubfield("9zhong guo", ""));       // the first subfield
    EXPECT_FALSE(isPinyinSubfield("9zhong guo", "x中国"));  // behind another subfield
    EXPECT_FALSE(isPinyinSubfield("9zhong guo", "Azhong guo"));
    EXPECT_FALSE(isPinyinSubfield("91234", "a中国"));
    EXPECT_FALSE(isPinyinSubfield("a中国", ""));
    EXPECT_FALSE(isPinyinSubfield("", "a中国"));

    EXPECT_FALSE(carriesPinyin("606   |a中国|xHistory|91234"));
    EXPECT_FALSE(carriesPinyin("701  0|9a001000|312844147|a李|b白"));
    EXPECT_FALSE(carriesPinyin("606   |a中国|91234"));
    EXPECT_TRUE(carriesPinyin("606   |a中国|9zhong guo"));
    EXPECT_TRUE(carriesPinyin("200 1 |a中国|eX|AZhong guo"));
    EXPECT_FALSE(carriesPinyin("9A0   |a中国"));  // the head is no subfield
}

/// One listed line through annotateRecord() in the three ways a run and the check can take it.
struct Koha {
    const char* why;
    const char* line;
    const char* deleted;  // --existing delete, --code A
    const char* kept;     // --existing keep, --code A
};

const Koha kohaLines[] = {
    {"9 at the end", "606   |a中国|xHistory|91234", "606   |a中国|Azhong guo|xHistory|91234",
     "606   |a中国|Azhong guo|xHistory|91234"},
    {"9 at the start", "606   |91234|a中国", "606   |91234|a中国|Azhong guo",
     "606   |91234|a中国|Azhong guo"},
    {"identifier behind $a", "606   |a中国|91234", "606   |a中国|Azhong guo|91234",
     "606   |a中国|Azhong guo|91234"},
    {"Koha 701", "701  0|9a001000|312844147|a李|b白", "701  0|9a001000|312844147|a李|Ali|b白",
     "701  0|9a001000|312844147|a李|Ali|b白"},
    {"pinyin behind $a", "606   |a中国|9 Zhong guo ", "606   |a中国|Azhong guo", "606   |a中国|9 Zhong guo "},
    {"pinyin behind $a, identifier later", "606   |a中国|9zhong guo|91234", "606   |a中国|Azhong guo|91234",
     "606   |a中国|9zhong guo|91234"},
    {"an A anywhere", "200 1 |a中国|eX|AZhong guo", "200 1 |a中国|Azhong guo|eX",
     "200 1 |a中国|eX|AZhong guo"},
    {"empty 9 behind a Chinese title", "200 1 |a中国|9", "200 1 |a中国|Azhong guo|9",
     "200 1 |a中国|Azhong guo|9"},
    {"empty 9 behind an empty title", "200 1 |a|9|f文", "200 1 |a|A|f文", "200 1 |a|9|f文"},
};

TEST(ExistingPinyinTest, DeleteAndKeepAgreeOnWhatIsPinyin) {
    PinyinTable table;
    testing::fillSmallTable(table);
    table.add(U'李', "Li");
    table.add(U'白', "Bai");
    for (const Koha& c : kohaLines) {
        for (const bool del : {true, false}) {
            RunSettings settings;
            settings.polyphone = Polyphone::Automatic;
            settings.delExisting = del;
            Romaniser romaniser(table, settings, nullptr);
            EXPECT_EQ(annotateRecord(c.line, settings, romaniser),
                      std::string(del ? c.deleted : c.kept) + "\r\n")
                << c.why << (del ? " (delete)" : " (keep)");
        }
        // A second run of the same settings changes nothing more.
        RunSettings settings;
        settings.polyphone = Polyphone::Automatic;
        settings.useCodeA = false;
        Romaniser romaniser(table, settings, nullptr);
        const std::string once = annotateRecord(c.line, settings, romaniser);
        EXPECT_EQ(annotateRecord(once.substr(0, once.size() - 2), settings, romaniser), once) << c.why;
    }
}

TEST(ExistingPinyinTest, TheWriterMovesAndTrimsOnlyPinyin) {
    const auto clock = [] { return marc::LocalTime{2030, 1, 1, 0, 0, 0}; };
    const auto fieldOf = [&](const std::string& line) {
        const std::string bytes = marc::recordFromWorkingText(
            "001    x\r\n" + line + "\r\n", codepage::Codec::get(codepage::Encoding::Utf8), clock);
        const std::size_t end = bytes.rfind('\x1E', bytes.size() - 3);
        return bytes.substr(end + 1, bytes.size() - end - 3);
    };
    // A 9 that is data stays where it stands, its spaces with it; pinyin goes behind its title.
    EXPECT_EQ(fieldOf("606   |a中国|xHistory| 9 1234 "), "  \037a中国\x1FxHistory\x1F 9 1234 ");
    EXPECT_EQ(fieldOf("606   |a中国|x1|A zhong guo |9 1234 "), "  \037a中国\037Azhong guo\x1Fx1\0379 1234 ");
    EXPECT_EQ(fieldOf("606   |a中国|9 zhong guo "), "  \037a中国\0379zhong guo");
}

}  // namespace
}  // namespace pinyin
