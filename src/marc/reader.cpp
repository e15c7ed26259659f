// Exchange record reader: cuts the fields of one ISO 2709 record by byte position and lays them out
// as the working record text.
//
// One record, byte positions from 0 (all counts are bytes of the record's code page):
//
//   leader     0..4    record length              5   record status
//              6       type of record             7   bibliographic level
//              8       hierarchical level         9   (blank)
//              10      indicator length "2"       11  subfield identifier length "2"
//              12..16  base address of data       17..19 implementation-defined
//              20..23  entry map "450 " (length 4, start 5, no implementation part)
//   directory  24..    12-byte entries, then a field terminator (0x1E):
//                        +0 tag (3)   +3 field length, terminator included (4)   +7 start (5)
//   data area  base..  the fields, each ended by 0x1E; a data field is two indicators and
//                      subfields, each opened by the delimiter 0x1F and a one-byte code
//   end                the record terminator 0x1D
//
// The reader trusts neither the record length nor the base address of the leader: the data area
// starts right behind the first field terminator, and every field is cut from the bytes by its
// directory entry, each offset and length checked against the record before it is read, and
// the fields together must cover the data area. A UTF-8 record whose directory counts
// characters instead of bytes is read by characters when that, and only that, fits.
#include "marc/reader.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <string>
#include <utility>
#include <vector>

#include "codepage/utf8.h"
#include "marc/constants.h"
#include "marc/databar.h"
#include "marc/detail.h"
#include "marc/error.h"
#include "text/ascii.h"
#include "text/tag_list.h"

