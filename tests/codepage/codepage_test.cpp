// Tests of the code page layer: GBK against known codes, malformed input, counting, GB18030, UTF-8.
#include <gtest/gtest.h>

#include "codepage/codepage.h"

using codepage::Codec;
using codepage::Encoding;

namespace {

const std::string kShu = "\xE4\xB9\xA6";   // 书, GBK CA E9
const std::string kMing = "\xE5\x90\x8D";  // 名, GBK C3 FB
const std::string kFffd = "\xEF\xBF\xBD";

TEST(GbkCodec, KnownCodesBothWays) {
    const Codec& cp = Codec::gbk();
    EXPECT_EQ(cp.encode(kShu + kMing + "ab"), "\xCA\xE9\xC3\373ab");
    EXPECT_EQ(cp.decode("\xCA\xE9\xC3\373ab"), kShu + kMing + "ab");
    EXPECT_EQ(cp.decode("\x80"), "\xE2\x82\xAC");  // Windows 936's euro sign
    EXPECT_EQ(cp.encode("\xE2\x82\xAC"), "\x80");
    // A trail byte equal to '|' belongs to its character: 亅 is 81 7C.
    EXPECT_EQ(cp.encode(cp.decode("\x81\x7C")), "\x81\x7C");
    EXPECT_EQ(cp.decode("\x81\x7C").find('|'), std::string::npos);
}

TEST(GbkCodec, EveryDecodableCodeRoundTrips) {
    const Codec& cp = Codec::gbk();
    int pairs = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
            std::string text = cp.decode(bytes);
            if (text == kFffd) continue;
            ++pairs;
            ASSERT_EQ(cp.encode(text), bytes) << std::hex << lead << " " << trail;
        }
    EXPECT_GT(pairs, 21000);                           // GBK's 21886 codes, user-defined areas included
    EXPECT_EQ(cp.decode("\xAA\xA1"), "\xEE\x80\x80");  // user-defined area: U+E000
    EXPECT_EQ(cp.encode("\xEE\x80\x80"), "\xAA\xA1");
}

TEST(GbkCodec, MalformedInputNeverShiftsWhatFollows) {
    const Codec& cp = Codec::gbk();
    EXPECT_EQ(cp.decode("ab\xCA"), "ab" + kFffd);  // lead byte at the end
    EXPECT_EQ(cp.decode("\xCA\036x"),
              kFffd + "\036x");  // not a trail: lead alone
    EXPECT_EQ(cp.decode("\xCA\177x"), kFffd + "\177x");
    EXPECT_EQ(cp.decode("\377a"),
              "\xEF\xA3\265a");  // ICU's 936: 0xFF is U+F8F5
    EXPECT_EQ(cp.encode("\xEF\xA3\xB5"), "\xFF");
    EXPECT_EQ(cp.decode("\xCA\x20\xCA\xE9"), kFffd + " " + kShu);
}

TEST(GbkCodec, UnencodableCharactersCountAsOneQuestionMark) {
    const Codec& cp = Codec::gbk();
    const std::string cases[] = {
        "\xC2\xAD",          // U+00AD soft hyphen, dropped by ICU
        "\xF0\x9F\x98\x80",  // U+1F600, outside the BMP
        "\xE0\xA4\x85",      // U+0905 Devanagari
        "\xEF\xB7\x90",      // U+FDD0, the reader's data bar
        "\xFF",              // invalid UTF-8
    };
    for (const std::string& c : cases) {
        std::string text = "x" + c + "y";
        EXPECT_EQ(cp.encode(text), "x?y") << text;
        EXPECT_EQ(cp.byteCount(text), 3u) << text;
    }
    EXPECT_EQ(cp.encode("x\xE4\xB9y"), "x??y");  // truncated UTF-8: one "?" per byte
    EXPECT_EQ(cp.byteCount("x\xE4\xB9y"), 4u);
}

TEST(GbkCodec, CountEqualsEncodedSizeOverTheWholeBmp) {
    for (Encoding e : {Encoding::Gbk, Encoding::Gb18030, Encoding::Utf8}) {
        const Codec& cp = Codec::get(e);
        std::string text;
        for (char32_t c = 0; c < 0x10000; c += 7) codepage::utf8::append(text, c);
        EXPECT_EQ(cp.byteCount(text), cp.encode(text).size()) << codepage::encodingName(e);
    }
}

