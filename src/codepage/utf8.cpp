// UTF-8 stepping: one U+FFFD per bad byte.
#include "codepage/utf8.h"

namespace codepage {

namespace utf8 {

char32_t next(std::string_view s, std::size_t& i) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    unsigned char b = p[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    int len;
    char32_t c;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        c = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        c = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        c = b & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + len > n) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k < len; ++k) {
        unsigned char t = p[i + k];
        if ((t & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += len;
    return c;
}

void append(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    char buf[4];
    out.append(buf, static_cast<std::size_t>(put(buf, c) - buf));
}

std::size_t utf16Length(std::string_view s) {
    std::size_t count = 0;
    forEachCodePoint(s, [&](char32_t c, std::string_view) { count += c >= 0x10000 ? 2 : 1; });
    return count;
}

}  // namespace utf8

}  // namespace codepage
