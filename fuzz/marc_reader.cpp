// Fuzzes the record reader with arbitrary bytes, and the writer with what the reader gives.
//
// Bytes -> readRecord (in GBK, then in UTF-8) -> recordFromWorkingText with the record as its source.
// The reader may refuse with MarcError. A record it reads must be one an independent cut by its
// own directory reads too (fuzzcheck::cutRecord: whole entries, every field terminated, every
// byte of the data in a field), with the same fields; it must be written back unchanged: every
// field's bytes as they were (the first 001 and 005 moved first, a blank or missing one
// generated), the leader as it was but for length and base address, the result well formed,
// and writing what is read from the result gives the same bytes again. The only refusals of the
// writer that may follow are a record grown past 99999 bytes and a line break in field data.
// Read again with only some fields decoded, as a run reads it, the record gives the same
// refusal or the same fields, and the same bytes written from its fields.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codepage/codepage.h"
#include "marc/error.h"
#include "marc/reader.h"
#include "marc/source.h"
#include "marc/writer.h"
#include "record_check.h"
#include "text/tag_list.h"

namespace {

marc::LocalTime fixedClock() { return {2099, 12, 31, 23, 59, 59}; }

/// What the writer may refuse of a record the reader reads: one that grows past the 99999 bytes
/// a record or its data may span, a line break in field data, a leader code that is no plain text.
bool expectedRefusal(const marc::MarcError& e) {
    using problem::Kind;
    const Kind k = e.problem.kind;
    return k == Kind::RecordTooLong || k == Kind::FieldStartTooFar || k == Kind::LineBreakInData ||
           k == Kind::LeaderCodeInvalid;
}

std::string write(const marc::SourceRecord& source, const codepage::Codec& cp) {
    marc::WriteContext context;
    context.source = &source;
    context.clock = fixedClock;
    return marc::recordFromWorkingText(source.working + "\r\n\r\n", cp, context);
}

/// The input as an independent reader cuts it: by bytes, by characters where the reader says
/// the directory counts them, and either way with the CR LF pairs of a record spread over lines
/// taken out when the bytes as they stand do not read.
bool cutIndependently(std::string_view bytes, bool chars, fuzzcheck::Fields& fields) {
    // Line breaks around a record are no part of it.
    const std::size_t first = bytes.find_first_not_of("\r\n");
    if (first == std::string_view::npos) return false;
    bytes = bytes.substr(first, bytes.find_last_not_of("\r\n") - first + 1);
    if (fuzzcheck::cutRecord(bytes, fields, chars)) return true;
    std::string joined(bytes);
    for (std::size_t at; (at = joined.find("\r\n")) != std::string::npos;) joined.erase(at, 2);
    return fuzzcheck::cutRecord(joined, fields, chars);
}

/// Reads `bytes` in `cp`, writes what it reads and checks both.
void check(std::string_view bytes, const codepage::Codec& cp) {
    marc::SourceRecord source;
    try {
        marc::readRecord(bytes, cp, source);
    } catch (const marc::MarcError&) {
        return;
    }
    if (source.lines.empty()) return;  // nothing but line breaks
    // Every byte of a record read belongs to a field the reader gives, as it stands.
    fuzzcheck::Fields in;
    fuzzcheck::require(cutIndependently(bytes, source.charCounted, in),
                       "a record read whose bytes do not all belong to its fields", bytes);
    fuzzcheck::require(in.size() == source.lines.size(),
                       "the reader gives another number of fields than the directory", bytes);
    for (std::size_t i = 0; i < in.size(); ++i)
        fuzzcheck::require(in[i].first == source.line(i).substr(0, 3) && in[i].second == source.field(i),
                           "the reader gives a field other than the directory says", bytes);
    std::string written;
    try {
        written = write(source, cp);
    } catch (const marc::MarcError& e) {
        if (expectedRefusal(e)) return;
        fuzzcheck::fail(e.what(), bytes);
    }
    const bool onlyNumbers =
        std::all_of(in.begin(), in.end(), [](const auto& f) { return f.first == "001" || f.first == "005"; });
    if (onlyNumbers && written.empty()) return;  // nothing to write besides 001 and 005
    fuzzcheck::checkRecord(written);
    fuzzcheck::requireSameFields(in, fuzzcheck::fieldsOf(written), "", true, written);
    // Any 24 bytes the record starts with are its leader: all but its length and base address stay.
    fuzzcheck::require(written.substr(5, 7) == source.leader().substr(5, 7) &&
                           written.substr(17, 7) == source.leader().substr(17, 7),
                       "the record's own leader is not kept", written);
    marc::SourceRecord again;
    try {
        marc::readRecord(written, cp, again);
    } catch (const marc::MarcError& e) {
        fuzzcheck::fail("the reader refuses a written record", std::string(e.what()) + "\n" + written);
    }
    fuzzcheck::require(!again.charCounted, "a written record is read as counted in characters", written);
    fuzzcheck::require(write(again, cp) == written, "writing what was read again gives other bytes", written);
}

/// Read as the command line reads it, with only the fields of a tag list decoded: the same
/// refusal, the same fields, and written unchanged from its fields, the same bytes.
void checkListedOnly(std::string_view bytes, const codepage::Codec& cp) {
    static const text::TagList tags("200,AVA");
    marc::SourceRecord whole, listed;
    std::optional<problem::Kind> a, b;
    try {
        marc::readRecord(bytes, cp, whole);
    } catch (const marc::MarcError& e) {
        a = e.problem.kind;
    }
    try {
        marc::readRecord(bytes, cp, listed, &tags);
    } catch (const marc::MarcError& e) {
        b = e.problem.kind;
    }
    fuzzcheck::require(a == b, "decoding only the listed fields refuses another record", bytes);
    if (a || whole.lines.empty()) return;
    fuzzcheck::require(listed.lines.size() == whole.lines.size(),
                       "decoding only the listed fields gives other fields", bytes);
    std::vector<std::string_view> lines(listed.lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        fuzzcheck::require(listed.field(i) == whole.field(i) && listed.tag(i) == whole.line(i).substr(0, 3) &&
                               (!listed.lines[i].decoded || listed.line(i) == whole.line(i)),
                           "decoding only the listed fields gives other fields", bytes);
        lines[i] = listed.lines[i].decoded ? listed.line(i) : listed.tag(i);
    }
    marc::WriteContext context;
    context.source = &listed;
    context.clock = fixedClock;
    const auto attempt = [](const auto& writeIt) {
        try {
            return writeIt();
        } catch (const marc::MarcError& e) {
            return "refused " + std::to_string(static_cast<int>(e.problem.kind));
        }
    };
    const std::string fromText = attempt([&] { return write(whole, cp); });
    const std::string fromFields = attempt(
        [&] { return marc::writeRecord(lines, std::vector<bool>(lines.size(), false), cp, context); });
    fuzzcheck::require(fromText == fromFields,
                       "a record written from its fields differs from one written from its text", bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // GBK reads by bytes alone; UTF-8 also reads records whose lengths count characters.
    check(bytes, codepage::Codec::gbk());
    check(bytes, codepage::Codec::get(codepage::Encoding::Utf8));
    checkListedOnly(bytes, codepage::Codec::gbk());
    checkListedOnly(bytes, codepage::Codec::get(codepage::Encoding::Utf8));
    return 0;
}
