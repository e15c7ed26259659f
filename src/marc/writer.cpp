// Exchange record writer: rebuilds leader, directory, 001 and 005 around the working record's fields.
//
// Every piece of text is encoded once, straight into the directory or the data area, and every
// length and position is the size of those bytes: nothing is counted apart from what is written.
#include "marc/writer.h"

#include <algorithm>
#include <ctime>
#include <cstring>
#include <optional>
#include <vector>

#include "marc/constants.h"
#include "marc/databar.h"
#include "marc/detail.h"
#include "marc/error.h"
#include "marc/identifiers.h"
#include "marc/source.h"
#include "codepage/detect.h"
#include "pinyin/existing.h"
#include "text/working_line.h"

namespace marc {

using problem::Kind;

namespace {

using detail::advanceChars;
using detail::trimSpaces;

/// `count` characters of the line from character `from` (0-based) on, clamped to its end.
std::string_view chars(std::string_view line, std::size_t from, std::size_t count = std::string_view::npos) {
    const std::size_t b = advanceChars(line, 0, from);
    const std::size_t e = count == std::string_view::npos ? line.size() : advanceChars(line, b, count);
    return line.substr(b, e - b);
}

/// Encodes control field data, the exact inverse of the reader: "|" is the subfield delimiter it
/// wrote for a byte 31, kDataBar a "|" of the data.
void encodeControl(std::string& out, std::string_view s, const codepage::Codec& cp) {
    for (const text::Subfield piece : text::piecesOf(s)) {
        if (!piece.head) out.push_back(kSubfieldDelimiter);
        appendEncoded(out, piece.piece, cp);
    }
}

/// Whether a subfield of a record made by hand is pinyin (pinyin/existing.h), spaces before
/// its code aside; `before` is the subfield in front of it.
bool isPinyinPiece(std::string_view piece, std::string_view before) {
    const std::size_t i = piece.find_first_not_of(' ');
    return i != std::string_view::npos && pinyin::isPinyinSubfield(piece.substr(i), before);
}

/// The lines of the working text: split at CR, LFs removed, a "|" right after a CR LF dropped,
/// empty lines passed over. Lines are views into `working`, or into `buf` for the rare line that
/// holds a stray LF.
void splitLines(std::string_view working, std::string& buf, std::vector<std::string_view>& lines) {
    buf.clear();
    buf.reserve(working.size());  // never reallocates below: views into it stay valid
    lines.clear();
    for (std::string_view line : text::linesOf(working)) {
        // Only the writer drops a "|" that opens a line behind a CR LF: text made by hand keeps
        // the rule it was always written under; a line the reader makes opens with its tag.
        if (line.starts_with(kWorkingDelimiter) && text::followsCrLf(working, line)) line.remove_prefix(1);
        line = text::withoutLineFeeds(line, buf);
        if (!line.empty()) lines.push_back(line);
    }
}

/// Appends n in `width` decimal digits with leading zeros; the caller has checked that it fits.
void appendDigits(std::string& out, int width, std::size_t n) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i, n /= 10) digits[i] = static_cast<char>('0' + n % 10);
    out.append(digits, static_cast<std::size_t>(width));
}

/// One subfield of a data field being built; `next` links them so a pinyin subfield can be put
/// behind its title in constant time.
struct Subfield {
    std::string_view code;
    std::string_view text;  // a pinyin subfield's trimmed text; any other piece whole, code included
    bool pinyin = false;
    int next = -1;
};

/// Checks that a tag encodes to three printable single bytes, so the directory keeps its shape.
void appendTag(std::string& dir, std::string_view tag, const codepage::Codec& cp) {
    // Three printable ASCII characters, nearly every tag, are the same bytes in every code page.
    const auto printable = [](char c) { return c >= 0x20 && c < 0x7F; };
    if (tag.size() == 3 && printable(tag[0]) && printable(tag[1]) && printable(tag[2])) {
        dir.append(tag);
        return;
    }
    const std::size_t before = dir.size();
    appendEncoded(dir, tag, cp);
    bool ok = dir.size() - before == 3;
    for (std::size_t i = before; ok && i < dir.size(); ++i) ok = dir[i] >= 0x20 && dir[i] < 0x7F;
    if (!ok) throw MarcError(at(Kind::TagNotSingleBytes, std::string(tag)));
}

}  // namespace

LocalTime systemClock() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string zeroPadded(int width, long long n) {
    if (n < 0) throw MarcError(at(Kind::Unexpected));
    long long limit = 1;
    for (int i = 0; i < width; ++i) limit *= 10;
    if (n >= limit) throw MarcError(at(Kind::Unexpected));
    std::string out;
    appendDigits(out, width, static_cast<std::size_t>(n));
    return out;
}

