// The record as a run holds it: only the listed fields decoded, every other field left in bytes
// and written back from them. Read and written so, every record gives the same fields, the same
// refusal and the same bytes as when its whole working text is read and written.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/records.h"
#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/source.h"
#include "marc/writer.h"
#include "samples.h"
#include "support/errors.h"
#include "text/tag_list.h"

using codepage::Codec;

namespace {

/// A record from a directory and the fields it points at (each field given with its terminator).
std::string record(const std::string& directory, const std::string& fields) {
    return "00000nam0 2200000   450 " + directory + "\x1E" + fields + "\x1D";
}

/// A title line with pinyin put behind its subfield a, as a run changes a listed field.
std::string edited(std::string line) {
    const std::size_t a = line.find("|a");
    if (a != std::string::npos)
        line.insert(line.find('|', a + 1) == std::string::npos ? line.size() : line.find('|', a + 1),
                    "|Ashu ming");
    return line;
}

using testerrors::Refusal;

/// Reads `rec`, whole or with only `tags` decoded: the refusal, if any.
std::optional<Refusal> read(const std::string& rec, const Codec& cp, marc::SourceRecord& source,
                            const text::TagList* tags) {
    return testerrors::refusalOf<marc::MarcError>([&] { marc::readRecord(rec, cp, source, tags); });
}

/// How both ways below write `source`: its leader kept or not, the clock at the end of 2099.
marc::WriteContext contextOf(const marc::SourceRecord& source, bool keepLeader) {
    marc::WriteContext context;
    context.source = &source;
    context.keepLeader = keepLeader;
    context.clock = marc_samples::endOf2099;
    return context;
}

/// Writes `source`'s fields, the listed ones edited: through the whole working text, or as the
/// run writes the fields (`source` read with only the listed fields decoded). The bytes, or the
/// kind of the refusal.
std::string writeWhole(const marc::SourceRecord& source, const Codec& cp, const text::TagList& tags,
                       bool keepLeader) {
    std::string text;
    for (std::size_t i = 0; i < source.lines.size(); ++i) {
        const std::string line(source.line(i));
        text += (tags.holds(line.substr(0, 3)) ? edited(line) : line) + "\r\n";
    }
    try {
        return marc::recordFromWorkingText(text, cp, contextOf(source, keepLeader));
    } catch (const marc::MarcError& e) {
        return "refused " + std::to_string(static_cast<int>(e.problem.kind));
    }
}

std::string writeFields(const marc::SourceRecord& source, const Codec& cp, const text::TagList& tags,
                        bool keepLeader) {
    std::vector<std::string> texts(source.lines.size());
    std::vector<std::string_view> lines(source.lines.size());
    std::vector<bool> changed(source.lines.size());
    for (std::size_t i = 0; i < source.lines.size(); ++i) {
        if (!source.lines[i].decoded) {
            lines[i] = source.tag(i);
            continue;
        }
        texts[i] =
            tags.holds(source.tag(i)) ? edited(std::string(source.line(i))) : std::string(source.line(i));
        changed[i] = texts[i] != source.line(i);
        lines[i] = changed[i] ? std::string_view(texts[i]) : source.line(i);
    }
    try {
        return marc::writeRecord(lines, changed, cp, contextOf(source, keepLeader));
    } catch (const marc::MarcError& e) {
        return "refused " + std::to_string(static_cast<int>(e.problem.kind));
    }
}

void expectTheSame(const std::string& rec, const Codec& cp, const std::string& tagList = "200") {
    SCOPED_TRACE(testing::PrintToString(rec));
    const text::TagList tags(tagList);
    marc::SourceRecord whole, listed;
    const std::optional<Refusal> a = read(rec, cp, whole, nullptr), b = read(rec, cp, listed, &tags);
    ASSERT_EQ(a, b);
    if (a) return;
    EXPECT_TRUE(whole.whole);
    ASSERT_EQ(whole.lines.size(), listed.lines.size());
    EXPECT_EQ(whole.charCounted, listed.charCounted);
    for (std::size_t i = 0; i < whole.lines.size(); ++i) {
        EXPECT_EQ(whole.field(i), listed.field(i));
        EXPECT_EQ(whole.tag(i), whole.line(i).substr(0, 3));
        EXPECT_EQ(listed.tag(i), whole.tag(i));
        if (listed.lines[i].decoded)
            EXPECT_EQ(listed.line(i), whole.line(i));
        else
            EXPECT_FALSE(tags.holds(listed.tag(i)));
    }
    for (const bool keep : {true, false})
        EXPECT_EQ(writeFields(listed, cp, tags, keep), writeWhole(whole, cp, tags, keep));
}

TEST(RecordModel, FieldsLeftInBytesReadAndWriteAsTheWholeText) {
    const std::string title = "1 \037a\xCA\xE9\xC3\xFB";  // 书名 in GBK
    const std::vector<std::vector<testrec::Field>> records = {
        {{"001", "x1"}, {"005", "20240102030405.0"}, {"200", title}, {"300", "  \037anote"}},
        // Bytes GBK does not have, in an unlisted field and in the listed one.
        {{"001", "x1"}, {"005", "20240102030405.0"}, {"200", title}, {"801", "  \037a\x81\x20\xFF\x80"}},
        {{"001", "x1"}, {"005", "20240102030405.0"}, {"200", title + "\x81\x20"}, {"801", "  \037ab"}},
        // A "|" and control bytes in fields, indicators of two bytes, a 000 under the templates.
        {{"000", "cam2"},
         {"001", "x|1"},
         {"005", "  "},
         {"200", title + "|x"},
         {"610", "\x81\x40\037a\x01 b"}},
        {{"001", "   "},
         {"100", "  \037a19|||0"},
         {"200", "\037a\037b"},
         {"AVA", "x\037a1"},
         {"225", "2 \037aseries"}},
        // Local fields with letters, a 001 and 005 in the middle, a 200 without subfield a.
        {{"AVA", "  \037aX"}, {"200", "1 \037ex"}, {"001", "y"}, {"005", "20240102030405.0"}, {"CAT", "cat"}},
    };
    for (const auto& fields : records)
        for (const Codec* cp : {&Codec::gbk(), &Codec::get(codepage::Encoding::Utf8),
                                &Codec::get(codepage::Encoding::Gb18030)}) {
            expectTheSame(testrec::makeRecord(fields), *cp);
            expectTheSame(testrec::makeRecord(fields), *cp, "200,AVA,610");
        }
}

// A field the run does not decode is refused for what it holds exactly as a decoded one: the
// first entry at fault is named, whether or not it is listed.
TEST(RecordModel, FieldsLeftInBytesAreRefusedAsDecodedOnes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"200000900000", "1 \037ab\036cd\x1E"},
        {"300000700000", "1 \037a\035b\x1E"},
        {"001000400000", "1\0353\x1E"},
        {"300000600000", "\035 \037ab\x1E"},
        {"300000600000", "1 \037a\r\x1E"},
        {"300000600000", "1 \037|\n\x1E"},
        {"300000600000", "\x81\x40\037a\x1D\x1E"},
        {"300000600000", "1\037a\r\x1E\x1E"},
        {"300000600000", "\x81\036ab\x1E"},
        {"300000300000", "\x81\x1E"},
        {"300000000000", "ab\x1E"},
        {"3#0000400000", "abc\x1E"},
        {"300000200000", "\xCA\x1E"},
        {"300000400000", "ab\x1E\x1E"},
    };
    for (const auto& [directory, fields] : cases) {
        expectTheSame(record(directory, fields), Codec::gbk());
        expectTheSame(record("001000300000" + directory.substr(0, 7) + "00003", "x1\x1E" + fields),
                      Codec::gbk());
        expectTheSame(record(directory + "200000600004", fields.substr(0, 4) + "1 \037ab\x1E"), Codec::gbk());
    }
    // Lengths counted in characters: read so, listed fields or not.
    const std::string counted =
        "00078cam a2200061 a 4500"
        "001000300000200000700003300000600010\036x1\0361 \037a\xE4\xB9\xA6\xE5\x90\x8D\036  \037ab\x1E\x1D";
    expectTheSame(counted, Codec::get(codepage::Encoding::Utf8));
    expectTheSame(counted, Codec::get(codepage::Encoding::Utf8), "300");
}

TEST(RecordModel, ATagIsListedWhenTheListHoldsItAsText) {
    const text::TagList tags("200,701 AVA;2x1");
    for (const char* tag : {"200", "701", "AVA", "00,", "2x1", "A", "1 A", "01 "})
        EXPECT_TRUE(tags.holds(tag)) << tag;
    for (const char* tag : {"201", "100", "VAX", "   ", "", "2001"}) EXPECT_FALSE(tags.holds(tag)) << tag;
    EXPECT_FALSE(text::TagList().holds("200"));
    EXPECT_TRUE(text::TagList("2002").holds("002"));  // every three-digit window counts
}

}  // namespace
