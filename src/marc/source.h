// The exchange record a working record was read from, kept beside it so that the writer can give
// back, byte for byte, every field the run did not change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marc {

struct SourceRecord {
    /// Where one field stands in the bytes and, once decoded, its working line in `working`.
    struct Line {
        std::size_t lineStart = 0, lineSize = 0;    ///< in `working`, when `decoded`
        std::size_t fieldStart = 0, fieldSize = 0;  ///< in `bytes`, the closing terminator left out
        std::size_t tagStart = 0;                   ///< the tag of its directory entry, in `bytes`
        bool decoded = true;  ///< false: a field the run does not change, left in bytes (see readRecord)
    };

    std::string bytes;  ///< the record as the reader cut it (CR LF pairs removed from one spread over lines)
    std::string working;  ///< the working record text made of it: the decoded lines, one after another
    std::vector<Line> lines;
    /// Every field is decoded: `working` is the whole record's working text.
    bool whole = true;
    /// The directory counted lengths and starts in characters of the record's UTF-8 text, not in
    /// bytes; the lines above give the fields in bytes all the same.
    bool charCounted = false;

    /// The record's own leader: its first 24 bytes (fewer for a record that short).
    std::string_view leader() const { return std::string_view(bytes).substr(0, 24); }
    /// Field i's working line; empty for a field left in bytes.
    std::string_view line(std::size_t i) const {
        return std::string_view(working).substr(lines[i].lineStart, lines[i].lineSize);
    }
    std::string_view tag(std::size_t i) const { return std::string_view(bytes).substr(lines[i].tagStart, 3); }
    std::string_view field(std::size_t i) const {
        return std::string_view(bytes).substr(lines[i].fieldStart, lines[i].fieldSize);
    }
};

}  // namespace marc
