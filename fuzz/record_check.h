// Checks shared by the fuzz targets: a written record's shape, and failing loudly.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
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
inline bool isTagRefusal(const std::exception& e) {
    const std::string_view what = e.what();
    return what.find(": tag \"") != std::string_view::npos &&
           what.find("\" is not three letters or digits") != std::string_view::npos;
}

/// Aborts unless `rec` is one well-formed ISO 2709 record as the writer promises it: record length
/// and base address right, every directory entry numeric, within the data area, ended by a field
/// terminator, the fields back to back, the record terminator last.
inline void checkRecord(std::string_view rec) {
    require(rec.size() >= 26, "record shorter than leader, terminator and end", rec);
    require(digits(rec.substr(0, 5)) && std::stoul(std::string(rec.substr(0, 5))) == rec.size(),
            "record length in the leader differs from the size", rec);
    require(rec[20] == '4' && rec[21] == '5', "leader entry map", rec);
    require(digits(rec.substr(12, 5)), "base address not a number", rec);
    const std::size_t base = std::stoul(std::string(rec.substr(12, 5)));
    require(base >= 25 && base < rec.size() && rec[base - 1] == '\x1E', "no terminator before the base address", rec);
    require((base - 25) % 12 == 0, "directory not whole entries", rec);
    require(rec.substr(0, base - 1).find('\x1E') == std::string_view::npos, "terminator inside leader or directory", rec);
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
        fields.emplace_back(std::string(rec.substr(at, 3)), std::string(rec.substr(base + start, length - 1)));
    }
    return fields;
}

}  // namespace fuzzcheck
