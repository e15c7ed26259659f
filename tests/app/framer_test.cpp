// Record framing: records found, their input lines, the mends, and streaming in blocks.
#include "app/framer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/records.h"

namespace {

struct Got {
    std::string bytes;
    std::int64_t line;
    std::optional<problem::Kind> problem;  ///< none: a record to read
    int pieces = 1;                        ///< the frame and its continuations
};

// Frames `input` fed in blocks of `block` bytes; continuation frames, which share their first's
// problem, are joined to it. Every input byte is in exactly one frame or passed over as filler or
// a line break; `passedOver` gets how many of each.
std::vector<Got> frameAll(const std::string& input, std::size_t block = 1 << 20,
                          std::pair<std::uint64_t, std::uint64_t>* passedOver = nullptr) {
    app::RecordFramer framer;
    std::vector<Got> out;
    app::Frame f;
    std::uint64_t framed = 0;
    auto drain = [&] {
        while (framer.next(f)) {
            framed += f.bytes.size();
            if (f.continuation) {
                out.back().bytes += f.bytes;
                ++out.back().pieces;
                EXPECT_EQ(f.problem, out.back().problem);
            } else {
                out.push_back({std::string(f.bytes), f.line, f.problem});
            }
        }
    };
    for (std::size_t i = 0; i < input.size(); i += block) {
        framer.feed(std::string_view(input).substr(i, block));
        drain();
    }
    framer.finish();
    drain();
    EXPECT_EQ(framer.consumed(), input.size());
    EXPECT_EQ(framed + framer.filler() + framer.lineBreaks(), input.size());
    if (passedOver) *passedOver = {framer.filler(), framer.lineBreaks()};
    return out;
}

// The bytes of `frames`, and whether each is a record to read (no problem).
using Cuts = std::vector<std::pair<std::string, bool>>;
Cuts cuts(const std::vector<Got>& frames) {
    Cuts out;
    for (const Got& g : frames) out.emplace_back(g.bytes, !g.problem);
    return out;
}

// The input line each of `frames` starts on, and what is wrong with each (none: a record to read).
std::vector<std::int64_t> lines(const std::vector<Got>& frames) {
    std::vector<std::int64_t> out;
    for (const Got& g : frames) out.push_back(g.line);
    return out;
}
using Kinds = std::vector<std::optional<problem::Kind>>;
Kinds kinds(const std::vector<Got>& frames) {
    Kinds out;
    for (const Got& g : frames) out.push_back(g.problem);
    return out;
}
using problem::Kind;

const std::string r1 = testrec::book("A1", "\xCA\xE9");          // 书
const std::string r2 = testrec::book("A2", "\xD2\xF8\xD0\xD0");  // 银行
const std::string r3 = testrec::book("A3", "abc|def");

TEST(Framer, OneRecordPerLineAndBackToBack) {
    auto got = frameAll(r1 + "\r\n" + r2 + "\n" + r3 + "\r");
    EXPECT_EQ(cuts(got), (Cuts{{r1, true}, {r2, true}, {r3, true}}));
    EXPECT_EQ(lines(got), (std::vector<std::int64_t>{1, 2, 3}));

    // No line breaks at all, and several records on one line: each one on its own.
    got = frameAll(r1 + r2 + r3 + "\r\n" + r1 + r2);
    EXPECT_EQ(cuts(got), (Cuts{{r1, true}, {r2, true}, {r3, true}, {r1, true}, {r2, true}}));
    EXPECT_EQ(lines(got), (std::vector<std::int64_t>{1, 1, 1, 2, 2}));
}

TEST(Framer, RecordsOverSeveralLinesAndBlankLines) {
    // Each break counts one line, whatever its form: CR LF, lone LF, lone CR.
    std::string spread =
        r1.substr(0, 30) + "\r\n" + r1.substr(30, 20) + "\n" + r1.substr(50, 5) + "\r" + r1.substr(55);
    auto got = frameAll("\r\n\n" + spread + "\r\n\r\n\r\n" + r2 + "\r\n");
    ASSERT_EQ(cuts(got), (Cuts{{spread, true}, {r2, true}}));
    EXPECT_EQ(lines(got), (std::vector<std::int64_t>{3, 9}));
    // Its directory leaves the line breaks out: the reader gets it joined.
    std::string joined;
    app::cleanRecord(got[0].bytes, joined);
    EXPECT_EQ(joined, r1);
}

TEST(Framer, TextAfterTheLastTerminator) {
    // Blank space, line breaks and an end-of-file mark are nothing.
    EXPECT_EQ(cuts(frameAll(r1 + "\r\n  \r\n\x1A")), (Cuts{{r1, true}}));
    EXPECT_TRUE(frameAll("").empty());
    EXPECT_TRUE(frameAll("\r\n \n\x1A").empty());

    // Anything else is a record cut short, kept byte for byte.
    std::string cut = r2.substr(0, r2.size() - 10);
    const auto got = frameAll(r1 + "\r\n" + cut + "\r\n");
    EXPECT_EQ(cuts(got), (Cuts{{r1, true}, {cut + "\r\n", false}}));
    EXPECT_EQ(kinds(got), (Kinds{std::nullopt, Kind::CutShort}));
    EXPECT_EQ(lines(got), (std::vector<std::int64_t>{1, 2}));

    // An input with no terminator at all is one record cut short.
    EXPECT_EQ(kinds(frameAll("no terminator\r\nanywhere")), (Kinds{Kind::CutShort}));
}

TEST(Framer, ResynchronisesAtTheNextLeader) {
    // r2 lost its terminator: it must not take r3 down with it.
    std::string damaged = r2.substr(0, r2.size() - 1);
    const auto got = frameAll(r1 + "\r\n" + damaged + r3 + "\r\n" + r1);
    EXPECT_EQ(cuts(got), (Cuts{{r1, true}, {damaged, false}, {r3, true}, {r1, true}}));
    EXPECT_EQ(kinds(got), (Kinds{std::nullopt, Kind::NextRecordInside, std::nullopt, std::nullopt}));
    EXPECT_EQ(lines(got), (std::vector<std::int64_t>{1, 2, 2, 3}));

    // Garbage before a record, and two damaged records in a row.
    EXPECT_EQ(cuts(frameAll("garbage 12345" + damaged + damaged + r3)),
              (Cuts{{"garbage 12345", false}, {damaged, false}, {damaged, false}, {r3, true}}));

    // A lost terminator at the very end: the last record is cut short, the one before damaged.
    EXPECT_EQ(kinds(frameAll(damaged + damaged)), (Kinds{Kind::NextRecordInside, Kind::CutShort}));
}

TEST(Framer, NoFalseRecordStartsInsideGoodRecords) {
    // Digits everywhere: a long numeric 001, a directory of many entries, numbers in the data.
    std::vector<testrec::Field> fields{{"001", "012345678901234567890123456789"},
                                       {"005", "20240102030405.0"}};
    for (int i = 0; i < 40; ++i)
        fields.push_back({"300", "  \037a" + std::to_string(i * 37) + "00000000000"});
    std::string rec = testrec::makeRecord(fields);
    EXPECT_EQ(app::findRecordStart(rec), std::string_view::npos);
    // A record embedded in a data field is found, after the outer directory only.
    std::string outer = testrec::makeRecord({{"001", "1"}, {"300", "  \037a" + r1}});
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
    const std::string junk(app::kMaxRecordBytes + 300000, 'x');
    const auto got = frameAll(junk + "\x1D" + r1, 65536);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, junk + "\x1D");
    EXPECT_EQ(got[0].problem, Kind::TooLong);  // in every piece
    EXPECT_GT(got[0].pieces, 2);
    EXPECT_EQ(got[1].bytes, r1);
}