namespace {

/// A leader the writer keeps: any 24 bytes the record starts with, whatever they hold (a control
/// byte, a blank entry map); only its length and base address are written anew.
bool usableLeader(std::string_view leader) {
    return leader.size() == static_cast<std::size_t>(kLeaderLength);
}

/// A control field's line: tags 000 to 009; a tag with a letter whose data does not begin with
/// a delimiter (character 8 of the line).
bool isControlLine(std::string_view tag, std::string_view line) {
    const int number = tag.size() == 3 ? detail::numberOrNone(tag) : -1;
    if (number >= 0) return number < 10;
    return !(line.size() > 7 && line[7] == kWorkingDelimiter);
}

/// The data of a control field's line: everything behind "tag" and four spaces, as it stands;
/// for a line made by hand in another layout, character 5 on without its outer spaces.
std::string_view controlValue(std::string_view line) {
    if (line.size() >= 7 && line.substr(3, 4) == "    ") return line.substr(7);
    return trimSpaces(chars(line, 4));
}

/// Buffers kept per thread: the batch run writes one record after another.
struct Scratch {
    std::string lineBuf, dir, data, check;
    std::vector<std::string_view> lines;
    std::vector<Subfield> subfields;
};

Scratch& threadScratch() {
    static thread_local Scratch scratch;
    return scratch;
}

/// One record being written: the leader, the directory and the data area, field by field.
class RecordWriter {
public:
    // The buffers are bound once a record: every use of a thread_local would check that it is
    // set up.
    RecordWriter(const codepage::Codec& cp, const WriteContext& context, Scratch& s = threadScratch())
        : cp_(cp),
          context_(context),
          lineBuf_(s.lineBuf),
          dir_(s.dir),
          data_(s.data),
          check_(s.check),
          lines_(s.lines),
          subfields_(s.subfields) {}
    std::string write(std::string_view working);
    std::string write(const std::vector<std::string_view>& lines, const std::vector<bool>& changed);

private:
    std::string writeLines();
    void scanControlLines();
    std::string leader() const;
    void writeControlPair();
    void writeLine(std::size_t i);
    void encodeLine(std::string_view line, std::string_view tag);
    void encodeHandMadeDataLine(std::string_view line, std::string_view tag);
    bool encodeEdit(std::size_t i, std::string_view tag, std::size_t& newFrom, std::size_t& newTo);
    void checkRoundTrip(std::size_t i, std::string_view tag);
    void endField(std::string_view tag, std::size_t start, std::size_t lineNo, std::size_t newFrom,
                  std::size_t newTo);
    void endField(std::string_view tag, std::size_t start, std::size_t lineNo) {
        endField(tag, start, lineNo, start, data_.size());
    }
    bool unchanged(std::size_t i) const {
        return source_ && (changed_ ? !(*changed_)[i] : lines_[i] == source_->line(i));
    }

