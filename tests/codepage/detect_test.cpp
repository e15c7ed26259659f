// Code page detection from a file's first bytes, and the round-trip test behind every refusal.
#include <gtest/gtest.h>

#include "codepage/detect.h"

#include <string>

#include "support/files.h"

using codepage::detectEncoding;
using codepage::Encoding;

namespace {

const std::string kChineseUtf8 =
    "\xE4\xB8\xAD\xE5\x9B\xBD\xE5\x9B\xBE\xE4\xB9\xA6\xE9\xA6\x86";          // 中国图书馆
const std::string kChineseGbk = "\xD6\xD0\xB9\xFA\xCD\xBC\xCA\xE9\xB9\xDD";  // the same in GBK

TEST(Detect, JudgesTheCodePageFromTheBytes) {
    EXPECT_EQ(detectEncoding("00100nam0 " + kChineseUtf8).encoding, Encoding::Utf8);
    EXPECT_EQ(detectEncoding("00100nam0 " + kChineseGbk).encoding, Encoding::Gbk);
    // A GB18030 four-byte code (U+00A5 is 81 30 84 36) among GBK characters.
    EXPECT_EQ(detectEncoding(kChineseGbk + "\x81\x30\x84\x36").encoding, Encoding::Gb18030);
    // Accented Latin alone is UTF-8 too (MARC 21 exports).
    EXPECT_EQ(detectEncoding("Na\xCC\x84ji\xCC\x84 M\xC3\xBCller").encoding, Encoding::Utf8);
    const auto ascii = detectEncoding("00100nam0 2200049   450 ");
    EXPECT_TRUE(ascii.asciiOnly);
    EXPECT_FALSE(detectEncoding(kChineseGbk).asciiOnly);
}

TEST(Detect, ToleratesABrokenSequenceInAUtf8File) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += kChineseUtf8;
    text += "\x1F\xE4\x1E";  // a lead byte without its continuation, as a damaged subfield code
    const auto d = detectEncoding(text);
    EXPECT_EQ(d.encoding, Encoding::Utf8);
    EXPECT_EQ(d.utf8Errors, 1u);
    // GBK fails UTF-8 on most of its characters.
    std::string gbk;
    for (int i = 0; i < 10; ++i) gbk += kChineseGbk;
    EXPECT_GT(detectEncoding(gbk).utf8Errors, 5u);
}

TEST(Detect, FindsMarc8EscapeSequences) {
    EXPECT_TRUE(detectEncoding("\037a\x1B$1!0~\x1B(B").marc8);
    EXPECT_TRUE(detectEncoding("abc\033b2\x1Bs").marc8);
    EXPECT_FALSE(detectEncoding("abc\x1B").marc8);
    EXPECT_FALSE(detectEncoding(kChineseGbk).marc8);
}

TEST(Detect, RoundTripsAndTheLikelyCodePage) {
    EXPECT_TRUE(codepage::roundTrips(kChineseGbk, Encoding::Gbk));
    EXPECT_FALSE(codepage::roundTrips(kChineseGbk, Encoding::Utf8));
    EXPECT_FALSE(codepage::roundTrips("\xE4\xB8\xAD", Encoding::Gbk));  // a lead byte left at the end
    EXPECT_EQ(codepage::likelyEncoding("\xE4\xB8\xAD", Encoding::Gbk), Encoding::Utf8);
    EXPECT_EQ(codepage::likelyEncoding(kChineseGbk, Encoding::Utf8), Encoding::Gbk);
    EXPECT_EQ(codepage::likelyEncoding("\x81\x30\x84\x36", Encoding::Gbk), Encoding::Gb18030);
    EXPECT_EQ(codepage::likelyEncoding("plain", Encoding::Utf8), std::nullopt);
}

}  // namespace

