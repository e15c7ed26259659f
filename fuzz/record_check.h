// Checks shared by the fuzz targets: a written record's shape, and failing loudly.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "problem/error.h"

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

inline void require(bool ok, const char* what, std::string_view detail = {}) {
    if (!ok) fail(what, detail);
}

inline bool digits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return !s.empty();
}

/// True for the reader's refusal of a tag that is not three letters or digits. The writer writes
/// any three printable bytes as a tag, and a lone CR inside field data splits a line of the
/// working text into one with an arbitrary tag, so this refusal may follow any written record.
inline bool isTagRefusal(const problem::Error& e) { return e.problem.kind == problem::Kind::BadTag; }

/// Aborts unless `rec` is one well-formed ISO 2709 record as the writer promises it: record length
/// and base address right (the rest of the leader is the record's own, whatever it holds), every directory
/// entry numeric, within the data area, ended by a field terminator, the fields back to back, the record
/// terminator last.
inline void checkRecord(std::string_view rec) {
    require(rec.size() >= 26, "record shorter than leader, terminator and end", rec);
    require(digits(rec.substr(0, 5)) && std::stoul(std::string(rec.substr(0, 5))) == rec.size(),
            "record length in the leader differs from the size", rec);
    require(digits(rec.substr(12, 5)), "base address not a number", rec);
    const std::size_t base = std::stoul(std::string(rec.substr(12, 5)));
    require(base >= 25 && base < rec.size() && rec[base - 1] == '\x1E',
            "no terminator before the base address", rec);
    require((base - 25) % 12 == 0, "directory not whole entries", rec);
    require(rec.substr(0, base - 1).find('\x1E') == std::string_view::npos,
            "terminator inside leader or directory", rec);
    require(rec.back() == '\x1D', "no record terminator", rec);
    std::size_t expectedStart = 0;
    for (std::size_t at = 24; at < base - 1; at += 12) {
        const std::string_view e = rec.substr(at, 12);
        require(digits(e.substr(3, 4)) && digits(e.substr(7, 5)), "directory numbers", e);
        const std::size_t length = std::stoul(std::string(e.substr(3, 4)));
        const std::size_t start = std::stoul(std::string(e.substr(7, 5)));
        require(start == expectedStart, "fields not back to back", e);
        require(length >= 1 && base + start + length <= rec.size() - 1, "field beyond the data area", e);
        require(rec[base + start + length - 1] == '\x1E', "field not ended by its terminator", e);
        require(rec.substr(base + start, length - 1).find_first_of("\x1D\x1E") == std::string_view::npos,
                "a terminator inside a field", e);
        expectedStart = start + length;
    }
    require(base + expectedStart == rec.size() - 1, "data area longer than its fields", rec);
}

