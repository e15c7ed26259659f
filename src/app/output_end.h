// Where an existing output's whole records end: a run appends only after a whole record, never
// onto the half of one that a killed run left behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/files.h"

namespace app {

/// How an open output ends.
struct OutputEnd {
    /// The size of what holds whole records: the file's size when it ends with a whole record
    /// and the line breaks after it (or is empty); nullopt when no whole record ends in what was
    /// read of its end, and the file is longer than that.
    std::optional<std::uint64_t> whole;
    /// Bytes after `whole`: what a cut-off write left (0 when the file ends at a record boundary).
    std::uint64_t partial = 0;
};

/// Reads the end of the open regular file `output` (nothing else has an end to check). A record
/// ends there when its terminator is followed by nothing but CR and LF, and the record before it
/// is readable by its own leader: the length in its first five bytes reaches from its start (the
/// file's start, or just after a terminator or a line break) to that terminator.
OutputEnd outputEnd(const AppendFile& output);

/// Whether `bytes` ends with a whole record, by the rule above; `atFileStart`: bytes[0] is the
/// first byte of the file.
bool endsWithWholeRecord(std::string_view bytes, bool atFileStart);

}  // namespace app
