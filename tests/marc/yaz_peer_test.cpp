// A real peer agrees: yaz-marcdump reads what the writer writes, without a warning, field for field.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "codepage/codepage.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "samples.h"
#include "support/files.h"

namespace {

using marc_samples::endOf2099;

using testfiles::slurp;

/// Our own reading of a written record in yaz-marcdump's line view ("-o line"): the leader, then
/// "tag data" for control fields and "tag ii $a text $b text" for data fields, then an empty line.
std::string lineView(const std::string& bytes) {
    std::string out = bytes.substr(0, 24) + "\n";
    std::string working = marc::workingText(bytes, codepage::Codec::gbk());
    std::istringstream lines(working);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string data = line.substr(7);
        auto bars = [](std::string s) {  // the data's own "|" characters, as yaz prints them
            for (std::size_t at; (at = s.find(marc_samples::kBar)) != std::string::npos;)
                s.replace(at, 3, "|");
            return s;
        };
        if (line.compare(0, 2, "00") == 0) {
            out += line.substr(0, 3) + " " + bars(data) + "\n";
            continue;
        }
        out += line.substr(0, 7);
        for (std::size_t i = 0; i < data.size();) {
            std::size_t next = data.find('|', i + 1);
            if (next == std::string::npos) next = data.size();
            out += (i ? " $" : "$") + data.substr(i + 1, 1) + " " + bars(data.substr(i + 2, next - i - 2));
            i = next;
        }
        out += "\n";
    }
    return out + "\n";
}

TEST(YazPeer, ReadsWrittenRecordsWithoutWarningAndAgrees) {
    const std::string dir = MARCPY_BINARY_DIR;
    const std::string file = dir + "/yaz_peer.mrc", outFile = dir + "/yaz_peer.out",
                      errFile = dir + "/yaz_peer.err";
    std::string all, expected;
    {
        std::ofstream f(file, std::ios::binary);
        for (const auto& lines : marc_samples::kRecords) {
            const std::string rec = marc::recordFromWorkingText(marc_samples::workingText(lines),
                                                                codepage::Codec::gbk(), endOf2099);
            f << rec;  // back to back, no CR LF
            all += rec;
            expected += lineView(rec);
        }
    }
    const std::string cmd = std::string(YAZ_MARCDUMP) + " -f GBK -t UTF-8 -i marc -o line " + file + " >" +
                            outFile + " 2>" + errFile;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    // yaz prints its complaints into the line view as "(...)" lines, and some on stderr: the
    // exact comparison and the empty stderr together show there were none.
    EXPECT_EQ(slurp(errFile), "");
    EXPECT_EQ(slurp(outFile), expected);

    // Read and written back as ISO 2709 by yaz, the records come out byte for byte the same.
    const std::string again =
        std::string(YAZ_MARCDUMP) + " -i marc -o marc " + file + " >" + outFile + " 2>" + errFile;
    ASSERT_EQ(std::system(again.c_str()), 0);
    EXPECT_EQ(slurp(errFile), "");
    EXPECT_EQ(slurp(outFile), all);
}

}  // namespace
