// Tests of the exchange record writer: a six-field record of 189 bytes, leader choice, 001/005, pinyin
// placement, limits and the mends.
#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "samples.h"
#include "support/errors.h"

using codepage::Codec;
using marc::MarcError;

namespace {

using marc_samples::endOf2099;

std::string working(const std::vector<std::string>& lines) { return marc_samples::workingText(lines); }

std::string write(const std::string& text) {
    return marc::decodedRecordFromWorkingText(text, Codec::gbk(), endOf2099);
}

/// Why the writer refuses `text`; nullopt when it writes it.
std::optional<testerrors::Refusal> refusal(const std::string& text) {
    return testerrors::refusalOf<MarcError>([&] { write(text); });
}

/// The lines the reader gives for what the writer wrote.
std::string rewritten(const std::string& text) {
    return marc::workingText(marc::recordFromWorkingText(text, Codec::gbk(), endOf2099), Codec::gbk());
}

/// Five filler lines, so that a test's own lines are written.
std::string withFiller(std::vector<std::string> lines) {
    lines.insert(lines.end(), 5, "101 0  |achi");
    return working(lines);
}

const std::string kFiller5 =
    "\r\n101 0  |achi\r\n101 0  |achi\r\n101 0  |achi\r\n101 0  |achi\r\n101 0  |achi";

TEST(Writer, SixFieldRecordOf189Bytes) {
    const std::string text =
        working({"001    A0001", "005    20240102030405.0", "101 0  |achi", "200 1  |a书名|e副题|Ashu ming",
                 "210    |a北京|d2024", "701  0 |a张三|Azhang san"});
    const std::string expected =
        "00189nam0 2200097   450 001000600000005001700006101000800023200002500031210001500056701002000071"
        "\036A0001\03620240102030405.0\0360 \037achi\0361 \037a书名\037Ashu ming\037e副题\036  "
        "\037a北京\037d2024\036 0\037a张三\037Azhang san\x1E\x1D";
    EXPECT_EQ(write(text), expected);
    const std::string bytes = marc::recordFromWorkingText(text, Codec::gbk(), endOf2099);
    EXPECT_EQ(bytes.size(), 189u);
    EXPECT_EQ(bytes, Codec::gbk().encode(expected));
}

TEST(Writer, ARecordOfNothingButItsNumbersGivesNothing) {
    EXPECT_EQ(write(""), "");
    EXPECT_EQ(write(working({"001    x", "005    20240102030405.0"})), "");
    // One field besides 001 and 005 is a record, however brief.
    EXPECT_EQ(rewritten(working({"200 1  |a1"})),
              "001    011231235959\r\n005    20991231235959.0\r\n200 1  |a1");
}

TEST(Writer, LeaderChoice) {
    EXPECT_EQ(write(withFiller({"225"})).substr(5, 4), "oam2");  // even a line of the tag alone
    EXPECT_EQ(write(withFiller({"410 0  |ax"})).substr(5, 4), "oam2");
    EXPECT_EQ(write(withFiller({"461 0  |ax"})).substr(5, 4), "oam2");
    EXPECT_EQ(write(withFiller({"000    cam1", "225 0  |ax"})).substr(5, 4), "cam1");
    EXPECT_EQ(write(withFiller({"000    c"})).substr(5, 4), "c   ");
    EXPECT_EQ(write(withFiller({"225 0  |ax", "000       "})).substr(5, 4), "oam2");
    // No 000 field is written.
    EXPECT_EQ(rewritten(withFiller({"000    cam1"})).find("000 "), std::string::npos);
}

TEST(Writer, ControlValuesFromTheClockOrTheRecord) {
    EXPECT_EQ(rewritten(withFiller({})).substr(0, 46), "001    011231235959\r\n005    20991231235959.0\r\n");
    // A value stands as it is, spaces and all: a record's identifier is a key other systems match.
    EXPECT_EQ(rewritten(withFiller({"005    19990101000000.0 "})).substr(21, 26),
              "005    19990101000000.0 \r\n");
    EXPECT_EQ(rewritten(withFiller({"001       70813420 /AJ/r86"})).substr(0, 28),
              "001       70813420 /AJ/r86\r\n");
    EXPECT_EQ(rewritten(withFiller({"001    a", "001  b  "})).substr(0, 10), "001    b\r\n");
    EXPECT_EQ(rewritten(withFiller({"001    a", "001    "})).substr(0, 21), "001    011231235959\r\n");
}

TEST(Writer, EveryLineBecomesAField) {
    // Short lines and lines without "|" lose nothing: indicators and text are written as they stand.
    EXPECT_NE(rewritten(withFiller({"200 1  x"})).find("\r\n200 1  x\r\n"), std::string::npos);
    EXPECT_NE(rewritten(withFiller({"980 12 "})).find("\r\n980 12 \r\n"), std::string::npos);
    EXPECT_NE(rewritten(withFiller({"200 12 kept|akept"})).find("\r\n200 12 kept|akept\r\n"),
              std::string::npos);
    // A line starting with "|" after a line break loses that "|" first.
    EXPECT_NE(rewritten("001    x\r\n|200 1  |ab" + kFiller5 + "\r\n\r\n").find("200 1  |ab"),
              std::string::npos);
    // Tags with letters: data fields when their data opens with a delimiter, control fields otherwise.
    EXPECT_NE(write(withFiller({"A00 1  |ab"})).find("\0361 \037ab\x1E"), std::string::npos);
    EXPECT_NE(rewritten(withFiller({"CAT    local data"})).find("\r\nCAT    local data\r\n"),
              std::string::npos);
}

TEST(Writer, SubfieldsAsTheyStand) {
    EXPECT_NE(rewritten(withFiller({"200 1  |a书 |9 shu |   "})).find("200 1  |a书 |9shu|   \r\n"),
              std::string::npos);
    // A 9 that is not the pinyin of the subfield a right before it is data, spaces and all.
    EXPECT_NE(rewritten(withFiller({"200 1  |a x |   |9 py "})).find("200 1  |a x |   |9 py \r\n"),
              std::string::npos);
    const testerrors::Refusal empty{problem::Kind::EmptySubfield, "200"};
    EXPECT_EQ(refusal(withFiller({"200 1  |ab||c"})), empty);
    EXPECT_EQ(refusal(withFiller({"101 0  |achi", "200 1  |ab|"})), empty);
}

TEST(Writer, FieldAndRecordLimits) {
    // zeroPadded never writes a short number.
    EXPECT_EQ(marc::zeroPadded(4, 7), "0007");
    EXPECT_EQ(marc::zeroPadded(5, 99999), "99999");
    EXPECT_EQ(marc::zeroPadded(4, 0), "0000");
    EXPECT_THROW(marc::zeroPadded(4, 10000), MarcError);
    EXPECT_THROW(marc::zeroPadded(5, -1), MarcError);
    // 4 indicators/delimiter/code bytes + 4997 Chinese characters of 2 bytes + terminator = 9999.
    std::string big;
    for (int i = 0; i < 4997; ++i) big += "书";
    EXPECT_NO_THROW(write(withFiller({"200 1  |a" + big.substr(0, big.size())})));
    EXPECT_THROW(write(withFiller({"200 1  |a" + big + "x"})), MarcError);
    std::string many;
    for (int i = 0; i < 11; ++i) many += "200 1  |a" + big + "\r\n";
    // A field that would start past byte 99999 of the data.
    EXPECT_EQ(refusal(many + working({"1", "2", "3", "4", "5"})),
              (testerrors::Refusal{problem::Kind::FieldStartTooFar, "200"}));
}

TEST(WriterMends, PinyinBehindTheNearestTitle) {
    auto fieldOf = [](const std::string& line) {
        const std::string out = rewritten(withFiller({line}));
        const std::size_t at = out.find("\r\n200 ");
        return out.substr(at + 2, out.find("\r\n", at + 2) - at - 2);
    };
    EXPECT_EQ(fieldOf("200 1  |a书|Ashu|a名|Aming"), "200 1  |a书|Ashu|a名|Aming");
    EXPECT_EQ(fieldOf("200 1  |a书|e副|Ashu"), "200 1  |a书|Ashu|e副");
    EXPECT_EQ(fieldOf("200 1  |Ashu|a书"), "200 1  |Ashu|a书");
    EXPECT_EQ(fieldOf("200 1  |a书|A1|e副|A2"), "200 1  |a书|A1|A2|e副");
    EXPECT_EQ(fieldOf("200 1  |a书|e副|91|a名|f作|92|A3"), "200 1  |a书|e副|91|a名|A3|f作|92");
    EXPECT_EQ(fieldOf("200 1  |a书|9shu|e副|A3"), "200 1  |a书|9shu|A3|e副");
}

TEST(WriterMends, ControlFieldsKeepTheirData) {
    const std::string out =
        rewritten(withFiller({"200 1  |ax", "003    http://example.org/1", "007    ta", "009    "}));
    EXPECT_NE(out.find("\r\n200 1  |ax\r\n003    http://example.org/1\r\n007    ta\r\n009    \r\n101"),
              std::string::npos)
        << out;
}

TEST(WriterMends, BarsInDataComeBackAsBars) {
    const std::string bar(marc::kDataBar);
    const std::string text = withFiller({"100    |a1996" + bar + bar + "0ita", "200 " + bar + "1 |ax"});
    const std::string bytes = marc::recordFromWorkingText(text, Codec::gbk(), endOf2099);
    EXPECT_NE(bytes.find("  \037a1996||0ita\x1E|1\037ax\x1E"), std::string::npos);
    EXPECT_EQ(marc::workingText(bytes, Codec::gbk())
                  .find("100    |a1996" + bar + bar + "0ita\r\n200 " + bar + "1 |ax"),
              46u);
}

TEST(WriterMends, StructureBreakingTextIsRefused) {
    using testerrors::Refusal;
    EXPECT_EQ(refusal(withFiller({"000    书"})), Refusal{problem::Kind::LeaderCodeInvalid});
    EXPECT_EQ(refusal(withFiller({"000    \x1E"})), Refusal{problem::Kind::LeaderCodeInvalid});
    EXPECT_EQ(refusal(withFiller({"书名 1  |ax"})), (Refusal{problem::Kind::TagNotSingleBytes, "书名 "}));
    // A terminator inside a field.
    EXPECT_EQ(refusal(withFiller({"200 1  |ab\036c"})), (Refusal{problem::Kind::TerminatorInText, "200"}));
    EXPECT_THROW(write(withFiller({"001    a\x1E"})), MarcError);
    EXPECT_THROW(write(withFiller({"025 \036405.0"})),
                 MarcError);  // fuzz find: in the indicators
    EXPECT_EQ(write(withFiller({"000    ab"})).substr(5, 4), "ab  ");
}

}  // namespace