namespace {

using codepage::checkField;
using codepage::Foreign;

using testfiles::slurp;

const std::string kDir = MARCPY_SOURCE_DIR "/tests/data/";

// A MARC 21 leader (leader/09 blank: MARC-8) and a directory naming 245.
std::string marc21(const std::string& title) {
    return "00100cam  2200037 a 4500"
           "245002000000\03610\037a" +
           title + "\x1E\x1D";
}

TEST(Detect, TellsMarc8LatinFromGbk) {
    // MARC-8 writes a combining mark before its letter: E2 65 is e acute, which GBK reads as a
    // rare ideograph between two Latin letters.
    EXPECT_EQ(detectEncoding(marc21("Cr\342etineau-Joly")).foreign, Foreign::Marc8);
    EXPECT_EQ(detectEncoding("Histoire litt\342eraire de la Compagnie de J\342esus").foreign, Foreign::Marc8);
    // MARC-8's special letters (B2 is ø) in a MARC 21 record that does not say Unicode.
    EXPECT_EQ(detectEncoding(marc21("Bj\xB2rn Kr\xB2yer")).foreign, Foreign::Marc8);
    for (const char* file :
         {"real-world/marc8-uoft.mrc", "real-world/marc8-french-accepted.mrc", "real-world/marc8-cjk.marc"})
        EXPECT_EQ(detectEncoding(slurp(kDir + file)).foreign, Foreign::Marc8) << file;
    // CP866 Cyrillic reads as GBK with lead bytes left without their trail and user-defined codes.
    EXPECT_EQ(detectEncoding(slurp(kDir + "real-world/rusmarc-cp866.marc")).foreign, Foreign::SingleByte);
    // Chinese text stays GBK, with Latin beside it and a library's own character among it.
    EXPECT_EQ(detectEncoding(marc21(kChineseGbk + " Beijing " + kChineseGbk)).foreign, Foreign::None);
    EXPECT_EQ(detectEncoding(kChineseGbk + "\xAA\xA1" + kChineseGbk).foreign, Foreign::None);
    // GBK's own accented pinyin letters (A8A6 is e acute) between Latin letters are GBK.
    EXPECT_EQ(detectEncoding(marc21("Cr\xA8\xA6tineau Zh\xA8\xA6ng " + kChineseGbk)).foreign, Foreign::None);
}

TEST(Detect, RefusesNoGbkOrGb18030FileOfOurs) {
    for (const char* file : {"real-records/cnmarc-university.gbk.iso", "../../samples/sample.iso"}) {
        const auto d = detectEncoding(slurp(kDir + file));
        EXPECT_EQ(d.encoding, Encoding::Gbk) << file;
        EXPECT_EQ(d.foreign, Foreign::None) << file;
    }
    // Every UTF-8 file of Chinese records written again in GBK and in GB18030, as a whole and
    // field by field.
    for (const char* file :
         {"real-records/cnmarc-university.utf8.iso", "real-records/marc21-collection1.utf8.mrc",
          "real-records/marc21-chinese-880.utf8.mrc", "real-records/marc21-record12.utf8.mrc"}) {
        const std::string utf8 = slurp(kDir + file);
        for (Encoding e : {Encoding::Gbk, Encoding::Gb18030}) {
            const std::string bytes = codepage::Codec::get(e).encode(utf8);
            const auto d = detectEncoding(bytes);
            EXPECT_NE(d.encoding, Encoding::Utf8) << file;
            EXPECT_EQ(d.foreign, Foreign::None) << file;
            std::size_t from = 0;
            for (std::size_t at; (at = bytes.find('\x1E', from)) != std::string::npos; from = at + 1)
                EXPECT_FALSE(checkField(bytes.substr(from, at - from), e, true))
                    << file << " " << bytes.substr(from, at - from);
        }
    }
}

TEST(Detect, ReadsAMostlyUtf8RecordThatSaysUnicodeAsUtf8) {
    // Leader/09 "a", accented letters in UTF-8 and one broken run of bytes (a real export's).
    std::string rec =
        "01025cam a2200277Ia 4500"
        "245002000000\x1E";
    rec += "si\xC3\250cles, r\xC3\xA9gional, F\xC3\251d\xC3\xA9ration franc\xF8\xBF\xBF\xBF\xB9ise";
    EXPECT_EQ(detectEncoding(rec).encoding, Encoding::Utf8);
    EXPECT_EQ(detectEncoding(rec).foreign, Foreign::None);
}

TEST(Detect, FindsAFieldInAnotherCodePage) {
    const std::string guotuUtf8 = "\037a\xE5\x9B\xBD\xE5\x9B\xBE";  // 国图 in UTF-8: valid GBK bytes
    EXPECT_EQ(checkField(guotuUtf8, Encoding::Gbk, false).other, Encoding::Utf8);
    EXPECT_EQ(checkField(guotuUtf8, Encoding::Gb18030, true).other, Encoding::Utf8);
    EXPECT_EQ(checkField("1 \037aM\xC3\xBCller", Encoding::Gbk, true).other, Encoding::Utf8);
    EXPECT_EQ(checkField("1 \037a" + kChineseGbk, Encoding::Utf8, true).other, Encoding::Gbk);
    // GBK that happens to be valid UTF-8 (模 is C4 A3) stays GBK; ASCII fits every code page.
    EXPECT_FALSE(checkField("1 \037a\xC4\xA3\037bxx", Encoding::Gbk, true));
    EXPECT_FALSE(checkField("1 \037a" + kChineseGbk, Encoding::Gbk, true));
    EXPECT_FALSE(checkField("1 \037aplain", Encoding::Utf8, true));
    // Traditional characters of GBK's extensions: one standing alone whose trail byte is a Latin
    // letter (馮 is F1 54) looks like a MARC-8 mark before its letter, and one is no evidence.
    EXPECT_FALSE(checkField("1 \037a\361T", Encoding::Gbk, true));
    EXPECT_FALSE(checkField("1 \037a\337h\361T\037b\355n", Encoding::Gbk, true));
    // C1 controls are no UTF-8 text: GBK's C2 93 (聯) stays GBK.
    EXPECT_FALSE(checkField("1 \037a\xC2\x93 \xC2\x93", Encoding::Gbk, true));
    // A UTF-8 field with one broken sequence is no GBK.
    EXPECT_FALSE(checkField("1 \x1F\xB9" + kChineseUtf8 + kChineseUtf8, Encoding::Utf8, true));
    // MARC-8 and CP866 fields: foreign only when the code page is detected.
    const std::string marc8 = "10\037aCr\342etineau-Joly, J\342esus";
    EXPECT_EQ(checkField(marc8, Encoding::Gbk, true).foreign, Foreign::Marc8);
    EXPECT_FALSE(checkField(marc8, Encoding::Gbk, false));
    EXPECT_EQ(
        checkField("\037a\x8D\xA8\xAA\xA8\xE2\xA5\xAD\xAA\xAE \x85. \x80.", Encoding::Gbk, true).foreign,
        Foreign::SingleByte);
}

}  // namespace