namespace marc {

using problem::Kind;

namespace {

/// Appends `s`, writing each "|" as kDataBar and, when `delimiters` is set, each subfield delimiter
/// as "|". Working in UTF-8 is safe byte by byte: an ASCII byte never stands inside a character.
void appendMapped(std::string& out, std::string_view s, bool delimiters) {
    std::size_t from = 0;
    const char* specials = delimiters ? "|\x1F" : "|";
    for (std::size_t i = s.find_first_of(specials); i != std::string_view::npos;
         i = s.find_first_of(specials, from)) {
        out.append(s.data() + from, i - from);
        if (s[i] == '|')
            out.append(kDataBar);
        else
            out.push_back(kWorkingDelimiter);
        from = i + 1;
    }
    out.append(s.data() + from, s.size() - from);
}

bool isPlainIndicator(char b) {
    return static_cast<unsigned char>(b) < 0x80 && b != kFieldTerminator && b != '|';
}

/// Decodes field data straight onto the end of `out`, then writes delimiters as "|"; only when
/// the data holds a "|" (rare) does it go through `scratch`. True when the data holds a control
/// character besides the delimiter (or a "|"): the caller then checks it with checkFieldData.
bool appendData(std::string& out, std::string_view bytes, const codepage::Codec& cp, std::string& scratch) {
    const std::size_t from = out.size();
    cp.decodeAppend(out, bytes);
    bool controls = false;
    for (char* p = out.data() + from; p != out.data() + out.size(); ++p) {
        if (static_cast<unsigned char>(*p) < 0x20) {
            if (*p == kSubfieldDelimiter)
                *p = kWorkingDelimiter;
            else
                controls = true;
        } else if (*p == '|') {
            out.resize(from);
            scratch.clear();
            cp.decodeAppend(scratch, bytes);
            appendMapped(out, scratch, true);
            return true;
        }
    }
    return controls;
}

/// `bytes` without the line breaks around it. Those inside stay: the framer has taken out the
/// ones that are no part of the record, and a field that holds one is refused (checkFieldData).
std::string_view withoutOuterLineBreaks(std::string_view bytes) {
    const std::size_t first = bytes.find_first_not_of("\r\n");
    if (first == std::string_view::npos) return {};
    return bytes.substr(first, bytes.find_last_not_of("\r\n") - first + 1);
}

bool isTagCharacter(char c) { return text::isLetterOrDigit(c); }

/// How a field is laid out in its line.
enum class Shape { Control, Data };

/// Tags 000 to 009 are control fields and other numbers data fields; a tag with a letter (a local
/// field of the library system) is a data field when its data begins with two indicators and a
/// subfield delimiter, and a control field otherwise.
Shape shapeOf(std::string_view tag, std::string_view bytes) {
    const int number = detail::numberOrNone(tag);
    if (number >= 0) return number < 10 ? Shape::Control : Shape::Data;
    return bytes.size() >= 3 && isPlainIndicator(bytes[0]) && isPlainIndicator(bytes[1]) &&
                   bytes[2] == kSubfieldDelimiter
               ? Shape::Data
               : Shape::Control;
}

/// The size of a field's data, its terminator left out, once the directory entry is found to fit
/// the record: the field lies inside the record and ends with a field terminator (or, its
/// terminator missing, at the record's end). What the data holds is checked as it is decoded
/// (checkFieldData).
std::size_t checkedFieldSize(std::string_view rec, std::size_t offset, std::size_t length, std::size_t entry,
                             std::string_view tag) {
    const auto e = static_cast<long long>(entry);
    if (length == 0) throw MarcError(at(Kind::FieldLengthZero, std::string(tag), e));
    if (offset >= rec.size() || length > rec.size() - offset)
        throw MarcError(at(Kind::FieldPastEnd, std::string(tag), e));
    const char last = rec[offset + length - 1];
    std::size_t size = length;
    if (last == kFieldTerminator)
        --size;
    else if (last == kRecordTerminator && offset + length == rec.size())
        --size;
    else
        throw MarcError(at(Kind::FieldNotTerminated, std::string(tag), e));
    return size;
}

/// Refuses field data that holds a terminator, which would make the record read differently by
/// every other reader, or a line break, which would split the field's line in the working text.
/// The readers below call it whenever the data holds a control character besides the delimiter:
/// those bytes are never part of a character in any of the code pages, so they stand in the
/// decoded text exactly where they stand in the bytes.
void checkFieldData(std::string_view data, std::size_t entry, std::string_view tag) {
    const auto e = static_cast<long long>(entry);
    const auto holds = [&data](char c) { return data.find(c) != std::string_view::npos; };
    if (holds(kFieldTerminator)) throw MarcError(at(Kind::FieldTerminatorInData, std::string(tag), e));
    if (holds(kRecordTerminator)) throw MarcError(at(Kind::RecordTerminatorInData, std::string(tag), e));
    if (holds('\r') || holds('\n')) throw MarcError(at(Kind::LineBreakInData, std::string(tag), e));
}

/// Where the directory lies: between the leader and the first field terminator.
struct Directory {
    std::string_view entries;  ///< the directory's bytes, its terminator left out
    std::size_t base = 0;      ///< where the data starts: right behind that terminator
    std::size_t count = 0;     ///< entries to read
};

Directory directoryOf(std::string_view rec) {
    // Neither GBK nor GB18030 uses 0x1E inside a character, so the first 0x1E byte is the
    // directory's terminator. Positions are plain sizes: a record may be 99999 bytes or more.
    const std::size_t ft = rec.find(kFieldTerminator);
    if (ft == std::string_view::npos) throw MarcError(at(Kind::NoFieldTerminator));
    if (ft < static_cast<std::size_t>(kLeaderLength))
        throw MarcError(at(Kind::TerminatorInLeader, {}, 0, static_cast<long long>(ft + 1)));
    // The leader is kept as it stands: a record terminator in it would end the record written.
    if (const std::size_t rt = rec.substr(0, kLeaderLength).find(kRecordTerminator);
        rt != std::string_view::npos)
        throw MarcError(at(Kind::TerminatorInLeader, {}, 0, static_cast<long long>(rt + 1)));
    Directory d;
    d.entries = rec.substr(kLeaderLength, ft - kLeaderLength);
    d.base = ft + 1;
    // An entry cut short, or bytes that are no entry, would leave a field of the data unread.
    if (d.entries.size() % kDirectoryEntryLength != 0)
        throw MarcError(at(Kind::DirectoryNotWholeEntries, {}, 0, static_cast<long long>(d.entries.size())));
    d.count = d.entries.size() / kDirectoryEntryLength;
    return d;
}

/// How the directory's lengths and starts count: bytes of the record, or, with `charStarts`,
/// characters of its UTF-8 text (charStarts[i] is the byte where character i begins, and one
/// more entry gives the record's end).
struct Units {
    const std::vector<std::size_t>* charStarts = nullptr;
    std::size_t baseChar = 0;  ///< the character at the directory's base
};

/// One directory entry, checked against the record: its tag and where its data lies.
struct Entry {
    std::string_view tag;
    std::size_t offset = 0;    ///< of the field in the record
    std::size_t dataSize = 0;  ///< the field's data, its terminator left out
};

Entry readEntry(std::string_view rec, const Directory& d, const Units& units, std::size_t k) {
    const std::string_view entry = d.entries.substr(k * kDirectoryEntryLength, kDirectoryEntryLength);
    const auto e = static_cast<long long>(k + 1);
    Entry out;
    out.tag = entry.substr(0, 3);
    const int length = detail::numberOrNone(entry.substr(3, 4));
    if (length < 0) throw MarcError(at(Kind::EntryLengthNotANumber, {}, e));
    const int start = detail::numberOrNone(entry.substr(7, 5));
    if (start < 0) throw MarcError(at(Kind::EntryStartNotANumber, {}, e));
    const std::string_view tag = out.tag;
    if (!isTagCharacter(tag[0]) || !isTagCharacter(tag[1]) || !isTagCharacter(tag[2]))
        throw MarcError(at(Kind::BadTag, std::string(tag), e));
    std::size_t bytes = static_cast<std::size_t>(length);
    if (!units.charStarts) {
        out.offset = d.base + static_cast<std::size_t>(start);
    } else {
        const std::vector<std::size_t>& starts = *units.charStarts;
        const std::size_t chars = starts.size() - 1, from = units.baseChar + static_cast<std::size_t>(start);
        if (from >= chars || bytes > chars - from) {
            out.offset = rec.size();  // past the end, as checkedFieldSize says
        } else {
            out.offset = starts[from];
            bytes = starts[from + bytes] - out.offset;
        }
    }
    out.dataSize = checkedFieldSize(rec, out.offset, bytes, k + 1, tag);
    return out;
}

/// Appends the working line of a field after its tag and a space: a control field's data behind
/// three spaces, a data field's indicators, a space and its data with "|" for each delimiter.
/// `field` is scratch space.
void appendFieldText(std::string& out, std::string_view tag, std::string_view bytes, std::size_t entry,
                     const codepage::Codec& cp, std::string& field) {
    if (shapeOf(tag, bytes) == Shape::Control) {
        out.append("   ");
        if (appendData(out, bytes, cp, field)) checkFieldData(bytes, entry, tag);
    } else if (bytes.size() >= 2 && isPlainIndicator(bytes[0]) && isPlainIndicator(bytes[1])) {
        // Two single-byte indicators: they are the first two characters, and the data starts
        // on a character boundary right behind them.
        out.append(bytes.substr(0, 2));
        out.push_back(' ');
        const bool controls = appendData(out, bytes.substr(2), cp, field);
        if (controls || static_cast<unsigned char>(bytes[0]) < 0x20 ||
            static_cast<unsigned char>(bytes[1]) < 0x20)
            checkFieldData(bytes, entry, tag);
    } else {
        checkFieldData(bytes, entry, tag);
        field.clear();
        cp.decodeAppend(field, bytes);
        if (detail::advanceChars(field, 0, 1) == field.size())  // fewer than two characters
            throw MarcError(at(Kind::DataFieldTooShort, std::string(tag), static_cast<long long>(entry)));
        // A delimiter standing in the indicators' place stays as it is: only the data is
        // scanned for delimiters.
        const std::size_t indicatorsEnd = detail::advanceChars(field, 0, 2);
        appendMapped(out, std::string_view(field).substr(0, indicatorsEnd), false);
        out.push_back(' ');
        appendMapped(out, std::string_view(field).substr(indicatorsEnd), true);
    }
}

/// Refuses a record whose data holds bytes that no field covers: between two fields, or behind
/// the last one before the record terminator. They would be lost in the record written. Fields
/// may come in any order, and two entries may share bytes (each reads the same field).
void checkCovered(std::string_view rec, std::size_t base, const std::vector<SourceRecord::Line>& lines) {
    const std::size_t end = rec.size() - (rec.back() == kRecordTerminator ? 1 : 0);
    const auto extent = [](const SourceRecord::Line& l) {
        return std::pair{l.fieldStart, l.fieldStart + l.fieldSize + 1};  // its terminator included
    };
    std::size_t reached = base;
    // Nearly every record has its fields back to back in directory order.
    bool inOrder = true;
    for (const SourceRecord::Line& line : lines) {
        if (line.fieldStart != reached) {
            inOrder = false;
            break;
        }
        reached = extent(line).second;
    }
    if (!inOrder) {
        std::vector<std::pair<std::size_t, std::size_t>> extents;
        extents.reserve(lines.size());
        for (const SourceRecord::Line& line : lines) extents.push_back(extent(line));
        std::sort(extents.begin(), extents.end());
        reached = base;
        for (const auto& [from, to] : extents) {
            if (from > reached) break;
            reached = std::max(reached, to);
        }
    }
    if (reached < end)
        throw MarcError(at(Kind::DataOutsideFields, {}, 0, static_cast<long long>(reached + 1)));
}

/// Whether a field may stay in bytes, not decoded: checked as appendFieldText checks it, which
/// for a control field and a data field with single-byte indicators needs only its bytes (a
/// control byte is the same byte in the text: it is never part of a character). A data field
/// whose indicators are no such bytes is decoded, to count its characters.
bool keptInBytes(std::string_view tag, std::string_view bytes, std::size_t entry) {
    if (shapeOf(tag, bytes) == Shape::Data &&
        !(bytes.size() >= 2 && isPlainIndicator(bytes[0]) && isPlainIndicator(bytes[1])))
        return false;
    for (const char c : bytes)
        if (c == kFieldTerminator || c == kRecordTerminator || c == '\r' || c == '\n') {
            checkFieldData(bytes, entry, tag);
            break;
        }
    return true;
}

/// Cuts the fields of `rec` by its directory, counted in `units`, into `source`; with
/// `decodeOnly`, only the fields it lists (and a 000) are decoded.
void readFields(std::string_view rec, const Directory& d, const Units& units, const codepage::Codec& cp,
                SourceRecord& source, const text::TagList* decodeOnly) {
    source.working.clear();
    source.lines.clear();
    source.whole = true;
    std::string& out = source.working;
    out.reserve((decodeOnly ? rec.size() / 2 : rec.size() + rec.size() / 2) + d.count * 8);
    std::string field;
    for (std::size_t k = 0; k < d.count; ++k) {
        const Entry entry = readEntry(rec, d, units, k);
        SourceRecord::Line& line = source.lines.emplace_back();
        line.fieldStart = entry.offset;
        line.fieldSize = entry.dataSize;
        line.tagStart = static_cast<std::size_t>(entry.tag.data() - rec.data());
        const std::string_view bytes = rec.substr(entry.offset, entry.dataSize);
        if (decodeOnly && entry.tag != "000" && !decodeOnly->holds(entry.tag) &&
            keptInBytes(entry.tag, bytes, k + 1)) {
            line.decoded = false;
            source.whole = false;
            continue;
        }
        if (!out.empty()) out.append(kCrLf);
        line.lineStart = out.size();
        out.append(entry.tag);
        out.push_back(' ');
        appendFieldText(out, entry.tag, bytes, k + 1, cp, field);
        line.lineSize = out.size() - line.lineStart;
    }
    if (source.lines.empty()) throw MarcError(at(Kind::NoFields));
    checkCovered(rec, d.base, source.lines);
}

/// Where each character of `rec` begins, when it is UTF-8 text with characters of more than one
/// byte and no invalid byte; false otherwise.
bool charPositions(std::string_view rec, std::vector<std::size_t>& starts) {
    bool wide = false;
    starts.reserve(rec.size() + 1);
    for (std::size_t i = 0; i < rec.size();) {
        starts.push_back(i);
        if (static_cast<unsigned char>(rec[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t from = i;
        // An invalid byte reads as U+FFFD one byte long; a U+FFFD of the text takes three.
        if (codepage::utf8::next(rec, i) == codepage::kReplacement && i - from != 3) return false;
        wide = true;
    }
    starts.push_back(rec.size());
    return wide;
}

/// Whether every entry of the directory, counted in `units`, puts its field's terminator where
/// it says and the fields cover the data; what the fields hold is not looked at.
bool fits(std::string_view rec, const Directory& d, const Units& units) {
    std::vector<SourceRecord::Line> lines(d.count);
    try {
        for (std::size_t k = 0; k < d.count; ++k) {
            const Entry entry = readEntry(rec, d, units, k);
            lines[k].fieldStart = entry.offset;
            lines[k].fieldSize = entry.dataSize;
        }
        checkCovered(rec, d.base, lines);
    } catch (const MarcError&) {
        return false;
    }
    return d.count > 0;
}

/// A record whose directory does not fit its bytes read once more with every length and start
/// counted in characters of its UTF-8 text, as some library systems write them. False when the
/// directory does not fit so either: every field must end with its terminator exactly where the
/// directory says and the fields must cover the data, or nothing else could be meant. When it
/// fits, the record is read so, and refused (MarcError) for what its fields hold as any other.
bool readCharCounted(std::string_view rec, const Directory& d, const codepage::Codec& cp,
                     SourceRecord& source, const text::TagList* decodeOnly) {
    if (cp.encoding() != codepage::Encoding::Utf8) return false;
    std::vector<std::size_t> starts;
    if (!charPositions(rec, starts)) return false;
    Units units;
    units.charStarts = &starts;
    units.baseChar =
        static_cast<std::size_t>(std::lower_bound(starts.begin(), starts.end(), d.base) - starts.begin());
    if (!fits(rec, d, units)) return false;
    readFields(rec, d, units, cp, source, decodeOnly);
    return true;
}

/// Reads source.bytes into the rest of `source`.
void readBytes(const codepage::Codec& cp, SourceRecord& source, const text::TagList* decodeOnly) {
    source.working.clear();
    source.lines.clear();
    source.charCounted = false;
    const std::string_view rec = source.bytes;
    if (rec.empty()) return;

    const Directory d = directoryOf(rec);
    try {
        readFields(rec, d, Units{}, cp, source, decodeOnly);
    } catch (const MarcError&) {
        // A directory that fits the bytes is read so: the record is refused for what a field
        // holds, and no reading in characters is looked for.
        if (fits(rec, d, Units{}) || !readCharCounted(rec, d, cp, source, decodeOnly)) throw;
        source.charCounted = true;
    }
}

}  // namespace

void readRecord(std::string_view recordBytes, const codepage::Codec& cp, SourceRecord& source,
                const text::TagList* decodeOnly) {
    source.bytes.assign(withoutOuterLineBreaks(recordBytes));
    readBytes(cp, source, decodeOnly);
}

std::string workingText(std::string_view recordBytes, const codepage::Codec& cp) {
    SourceRecord source;
    readRecord(recordBytes, cp, source);
    return std::move(source.working);
}

std::string identifierOf(std::string_view rec, const codepage::Codec& cp) {
    const std::size_t ft = rec.find(kFieldTerminator);
    if (ft == std::string_view::npos || ft < static_cast<std::size_t>(kLeaderLength)) return {};
    for (std::size_t at = kLeaderLength; at + kDirectoryEntryLength <= ft; at += kDirectoryEntryLength) {
        if (rec.substr(at, 3) != "001") continue;
        const int length = detail::numberOrNone(rec.substr(at + 3, 4));
        const int start = detail::numberOrNone(rec.substr(at + 7, 5));
        const std::size_t offset = ft + 1 + static_cast<std::size_t>(std::max(start, 0));
        if (length <= 0 || start < 0 || offset >= rec.size()) return {};
        std::string_view value =
            rec.substr(offset, std::min<std::size_t>({static_cast<std::size_t>(length), 64}));
        value = value.substr(0, value.find_first_of("\x1D\x1E\r\n"));
        return cp.decode(value);
    }
    return {};
}

std::string workingTextOfDecoded(std::string_view record, const codepage::Codec& cp) {
    return workingText(cp.encode(record), cp);
}

}  // namespace marc
