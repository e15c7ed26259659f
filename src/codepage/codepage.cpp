// Table-driven GBK, GB18030 and UTF-8 codecs; the GBK and GB18030 tables are taken once from ICU.
//
// Byte layout of GBK (Windows code page 936, ICU converter "GBK"):
//
//   0x00..0x7F            one byte, ASCII
//   0x80                  one byte, U+20AC EURO SIGN (Windows' addition; taken from ICU's table)
//   0x81..0xFE  lead      followed by one trail byte 0x40..0x7E or 0x80..0xFE
//   0xFF                  one byte, U+F8F5 (a private-use code in ICU's table, kept as it is)
//
// Trail bytes 0x40..0x7E are ASCII letters and punctuation, '|' (0x7C) among them, so undecoded
// GBK must never be split at an ASCII byte. The user-defined areas (AAA1..AFFE, F8A1..FEFE,
// A140..A7A0) map to the Private Use Area U+E000.. and round-trip.
//
// GB18030 (ICU converter "gb18030") has the same one- and two-byte layout and adds four-byte codes
// b1 b2 b3 b4 with b1 0x81..0xFE, b2 0x30..0x39, b3 0x81..0xFE, b4 0x30..0x39: the linear index
// ((b1-0x81)*10 + b2-0x30)*1260 + (b3-0x81)*10 + b4-0x30 below 39420 is a BMP code point (table),
// and from 189000 on (b1 0x90..0xE3) it is U+10000 + (index - 189000).
//
// Malformed input, decoding (one U+FFFD per bad sequence, decoding resumes right behind it):
//   - a lead byte at the end of the input: U+FFFD, the byte is consumed;
//   - a lead byte followed by a byte that cannot be a trail (0x00..0x3F, 0x7F, 0xFF): U+FFFD for
//     the lead byte only; the next byte is decoded on its own, so a field terminator or an ASCII
//     letter behind a stray lead byte is never swallowed;
//   - a lead/trail pair with no mapping: U+FFFD; an ASCII trail byte (0x40..0x7E) is then decoded
//     on its own (as the WHATWG decoder does), a trail byte 0x80..0xFE is consumed with the lead;
//   - a decoded U+FDD0 (possible only from UTF-8) becomes U+FFFD, so that callers may mark
//     decoded text with it (the record reader marks a "|" of field data).
// Malformed input, encoding:
//   - a code point the code page cannot hold: "?" (one byte), as Windows writes it;
//   - a default-ignorable code point such as U+00AD that ICU drops silently: "?" as well, so that
//     what is counted is what is written;
//   - invalid UTF-8: each bad byte is U+FFFD, then as above ("?" in GBK).
#include "codepage/codepage.h"

#include <cstring>

#include "codepage/tables.h"
#include "codepage/utf8.h"
#include "text/ascii.h"

