// The lines of a working record and the subfields of a line, at their edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/working_line.h"

namespace text {
namespace {

/// "piece@at" for every piece, the head marked "head:".
std::vector<std::string> pieces(SubfieldRange range) {
    std::vector<std::string> out;
    for (const Subfield s : range)
        out.push_back((s.head ? "head:" : "") + std::string(s.piece) + "@" + std::to_string(s.at));
    return out;
}

std::vector<std::string> lines(std::string_view record) {
    std::vector<std::string> out;
    for (const std::string_view line : linesOf(record)) out.emplace_back(line);
    return out;
}

using Strings = std::vector<std::string>;

TEST(WorkingLine, SubfieldsAndTheHead) {
    EXPECT_EQ(pieces(piecesOf("200 1 |a红|Bx")), (Strings{"head:200 1 @0", "a红@7", "Bx@12"}));
    EXPECT_EQ(pieces(subfieldsOf("200 1 |a红|Bx")), (Strings{"a红@7", "Bx@12"}));
    // An empty line and a line without "|" are all head, and have no subfield.
    EXPECT_EQ(pieces(piecesOf("")), (Strings{"head:@0"}));
    EXPECT_EQ(pieces(subfieldsOf("")), Strings{});
    EXPECT_EQ(pieces(piecesOf("001   12")), (Strings{"head:001   12@0"}));
    EXPECT_EQ(pieces(subfieldsOf("001   12")), Strings{});
    // "||", a "|" first and a "|" at the end give empty pieces.
    EXPECT_EQ(pieces(subfieldsOf("|a||b|")), (Strings{"a@1", "@3", "b@4", "@6"}));
    EXPECT_EQ(pieces(piecesOf("|")), (Strings{"head:@0", "@1"}));
    // The stand-in for a "|" of the data splits nothing.
    EXPECT_EQ(pieces(subfieldsOf("200 1 |az\xEF\xB7\x90z")), (Strings{"az\xEF\xB7\x90z@7"}));
}

TEST(WorkingLine, CodeTextAndEnd) {
    const std::string_view line = "200 1 |a红楼|";
    std::vector<Subfield> all(subfieldsOf(line).begin(), subfieldsOf(line).end());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].code(), 'a');
    EXPECT_EQ(all[0].text(), "红楼");
    EXPECT_EQ(line[all[0].end()], '|');
    EXPECT_EQ(all[1].code(), '\0');
    EXPECT_EQ(all[1].text(), "");
    EXPECT_EQ(all[1].end(), line.size());
}

TEST(WorkingLine, LinesEndAtEveryCr) {
    EXPECT_EQ(lines(""), Strings{""});
    EXPECT_EQ(lines("001   1"), Strings{"001   1"});
    // The LF of a CR LF goes, one at the very start too; a lone CR ends a line, a lone LF does not.
    EXPECT_EQ(lines("a\r\nb\rc\nd\r\n"), (Strings{"a", "b", "c\nd", ""}));
    EXPECT_EQ(lines("\n\na\r\r\n\n"), (Strings{"\na", "", "\n"}));
}

TEST(WorkingLine, WhatLiesBehindALine) {
    const std::string_view record = "\n|a\r|b\r\n|c\r\n";
    std::vector<bool> behindCrLf;
    for (const std::string_view line : linesOf(record)) behindCrLf.push_back(followsCrLf(record, line));
    EXPECT_EQ(behindCrLf, (std::vector<bool>{false, false, true, true}));

    std::string buf;
    buf.reserve(16);
    const std::string_view plain = "200 1 |a";
    EXPECT_EQ(withoutLineFeeds(plain, buf).data(), plain.data());  // no copy
    EXPECT_TRUE(buf.empty());
    const std::string_view first = withoutLineFeeds("a\nb\n", buf);
    const std::string_view second = withoutLineFeeds("\nc", buf);
    EXPECT_EQ(first, "ab");  // still valid: the buffer kept its capacity
    EXPECT_EQ(second, "c");
}

}  // namespace
}  // namespace text
