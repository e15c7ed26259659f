// Fuzzes the record reader with arbitrary bytes, and the writer with what the reader gives.
//
// Bytes -> readRecord -> marcToIsoBytes with the record as its source. The reader may refuse
// with MarcError. A record it reads must be written back unchanged: every field's bytes as they
// were (the first 001 and 005 moved first, a blank or missing one generated), the leader as it was but for
// length and base address, the result well formed, and writing what is read from the result
// gives the same bytes again. The only refusals of the writer that may follow are a record
// grown past 99999 bytes, a line break in field data, and a "000" leader code under the
// templates.
#include <cstdint>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/source.h"
#include "marc/writer.h"
#include "record_check.h"

namespace {

marc::LocalTime fixedClock() { return {2099, 12, 31, 23, 59, 59}; }

bool expectedRefusal(const marc::MarcError& e) {
    const std::string_view what = e.what();
    return what.find("99999") != std::string_view::npos || what.find("line break") != std::string_view::npos ||
           what.find("000 line") != std::string_view::npos;
}

std::string write(const marc::SourceRecord& source, const codepage::Codec& cp) {
    marc::WriteContext context;
    context.source = &source;
    context.clock = fixedClock;
    return marc::marcToIsoBytes(source.working + "\r\n\r\n", cp, context);
}

bool usableLeader(std::string_view leader) {
    for (char c : leader)
        if (c < 0x20 || c > 0x7E) return false;
    return leader.size() == 24 && leader[20] == '4' && leader[21] == '5';
}

std::string_view tagOf(const marc::SourceRecord& s, std::size_t i) { return s.line(i).substr(0, 3); }

bool blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

/// The fields the writer must write for `s`, in order.
std::vector<std::pair<std::string, std::string>> expectedFields(const marc::SourceRecord& s) {
    const bool keep = usableLeader(s.leader());
    std::size_t id = s.lines.size(), time = s.lines.size();
    for (std::size_t i = s.lines.size(); i-- > 0;) {  // the first of each
        if (tagOf(s, i) == "001") id = i;
        if (tagOf(s, i) == "005") time = i;
    }
    std::vector<std::pair<std::string, std::string>> out;
    out.emplace_back("001", id < s.lines.size() && !blank(s.field(id)) ? std::string(s.field(id)) : "011231235959");
    out.emplace_back("005", time < s.lines.size() && !blank(s.field(time)) ? std::string(s.field(time))
                                                                           : "20991231235959.0");
    for (std::size_t i = 0; i < s.lines.size(); ++i)
        if (i != id && i != time && (keep || tagOf(s, i) != "000"))
            out.emplace_back(std::string(tagOf(s, i)), std::string(s.field(i)));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const codepage::Codec& cp = codepage::Codec::gbk();
    marc::SourceRecord source;
    try {
        marc::readRecord(bytes, cp, source);
    } catch (const marc::MarcError&) {
        return 0;
    }
    if (source.lines.empty()) return 0;  // nothing but line breaks
    std::string written;
    try {
        written = write(source, cp);
    } catch (const marc::MarcError& e) {
        if (expectedRefusal(e)) return 0;
        fuzzcheck::fail(e.what(), bytes);
    }
    const auto expected = expectedFields(source);
    if (expected.size() == 2) {
        fuzzcheck::require(written.empty(), "a record of 001 and 005 alone is written", written);
        return 0;
    }
    fuzzcheck::checkRecord(written);
    fuzzcheck::require(fuzzcheck::fieldsOf(written) == expected, "the fields written differ from those read", written);
    if (usableLeader(source.leader()))
        fuzzcheck::require(written.substr(5, 7) == source.leader().substr(5, 7) &&
                               written.substr(17, 7) == source.leader().substr(17, 7),
                           "the record's own leader is not kept", written);
    marc::SourceRecord again;
    try {
        marc::readRecord(written, cp, again);
    } catch (const marc::MarcError& e) {
        fuzzcheck::fail("the reader refuses a written record", std::string(e.what()) + "\n" + written);
    }
    fuzzcheck::require(write(again, cp) == written, "writing what was read again gives other bytes", written);
    return 0;
}
