// Hand-built ISO 2709 records for the batch and command-line tests.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testrec {

/// One field: tag and its bytes without the field terminator (data fields start with indicators).
using Field = std::pair<std::string, std::string>;

/// A record of `fields` with a correct leader and directory, ending in the record terminator.
/// The bytes are taken as they are (give GBK bytes for a GBK file).
inline std::string makeRecord(const std::vector<Field>& fields) {
    std::string dir, data;
    for (const auto& [tag, body] : fields) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%s%04zu%05zu", tag.c_str(), body.size() + 1, data.size());
        dir += entry;
        data += body;
        data += '\x1E';
    }
    std::size_t base = 24 + dir.size() + 1;
    std::size_t length = base + data.size() + 1;
    char leader[32];
    std::snprintf(leader, sizeof leader, "%05zunam0 22%05zu   450 ", length, base);
    return std::string(leader) + dir + '\x1E' + data + '\x1D';
}

/// A book record with five fields (the writer needs five lines) and a GBK title.
inline std::string book(const std::string& id, const std::string& titleGbk) {
    return makeRecord({{"001", id},
                       {"005", "20240102030405.0"},
                       {"101", "0 \x1F" "achi"},
                       {"200", "1 \x1F" "a" + titleGbk},
                       {"210", "  \x1F" "d2024"}});
}

}  // namespace testrec
