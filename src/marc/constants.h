// ISO 2709 structure constants and the working record's separators.
#pragma once

#include <string_view>

#include "text/working_line.h"

namespace marc {

inline constexpr char kRecordTerminator = '\x1D';   // 29
inline constexpr char kFieldTerminator = '\x1E';    // 30
inline constexpr char kSubfieldDelimiter = '\x1F';  // 31
// The delimiter as the working record writes it.
inline constexpr char kWorkingDelimiter = text::kWorkingDelimiter;
inline constexpr std::string_view kCrLf = "\r\n";

inline constexpr int kLeaderLength = 24;
inline constexpr int kDirectoryEntryLength = 12;  // tag 3, length 4, start 5
inline constexpr int kMaxFieldLength = 9999;      // 4 digits, terminator included
inline constexpr int kMaxPosition = 99999;        // 5 digits: start, base address, record length

inline constexpr std::string_view kLeaderTemplateBook = "00000nam0#2200000###450#";
inline constexpr std::string_view kLeaderTemplateSeries = "00000oam2#2200000###450#";

}  // namespace marc
