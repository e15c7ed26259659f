// The end of an existing output, read back to the last whole record.
#include "app/output_end.h"

#include <string>

#include "marc/constants.h"

namespace app {
namespace {

/// How far back a damaged end is read: a cut-off write leaves less than one gathered piece or
/// one record, whichever is longer.
constexpr std::size_t kLookBack = std::size_t{4} << 20;

bool lineBreak(char c) { return c == '\r' || c == '\n'; }

/// The terminator of the last whole record in `bytes`: one that starts at the file's start or
/// after a terminator or a line break, and whose leader's length reaches exactly to it.
std::optional<std::size_t> lastRecordEnd(std::string_view bytes, bool atFileStart) {
    std::optional<std::size_t> last;
    for (std::size_t start = 0; start + marc::kLeaderLength <= bytes.size(); ++start) {
        const bool boundary =
            start == 0 ? atFileStart
                       : bytes[start - 1] == marc::kRecordTerminator || lineBreak(bytes[start - 1]);
        if (!boundary) continue;
        std::size_t length = 0, k = 0;
        for (; k < 5 && bytes[start + k] >= '0' && bytes[start + k] <= '9'; ++k)
            length = length * 10 + static_cast<std::size_t>(bytes[start + k] - '0');
        if (k < 5 || length < marc::kLeaderLength || start + length > bytes.size()) continue;
        const std::size_t end = start + length - 1;
        if (bytes[end] == marc::kRecordTerminator && (!last || end > *last)) last = end;
    }
    return last;
}

/// The end of the last whole record in `bytes` and the line breaks after it.
std::optional<std::size_t> lastWholeEnd(std::string_view bytes, bool atFileStart) {
    const auto last = lastRecordEnd(bytes, atFileStart);
    if (!last) return std::nullopt;
    std::size_t end = *last + 1;
    while (end < bytes.size() && lineBreak(bytes[end])) ++end;
    return end;
}

}  // namespace

bool endsWithWholeRecord(std::string_view bytes, bool atFileStart) {
    std::size_t end = bytes.size();
    while (end > 0 && lineBreak(bytes[end - 1])) --end;
    if (end == 0) return atFileStart;
    const auto last = lastRecordEnd(bytes.substr(0, end), atFileStart);
    return last && *last == end - 1;
}

OutputEnd outputEnd(const AppendFile& output) {
    OutputEnd result;
    const std::uint64_t size = output.size();
    result.whole = size;
    if (!output.isRegular() || size == 0) return result;
    // The last record at most, and a little before it to see where it starts.
    const std::size_t near = marc::kMaxPosition + 4096;
    std::uint64_t from = size > near ? size - near : 0;
    std::string bytes = output.readAt(from, near);
    // A file we may only write to cannot be read back: it is taken as it is.
    if (bytes.size() != size - from || endsWithWholeRecord(bytes, from == 0)) return result;
    from = size > kLookBack ? size - kLookBack : 0;
    bytes = output.readAt(from, kLookBack);
    if (bytes.size() != size - from) return result;
    if (const auto end = lastWholeEnd(bytes, from == 0)) {
        result.whole = from + *end;
    } else if (from == 0) {
        result.whole = 0;  // not one whole record: all of it is what a cut-off write left
    } else {
        result.whole.reset();
        return result;
    }
    result.partial = size - *result.whole;
    return result;
}

}  // namespace app
