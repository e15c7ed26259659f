// Record framing: records found, their input lines, the mends, and streaming in blocks.
#include "app/framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/records.h"

namespace {

struct Got {
    std::string bytes;
    std::int64_t line;
    std::string problem;
};

// Frames `input` fed in blocks of `block` bytes; continuation frames are joined to their first.
std::vector<Got> frameAll(const std::string& input, std::size_t block = 1 << 20) {
    app::RecordFramer framer;
    std::vector<Got> out;
    app::Frame f;
    auto drain = [&] {
        while (framer.next(f)) {
            if (f.continuation)
                out.back().bytes += f.bytes;
            else
                out.push_back({std::string(f.bytes), f.line, std::string(f.problem)});
        }
    };
    for (std::size_t i = 0; i < input.size(); i += block) {
        framer.feed(std::string_view(input).substr(i, block));
        drain();
    }
    framer.finish();
    drain();
    EXPECT_EQ(framer.consumed(), input.size());
    return out;
}

const std::string r1 = testrec::book("A1", "\xCA\xE9");  // 书
const std::string r2 = testrec::book("A2", "\xD2\xF8\xD0\xD0");  // 银行
const std::string r3 = testrec::book("A3", "abc|def");

TEST(Framer, OneRecordPerLineAndBackToBack) {
    auto got = frameAll(r1 + "\r\n" + r2 + "\n" + r3 + "\r");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, r1);
    EXPECT_EQ(got[1].bytes, r2);
    EXPECT_EQ(got[2].bytes, r3);
    EXPECT_EQ(got[0].line, 1);
    EXPECT_EQ(got[1].line, 2);
    EXPECT_EQ(got[2].line, 3);

    // No line breaks at all, and several records on one line: each one on its own.
    got = frameAll(r1 + r2 + r3 + "\r\n" + r1 + r2);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[1].bytes, r2);
    EXPECT_EQ(got[3].line, 2);
    EXPECT_EQ(got[4].bytes, r2);
    for (const auto& g : got) EXPECT_EQ(g.problem, "");
}

TEST(Framer, RecordsOverSeveralLinesAndBlankLines) {
    // Each break counts one line, whatever its form: CR LF, lone LF, lone CR.
    std::string spread = r1.substr(0, 30) + "\r\n" + r1.substr(30, 20) + "\n" + r1.substr(50, 5) + "\r" +
                         r1.substr(55);
    auto got = frameAll("\r\n\n" + spread + "\r\n\r\n\r\n" + r2 + "\r\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, spread);
    EXPECT_EQ(got[0].line, 3);
    EXPECT_EQ(got[1].line, 9);
    EXPECT_EQ(got[1].bytes, r2);
}

TEST(Framer, TextAfterTheLastTerminator) {
    // Blank space, line breaks and an end-of-file mark are nothing.
    auto got = frameAll(r1 + "\r\n  \r\n\x1A");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(frameAll("").empty());
    EXPECT_TRUE(frameAll("\r\n \n\x1A").empty());

    // Anything else is a record cut short, kept byte for byte.
    std::string cut = r2.substr(0, r2.size() - 10);
    got = frameAll(r1 + "\r\n" + cut + "\r\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].problem, app::kCutShort);
    EXPECT_EQ(got[1].bytes, cut + "\r\n");
    EXPECT_EQ(got[1].line, 2);

    // An input with no terminator at all is one record cut short.
    got = frameAll("no terminator\r\nanywhere");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].problem, app::kCutShort);
}

TEST(Framer, ResynchronisesAtTheNextLeader) {
    // r2 lost its terminator: it must not take r3 down with it.
    std::string damaged = r2.substr(0, r2.size() - 1);
    auto got = frameAll(r1 + "\r\n" + damaged + r3 + "\r\n" + r1);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].bytes, damaged);
    EXPECT_EQ(got[1].problem, app::kNextRecordInside);
    EXPECT_EQ(got[2].bytes, r3);
    EXPECT_EQ(got[2].problem, "");
    EXPECT_EQ(got[2].line, 2);
    EXPECT_EQ(got[3].problem, "");

    // Garbage before a record, and two damaged records in a row.
    got = frameAll("garbage 12345" + damaged + damaged + r3);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].bytes, "garbage 12345");
    EXPECT_EQ(got[1].bytes, damaged);
    EXPECT_EQ(got[2].bytes, damaged);
    EXPECT_EQ(got[3].bytes, r3);

    // A lost terminator at the very end: the last record is cut short, the one before damaged.
    got = frameAll(damaged + damaged);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].problem, app::kNextRecordInside);
    EXPECT_EQ(got[1].problem, app::kCutShort);
}