    const codepage::Codec& cp_;
    const WriteContext& context_;
    std::string &lineBuf_, &dir_, &data_, &check_;
    std::vector<std::string_view>& lines_;
    std::vector<Subfield>& subfields_;
    const SourceRecord* source_ = nullptr;        // set when its lines match the text's one to one
    const std::vector<bool>* changed_ = nullptr;  // which lines changed, when the caller says
    bool keepLeader_ = false;
    bool series_ = false;
    std::optional<std::string_view> leaderCode_;
    std::optional<std::size_t> identifierLine_, timeLine_;
    std::size_t written_ = 0;  // fields besides 001 and 005
};

std::string RecordWriter::write(std::string_view working) {
    splitLines(working, lineBuf_, lines_);
    const SourceRecord* source = context_.source;
    // The working form has no way to carry a line break that stands in field data: such a field
    // breaks into lines of its own, and would not come back as it was.
    if (source && source->lines.size() != lines_.size()) throw MarcError(at(Kind::LineBreakInData));
    source_ = source;
    return writeLines();
}

std::string RecordWriter::write(const std::vector<std::string_view>& lines,
                                const std::vector<bool>& changed) {
    const SourceRecord* source = context_.source;
    if (!source || source->lines.size() != lines.size() || changed.size() != lines.size())
        throw MarcError(at(Kind::Unexpected));
    lines_.assign(lines.begin(), lines.end());
    source_ = source;
    changed_ = &changed;
    return writeLines();
}

std::string RecordWriter::writeLines() {
    const SourceRecord* source = source_;
    keepLeader_ = source && context_.keepLeader && usableLeader(source->leader());
    scanControlLines();
    dir_.clear();
    data_.clear();
    writeControlPair();
    for (std::size_t i = 0; i < lines_.size(); ++i) writeLine(i);
    if (written_ == 0) return {};

    const std::size_t baseAddress = kLeaderLength + dir_.size() + 1;
    const std::size_t recordLength = baseAddress + data_.size() + 1;
    if (recordLength > static_cast<std::size_t>(kMaxPosition))
        throw MarcError(at(Kind::RecordTooLong, {}, 0, static_cast<long long>(recordLength)));
    std::string out = leader();
    out.replace(0, 5, zeroPadded(5, static_cast<long long>(recordLength)));
    out.replace(12, 5, zeroPadded(5, static_cast<long long>(baseAddress)));
    out.reserve(recordLength);
    out.append(dir_);
    out.push_back(kFieldTerminator);
    out.append(data_);
    out.push_back(kRecordTerminator);
    return out;
}

/// First pass: template, leader code, 001 and 005. In a record read from a source the first 001
/// and 005 are the record's own, and any further ones stay where they stand; in a text made by
/// hand the last line of a tag wins.
void RecordWriter::scanControlLines() {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view tag = chars(lines_[i], 0, 3);
        if (tag == "410" || tag == "461" || tag == "225")
            series_ = true;
        else if (tag == "000")
            leaderCode_ = chars(lines_[i], 7, 4);
        else if (tag == "001" && !(source_ && identifierLine_))
            identifierLine_ = i;
        else if (tag == "005" && !(source_ && timeLine_))
            timeLine_ = i;
    }
}

std::string RecordWriter::leader() const {
    if (keepLeader_) return std::string(context_.source->leader());
    std::string leader(series_ ? kLeaderTemplateSeries : kLeaderTemplateBook);
    if (leaderCode_ && !trimSpaces(*leaderCode_).empty()) {
        std::string code;
        appendEncoded(code, trimSpaces(*leaderCode_), cp_);
        // Leader positions 5 to 8 must stay four bytes of plain text, or the leader loses its shape.
        bool ok = code.size() <= 4;
        for (char c : code) ok = ok && c >= 0x20 && c < 0x7F;
        if (!ok) throw MarcError(at(Kind::LeaderCodeInvalid));
        code.resize(4, ' ');
        leader.replace(5, 4, code);
    }
    for (char& c : leader)
        if (c == '#') c = ' ';
    return leader;
}

/// Fields 001 and 005, first in the record: as the record has them, or generated when missing
/// or blank.
void RecordWriter::writeControlPair() {
    std::optional<LocalTime> now;
    const auto clock = [&]() -> const LocalTime& {
        if (!now) now = context_.clock();
        return *now;
    };
    for (const auto& [tag, lineIndex] :
         {std::pair<std::string_view, std::optional<std::size_t>>{"001", identifierLine_},
          {"005", timeLine_}}) {
        const std::size_t start = data_.size();
        if (lineIndex && unchanged(*lineIndex) && !trimSpaces(source_->field(*lineIndex)).empty()) {
            data_.append(source_->field(*lineIndex));
        } else if (lineIndex && !trimSpaces(controlValue(lines_[*lineIndex])).empty()) {
            encodeControl(data_, controlValue(lines_[*lineIndex]), cp_);
        } else if (tag == "005") {
            const LocalTime& t = clock();
            data_ += zeroPadded(4, t.year) + zeroPadded(2, t.month) + zeroPadded(2, t.day) +
                     zeroPadded(2, t.hour) + zeroPadded(2, t.minute) + zeroPadded(2, t.second) + ".0";
        } else if (context_.identifiers) {
            data_ += context_.identifiers->next();
        } else {
            const LocalTime& t = clock();
            data_ += "01" + zeroPadded(2, t.month) + zeroPadded(2, t.day) + zeroPadded(2, t.hour) +
                     zeroPadded(2, t.minute) + zeroPadded(2, t.second);
        }
        endField(tag, start, 0);
    }
}