TEST(Framer, AGoodRecordAfterAnOverlongPieceIsItsOwn) {
    // Junk without a terminator runs straight into a good record: the junk fails alone.
    const std::string junk(app::kMaxRecordBytes + 300000, 'x');
    for (std::size_t block : {std::size_t{65536}, std::size_t{1} << 20}) {
        std::string joined;
        std::vector<std::string> records;
        for (const Got& g : frameAll(junk + r1 + r2, block)) {
            if (g.problem)
                joined += g.bytes;  // too long, or cut by the next record
            else
                records.push_back(g.bytes);
        }
        EXPECT_TRUE(joined == junk) << "block " << block << ": " << joined.size() << " bytes of junk";
        EXPECT_TRUE(records == (std::vector<std::string>{r1, r2}))
            << "block " << block << ": " << records.size();
    }
}

// A record's own leader and directory decide where it ends, before any mend.
TEST(Framer, ARecordItsDirectoryAccountsForIsOneRecord) {
    // A note that holds a leader and a directory entry as text, ended by the field's terminator
    // just where that leader's base address says: still one record.
    const std::string note = testrec::makeRecord(
        {{"001", "N1"}, {"300", "  \037a00000nam0 2200037   450 200000500000"}, {"200", "1 \037a\xCA\xE9"}});
    ASSERT_NE(app::findRecordStart(note), std::string_view::npos);  // what fooled the framer
    EXPECT_EQ(cuts(frameAll(r1 + note + r2 + "\r\n")), (Cuts{{r1, true}, {note, true}, {r2, true}}));

    // A record holding a whole record in a note, terminator and all: one record, to the
    // terminator its directory names (the reader then refuses it, and it is kept whole).
    const std::string outer = testrec::makeRecord({{"001", "O1"}, {"300", "  \037a" + r3}});
    for (std::size_t block : {std::size_t{1} << 20, std::size_t{7}})
        EXPECT_EQ(cuts(frameAll(r1 + outer + r2, block)), (Cuts{{r1, true}, {outer, true}, {r2, true}}));

    // Lengths counted in UTF-8 characters, not bytes, as some systems write them: one record.
    std::string chars = testrec::makeRecord({{"001", "U1"}, {"200", "1 \037a\xE4\xB9\xA6"}});  // 书
    chars.replace(24 + 12 + 3, 4, "0006");
    EXPECT_TRUE(app::directoryAccountsFor(chars));
}