TEST(Framer, NoFalseRecordStartsInsideGoodRecords) {
    // Digits everywhere: a long numeric 001, a directory of many entries, numbers in the data.
    std::vector<testrec::Field> fields{{"001", "012345678901234567890123456789"},
                                       {"005", "20240102030405.0"}};
    for (int i = 0; i < 40; ++i) fields.push_back({"300", "  \x1F" "a" + std::to_string(i * 37) + "00000000000"});
    std::string rec = testrec::makeRecord(fields);
    EXPECT_EQ(app::findRecordStart(rec), std::string_view::npos);
    // A record embedded in a data field is found, after the outer directory only.
    std::string outer = testrec::makeRecord({{"001", "1"}, {"300", "  \x1F" "a" + r1}});
    EXPECT_NE(app::findRecordStart(outer), std::string_view::npos);
    EXPECT_EQ(app::findRecordStart(r1), std::string_view::npos);
    EXPECT_EQ(app::findRecordStart("x" + r1), 1u);
}

TEST(Framer, BlocksOfAnySizeGiveTheSameFrames) {
    std::string input = "\r\n" + r1 + "\r" + "\n" + r2 + r3 + "\r\n\r\n" + r2.substr(0, r2.size() - 1) + r1 +
                        "\n" + r3.substr(0, 40);
    auto whole = frameAll(input);
    ASSERT_EQ(whole.size(), 6u);
    for (std::size_t block : {1, 2, 3, 7, 64}) {
        auto got = frameAll(input, block);
        ASSERT_EQ(got.size(), whole.size()) << "block " << block;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].bytes, whole[i].bytes) << "block " << block << " frame " << i;
            EXPECT_EQ(got[i].line, whole[i].line) << "block " << block << " frame " << i;
            EXPECT_EQ(got[i].problem, whole[i].problem);
        }
    }
}

TEST(Framer, OverlongPieceComesInPiecesWithBoundedMemory) {
    std::string junk(app::kMaxRecordBytes + 300000, 'x');
    std::string input = junk + "\x1D" + r1;
    app::RecordFramer framer;
    app::Frame f;
    std::string joined;
    int records = 0, continuations = 0;
    for (std::size_t i = 0; i < input.size(); i += 65536) {
        framer.feed(std::string_view(input).substr(i, 65536));
        while (framer.next(f)) {
            if (f.continuation) {
                ++continuations;
            } else {
                ++records;
            }
            if (records == 1) {
                joined += f.bytes;
                EXPECT_EQ(f.problem, app::kTooLong);
            }
        }
    }
    framer.finish();
    while (framer.next(f)) {
        if (!f.continuation) ++records;
        EXPECT_EQ(f.bytes, r1);
    }
    EXPECT_EQ(records, 2);
    EXPECT_GT(continuations, 1);
    EXPECT_EQ(joined, junk + "\x1D");
}

TEST(Framer, AGoodRecordAfterAnOverlongPieceIsItsOwn) {
    // Junk without a terminator runs straight into a good record: the junk fails alone.
    const std::string junk(app::kMaxRecordBytes + 300000, 'x');
    for (std::size_t block : {std::size_t{65536}, std::size_t{1} << 20}) {
        const std::string input = junk + r1 + r2;
        app::RecordFramer framer;
        app::Frame f;
        std::string joined;
        std::vector<std::string> records;
        auto drain = [&] {
            while (framer.next(f)) {
                if (!f.problem.empty()) joined += f.bytes;  // too long, or cut by the next record
                else records.emplace_back(f.bytes);
            }
        };
        for (std::size_t i = 0; i < input.size(); i += block) {
            framer.feed(std::string_view(input).substr(i, block));
            drain();
        }
        framer.finish();
        drain();
        EXPECT_TRUE(joined == junk) << "block " << block << ": " << joined.size() << " bytes of junk";
        EXPECT_TRUE(records == (std::vector<std::string>{r1, r2})) << "block " << block << ": " << records.size();
    }
}

TEST(CleanRecord, LineBreaksBecomeTwoSpacesAndEndsAreTrimmed) {
    std::string out = "old content";
    app::cleanRecord("  \r\nab\r\ncd\nef\rgh\r\n  ", out);
    EXPECT_EQ(out, "ab  cd  ef  gh");
    app::cleanRecord("\r\n\r\n", out);
    EXPECT_EQ(out, "");
    // Only spaces are trimmed, not other blank bytes, and inner spaces stay.
    app::cleanRecord("\t a  b \x1D", out);
    EXPECT_EQ(out, "\t a  b \x1D");
}

}  // namespace