/// Any line but the 001 and 005 already written (and, under the templates, a "000" line, which
/// carries the leader code).
void RecordWriter::writeLine(std::size_t i) {
    if (i == identifierLine_ || i == timeLine_) return;
    const std::string_view line = lines_[i];
    const std::string_view tag = chars(line, 0, 3);
    if (!keepLeader_ && tag == "000") return;
    if (!source_ && (tag == "001" || tag == "005")) return;  // by hand: the last of a tag counts
    const std::size_t start = data_.size();
    // The bytes written that no longer stand in the source's field: only they can hold a terminator.
    std::size_t newFrom = start, newTo = start;
    if (unchanged(i)) {
        data_.append(source_->field(i));
    } else if (source_) {
        if (!encodeEdit(i, tag, newFrom, newTo)) {
            checkRoundTrip(i, tag);
            encodeLine(line, tag);
            newTo = data_.size();
        }
    } else {
        if (isControlLine(tag, line))
            encodeLine(line, tag);
        else
            encodeHandMadeDataLine(line, tag);
        newTo = data_.size();
    }
    endField(tag, start, i + 1, newFrom, newTo);
    ++written_;
}

/// The line's own bytes: a control field's data; a data field's two indicators, then its data
/// with "|" as the delimiter (the text before the first subfield included).
void RecordWriter::encodeLine(std::string_view line, std::string_view tag) {
    if (isControlLine(tag, line)) {
        encodeControl(data_, controlValue(line), cp_);
        return;
    }
    appendEncoded(data_, chars(line, 4, 2), cp_);
    encodeControl(data_, chars(line, 7), cp_);
}