/// The fields of a record that checkRecord has passed: tag and data, terminators left out.
inline std::vector<std::pair<std::string, std::string>> fieldsOf(std::string_view rec) {
    std::vector<std::pair<std::string, std::string>> fields;
    const std::size_t base = std::stoul(std::string(rec.substr(12, 5)));
    for (std::size_t at = 24; at < base - 1; at += 12) {
        const std::size_t length = std::stoul(std::string(rec.substr(at + 3, 4)));
        const std::size_t start = std::stoul(std::string(rec.substr(at + 7, 5)));
        fields.emplace_back(std::string(rec.substr(at, 3)),
                            std::string(rec.substr(base + start, length - 1)));
    }
    return fields;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

/// Where each character of UTF-8 text begins (and its end last); false for a byte that cannot
/// start or continue a character. Deliberately plain: it does not share the program's decoder.
inline bool utf8Starts(std::string_view s, std::vector<std::size_t>& starts) {
    starts.clear();
    for (std::size_t i = 0; i < s.size();) {
        starts.push_back(i);
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80                ? 1
                              : b >= 0xC2 && b < 0xE0 ? 2
                              : b >= 0xE0 && b < 0xF0 ? 3
                              : b >= 0xF0 && b < 0xF5 ? 4
                                                      : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    starts.push_back(s.size());
    return true;
}

/// An input record cut by its own directory, apart from the program's reader: its leader, and
/// its fields (terminators left out) in directory order. The directory runs from byte 24 to the
/// first field terminator in whole 12-byte entries, each a tag of three letters or digits and
/// two numbers; each field ends with a field terminator (the
/// last may end with the record terminator) and holds none inside; together the fields cover
/// every byte between the directory and the record terminator (the last byte, if it is one).
/// Lengths and starts count bytes, or with `chars` characters of UTF-8 text. False when the
/// record does not read so: bytes of it would belong to no field.
inline bool cutRecord(std::string_view rec, Fields& fields, bool chars = false) {
    fields.clear();
    const std::size_t ft = rec.find('\x1E');
    if (ft == std::string_view::npos || ft < 24 || (ft - 24) % 12 != 0 || ft == 24) return false;
    std::vector<std::size_t> starts;
    if (chars && !utf8Starts(rec, starts)) return false;
    const auto at = [&](std::size_t unit) {  // the byte of a position in the record's units
        if (!chars) return unit;
        return unit < starts.size() ? starts[unit] : std::string_view::npos;
    };
    std::size_t baseUnit = ft + 1;
    if (chars) {
        baseUnit = 0;
        while (starts[baseUnit] < ft + 1) ++baseUnit;
    }
    const std::size_t end = rec.size() - (rec.back() == '\x1D' ? 1 : 0);
    std::vector<std::pair<std::size_t, std::size_t>> extents;
    // A number of the directory, blanks around its digits allowed (as a hand-edited one has them).
    const auto number = [](std::string_view s) {
        const std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
        return b == std::string_view::npos || !digits(s.substr(b, e + 1 - b))
                   ? std::string_view::npos
                   : std::stoul(std::string(s.substr(b, e + 1 - b)));
    };
    for (std::size_t e = 24; e < ft; e += 12) {
        const std::string_view entry = rec.substr(e, 12);
        const std::size_t length = number(entry.substr(3, 4)), start = number(entry.substr(7, 5));
        if (length == std::string_view::npos || start == std::string_view::npos) return false;
        for (char c : entry.substr(0, 3))  // a tag is three ASCII letters or digits
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
        const std::size_t from = at(baseUnit + start);
        const std::size_t to = at(baseUnit + start + length);
        if (length == 0 || from == std::string_view::npos || to == std::string_view::npos || to > rec.size())
            return false;
        const char last = rec[to - 1];
        if (!(last == '\x1E' || (last == '\x1D' && to == rec.size()))) return false;
        const std::string_view data = rec.substr(from, to - from - 1);
        if (data.find_first_of("\x1D\x1E") != std::string_view::npos) return false;
        fields.emplace_back(std::string(entry.substr(0, 3)), std::string(data));
        extents.emplace_back(from, to);
    }
    std::sort(extents.begin(), extents.end());
    std::size_t reached = ft + 1;
    for (const auto& [from, to] : extents) {
        if (from > reached) return false;
        reached = std::max(reached, to);
    }
    return reached >= end;
}

/// A record as its own leader says it is, wholly: five digits of record length L with the record
/// terminator at L - 1 and none before, the base address at 12..16 right behind the directory's
/// terminator, the directory's numbers in plain digits, and cutRecord reading it by bytes. A record found so
/// is one record whatever it holds; no framing may cut it or join it to another.
inline bool soundRecordAt(std::string_view input, std::size_t p, std::size_t& length) {
    if (input.size() - p < 39 || !digits(input.substr(p, 5)) || !digits(input.substr(p + 12, 5)))
        return false;
    length = std::stoul(std::string(input.substr(p, 5)));
    const std::size_t base = std::stoul(std::string(input.substr(p + 12, 5)));
    if (length < 39 || length > input.size() - p || base < 37 || base >= length) return false;
    const std::string_view rec = input.substr(p, length);
    if (rec.back() != '\x1D' || rec.find('\x1D') != length - 1 || rec.find('\x1E') != base - 1) return false;
    for (std::size_t e = 24; e + 12 < base; e += 12)  // plain digits: no blanks of a hand-edited directory
        if (!digits(rec.substr(e + 3, 9))) return false;
    Fields fields;
    return cutRecord(rec, fields);
}

/// Whether a field's tag is among those a run annotates (the list matched as text).
inline bool listed(std::string_view tagList, std::string_view tag) {
    return tagList.find(tag) != std::string_view::npos;
}

/// Which pinyin a run writes: into A or 9 behind each subfield a, or behind every lower-case
/// subfield into the capital of its code.
/// TakenOut: as EverySubfield, for a field whose pinyin was taken out, where a capital that
/// stood behind a removed one now stands behind the source: a capital counts as pinyin behind
/// its source or behind another capital counted so.
enum class Mode { SubfieldA, EverySubfield, TakenOut };

/// Whether `code` is the capital of `previous`, a lower-case letter.
inline bool capitalOf(char code, char previous) {
    return code >= 'A' && code <= 'Z' && previous == code - 'A' + 'a';
}

/// A data field without its pinyin subfields: what must come through of a field the run
/// annotates. Mode::SubfieldA: every subfield A, and a subfield 9 only where it stands directly
/// behind a subfield a (whether it reads as pinyin is the program's to judge); any other 9 is
/// data and stays. Mode::EverySubfield: a capital directly behind its lower-case letter, as the
/// field stands; a capital behind anything else is data and stays, and so is every 9.
inline std::string withoutPinyin(std::string_view field, Mode mode = Mode::SubfieldA) {
    std::string out;
    std::size_t from = 0;
    char previous = 0;
    for (std::size_t i = field.find('\x1F');; i = field.find('\x1F', from)) {
        const std::string_view piece = field.substr(from, i == std::string_view::npos ? i : i - from);
        const char code = from > 0 && !piece.empty() ? piece[0] : 0;
        const bool pinyin = mode == Mode::SubfieldA ? code == 'A' || (code == '9' && previous == 'a')
                                                    : capitalOf(code, previous);
        if (mode == Mode::EverySubfield) previous = code;  // TakenOut keeps the source's
        if (!pinyin) {
            if (from > 0) out.push_back('\x1F');
            out.append(piece);
            previous = code;
        }
        if (i == std::string_view::npos) break;
        from = i + 1;
    }
    return out;
}

/// Checks a written record against the input record it came from, field by field: 001 and 005
/// first (the input's first ones, or generated where missing or blank), then every other field
/// in order, each with the same bytes but, in a listed field, its pinyin subfields; under the
/// templates a 000 field is not written.
inline void requireSameFields(const Fields& in, const Fields& out, std::string_view tagList, bool keepLeader,
                              std::string_view detail, Mode mode = Mode::SubfieldA) {
    std::size_t id = in.size(), time = in.size();
    for (std::size_t i = in.size(); i-- > 0;) {
        if (in[i].first == "001") id = i;
        if (in[i].first == "005") time = i;
    }
    const auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    require(out.size() >= 2 && out[0].first == "001" && out[1].first == "005", "001 and 005 not first",
            detail);
    if (id < in.size() && !blank(in[id].second))
        require(out[0].second == in[id].second, "the 001 changed", detail);
    if (time < in.size() && !blank(in[time].second))
        require(out[1].second == in[time].second, "the 005 changed", detail);
    std::size_t k = 2;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (i == id || i == time || (!keepLeader && in[i].first == "000")) continue;
        require(k < out.size(), "a field of the input is missing in the output", detail);
        const auto& [tag, data] = out[k++];
        require(tag == in[i].first, "a field's tag or place changed", detail);
        if (listed(tagList, tag))
            require(withoutPinyin(data, mode) == withoutPinyin(in[i].second, mode),
                    "a listed field changed besides its pinyin", detail);
        else
            require(data == in[i].second, "a field's bytes changed", detail);
    }
    require(k == out.size(), "the output holds a field the input did not have", detail);
}

/// Whether `out` is `in` with none or some of its subfields taken out, each one pinyin might be
/// written in (A or 9; under Mode::EverySubfield a capital), the rest byte for byte in order.
inline bool lessPinyinOnly(std::string_view in, std::string_view out, Mode mode) {
    std::size_t o = 0;
    std::size_t from = 0;
    for (std::size_t i = in.find('\x1F');; i = in.find('\x1F', from)) {
        const std::string_view piece = in.substr(from, i == std::string_view::npos ? i : i - from);
        const std::string_view with =
            from > 0 ? in.substr(from - 1, piece.size() + 1) : piece;  // its delimiter
        if (out.substr(o, with.size()) == with &&
            (o + with.size() == out.size() || out[o + with.size()] == '\x1F'))
            o += with.size();
        else if (from == 0 || piece.empty() ||
                 !(mode == Mode::SubfieldA ? piece[0] == 'A' || piece[0] == '9'
                                           : piece[0] >= 'A' && piece[0] <= 'Z'))
            return false;
        if (i == std::string_view::npos) break;
        from = i + 1;
    }
    return o == out.size();
}

}  // namespace fuzzcheck
