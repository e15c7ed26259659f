// Fuzzes the record reader with arbitrary bytes, and the writer with whatever the reader gives.
//
// Bytes -> isoToMarcBytes -> marcToIsoBytes -> isoToMarcBytes -> ... Only MarcError may stop the
// first two steps, and a record of fewer than six lines may write as nothing. From the first
// written record on, every record written is well formed and reads back (a tag that is not a number
// aside, see isTagRefusal), and within
// four rounds the writer writes the same bytes again (the leader code aside, which comes from a
// "000" line or the tags 225/410/461, lines a round may drop).
#include <cstdint>
#include <string>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "record_check.h"

namespace {

marc::LocalTime fixedClock() { return {2099, 12, 31, 23, 59, 59}; }

std::string write(const std::string& lines, const codepage::Codec& cp) {
    return marc::marcToIsoBytes(lines + "\r\n\r\n", cp, fixedClock);
}

std::string withoutLeaderCode(std::string rec) { return rec.replace(5, 4, "????"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const codepage::Codec& cp = codepage::Codec::gbk();
    std::string lines, written;
    try {
        lines = marc::isoToMarcBytes(bytes, cp);
        written = write(lines, cp);
    } catch (const marc::MarcError&) {
        return 0;
    }
    if (written.empty()) return 0;
    fuzzcheck::checkRecord(written);
    // Each round drops what the working form cannot carry (lines too short to write, data before
    // the first "|", tags the writer skips); after a few rounds nothing is left to drop.
    std::string previous = written;
    try {
        for (int round = 0; round < 4; ++round) {
            const std::string read = marc::isoToMarcBytes(previous, cp);
            const std::string next = write(read, cp);
            if (next.empty()) return 0;  // fewer than six lines left
            fuzzcheck::checkRecord(next);
            if (withoutLeaderCode(next) == withoutLeaderCode(previous)) {
                fuzzcheck::require(marc::isoToMarcBytes(next, cp) == read, "re-read lines differ", read);
                return 0;
            }
            previous = next;
        }
    } catch (const marc::MarcError& e) {
        if (fuzzcheck::isTagRefusal(e)) return 0;
        fuzzcheck::fail(e.what(), previous);
    }
    fuzzcheck::fail("writing what was read does not settle", previous);
    return 0;
}
