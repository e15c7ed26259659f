// Fuzzes the record reader with arbitrary bytes, and the writer with whatever the reader gives.
//
// Bytes -> isoToMarcBytes -> marcToIsoBytes -> isoToMarcBytes -> ... Only MarcError may stop the
// first two steps. From the first written record on, the cycle must settle: every record written is
// well formed, reads back without error, and the next round writes the same bytes again (the
// leader code aside, which comes from a "000" line or from the tags 225/410/461, which a first
// round may drop).
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
    try {
        const std::string lines2 = marc::isoToMarcBytes(written, cp);
        const std::string written2 = write(lines2, cp);
        fuzzcheck::checkRecord(written2);
        const std::string lines3 = marc::isoToMarcBytes(written2, cp);
        const std::string written3 = write(lines3, cp);
        fuzzcheck::require(withoutLeaderCode(written3) == withoutLeaderCode(written2),
                           "writing what was read does not settle", written2 + "\n---\n" + written3);
        fuzzcheck::require(marc::isoToMarcBytes(written3, cp) == lines3, "re-read lines differ", lines3);
    } catch (const marc::MarcError& e) {
        fuzzcheck::fail(e.what(), written);
    }
    return 0;
}