TEST(GbkCodec, DoubleByteTest) {
    EXPECT_TRUE(Codec::isGbkDoubleByte(U'书'));
    EXPECT_TRUE(Codec::isGbkDoubleByte(U'，'));  // full-width comma
    EXPECT_FALSE(Codec::isGbkDoubleByte(U'a'));
    EXPECT_FALSE(Codec::isGbkDoubleByte(0x20AC));  // euro: one byte, 0x80
    EXPECT_FALSE(Codec::isGbkDoubleByte(0x1F600));
    EXPECT_FALSE(Codec::isGbkDoubleByte(0x0905));
}

TEST(Gb18030Codec, FourByteCodesAndSupplementaryPlanes) {
    const Codec& cp = Codec::get(Encoding::Gb18030);
    EXPECT_EQ(cp.encode(kShu), "\xCA\xE9");
    EXPECT_EQ(cp.encode("\xC2\x80"), "\x81\x30\x81\x30");          // U+0080
    EXPECT_EQ(cp.encode("\xF0\x90\x80\x80"), "\x90\x30\x81\x30");  // U+10000
    EXPECT_EQ(cp.decode("\x90\x30\x81\x30"), "\xF0\x90\x80\x80");
    EXPECT_EQ(cp.decode("\xE3\x32\x9A\x35"), "\xF4\x8F\xBF\xBF");  // U+10FFFF
    EXPECT_EQ(cp.encode("\xC2\xAD"), "\x81\x30\x85\x32");          // the soft hyphen is representable here
    EXPECT_EQ(cp.decode("\x81\x30\x85\x32"), "\xC2\xAD");
    EXPECT_EQ(cp.decode("\x81\060a"),
              kFffd + "0a");  // broken four-byte code
    // Each invalid UTF-8 byte is U+FFFD, which GB18030 writes in four bytes.
    EXPECT_EQ(cp.encode("\xE4\xE4\xE4"), "\x84\x31\xA4\x37\x84\x31\xA4\x37\x84\x31\xA4\x37");
    EXPECT_EQ(cp.byteCount("\xE4\xE4\xE4"), 12u);
}

TEST(Utf8Codec, ValidatesAndReservesTheDataBar) {
    const Codec& cp = Codec::get(Encoding::Utf8);
    EXPECT_EQ(cp.decode(kShu + "a"), kShu + "a");
    EXPECT_EQ(cp.decode("\xEF\xB7\x90"), kFffd);  // U+FDD0 is never decoded
    EXPECT_EQ(cp.decode("\xC0\257a"),
              kFffd + kFffd + "a");                               // overlong
    EXPECT_EQ(cp.decode("\xED\xA0\x80"), kFffd + kFffd + kFffd);  // surrogate
    EXPECT_EQ(cp.encode("a\xFF"), "a" + kFffd);
    EXPECT_EQ(cp.byteCount("a\xFF"), 4u);
}

TEST(CodecNames, ChosenByName) {
    EXPECT_EQ(codepage::encodingFromName("GBK"), Encoding::Gbk);
    EXPECT_EQ(codepage::encodingFromName("gb18030"), Encoding::Gb18030);
    EXPECT_EQ(codepage::encodingFromName("UTF8"), Encoding::Utf8);
    EXPECT_EQ(codepage::encodingFromName("utf-8"), Encoding::Utf8);
    EXPECT_EQ(codepage::encodingFromName("latin1"), std::nullopt);
    EXPECT_EQ(codepage::encodingName(Encoding::Gb18030), "gb18030");
}

TEST(Utf8Helpers, Utf16Length) {
    EXPECT_EQ(codepage::utf8::utf16Length("a" + kShu + "\xF0\x9F\x98\x80"), 4u);
    std::string s;
    codepage::utf8::append(s, 0x10FFFF);
    std::size_t i = 0;
    EXPECT_EQ(codepage::utf8::next(s, i), 0x10FFFFu);
    EXPECT_EQ(i, 4u);
}

}  // namespace