TEST(Framer, ASoundRecordIsNotTakenByAPieceThatLostItsLeader) {
    // r3 quoted over two fields of another record, its own terminator ending the last one.
    const std::size_t cut = r3.rfind('\x1E', r3.size() - 3);
    const std::string whole = testrec::makeRecord({{"001", "Q1"},
                                                   {"005", "20240102030405.0"},
                                                   {"300", "  \037a" + r3.substr(0, cut)},
                                                   {"210", r3.substr(cut + 1, r3.size() - cut - 3)}});
    ASSERT_EQ(whole.substr(whole.size() - r3.size()), r3);
    // With its leader it is one record.
    EXPECT_EQ(cuts(frameAll(r1 + whole + r2)), (Cuts{{r1, true}, {whole, true}, {r2, true}}));
    // Without it, its first two entries pass for a leader and its directory still accounts for
    // the bytes; but that leader is none, and r3 is whole: r3 is its own record.
    const std::string headless = whole.substr(24);
    ASSERT_TRUE(app::directoryAccountsFor(headless));
    const std::string head = headless.substr(0, headless.size() - r3.size());
    for (std::size_t block : {std::size_t{1} << 20, std::size_t{5}})
        EXPECT_EQ(cuts(frameAll(r1 + headless + r2, block)),
                  (Cuts{{r1, true}, {head, false}, {r3, true}, {r2, true}}));
    // A directory that reaches past the record's terminator, into the record behind, takes it
    // only where the leader names that length too.
    auto padded = [](std::size_t n, std::size_t width) {
        std::string digits = std::to_string(n);
        return std::string(width - digits.size(), '0') + digits;
    };
    std::string reaching = r1;
    const std::size_t last = 24 + 12 * 4 + 3;  // the length of the last of its five fields
    reaching.replace(last, 4, padded(std::stoul(reaching.substr(last, 4)) + r2.size(), 4));
    ASSERT_EQ(reaching.size(), r1.size());
    EXPECT_EQ(cuts(frameAll(reaching + r2 + r3)), (Cuts{{reaching, true}, {r2, true}, {r3, true}}));
    std::string named = reaching;
    named.replace(0, 5, padded(reaching.size() + r2.size(), 5));
    EXPECT_EQ(cuts(frameAll(named + r2 + r3)), (Cuts{{named + r2, true}, {r3, true}}));

    // A stray byte before a record with a line break in its leader: joining the lines of the
    // whole piece would read the stray byte as the leader's first; the record as it stands wins.
    std::string broken = r3;
    broken[6] = '\r';
    EXPECT_EQ(cuts(frameAll(r1 + "\x80" + broken + r2)),
              (Cuts{{r1, true}, {"\x80", false}, {broken, true}, {r2, true}}));

    // A leader that names another length is no better: r3, which its own leader names, wins.
    std::string misnamed = whole;
    misnamed.replace(0, 5, "02100");
    EXPECT_EQ(
        cuts(frameAll(r1 + misnamed + r2)),
        (Cuts{{r1, true}, {misnamed.substr(0, misnamed.size() - r3.size()), false}, {r3, true}, {r2, true}}));
}

