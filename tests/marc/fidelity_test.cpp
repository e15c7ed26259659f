// Records read and written again: every field the run does not change comes back byte for byte,
// the record's own leader stays (keep), and the templates apply only without one (template).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

#include "app/records.h"
#include "codepage/codepage.h"
#include "marc/databar.h"
#include "marc/identifiers.h"
#include "marc/reader.h"
#include "marc/source.h"
#include "marc/writer.h"
#include "samples.h"
#include "support/errors.h"

using codepage::Codec;
using testrec::makeRecord;

namespace {

using marc_samples::endOf2099;

/// Reads `record`, lets `edit` change the working text, and writes it again with the source.
std::string readEditWrite(const std::string& record, const Codec& cp = Codec::gbk(),
                          const std::function<std::string(std::string)>& edit = {}, bool keepLeader = true) {
    marc::SourceRecord source;
    marc::readRecord(record, cp, source);
    std::string working = edit ? edit(source.working) : source.working;
    marc::WriteContext context;
    context.source = &source;
    context.keepLeader = keepLeader;
    context.clock = endOf2099;
    return marc::recordFromWorkingText(working + "\r\n\r\n", cp, context);
}

std::string withLeader(std::string record, const std::string& leader) {
    return record.replace(5, 7, leader.substr(5, 7)).replace(17, 7, leader.substr(17, 7));
}

// Fields that the working text cannot tell apart from plainer ones, or that the old writer
// dropped or rearranged: read and written unchanged, each comes back byte for byte.
TEST(Fidelity, UnchangedRecordsComeBackByteForByte) {
    const std::string gbkTitle = "\xCA\xE9\xC3\xFB";  // 书名
    const std::vector<std::vector<testrec::Field>> records = {
        // MARC 21 leader, an identifier with outer spaces, fields of indicators only, a local $9
        // between other subfields, text before the first delimiter, an empty subfield.
        {{"001", "   70813420 /AJ/r86"},
         {"005", "20240102030405.0"},
         {"980", "  "},
         {"982", "1 "},
         {"905", "  \037aNJTL\037dP197.1/4\0379 local "},
         {"245", "10before\037atitle"},
         {"246", "1 \037a\x1F\037bx"}},
        // Letter tags: holdings as a data field, a control field, a code that is no letter.
        {{"001", "ocm63111280 "},
         {"005", "20240102030405.0"},
         {"AVA", "  \037aX\037b1"},
         {"CAT", "cat data"},
         {"LKR", "  \037\200odd code"},
         {"200", "1 \037a" + gbkTitle + "\037Ashu ming"}},
        // Bytes that are not valid GBK, in a field nobody changes.
        {{"001", "x1"}, {"005", "20240102030405.0"}, {"300", "  \037a\x81\x20\xFF"}},
    };
    const std::string marc21Leader = "00000cam a2200000 a 4500";
    for (const auto& fields : records) {
        const std::string rec = withLeader(makeRecord(fields), marc21Leader);
        EXPECT_EQ(readEditWrite(rec), rec);
    }
}

TEST(Fidelity, OnlyTheChangedFieldChanges) {
    const std::string rec = withLeader(makeRecord({{"001", "A1"},
                                                   {"005", "20240102030405.0"},
                                                   {"200", "1 \037atitle\037esub"},
                                                   {"905", "  \037aX\0379 y "}}),
                                       "00000cas0 2200000 1 450 ");
    const std::string out = readEditWrite(rec, Codec::gbk(), [](std::string w) {
        const std::size_t at = w.find("|atitle");
        return w.insert(at + 7, "|Atitle");
    });
    testrec::Parsed a, b;
    ASSERT_TRUE(testrec::parseRecord(rec, a));
    ASSERT_TRUE(testrec::parseRecord(out, b));
    EXPECT_EQ(b.leader.substr(5, 7), "cas0 22");  // keep: the serial stays a serial
    EXPECT_EQ(b.leader.substr(17), " 1 450 ");
    EXPECT_EQ(std::stoul(b.leader.substr(0, 5)), out.size());
    ASSERT_EQ(b.fields.size(), 4u);
    EXPECT_EQ(b.fields[2].second, "1 \037atitle\037Atitle\037esub");
    EXPECT_EQ(b.fields[3], a.fields[3]);
    // template: the leader is built as for a record made by hand.
    EXPECT_EQ(readEditWrite(rec, Codec::gbk(), {}, false).substr(5, 4), "nam0");
}

// Any 24 bytes a record starts with are its leader: a control byte (as a real export has at 22),
// a blank or other entry map, a serial's code. Only the length and base address are recomputed;
// the templates apply under "template" alone.
TEST(Fidelity, TheLeaderComesThroughWhateverItHolds) {
    const auto fields =
        std::vector<testrec::Field>{{"001", "A1"}, {"005", "20240102030405.0"}, {"225", "2 \037aseries"}};
    for (const std::string& leader :
         {std::string("01025cam a2200277Ia 45\0020"), std::string("00000cgm0 2200000       "),
          std::string("00000nam\x01 2200000   350 "),
          std::string("00000\x7F\x80\xFF\x1F 2200000 \t\v450 ")}) {
        const std::string rec = withLeader(makeRecord(fields), leader);
        EXPECT_EQ(readEditWrite(rec), rec);
        EXPECT_EQ(readEditWrite(rec, Codec::get(codepage::Encoding::Utf8)), rec);
        EXPECT_EQ(readEditWrite(rec, Codec::gbk(), {}, false).substr(5, 4), "oam2");
    }
}

// A record whose directory counts characters is written with byte counts: the same fields, its
// own leader but for its length and base address.
TEST(Fidelity, CharacterCountedLengthsAreWrittenAsBytes) {
    const std::string title = "1 \037a\xE4\xB9\xA6\xE5\x90\x8D";  // 书名
    const std::string counted =
        "00078cam a2200061 a 4500"
        "001000300000200000700003300000600010\036x1\x1E" +
        title + "\036  \037ab\x1E\x1D";
    const std::string out = readEditWrite(counted, Codec::get(codepage::Encoding::Utf8));
    EXPECT_EQ(
        out,
        withLeader(
            makeRecord({{"001", "x1"}, {"005", "20991231235959.0"}, {"200", title}, {"300", "  \037ab"}}),
            counted.substr(0, 24)));
}

TEST(Fidelity, ShortRecordsAreWrittenAndEmptyOnesRefused) {
    const std::string brief = makeRecord({{"001", "b1"}, {"200", "1 \037ax"}});
    const std::string out = readEditWrite(brief);
    testrec::Parsed p;
    ASSERT_TRUE(testrec::parseRecord(out, p));
    ASSERT_EQ(p.fields.size(), 3u);
    EXPECT_EQ(p.fields[1], (testrec::Field{"005", "20991231235959.0"}));  // generated, second
    EXPECT_EQ(readEditWrite(makeRecord({{"001", "b1"}, {"005", "20240102030405.0"}})), "");
}

// A changed field is written from its text; if the text cannot give back the field's bytes, the
// record is refused with the field, the offset and the likely code page.
TEST(Fidelity, AChangedFieldWithInvalidBytesIsRefused) {
    const std::string utf8Title = "\xE4\xB8\xAD";  // 中 in UTF-8; in GBK a pair and a lead byte at the end
    const std::string rec = makeRecord({{"001", "A1"}, {"200", "1 \037a" + utf8Title}});
    const auto addPinyin = [](std::string w) { return w + "|Ax"; };
    const problem::Problem p =
        testerrors::problemOf<marc::EncodingError>([&] { readEditWrite(rec, Codec::gbk(), addPinyin); });
    EXPECT_EQ(p.kind, problem::Kind::InvalidBytes);
    EXPECT_EQ(p.tag, "200");
    EXPECT_EQ(rec.substr(static_cast<std::size_t>(p.value), 1), "\xAD");
    EXPECT_EQ(p.encoding, codepage::Encoding::Gbk);
    EXPECT_EQ(p.other, codepage::Encoding::Utf8);
    // Read as what it is, the same record is written.
    EXPECT_NE(readEditWrite(rec, Codec::get(codepage::Encoding::Utf8), addPinyin), "");
}

// A changed field keeps its bytes around the text that changed, and comes out as the whole line
// encoded would: text put in, taken out or replaced at the start, middle and end of the data,
// next to characters that share their first or their last bytes, beside a "|" of the data, in
// each code page; a change of indicators too.
TEST(Fidelity, AChangedFieldIsWhatItsWholeLineEncodesTo) {
    const std::string bar(marc::kDataBar);
    const std::vector<std::pair<std::string, std::string>> edits = {
        {"|a中国", "|a中国|Azhong guo"},
        {"|e书" + bar + "名", "|e书" + bar + "名|Ashu ming"},
        {"|Ashu", "|Aqi|Ashu"},
        {"|Ashu", "|A"},
        {"|a中国", "|a丰国"},  // 中 E4 B8 AD, 丰 E4 B8 B0
        {"|a中国", "|a席国"},  // 席 E5 B8 AD
        {"|a中国", "|Ax|a中国"},
        {"1  |a", "2  |a"},
    };
    // Indicators, then the data with "|" as the delimiter and kDataBar as "|".
    const auto wholeLine = [&](const std::string& line, const Codec& cp) {
        std::string field = line.substr(4, 2) + line.substr(7);
        for (std::size_t at; (at = field.find('|')) != std::string::npos;) field[at] = '\x1F';
        for (std::size_t at; (at = field.find(bar)) != std::string::npos;) field.replace(at, bar.size(), "|");
        return cp.encode(field);
    };
    for (const auto e : {codepage::Encoding::Gbk, codepage::Encoding::Gb18030, codepage::Encoding::Utf8}) {
        const Codec& cp = Codec::get(e);
        const std::string title = cp.encode("1 \037a中国\037e书|名\037Ashu");
        const std::string rec = makeRecord({{"001", "A1"}, {"005", "20240102030405.0"}, {"200", title}});
        for (const auto& [from, to] : edits) {
            std::string line;
            const std::string out = readEditWrite(rec, cp, [&](std::string w) {
                w.replace(w.find(from), from.size(), to);
                line = w.substr(w.find("200 "));
                return w;
            });
            EXPECT_EQ(out,
                      makeRecord({{"001", "A1"}, {"005", "20240102030405.0"}, {"200", wholeLine(line, cp)}}))
                << codepage::encodingName(e) << " " << to;
        }
    }
}

TEST(Identifiers, DistinctWithTheClockHeldStill) {
    marc::IdentifierSequence ids(endOf2099);
    std::vector<std::string> given;
    for (int i = 0; i < 10; ++i) given.push_back(ids.next());
    EXPECT_EQ(std::set<std::string>(given.begin(), given.end()).size(), 10u);
    // One second apart, in the same form: the clock's own second, then the next year's first.
    EXPECT_EQ(given.front(), "011231235959");
    EXPECT_EQ(given.back(), "010101000008");
}

TEST(Identifiers, ARunOneSecondLaterDoesNotRepeatThem) {
    const auto dir = std::filesystem::temp_directory_path() / ("ids_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string state = (dir / "marc-pinyin" / "last-identifier").string();
    std::set<std::string> seen;
    marc::IdentifierSequence first([] { return marc::LocalTime{2024, 5, 6, 7, 8, 9}; }, state);
    for (int i = 0; i < 20; ++i) seen.insert(first.next());
    marc::IdentifierSequence second([] { return marc::LocalTime{2024, 5, 6, 7, 8, 10}; }, state);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(seen.insert(second.next()).second);
    std::filesystem::remove_all(dir);
}

TEST(Identifiers, TheBatchWriterTakesThemFromTheSequence) {
    marc::IdentifierSequence ids(endOf2099);
    marc::WriteContext context;
    context.clock = endOf2099;
    context.identifiers = &ids;
    const std::string text = marc_samples::workingText({"200 1  |ax"});
    std::set<std::string> seen;
    for (int i = 0; i < 3; ++i)
        seen.insert(marc::workingText(marc::recordFromWorkingText(text, Codec::gbk(), context), Codec::gbk())
                        .substr(0, 19));
    EXPECT_EQ(seen.size(), 3u);
}

}  // namespace
