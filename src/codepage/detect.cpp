// Code page detection from a file's first bytes.
#include "codepage/detect.h"

#include <string>

namespace codepage {

namespace {

/// Length of the well-formed UTF-8 sequence at p[i] (2 to 4), or 0 when there is none.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i) {
    std::size_t j = i;
    const char32_t c = utf8::next(s, j);
    return c == 0xFFFD && !(j - i == 3 && s.compare(i, 3, "\xEF\xBF\xBD") == 0) ? 0 : j - i;
}

bool isMarc8Escape(std::string_view s, std::size_t i) {
    // ESC followed by a designation ( $ ( ) , - ) or one of the technique shifts ( b p g s ).
    if (i + 1 >= s.size()) return false;
    const char next = s[i + 1];
    return next == '$' || next == '(' || next == ')' || next == ',' || next == '-' || next == 'b' ||
           next == 'p' || next == 'g' || next == 's';
}

}  // namespace

Detection detectEncoding(std::string_view sample) {
    Detection d;
    const auto* p = reinterpret_cast<const unsigned char*>(sample.data());
    const std::size_t n = sample.size();
    bool high = false;
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (b == 0x1B && isMarc8Escape(sample, i)) d.marc8 = true;
            ++i;
            continue;
        }
        high = true;
        if (const std::size_t len = utf8SequenceAt(sample, i)) {
            ++d.utf8Sequences;
            i += len;
        } else {
            ++d.utf8Errors;
            ++i;
        }
    }
    // A sample cut in the middle of a character may leave one broken sequence at its end.
    for (std::size_t i = 0; i + 3 < n; ++i) {
        if (p[i] >= 0x81 && p[i] <= 0xFE && p[i + 1] >= 0x30 && p[i + 1] <= 0x39 && p[i + 2] >= 0x81 &&
            p[i + 2] <= 0xFE && p[i + 3] >= 0x30 && p[i + 3] <= 0x39) {
            ++d.fourByteCodes;
            i += 3;
        }
    }
    d.asciiOnly = !high;
    if (d.utf8Sequences > 0 && d.utf8Errors * 20 <= d.utf8Sequences) d.encoding = Encoding::Utf8;
    else if (d.fourByteCodes > 0) d.encoding = Encoding::Gb18030;
    else d.encoding = Encoding::Gbk;
    return d;
}

bool roundTrips(std::string_view bytes, Encoding e) {
    const Codec& codec = Codec::get(e);
    return codec.encode(codec.decode(bytes)) == bytes;
}

std::optional<Encoding> likelyEncoding(std::string_view bytes, Encoding current) {
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::nullopt;
    for (Encoding e : {Encoding::Utf8, Encoding::Gbk, Encoding::Gb18030})
        if (e != current && roundTrips(bytes, e)) return e;
    return std::nullopt;
}

}  // namespace codepage
