// Fuzzes the record writer with arbitrary working text in each code page.
//
// The first byte picks the code page, the rest is the working text (not necessarily valid UTF-8).
// The writer may refuse with MarcError; when it returns a record, the record must be well formed
// and the reader must read it back. The writer writes what it is given as it stands, so two of the
// reader's refusals may follow: a tag that is not three letters or digits, and a data field of
// fewer than two indicators (the writer supplies none that are missing).
#include <cstdint>
#include <string>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/writer.h"
#include "record_check.h"

namespace {
marc::LocalTime fixedClock() { return {2099, 12, 31, 23, 59, 59}; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const codepage::Encoding encodings[] = {codepage::Encoding::Gbk, codepage::Encoding::Gb18030,
                                            codepage::Encoding::Utf8};
    const codepage::Codec& cp = codepage::Codec::get(encodings[data[0] % 3]);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string rec;
    try {
        rec = marc::recordFromWorkingText(text, cp, fixedClock);
    } catch (const marc::MarcError&) {
        return 0;
    }
    if (rec.empty()) return 0;
    fuzzcheck::checkRecord(rec);
    // The text form is the same record decoded.
    fuzzcheck::require(marc::decodedRecordFromWorkingText(text, cp, fixedClock) == cp.decode(rec),
                       "decodedRecordFromWorkingText differs from the bytes");
    try {
        marc::workingText(rec, cp);
    } catch (const marc::MarcError& e) {
        const bool expected =
            fuzzcheck::isTagRefusal(e) || e.problem.kind == problem::Kind::DataFieldTooShort;
        fuzzcheck::require(expected, "the reader refuses a written record",
                           std::string(e.what()) + "\n" + rec);
    }
    return 0;
}
