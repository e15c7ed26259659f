// Tests of the exchange record reader: a two-field record of 63 bytes, cutting by bytes, errors, mends.
#include <gtest/gtest.h>

#include <tuple>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/databar.h"
#include "marc/reader.h"
#include "support/errors.h"

using codepage::Codec;
using marc::MarcError;
using marc::workingText;
using marc::workingTextOfDecoded;
using problem::Kind;
using testerrors::Refusal;

namespace {

const std::string kShuMing = "\xE4\xB9\xA6\xE5\x90\x8D";  // 书名 in UTF-8
const std::string kShuMingGbk = "\xCA\xE9\xC3\xFB";       // 书名 in GBK
const std::string kBar(marc::kDataBar);

/// A record from a directory and the fields it points at (each field given with its terminator).
std::string record(const std::string& directory, const std::string& fields, const std::string& leader = "") {
    std::string l = leader.empty() ? std::string("00000nam0 2200000   450 ") : leader;
    return l + directory + "\x1E" + fields + "\x1D";
}

std::string readGbk(const std::string& bytes) { return workingText(bytes, Codec::gbk()); }

/// Why the reader refuses `rec`, and where; nullopt when it reads it.
std::optional<Refusal> refusal(const std::string& rec) {
    return testerrors::refusalOf<MarcError>([&] { readGbk(rec); });
}

TEST(Reader, TwoFieldRecordOf63Bytes) {
    const std::string rec = record("001000400000200000900004", "123\0361 \037a" + kShuMingGbk + "\x1E");
    ASSERT_EQ(rec.size(), 63u);
    const std::string expected = "001    123\r\n200 1  |a" + kShuMing;
    EXPECT_EQ(readGbk(rec), expected);
    EXPECT_EQ(workingTextOfDecoded(Codec::gbk().decode(rec)), expected);  // the same record given as text
}

TEST(Reader, CutsFieldsByBytesNotByHeader) {
    // Blank indicators, two Chinese characters: length 9, not 7. The leader's base address is wrong.
    const std::string rec =
        record("200000900000", "  \037a" + kShuMingGbk + "\x1E", "99999nam0 2299999   450 ");
    EXPECT_EQ(readGbk(rec), "200    |a" + kShuMing);
    // Line breaks around the record are no part of it; one inside is never taken out silently.
    EXPECT_EQ(readGbk("\r\n" + rec + "\r\n"), "200    |a" + kShuMing);
    EXPECT_NE(refusal(rec.substr(0, 30) + "\r\n" + rec.substr(30)), std::nullopt);
    // A CR LF that the directory counts inside a field is data, and refused as it stands.
    EXPECT_EQ(refusal(record("200000800000", "  \037a\r\nb\x1E")),
              (Refusal{Kind::LineBreakInData, "200", 1}));
    // Fields come in directory order, and two entries may share bytes.
    const std::string fields = "1 \037aone\0362 \037atwo\x1E";
    EXPECT_EQ(readGbk(record("700000800008200000800000200000800000", fields)),
              "700 2  |atwo\r\n200 1  |aone\r\n200 1  |aone");
}

TEST(Reader, FieldShapes) {
    // Two indicators and the terminator: empty data. A control field of its terminator alone.
    EXPECT_EQ(readGbk(record("200000300000005000100003", "12\x1E\x1E")), "200 12 \r\n005    ");
    // Tag 000 is a control field; blanks around directory numbers are allowed.
    EXPECT_EQ(readGbk(record("000000300000", "ab\x1E")), "000    ab");
    EXPECT_EQ(readGbk(record("001 003    0", "ab\x1E")), "001    ab");
    // A delimiter in place of the indicators stands as it is; only the data is scanned.
    EXPECT_EQ(readGbk(record("200000700000", "\037abc\037d\x1E")), "200 \037a bc|d");
}

TEST(Reader, EmptyInputs) {
    EXPECT_EQ(readGbk(""), "");
    EXPECT_EQ(readGbk("\r\n\r\n"), "");
}

TEST(Reader, ErrorsNameTheirPlace) {
    EXPECT_EQ(refusal("00000nam0 2200000   450 001000400000"), Refusal{Kind::NoFieldTerminator});
    EXPECT_EQ(refusal("0000\x1E"), (Refusal{Kind::TerminatorInLeader, "", 0, 5}));
    EXPECT_EQ(refusal(record("0010004000002000 x900004", "123\x1E")),
              (Refusal{Kind::EntryLengthNotANumber, "", 2}));
    EXPECT_EQ(refusal(record("001000400000200000900 04", "123\x1E")),
              (Refusal{Kind::EntryStartNotANumber, "", 2}));
    EXPECT_EQ(refusal(record("0010004     ", "123\x1E")), (Refusal{Kind::EntryStartNotANumber, "", 1}));
    EXPECT_EQ(refusal(record("A-1000400000", "123\x1E")), (Refusal{Kind::BadTag, "A-1", 1}));
    EXPECT_EQ(refusal(record("001000400000200000200004", "123\0361\x1E")),
              (Refusal{Kind::DataFieldTooShort, "200", 2}));
    EXPECT_EQ(refusal(record("200000100000", "\x1E")), (Refusal{Kind::DataFieldTooShort, "200", 1}));
    EXPECT_EQ(refusal("0000\0350000000000000000000\x1E"), (Refusal{Kind::TerminatorInLeader, "", 0, 5}));
}

// Every byte of the data area belongs to a field, or a field would be lost in the record
// written: a directory whose last entry is cut short, a field without its entry (between two
// others, or behind the last), bytes between two fields. Fields in another order than the data,
// or sharing bytes, read as they stand.
TEST(Reader, EveryByteOfTheDataBelongsToAField) {
    const std::string fields = "123\0361 \037ab\x1E";  // 001 at 0 (4 bytes), 200 at 4 (6 bytes)
    const auto directory = [](long long bytes) {
        return Refusal{Kind::DirectoryNotWholeEntries, "", 0, bytes};
    };
    EXPECT_EQ(refusal(record("0010004000002000006000", fields)), directory(22));
    EXPECT_EQ(refusal(record("0010004000002000009", "123\x1E")), directory(19));
    EXPECT_EQ(refusal(record("001000400000001000400000200000", "123\x1E")), directory(30));
    // The 200 has no entry: its data lies behind the last field, or between two.
    const auto noEntry = [](long long byte) { return Refusal{Kind::DataOutsideFields, "", 0, byte}; };
    EXPECT_EQ(refusal(record("001000400000", fields)), noEntry(42));
    EXPECT_EQ(refusal(record("001000400000700000400010", fields + "xyz\x1E")), noEntry(54));
    EXPECT_EQ(refusal(record("700000400010001000400000", fields + "xyz\x1E")), noEntry(54));
    // Bytes between two fields, or before the first.
    EXPECT_EQ(refusal(record("001000400000200000600005", "123\036-1 \037ab\x1E")), noEntry(54));
    EXPECT_EQ(refusal(record("001000400001", "-123\x1E")), noEntry(38));
    // Out of order, and sharing bytes: each entry reads its own field.
    EXPECT_EQ(readGbk(record("200000600004001000400000", fields)), "200 1  |ab\r\n001    123");
    EXPECT_EQ(readGbk(record("001000400000200000600004001000200002", fields)),
              "001    123\r\n200 1  |ab\r\n001    3");
}

// A UTF-8 record whose directory counts characters, as some library systems write it, is read
// when every field then ends where the directory says; anything less certain is refused.
TEST(Reader, LengthsCountedInCharacters) {
    const Codec& utf8 = Codec::get(codepage::Encoding::Utf8);
    // 001 "x1" (3 characters), 200 "1 |a书名" (7 characters, 11 bytes), 300 "  |ab" (6).
    const std::string fields = "x1\0361 \037a" + kShuMing + "\036  \037ab\x1E";
    const std::string rec =
        record("001000300000200000700003300000600010", fields, "00078cam a2200061 a 4500");
    marc::SourceRecord source;
    marc::readRecord(rec, utf8, source);
    EXPECT_TRUE(source.charCounted);
    EXPECT_EQ(source.working, "001    x1\r\n200 1  |a" + kShuMing + "\r\n300    |ab");
    EXPECT_EQ(source.field(1), "1 \037a" + kShuMing);
    // The same record counted in bytes is read by bytes.
    marc::readRecord(record("001000300000200001100003300000600014", fields), utf8, source);
    EXPECT_FALSE(source.charCounted);
    EXPECT_EQ(source.field(2), "  \037ab");
    const auto refusalIn = [&](const std::string& r, const Codec& cp) {
        return testerrors::refusalOf<MarcError>([&] { workingText(r, cp); });
    };
    const Refusal notTerminated{Kind::FieldNotTerminated, "200", 2};
    // Not UTF-8: bytes only.
    EXPECT_EQ(refusalIn(rec, Codec::gbk()), notTerminated);
    // One length that fits neither way, a byte that is not UTF-8, data no field covers either way.
    EXPECT_EQ(refusalIn(record("001000300000200000800003300000600010", fields), utf8), notTerminated);
    std::string invalid = rec;
    invalid.replace(invalid.find("ab"), 1, "\xFF");
    EXPECT_EQ(refusalIn(invalid, utf8), notTerminated);
    EXPECT_EQ(refusalIn(record("001000300000200000700003", fields), utf8), notTerminated);
    // Counted in characters it fits, but a field holds a terminator: refused for that.
    EXPECT_EQ(refusalIn(record("001000300000200001300003", fields), utf8),
              (Refusal{Kind::FieldTerminatorInData, "200", 2}));
    // Counted in bytes it fits but a field is too short; counted in characters it fits too, with a
    // terminator inside a field. The byte reading is the record's: refused for its short field.
    const std::string shortField = "1 \037a\xCF\x88\x1F\036\x1E";
    EXPECT_EQ(refusalIn(record("200000800000300000100008", shortField), utf8),
              (Refusal{Kind::DataFieldTooShort, "300", 2}));
}

// A directory that does not fit the data is refused before anything is written: every field lies
// inside the record, ends with its terminator, and holds none inside.
TEST(Reader, TheDirectoryMustFitTheData) {
    EXPECT_EQ(refusal(record("", "")), Refusal{Kind::NoFields});
    EXPECT_EQ(refusal(record("001000400000200000999999", "123\x1E")),
              (Refusal{Kind::FieldPastEnd, "200", 2}));
    EXPECT_EQ(refusal(record("001002000000", "123\x1E")), (Refusal{Kind::FieldPastEnd, "001", 1}));
    EXPECT_EQ(refusal(record("001000400000700000000000", "123\x1E")),
              (Refusal{Kind::FieldLengthZero, "700", 2}));
    EXPECT_EQ(refusal(record("001000300000", "123\x1E")), (Refusal{Kind::FieldNotTerminated, "001", 1}));
    // The last field's terminator missing, the record's end closes it.
    EXPECT_EQ(readGbk("00000nam0 2200000   450 001000400000\036123\x1D"), "001    123");
}

// Terminators and line breaks are found in every shape of field: a control field, a data field's
// indicators and data (beside a "|" of the data too), a data field whose indicators are not
// single bytes; the first field that holds one is named, and a terminator before a line break.
TEST(Reader, NoShapeOfFieldHidesATerminatorOrALineBreak) {
    const Kind recordEnd = Kind::RecordTerminatorInData, lineBreak = Kind::LineBreakInData,
               fieldEnd = Kind::FieldTerminatorInData;
    const std::vector<std::tuple<std::string, std::string, Kind>> cases = {
        {"200000900000", "1 \037ab\036cd\x1E", fieldEnd},
        {"200000700000", "1 \037a\035b\x1E", recordEnd},
        {"001000400000", "1\0353\x1E", recordEnd},             // a control field
        {"200000600000", "\035 \037ab\x1E", recordEnd},        // an indicator
        {"200000600000", "1 \037a\r\x1E", lineBreak},          // the data
        {"200000600000", "1 \037|\n\x1E", lineBreak},          // beside a "|"
        {"200000600000", "\x81\x40\037a\x1D\x1E", recordEnd},  // indicators of two bytes
        {"200000600000", "1\037a\r\x1E\x1E", fieldEnd},        // both: the terminator
    };
    for (const auto& [directory, fields, what] : cases) {
        const Refusal expected{what, directory.substr(0, 3), 1};
        EXPECT_EQ(refusal(record(directory, fields)), expected);
        // The first entry that holds one is named, though a later one is read wrongly too.
        EXPECT_EQ(refusal(record(directory + "700000400000", fields + "1\0352\x1E")), expected);
    }
    EXPECT_EQ(refusal(record("001000400000200000600004", "123\0361 \037a\035\x1E")),
              (Refusal{recordEnd, "200", 2}));
}

TEST(ReaderMends, TagsWithLettersAreLocalFields) {
    // Indicators and a delimiter: a data field; anything else: a control field. Either way the
    // field is read, not refused.
    EXPECT_EQ(readGbk(record("AVA000900000CAT000900009", "  \037aX\037b1\036cat data\x1E")),
              "AVA    |aX|b1\r\nCAT    cat data");
    EXPECT_EQ(readGbk(record("OWN000400000", "a b\x1E")), "OWN    a b");
}

TEST(ReaderMends, PositionsBeyond16Bits) {
    // 3000 entries put the first terminator at byte 36025, past the old 16-bit limit.
    std::string dir, fields;
    for (int i = 0; i < 3000; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "0010002%05d", 2 * (i % 100));
        dir += entry;
    }
    for (int i = 0; i < 100; ++i) fields += std::string(1, static_cast<char>('a' + i % 26)) + "\x1E";
    // Entry i reads field i % 100, whose letter is 'a' + (i % 100) % 26: every line, in order.
    std::string expected;
    for (int i = 0; i < 3000; ++i)
        expected += std::string(i ? "\r\n" : "") + "001    " + static_cast<char>('a' + i % 100 % 26);
    EXPECT_EQ(readGbk(record(dir, fields)), expected);
}

TEST(ReaderMends, BarsInDataAreKeptAsData) {
    // The UNIMARC fill character in 100 $a, and a GBK trail byte 0x7C (亅 is 81 7C).
    const std::string rec = record("100001700000200000700017", "  \037a1996||||0ita\0361 \037a\x81\x7C\x1E");
    const std::string out = readGbk(rec);
    EXPECT_EQ(out, "100    |a1996" + kBar + kBar + kBar + kBar + "0ita\r\n200 1  |a\xE4\xBA\x85");
    // In indicators and control fields too.
    EXPECT_EQ(readGbk(record("200000500000003000400005", "||\037a\036a|\x1F\x1E")),
              "200 " + kBar + kBar + " |a\r\n003    a" + kBar + "|");
}

TEST(ReaderMends, InvalidBytesNeverShiftAField) {
    // A stray lead byte before the terminator decodes to U+FFFD and the next field stands intact.
    const std::string out = readGbk(record("200000600000701000600006", "1 \037a\xCA\0361 \037ab\x1E"));
    EXPECT_EQ(out, "200 1  |a\xEF\xBF\xBD\r\n701 1  |ab");
}

}  // namespace
