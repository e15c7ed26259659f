// Code page detection from a file's first bytes, and the round-trip test behind every refusal.
#include <gtest/gtest.h>

#include "codepage/detect.h"

using codepage::detectEncoding;
using codepage::Encoding;

namespace {

const std::string kChineseUtf8 = "\xE4\xB8\xAD\xE5\x9B\xBD\xE5\x9B\xBE\xE4\xB9\xA6\xE9\xA6\x86";  // 中国图书馆
const std::string kChineseGbk = "\xD6\xD0\xB9\xFA\xCD\xBC\xCA\xE9\xB9\xDD";                    // the same in GBK

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
    EXPECT_TRUE(detectEncoding("\x1F" "a\x1B$1!0~\x1B(B").marc8);
    EXPECT_TRUE(detectEncoding("abc\x1B" "b2\x1Bs").marc8);
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