TEST(Framer, ARecordEndsWhereItsDirectorySaysItsLastFieldEnds) {
    // Record 1 lost its terminator and record 2 has a wrong base address (no plausible record
    // start for a search by leader): record 1 ends where its directory says.
    const std::string lost = r1.substr(0, r1.size() - 1);
    std::string wrongBase = r2;
    wrongBase.replace(12, 5, "00099");
    EXPECT_EQ(app::findRecordStart(lost + wrongBase), std::string_view::npos);
    auto got = frameAll(lost + wrongBase + "\r\n" + r3);
    ASSERT_EQ(cuts(got), (Cuts{{lost, false}, {wrongBase, true}, {r3, true}}));
    EXPECT_EQ(kinds(got)[0], Kind::NextRecordInside);
    // Another byte in its terminator's place (an export wrote "."): the same.
    EXPECT_EQ(cuts(frameAll(lost + "." + wrongBase)), (Cuts{{lost + ".", false}, {wrongBase, true}}));

    // Bytes that its directory does not account for before its terminator: refused whole.
    std::string extra = r1;
    extra.insert(extra.size() - 1, "xyz");
    got = frameAll(r2 + extra + r3);
    ASSERT_EQ(cuts(got), (Cuts{{r2, true}, {extra, false}, {r3, true}}));
    EXPECT_EQ(kinds(got)[1], Kind::BytesAfterFields);

    // More than 99999 bytes up to a terminator, and no record: too long, said so.
    const std::string big = "99999cpm a2211893   4500" + std::string(120000, '7') + "\x1D";
    got = frameAll(r1 + big + r2);
    ASSERT_TRUE(cuts(got) == (Cuts{{r1, true}, {big, false}, {r2, true}}));  // not printed: 120000 bytes
    EXPECT_EQ(kinds(got)[1], Kind::RecordOver99999);
}

