// Exchange record writer: rebuilds leader, directory, 001 and 005 around the working record's fields.
//
// Every piece of text is encoded once, straight into the directory or the data area, and every
// length and position is the size of those bytes: nothing is counted apart from what is written.
#include "marc/writer.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <vector>

#include "marc/constants.h"
#include "marc/detail.h"
#include "marc/error.h"

namespace marc {

namespace {

using detail::advanceChars;
using detail::trimSpaces;

/// Characters `from` (1-based) to `from + count - 1` of the line, clamped to its end.
std::string_view mid(std::string_view line, std::size_t from, std::size_t count = std::string_view::npos) {
    const std::size_t b = advanceChars(line, 0, from - 1);
    const std::size_t e = count == std::string_view::npos ? line.size() : advanceChars(line, b, count);
    return line.substr(b, e - b);
}

/// Encodes subfield text: kDataBar, which stands for a "|" of the data, becomes "|" again.
void encodeData(std::string& out, std::string_view s, const codepage::Codec& cp) {
    cp.encodeAppend(out, s, /*dataBarAsBar=*/true);
}

/// Encodes control field data, the exact inverse of the reader: "|" is the subfield delimiter it
/// wrote for a byte 31, kDataBar a "|" of the data.
void encodeControl(std::string& out, std::string_view s, const codepage::Codec& cp) {
    std::size_t from = 0;
    for (std::size_t i = s.find('|'); i != std::string_view::npos; i = s.find('|', from)) {
        encodeData(out, s.substr(from, i - from), cp);
        out.push_back(kSubfieldDelimiter);
        from = i + 1;
    }
    encodeData(out, s.substr(from), cp);
}

std::string twoDigits(int n) {
    return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

bool isPinyinPiece(std::string_view piece) {
    const std::size_t i = piece.find_first_not_of(' ');
    return i != std::string_view::npos && (piece[i] == 'A' || piece[i] == '9');
}

/// The lines of the working text: split at CR, LFs removed, a "|" right after a CR LF dropped.
/// Returns false when the text gives seven pieces or fewer (fewer than six carriage returns).
/// Lines are views into `working`, or into `buf` for the rare line that holds a stray LF.
bool splitLines(std::string_view working, std::string& buf, std::vector<std::string_view>& lines) {
    // The text with CR LF appended has one piece more than it has carriage returns; its last
    // piece (behind the appended CR) is ignored, so the lines are the pieces of `working` itself.
    const auto crs = static_cast<std::size_t>(std::count(working.begin(), working.end(), '\r'));
    if (crs + 2 <= 7) return false;
    buf.clear();
    buf.reserve(working.size());  // never reallocates below: views into it stay valid
    lines.clear();
    std::size_t pos = 0;
    for (bool first = true;; first = false) {
        const std::size_t cr = working.find('\r', pos);
        std::string_view piece = working.substr(pos, cr == std::string_view::npos ? cr : cr - pos);
        if (!first && piece.size() >= 2 && piece[0] == '\n' && piece[1] == '|') piece.remove_prefix(2);
        else if (!piece.empty() && piece[0] == '\n') piece.remove_prefix(1);
        if (piece.find('\n') != std::string_view::npos) {
            const std::size_t from = buf.size();
            for (char c : piece)
                if (c != '\n') buf.push_back(c);
            piece = std::string_view(buf).substr(from);
        }
        lines.push_back(piece);
        if (cr == std::string_view::npos) break;
        pos = cr + 1;
    }
    return true;
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

/// "line 4 (tag 200): what"; line 0 stands for the rebuilt 001 and 005 ("field 001: what").
std::string lineError(std::size_t line, std::string_view tag, const std::string& what) {
    if (line == 0) return "field " + std::string(tag) + ": " + what;
    return "line " + std::to_string(line) + " (tag " + std::string(tag) + "): " + what;
}

/// Checks that a tag encodes to three printable single bytes, so the directory keeps its shape.
void appendTag(std::string& dir, std::string_view tag, std::size_t line, const codepage::Codec& cp) {
    const std::size_t before = dir.size();
    encodeData(dir, tag, cp);
    bool ok = dir.size() - before == 3;
    for (std::size_t i = before; ok && i < dir.size(); ++i)
        ok = dir[i] >= 0x20 && dir[i] < 0x7F;
    if (!ok) throw MarcError(lineError(line, tag, "a tag must be three single-byte characters"));
}

}  // namespace

LocalTime systemClock() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string padZero(int width, long long n) {
    if (n < 0) throw MarcError("cannot write the negative number " + std::to_string(n));
    std::string digits = std::to_string(n);
    if (digits.size() > static_cast<std::size_t>(width))
        throw MarcError(digits + " does not fit in " + std::to_string(width) + " digits");
    return std::string(width - digits.size(), '0') + digits;
}

std::string marcToIsoBytes(std::string_view working, const codepage::Codec& cp, const Clock& clock) {
    // Scratch buffers kept per thread: the batch run calls this once per record.
    thread_local std::string lineBuf, dir, data;
    thread_local std::vector<std::string_view> lines;
    thread_local std::vector<Subfield> subfields;
    if (!splitLines(working, lineBuf, lines)) return {};

    // First pass: template, leader code, 001 and 005; the last line of a tag wins.
    bool series = false;
    std::optional<std::string_view> leaderCode, identifier, time;
    for (std::string_view line : lines) {
        const std::string_view tag = mid(line, 1, 3);
        if (tag == "410" || tag == "461" || tag == "225") series = true;
        else if (tag == "000") leaderCode = mid(line, 8, 4);
        else if (tag == "001") identifier = trimSpaces(mid(line, 5));
        else if (tag == "005") time = trimSpaces(mid(line, 5));
    }

    std::string leader(series ? kLeaderTemplateSeries : kLeaderTemplateBook);
    if (leaderCode && !trimSpaces(*leaderCode).empty()) {
        std::string code;
        encodeData(code, trimSpaces(*leaderCode), cp);
        // Leader positions 5 to 8 must stay four bytes of plain text, or the leader loses its shape.
        bool ok = code.size() <= 4;
        for (char c : code) ok = ok && c >= 0x20 && c < 0x7F;
        if (!ok) throw MarcError("000 line: the leader code must be at most four single-byte characters");
        code.resize(4, ' ');
        leader.replace(5, 4, code);
    }
    for (char& c : leader)
        if (c == '#') c = ' ';

    std::string generatedId, generatedTime;
    if (!time || time->empty() || !identifier || identifier->empty()) {
        const LocalTime t = clock();
        if (!time || time->empty()) {
            generatedTime = padZero(4, t.year) + twoDigits(t.month) + twoDigits(t.day) + twoDigits(t.hour) +
                            twoDigits(t.minute) + twoDigits(t.second) + ".0";
            time = generatedTime;
        }
        if (!identifier || identifier->empty()) {
            generatedId = "01" + twoDigits(t.month) + twoDigits(t.day) + twoDigits(t.hour) + twoDigits(t.minute) +
                          twoDigits(t.second);
            identifier = generatedId;
        }
    }

    dir.clear();
    data.clear();
    // Ends one field: terminator, then its directory entry, every number checked against its width.
    auto endField = [&](std::string_view tag, std::size_t start, std::size_t line) {
        // A field terminator inside the text would end the field early for every reader.
        if (data.find(kFieldTerminator, start) != std::string::npos)
            throw MarcError(lineError(line, tag, "the text holds a field terminator (character 30)"));
        data.push_back(kFieldTerminator);
        const std::size_t length = data.size() - start;
        if (length > static_cast<std::size_t>(kMaxFieldLength))
            throw MarcError(lineError(line, tag, "the field is " + std::to_string(length) +
                                                     " bytes long; a field may hold at most 9999"));
        if (start > static_cast<std::size_t>(kMaxPosition))
            throw MarcError(lineError(line, tag, "the field starts beyond byte 99999 of the data"));
        if (line == 0) dir.append(tag);  // 001 and 005
        else appendTag(dir, tag, line, cp);
        appendDigits(dir, 4, length);
        appendDigits(dir, 5, start);
    };

    encodeControl(data, *identifier, cp);
    endField("001", 0, 0);
    std::size_t start = data.size();
    encodeControl(data, *time, cp);
    endField("005", start, 0);

    // Second pass: every other control field and every data field, in the order of the lines.
    for (std::size_t li = 0; li < lines.size(); ++li) {
        const std::string_view line = lines[li];
        const std::string_view tag = mid(line, 1, 3);
        if (tag == "000" || tag == "001" || tag == "005") continue;
        const std::size_t lineNo = li + 1;
        start = data.size();
        const int number = detail::numberOrNone(tag);
        if (tag.size() == 3 && number >= 2 && number <= 9) {
            // Control fields 002 to 009 keep their data, characters 8 to the end of the line.
            encodeControl(data, mid(line, 8), cp);
            endField(tag, start, lineNo);
            continue;
        }
        if (!(tag > std::string_view("006")) || advanceChars(line, 0, 8) == line.size()) continue;

        // A data field: indicators from the text before the first "|", then the subfields.
        const std::size_t firstBar = line.find(kWorkingDelimiter);
        encodeData(data, mid(line.substr(0, firstBar), 5, 2), cp);
        subfields.clear();
        int head = -1, tail = -1;
        int behindTitle = -1;  // the last subfield a, or the last pinyin subfield right behind it
        for (std::size_t from = firstBar; from != std::string_view::npos;) {
            const std::size_t next = line.find(kWorkingDelimiter, from + 1);
            const std::string_view piece = line.substr(from + 1, next == std::string_view::npos ? next : next - from - 1);
            from = next;
            if (piece.empty())
                throw MarcError(lineError(lineNo, tag, "empty subfield (\"||\", or \"|\" at the end of the line)"));
            const std::size_t codeEnd = advanceChars(piece, 0, 1);
            const bool pinyin = isPinyinPiece(piece);
            // Any other piece is written whole: its code and its text exactly as they stand.
            // Filled in where it lies in the vector: a Subfield built aside and copied in
            // reads back its just-written flag byte as part of a wider word, which stalls.
            const int index = static_cast<int>(subfields.size());
            Subfield& sf = subfields.emplace_back();
            sf.code = piece.substr(0, codeEnd);
            sf.text = pinyin ? trimSpaces(piece.substr(codeEnd)) : piece;
            sf.pinyin = pinyin;
            if (pinyin && behindTitle >= 0) {
                // Behind the nearest subfield a, after the pinyin subfields already there.
                sf.next = subfields[behindTitle].next;
                subfields[behindTitle].next = index;
                if (behindTitle == tail) tail = index;
                behindTitle = index;
                continue;
            }
            if (tail >= 0) subfields[tail].next = index;
            else head = index;
            tail = index;
            if (sf.code == "a") behindTitle = index;
        }
        for (int i = head; i >= 0; i = subfields[i].next) {
            const Subfield& sf = subfields[i];
            data.push_back(kSubfieldDelimiter);
            if (sf.pinyin) encodeData(data, sf.code, cp);
            encodeData(data, sf.text, cp);
        }
        endField(tag, start, lineNo);
    }

    const std::size_t baseAddress = kLeaderLength + dir.size() + 1;
    const std::size_t recordLength = baseAddress + data.size() + 1;
    if (recordLength > static_cast<std::size_t>(kMaxPosition))
        throw MarcError("the record would be " + std::to_string(recordLength) +
                        " bytes long; a record may hold at most 99999");
    leader.replace(0, 5, padZero(5, static_cast<long long>(recordLength)));
    leader.replace(12, 5, padZero(5, static_cast<long long>(baseAddress)));

    std::string out;
    out.reserve(recordLength);
    out.append(leader);
    out.append(dir);
    out.push_back(kFieldTerminator);
    out.append(data);
    out.push_back(kRecordTerminator);
    return out;
}

std::string marcToIso(std::string_view working, const codepage::Codec& cp, const Clock& clock) {
    return cp.decode(marcToIsoBytes(working, cp, clock));
}

}  // namespace marc