namespace codepage {

using utf8::forEachCodePoint;
using utf8::put;
using utf8::threeByte;

std::optional<Encoding> encodingFromName(std::string_view name) {
    const std::string lower = text::toLower(name);
    if (lower == "gbk") return Encoding::Gbk;
    if (lower == "gb18030") return Encoding::Gb18030;
    if (lower == "utf-8" || lower == "utf8") return Encoding::Utf8;
    return std::nullopt;
}

std::string_view encodingName(Encoding e) {
    switch (e) {
        case Encoding::Gbk:
            return "gbk";
        case Encoding::Gb18030:
            return "gb18030";
        case Encoding::Utf8:
            return "utf-8";
    }
    return "gbk";
}

const Codec& Codec::get(Encoding e) {
    // Function-local statics: built on first use, thread-safe, never destroyed before exit.
    switch (e) {
        case Encoding::Gb18030: {
            static const Codec c(Encoding::Gb18030);
            return c;
        }
        case Encoding::Utf8: {
            static const Codec c(Encoding::Utf8);
            return c;
        }
        case Encoding::Gbk:
            break;
    }
    static const Codec c(Encoding::Gbk);
    return c;
}

Codec::Codec(Encoding e) : encoding_(e), tables_(std::make_unique<Tables>(e)) {}
Codec::~Codec() = default;

bool Codec::isGbkDoubleByte(char32_t c) {
    static const Tables& t = *gbk().tables_;
    return c < 0x10000 && t.bmp[c].len == 2;
}

namespace {

/// Grows `out` by `room` bytes for a writer loop; finish() cuts it back to what was written.
/// One resize per call instead of a capacity check per byte.
struct Appender {
    std::string& out;
    char* w;
    Appender(std::string& o, std::size_t room) : out(o) {
        const std::size_t old = out.size();
        out.resize(old + room);
        w = out.data() + old;
    }
    void finish() { out.resize(static_cast<std::size_t>(w - out.data())); }
};

EncodedChar gb18030Supplementary(char32_t c) {
    std::uint32_t index = kFourByteSupplementaryBase + (c - 0x10000);
    EncodedChar e;
    e.len = 4;
    e.bytes[3] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    e.bytes[2] = static_cast<char>(0x81 + index % 126);
    index /= 126;
    e.bytes[1] = static_cast<char>(0x30 + index % 10);
    e.bytes[0] = static_cast<char>(0x81 + index / 10);
    return e;
}

/// Whether every byte is below 0x80. Such text (tags, indicators, subfield codes, numbers and
/// Latin text) is its own encoding in every code page whose ASCII is plain ASCII, so the
/// codec appends it in one piece instead of growing the output for its byte loop.
bool allAscii(std::string_view s) {
    // Eight bytes at a time: a word with no top bit set holds eight ASCII bytes.
    std::size_t i = 0;
    for (; s.size() - i >= 8; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

/// Copies UTF-8 text to w (room for three bytes per input byte), code point by code point:
/// well-formed characters as they stand, U+FFFD for each byte of a malformed sequence, and the
/// marker U+FDD0 as U+FFFD when `replaceMarker` is set. Returns the end.
char* copyUtf8(std::string_view text, char* w, bool replaceMarker) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            *w++ = static_cast<char>(p[i++]);
            continue;
        }
        char32_t c;
        if (threeByte(p, i, n, c) && c != kMarker) {  // the common case: a Chinese character
            *w++ = static_cast<char>(p[i]);
            *w++ = static_cast<char>(p[i + 1]);
            *w++ = static_cast<char>(p[i + 2]);
            i += 3;
            continue;
        }
        const std::size_t start = i;
        c = utf8::next(text, i);
        if (c == kReplacement || (c == kMarker && replaceMarker))
            w = put(w, kReplacement);  // also for bad bytes
        else
            for (std::size_t k = start; k < i; ++k) *w++ = static_cast<char>(p[k]);
    }
    return w;
}

/// The character a GB18030 four-byte code b1 b2 b3 b4 at p stands for, or kNone.
char32_t fourByteCode(const Codec::Tables& t, const unsigned char* p) {
    const std::uint32_t index =
        ((p[0] - 0x81) * 10 + (p[1] - 0x30)) * 1260 + (p[2] - 0x81) * 10 + (p[3] - 0x30);
    if (index < kFourByteBmpCount) return t.four[index];
    if (index >= kFourByteSupplementaryBase && index - kFourByteSupplementaryBase < 0x100000)
        return 0x10000 + (index - kFourByteSupplementaryBase);
    return kNone;
}

/// The character of a two-byte code at p[i], or nullptr when p[i] does not start one.
const DecodedPair* pairAt(const Codec::Tables& t, const unsigned char* p, std::size_t i, std::size_t n) {
    if (i + 1 >= n || !isTrail(p[i + 1])) return nullptr;
    const DecodedPair& d = t.pair[(p[i] - kLeadMin) * kTrailCount + p[i + 1] - kTrailMin];
    return d.len ? &d : nullptr;
}

/// Decodes what a lead byte at p[i] starts when it is no two-byte character (pairAt) and steps
/// past it: a four-byte code in GB18030, or U+FFFD for the bytes that make no character (the lead
/// byte alone, or with a trail byte of 0x80 and above; an ASCII trail byte is decoded again on
/// its own).
char32_t decodeOddLead(const Codec::Tables& t, bool gb18030, const unsigned char* p, std::size_t& i,
                       std::size_t n) {
    if (i + 1 >= n) {  // a lead byte at the end
        ++i;
        return kReplacement;
    }
    const unsigned char b2 = p[i + 1];
    if (isTrail(b2)) {  // a pair that is no character
        i += b2 < 0x80 ? 1 : 2;
        return kReplacement;
    }
    if (gb18030 && isFourByteCode(p, i, n)) {
        const char32_t c = fourByteCode(t, p + i);
        if (c != kNone) {
            i += 4;
            return c;
        }
    }
    ++i;  // the lead byte alone; the next byte starts afresh
    return kReplacement;
}

/// The frame both directions share: text that is all ASCII appended in one piece where the code
/// page keeps ASCII as it is; room for `perByte` output bytes per input byte; UTF-8 to UTF-8
/// copied by copyUtf8; otherwise each ASCII byte as it stands and every other character written
/// by convertOne(p, i, n, w), which steps i past it and returns the new end of the output.
template <class ConvertOne>
void convertAppend(std::string& out, std::string_view in, const Codec::Tables& t, bool utf8ToUtf8,
                   bool replaceMarker, std::size_t perByte, ConvertOne convertOne) {
    if (t.asciiIdentity && allAscii(in)) {
        out.append(in);
        return;
    }
    Appender a(out, perByte * in.size());
    if (utf8ToUtf8) {
        a.w = copyUtf8(in, a.w, replaceMarker);
        a.finish();
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    const bool ascii = t.asciiIdentity;
    char* w = a.w;
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80 && ascii) {
            *w++ = static_cast<char>(p[i++]);
            continue;
        }
        w = convertOne(p, i, n, w);
    }
    a.w = w;
    a.finish();
}

}  // namespace