/// A data line changed inside its data (a pinyin subfield put in or taken out) written as the
/// field's own bytes around the encoded new text: the text the two lines share before and after
/// the change is encoded once and must give exactly the field's bytes, which is the check of
/// checkRoundTrip for that text. The code page encodes character by character, and the line is
/// cut only where a character begins, so this writes what encodeLine would. False, with nothing
/// written, for any other change or when the shared text does not give the field's bytes: the
/// caller then checks and encodes the whole line. [newFrom, newTo) is set to the new bytes.
bool RecordWriter::encodeEdit(std::size_t i, std::string_view tag, std::size_t& newFrom, std::size_t& newTo) {
    const std::string_view before = source_->line(i), after = lines_[i];
    if (isControlLine(tag, before) || isControlLine(tag, after)) return false;
    // Whether a character of `s` begins at byte k (or the text ends there).
    const auto cutsAt = [](std::string_view s, std::size_t k) {
        return k == s.size() || (static_cast<unsigned char>(s[k]) & 0xC0) != 0x80;
    };
    const std::size_t dataStart = advanceChars(before, 0, 7);
    const std::size_t shortest = std::min(before.size(), after.size());
    std::size_t head = static_cast<std::size_t>(
        std::mismatch(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(shortest), after.begin())
            .first -
        before.begin());
    while (head > dataStart && !(cutsAt(before, head) && cutsAt(after, head))) --head;
    // The tag or the indicators changed, or the data does not begin where it did.
    if (head < dataStart || !cutsAt(before, head) || !cutsAt(after, head) ||
        advanceChars(after, 0, 7) != dataStart)
        return false;
    std::size_t tail = 0;
    while (tail < shortest - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    while (tail > 0 && !cutsAt(before, before.size() - tail)) --tail;

    const std::string_view original = source_->field(i);
    const std::size_t start = data_.size();
    const auto keeps = [&](std::size_t from, std::size_t at, std::size_t size) {
        return at + size <= original.size() &&
               std::memcmp(data_.data() + from, original.data() + at, size) == 0;
    };
    appendEncoded(data_, chars(before, 4, 2), cp_);
    encodeControl(data_, before.substr(dataStart, head - dataStart), cp_);
    const std::size_t headBytes = data_.size() - start;
    if (keeps(start, 0, headBytes)) {
        newFrom = data_.size();
        encodeControl(data_, after.substr(head, after.size() - tail - head), cp_);
        newTo = data_.size();
        encodeControl(data_, before.substr(before.size() - tail), cp_);
        const std::size_t tailBytes = data_.size() - newTo;
        if (headBytes + tailBytes == original.size() && keeps(newTo, headBytes, tailBytes)) return true;
    }
    data_.resize(start);
    newFrom = newTo = start;
    return false;
}

/// A changed line stands in for the bytes of its field: the field as read must encode back to
/// exactly those bytes, or the bytes it does not change would change all the same.
void RecordWriter::checkRoundTrip(std::size_t i, std::string_view tag) {
    const std::string_view original = source_->field(i);
    std::swap(data_, check_);
    data_.clear();
    encodeLine(source_->line(i), tag);
    std::swap(data_, check_);
    if (check_ == original) return;
    const std::size_t differsAt = static_cast<std::size_t>(
        std::mismatch(original.begin(), original.end(), check_.begin(), check_.end()).first -
        original.begin());
    const std::size_t offset = source_->lines[i].fieldStart + differsAt;
    problem::Problem p = at(Kind::InvalidBytes, std::string(tag), 0, static_cast<long long>(offset));
    p.encoding = cp_.encoding();
    p.other = codepage::likelyEncoding(original, cp_.encoding());
    throw EncodingError(std::move(p));
}

/// A data field of a working record made by hand: indicators from the text before the first
/// "|", the text standing between them and that "|", then the subfields, each pinyin subfield
/// moved behind the nearest subfield a before it.
void RecordWriter::encodeHandMadeDataLine(std::string_view line, std::string_view tag) {
    subfields_.clear();
    int head_ = -1, tail = -1;
    int behindTitle = -1;     // the last subfield a, or the last pinyin subfield right behind it
    std::string_view before;  // the subfield in front, as the line has it
    for (const text::Subfield s : text::piecesOf(line)) {
        const std::string_view piece = s.piece;
        if (s.head) {
            appendEncoded(data_, chars(piece, 4, 2), cp_);
            appendEncoded(data_, chars(piece, 7), cp_);
            continue;
        }
        const bool pinyin = isPinyinPiece(piece, before);
        before = piece;
        if (piece.empty()) throw MarcError(at(Kind::EmptySubfield, std::string(tag)));
        const std::size_t codeEnd = advanceChars(piece, 0, 1);
        // Any other piece is written whole: its code and its text exactly as they stand.
        const int index = static_cast<int>(subfields_.size());
        Subfield& sf = subfields_.emplace_back();
        sf.code = piece.substr(0, codeEnd);
        sf.text = pinyin ? trimSpaces(piece.substr(codeEnd)) : piece;
        sf.pinyin = pinyin;
        if (pinyin && behindTitle >= 0) {
            // Behind the nearest subfield a, after the pinyin subfields already there.
            sf.next = subfields_[behindTitle].next;
            subfields_[behindTitle].next = index;
            if (behindTitle == tail) tail = index;
            behindTitle = index;
            continue;
        }
        if (tail >= 0)
            subfields_[tail].next = index;
        else
            head_ = index;
        tail = index;
        if (sf.code == "a") behindTitle = index;
    }
    for (int i = head_; i >= 0; i = subfields_[i].next) {
        const Subfield& sf = subfields_[i];
        data_.push_back(kSubfieldDelimiter);
        if (sf.pinyin) appendEncoded(data_, sf.code, cp_);
        appendEncoded(data_, sf.text, cp_);
    }
}

/// Ends one field: terminator, then its directory entry, every number checked against its width.
/// [newFrom, newTo) are the bytes of the field that are not the source field's own.
void RecordWriter::endField(std::string_view tag, std::size_t start, std::size_t lineNo, std::size_t newFrom,
                            std::size_t newTo) {
    // A terminator inside the text would end the field, or the record, early for every reader.
    // The bytes of the source's fields were checked when the record was read.
    const auto holds = [&](char c) {
        return std::memchr(data_.data() + newFrom, c, newTo - newFrom) != nullptr;
    };
    if (newTo > newFrom && (holds(kFieldTerminator) || holds(kRecordTerminator)))
        throw MarcError(at(Kind::TerminatorInText, std::string(tag)));
    data_.push_back(kFieldTerminator);
    const std::size_t length = data_.size() - start;
    if (length > static_cast<std::size_t>(kMaxFieldLength))
        throw MarcError(at(Kind::FieldTooLong, std::string(tag), 0, static_cast<long long>(length)));
    if (start > static_cast<std::size_t>(kMaxPosition))
        throw MarcError(at(Kind::FieldStartTooFar, std::string(tag)));
    if (lineNo == 0)
        dir_.append(tag);  // 001 and 005
    else
        appendTag(dir_, tag, cp_);
    appendDigits(dir_, 4, length);
    appendDigits(dir_, 5, start);
}

}  // namespace

std::string recordFromWorkingText(std::string_view working, const codepage::Codec& cp,
                                  const WriteContext& context) {
    return RecordWriter(cp, context).write(working);
}

std::string writeRecord(const std::vector<std::string_view>& lines, const std::vector<bool>& changed,
                        const codepage::Codec& cp, const WriteContext& context) {
    return RecordWriter(cp, context).write(lines, changed);
}

std::string recordFromWorkingText(std::string_view working, const codepage::Codec& cp, const Clock& clock) {
    WriteContext context;
    context.clock = clock;
    return recordFromWorkingText(working, cp, context);
}

std::string decodedRecordFromWorkingText(std::string_view working, const codepage::Codec& cp,
                                         const Clock& clock) {
    return cp.decode(recordFromWorkingText(working, cp, clock));
}

}  // namespace marc