TEST(Framer, LineBreaksTheDirectoryCountsAreDataAndWrappingIsJoined) {
    // A note whose line breaks its directory counts: one record, carried as it is (the reader
    // refuses the field), never rewritten.
    for (const std::string breaks : {"\r\n", "\r", "\n"}) {
        const std::string withBreak = testrec::makeRecord(
            {{"001", "B1"}, {"330", "  \037aline one" + breaks + "line two"}, {"200", "1 \037a\xCA\xE9"}});
        EXPECT_EQ(cuts(frameAll(r1 + "\r\n" + withBreak + "\r\n" + r2)),
                  (Cuts{{r1, true}, {withBreak, true}, {r2, true}}));
        std::string out;
        app::cleanRecord(withBreak, out);
        EXPECT_EQ(out, withBreak);
    }

    // Wrapped with CR LF every 80 bytes (its directory leaves the breaks out): joined.
    std::string wrapped;
    for (std::size_t at = 0; at < r2.size(); at += 80) wrapped += r2.substr(at, 80) + "\r\n";
    const auto got = frameAll(r1 + "\r\n" + wrapped + r3);
    ASSERT_EQ(cuts(got), (Cuts{{r1, true}, {wrapped.substr(0, wrapped.size() - 2), true}, {r3, true}}));
    EXPECT_EQ(got[2].line, 2 + static_cast<std::int64_t>((r2.size() + 79) / 80));
    std::string out = "old content";
    app::cleanRecord(got[1].bytes, out);
    EXPECT_EQ(out, r2);
    // Neither way: left as it stands, for the reader to refuse.
    app::cleanRecord("ab\r\ncd\x1D", out);
    EXPECT_EQ(out, "ab\r\ncd\x1D");
    app::cleanRecord("  \r\n" + r1 + "\r\n", out);
    EXPECT_EQ(out, r1);
}

TEST(Framer, FillerAndAByteOrderMarkArePassedOverAndCounted) {
    const std::string input = "\xEF\xBB\xBF" + r1 + std::string("  \0\0\0\0  \r\n", 10) + r2 +
                              std::string(300, '\0') + r3 + "\n\x1A";
    for (std::size_t block : {1, 2, 5, 1 << 20}) {
        std::pair<std::uint64_t, std::uint64_t> passedOver;
        EXPECT_EQ(cuts(frameAll(input, block, &passedOver)), (Cuts{{r1, true}, {r2, true}, {r3, true}}))
            << "block " << block;
        EXPECT_EQ(passedOver.first, 3u + 8 + 300 + 1) << "block " << block;  // filler
        EXPECT_EQ(passedOver.second, 3u);                                    // line breaks
    }
    // A byte order mark anywhere but at the start is no filler.
    EXPECT_EQ(frameAll(r1 + "\xEF\xBB\xBF" + r2)[1].problem, Kind::NextRecordInside);
}

TEST(Framer, OnlyALeaderWithItsDirectoryMakesAFileOfRecords) {
    EXPECT_TRUE(app::holdsRecordLeader("some text first\r\n" + r1));
    // A directory whose last entry is cut short still shows a record.
    std::string shortDirectory = r1;
    shortDirectory.erase(24 + 12 * 4 + 5, 7);
    EXPECT_TRUE(app::holdsRecordLeader(shortDirectory));
    // A line shaped like a leader, with digits after it, but no directory ended by a terminator.
    EXPECT_FALSE(
        app::holdsRecordLeader("| e8e0ecc92946d6dcb3c2270706041a30eff0f68d | same terms as Perl |\n"
                               "00755cam  22002414a 4500001001300000003000600013\n"));
    EXPECT_FALSE(app::holdsRecordLeader("00100nam0 22 no terminator\x1E\r\n"));
    EXPECT_FALSE(app::holdsRecordLeader(std::string(4096, '\0')));
}

TEST(CleanRecord, OnlyTheEndsAreTrimmed) {
    std::string out = "old content";
    app::cleanRecord("\r\n\r\n", out);
    EXPECT_EQ(out, "");
    // Only spaces and line breaks are trimmed, not other blank bytes, and inner spaces stay.
    app::cleanRecord("\t a  b \x1D", out);
    EXPECT_EQ(out, "\t a  b \x1D");
}

}  // namespace