void Codec::decodeAppend(std::string& out, std::string_view bytes) const {
    const Tables& t = *tables_;
    const bool gb18030 = encoding_ == Encoding::Gb18030;
    // Every input byte gives at most three bytes of UTF-8 (a bad byte gives U+FFFD); the marker
    // cannot come out of decoding.
    convertAppend(out, bytes, t, encoding_ == Encoding::Utf8, /*replaceMarker=*/true, 3,
                  [&t, gb18030](const unsigned char* p, std::size_t& i, std::size_t n, char* w) {
                      const unsigned char b = p[i];
                      if (isLead(b)) {
                          // Two-byte characters, nearly all there is, copied from the table as UTF-8.
                          if (const DecodedPair* d = pairAt(t, p, i, n)) {
                              std::memcpy(w, d, sizeof *d);
                              i += 2;
                              return w + d->len;
                          }
                          return put(w, decodeOddLead(t, gb18030, p, i, n));
                      }
                      ++i;
                      return put(w, t.single[b] == kNone ? kReplacement : t.single[b]);
                  });
}

std::string Codec::decode(std::string_view bytes) const {
    std::string out;
    decodeAppend(out, bytes);
    return out;
}

void Codec::encodeAppend(std::string& out, std::string_view text) const {
    const Tables& t = *tables_;
    const bool gb18030 = encoding_ == Encoding::Gb18030;
    // Output bytes per input byte at most: GBK 2 (a two-byte character, or "?" for a bad byte);
    // UTF-8 3 (U+FFFD for a bad byte); GB18030 4 (U+FFFD, itself a four-byte code, for a bad byte).
    const std::size_t perByte = encoding_ == Encoding::Gbk ? 2 : encoding_ == Encoding::Utf8 ? 3 : 4;
    convertAppend(out, text, t, encoding_ == Encoding::Utf8, /*replaceMarker=*/false, perByte,
                  [&t, gb18030, text](const unsigned char* p, std::size_t& i, std::size_t n, char* w) {
                      char32_t c;
                      if (threeByte(p, i, n, c)) {
                          i += 3;
                          // Every Chinese character: its code copied whole (three input bytes
                          // leave room for four), the length kept.
                          const EncodedChar& e = t.bmp[c];
                          if (!e.len) {
                              *w++ = '?';
                              return w;
                          }
                          std::memcpy(w, e.bytes.data(), e.bytes.size());
                          return w + e.len;
                      }
                      c = utf8::next(text, i);
                      if (c < 0x10000) {
                          const EncodedChar& e = t.bmp[c];
                          if (!e.len) *w++ = '?';
                          for (int k = 0; k < e.len; ++k) *w++ = e.bytes[k];
                      } else if (gb18030) {
                          const EncodedChar e = gb18030Supplementary(c);
                          for (int k = 0; k < 4; ++k) *w++ = e.bytes[k];
                      } else {
                          *w++ = '?';
                      }
                      return w;
                  });
}

std::string Codec::encode(std::string_view text) const {
    std::string out;
    encodeAppend(out, text);
    return out;
}

std::size_t Codec::byteCount(std::string_view text) const {
    std::size_t count = 0;
    if (encoding_ == Encoding::Utf8) {
        forEachCodePoint(
            text, [&](char32_t c, std::string_view src) { count += c == kReplacement ? 3 : src.size(); });
        return count;
    }
    const Tables& t = *tables_;
    forEachCodePoint(text, [&](char32_t c, std::string_view) {
        if (c < 0x80 && t.asciiIdentity)
            ++count;
        else if (c < 0x10000)
            count += t.bmp[c].len ? t.bmp[c].len : 1;
        else
            count += encoding_ == Encoding::Gb18030 ? 4 : 1;
    });
    return count;
}

}  // namespace codepage
