// What the writer writes, the reader reads back line for line, in every code page.
#include <gtest/gtest.h>

#include "codepage/codepage.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "samples.h"

namespace {

using marc_samples::endOf2099;

TEST(RoundTrip, WrittenRecordsReadBackLineForLine) {
    for (auto e : {codepage::Encoding::Gbk, codepage::Encoding::Gb18030, codepage::Encoding::Utf8}) {
        const codepage::Codec& cp = codepage::Codec::get(e);
        for (const auto& lines : marc_samples::kRecords) {
            const std::string bytes =
                marc::recordFromWorkingText(marc_samples::workingText(lines), cp, endOf2099);
            EXPECT_EQ(marc::workingText(bytes, cp), marc_samples::readerText(lines))
                << codepage::encodingName(e);
            // The leader counts this code page's bytes: record length and base address.
            EXPECT_EQ(std::stoul(bytes.substr(0, 5)), bytes.size());
            EXPECT_EQ(std::stoul(bytes.substr(12, 5)), bytes.find('\x1E') + 1);
            // The text forms agree with the byte forms.
            EXPECT_EQ(
                marc::workingTextOfDecoded(
                    marc::decodedRecordFromWorkingText(marc_samples::workingText(lines), cp, endOf2099), cp),
                marc_samples::readerText(lines));
        }
    }
}

TEST(RoundTrip, ReadRecordsWriteBackByteForByte) {
    // A record as the reader gets it from a file, with 0x7C trail bytes (亅 is 81 7C) and fill characters.
    const codepage::Codec& cp = codepage::Codec::gbk();
    const std::string working =
        marc_samples::workingText({"001    x", "005    y", "100    |a1996" + marc_samples::kBar + "0",
                                   "200 1  |a亅|Ajue", "300    |a1", "300    |a2"});
    const std::string bytes = marc::recordFromWorkingText(working, cp, endOf2099);
    ASSERT_NE(bytes.find("\x81\x7C"), std::string::npos);
    EXPECT_EQ(marc::recordFromWorkingText(marc::workingText(bytes, cp) + "\r\n\r\n", cp, endOf2099), bytes);
}

}  // namespace
