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
#include "text/ascii.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace codepage {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kNone = 0xFFFFFFFF;  // no mapping
constexpr char32_t kMarker = 0xFDD0;  // the noncharacter decoding never yields

constexpr int kLeadMin = 0x81, kLeadMax = 0xFE, kTrailMin = 0x40, kTrailMax = 0xFE;
constexpr int kTrailCount = kTrailMax - kTrailMin + 1;
constexpr int kFourByteBmpCount = 39420;
constexpr std::uint32_t kFourByteSupplementaryBase = 189000;

bool isLead(unsigned char b) { return b >= kLeadMin && b <= kLeadMax; }
bool isTrail(unsigned char b) { return b >= kTrailMin && b <= kTrailMax && b != 0x7F; }
bool isDigitByte(unsigned char b) { return b >= 0x30 && b <= 0x39; }

/// Encoded form of one code point: up to four bytes; len 0 means "cannot be encoded".
struct EncodedChar {
    std::uint8_t len = 0;
    std::array<char, 4> bytes{};
};

/// Opens an ICU converter whose callbacks stop at every error, so nothing is substituted silently.
struct Converter {
    UConverter* cnv = nullptr;
    explicit Converter(const char* name) {
        UErrorCode err = U_ZERO_ERROR;
        cnv = ucnv_open(name, &err);
        if (U_FAILURE(err)) throw std::runtime_error(std::string("ICU has no converter ") + name);
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    }
    ~Converter() { ucnv_close(cnv); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    /// The single code point these bytes decode to as a whole, or kNone.
    char32_t decodeOne(const char* bytes, int len) {
        UErrorCode err = U_ZERO_ERROR;
        UChar out[4];
        ucnv_reset(cnv);
        int32_t n = ucnv_toUChars(cnv, out, 4, bytes, len, &err);
        if (U_FAILURE(err) || n < 1 || n > 2) return kNone;
        char32_t c = out[0];
        if (n == 2) {
            if (!U16_IS_LEAD(out[0]) || !U16_IS_TRAIL(out[1])) return kNone;
            c = U16_GET_SUPPLEMENTARY(out[0], out[1]);
        }
        return c;
    }

    /// The encode table of every BMP code point but the surrogates, from one conversion of them
    /// all: a call per code point took longer than the rest of the start-up together. Code
    /// points that cannot be encoded are skipped by the converter and so get no bytes (len 0),
    /// as encodeOne gives them; the table is the same one, entry for entry.
    std::vector<EncodedChar> encodeBmp() {
        std::vector<UChar> all;
        all.reserve(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<UChar>(c));
        // At most four bytes a code point (GB18030's longest form).
        std::vector<char> bytes(all.size() * 4);
        std::vector<int32_t> from(bytes.size());  // the index in `all` each byte came from
        UErrorCode err = U_ZERO_ERROR;
        ucnv_reset(cnv);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &err);
        char* target = bytes.data();
        const UChar* source = all.data();
        ucnv_fromUnicode(cnv, &target, bytes.data() + bytes.size(), &source, all.data() + all.size(),
                         from.data(), true, &err);
        UErrorCode restore = U_ZERO_ERROR;
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &restore);
        ucnv_reset(cnv);
        std::vector<EncodedChar> bmp(0x10000);
        if (U_FAILURE(err) || source != all.data() + all.size()) {
            for (UChar c : all) bmp[c] = encodeOne(c);  // not expected: the slow way, still right
            return bmp;
        }
        const std::size_t n = static_cast<std::size_t>(target - bytes.data());
        for (std::size_t i = 0; i < n;) {
            std::size_t j = i;
            while (j < n && from[j] == from[i]) ++j;
            if (from[i] >= 0 && j - i <= 4) {
                EncodedChar& e = bmp[all[static_cast<std::size_t>(from[i])]];
                e.len = static_cast<std::uint8_t>(j - i);
                for (std::size_t k = i; k < j; ++k) e.bytes[k - i] = bytes[k];
            }
            i = j;
        }
        return bmp;
    }

    EncodedChar encodeOne(char32_t c) {
        EncodedChar e;
        UErrorCode err = U_ZERO_ERROR;
        UChar in[1] = {static_cast<UChar>(c)};
        char out[8];
        ucnv_reset(cnv);
        int32_t n = ucnv_fromUChars(cnv, out, sizeof out, in, 1, &err);
        if (U_FAILURE(err) || n < 1 || n > 4) return e;  // n == 0: ICU dropped a default-ignorable
        e.len = static_cast<std::uint8_t>(n);
        for (int i = 0; i < n; ++i) e.bytes[i] = out[i];
        return e;
    }
};

}  // namespace

struct Codec::Tables {
    std::array<char32_t, 256> single{};                           // kNone where not a character
    std::vector<char32_t> pair;                                   // [(lead-0x81)*191 + trail-0x40]
    std::vector<char32_t> four;                                   // GB18030 four-byte BMP codes
    std::vector<EncodedChar> bmp;                                 // encode table, 65536 entries
    bool asciiIdentity = true;

    explicit Tables(Encoding e) {
        if (e == Encoding::Utf8) return;
        Converter cv(e == Encoding::Gbk ? "GBK" : "gb18030");
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            single[b] = isLead(static_cast<unsigned char>(b)) ? kNone : cv.decodeOne(&byte, 1);
            if (b < 0x80 && single[b] != static_cast<char32_t>(b)) asciiIdentity = false;
        }
        pair.assign((kLeadMax - kLeadMin + 1) * kTrailCount, kNone);
        for (int lead = kLeadMin; lead <= kLeadMax; ++lead)
            for (int trail = kTrailMin; trail <= kTrailMax; ++trail) {
                if (!isTrail(static_cast<unsigned char>(trail))) continue;
                char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                pair[(lead - kLeadMin) * kTrailCount + trail - kTrailMin] = cv.decodeOne(bytes, 2);
            }
        if (e == Encoding::Gb18030) {
            four.assign(kFourByteBmpCount, kNone);
            for (int i = 0; i < kFourByteBmpCount; ++i) {
                char bytes[4] = {static_cast<char>(0x81 + i / 12600), static_cast<char>(0x30 + i / 1260 % 10),
                                 static_cast<char>(0x81 + i / 10 % 126), static_cast<char>(0x30 + i % 10)};
                four[i] = cv.decodeOne(bytes, 4);
            }
        }
        bmp = cv.encodeBmp();  // surrogates, never characters, keep len 0
        // Keep the marker out of every table: decoding never yields it.
        for (auto& c : single) if (c == kMarker) c = kReplacement;
        for (auto& c : pair) if (c == kMarker) c = kReplacement;
        for (auto& c : four) if (c == kMarker) c = kReplacement;
    }
};

std::optional<Encoding> encodingFromName(std::string_view name) {
    const std::string lower = text::toLower(name);
    if (lower == "gbk") return Encoding::Gbk;
    if (lower == "gb18030") return Encoding::Gb18030;
    if (lower == "utf-8" || lower == "utf8") return Encoding::Utf8;
    return std::nullopt;
}

std::string_view encodingName(Encoding e) {
    switch (e) {
    case Encoding::Gbk: return "gbk";
    case Encoding::Gb18030: return "gb18030";
    case Encoding::Utf8: return "utf-8";
    }
    return "gbk";
}

const Codec& Codec::get(Encoding e) {
    // Function-local statics: built on first use, thread-safe, never destroyed before exit.
    switch (e) {
    case Encoding::Gb18030: { static const Codec c(Encoding::Gb18030); return c; }
    case Encoding::Utf8: { static const Codec c(Encoding::Utf8); return c; }
    case Encoding::Gbk: break;
    }
    static const Codec c(Encoding::Gbk);
    return c;
}

Codec::Codec(Encoding e) : encoding_(e), tables_(new Tables(e)) {}
Codec::~Codec() { delete tables_; }

bool Codec::isGbkDoubleByte(char32_t c) {
    static const Tables& t = *gbk().tables_;
    return c < 0x10000 && t.bmp[c].len == 2;
}

namespace {

/// Writes the UTF-8 form of c at w (room for four bytes) and returns the end.
inline char* put(char* w, char32_t c) {
    if (c < 0x80) {
        *w++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *w++ = static_cast<char>(0xC0 | (c >> 6));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *w++ = static_cast<char>(0xE0 | (c >> 12));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *w++ = static_cast<char>(0xF0 | (c >> 18));
        *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return w;
}

/// The common case of UTF-8 outside ASCII: a well-formed three-byte character at p[i], neither
/// overlong nor a surrogate. Anything else is left to utf8::next.
inline bool threeByte(const unsigned char* p, std::size_t i, std::size_t n, char32_t& c) {
    const unsigned char b = p[i];
    if (b < 0xE0 || b >= 0xF0 || i + 2 >= n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80) return false;
    c = (char32_t(b & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF);
}

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

// Gives each code point of `utf8` (invalid bytes as U+FFFD) with its source bytes to `f`.
template <typename F>
void forEachCodePoint(std::string_view s, F&& f) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        std::size_t start = i;
        char32_t c = static_cast<unsigned char>(s[i]) < 0x80 ? static_cast<unsigned char>(s[i++]) : utf8::next(s, i);
        f(c, s.substr(start, i - start));
    }
}

}  // namespace

namespace {

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
        if (c == kReplacement || (c == kMarker && replaceMarker)) w = put(w, kReplacement);  // also for bad bytes
        else for (std::size_t k = start; k < i; ++k) *w++ = static_cast<char>(p[k]);
    }
    return w;
}

}  // namespace

void Codec::decodeAppend(std::string& out, std::string_view bytes) const {
    if (tables_->asciiIdentity && allAscii(bytes)) {
        out.append(bytes);
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    // Every input byte gives at most three bytes of UTF-8 (a bad byte gives U+FFFD).
    Appender a(out, 3 * n);
    char* w = a.w;
    std::size_t i = 0;
    if (encoding_ == Encoding::Utf8) {
        // UTF-8 to UTF-8: well-formed text is copied; the marker cannot come out of decoding.
        w = copyUtf8(bytes, w, /*replaceMarker=*/true);
        a.w = w;
        a.finish();
        return;
    }
    const Tables& t = *tables_;
    const bool ascii = t.asciiIdentity;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80 && ascii) {
            *w++ = static_cast<char>(b);
            ++i;
            continue;
        }
        if (!isLead(b)) {
            const char32_t c = t.single[b];
            w = put(w, c == kNone ? kReplacement : c);
            ++i;
            continue;
        }
        if (i + 1 >= n) {  // a lead byte at the end
            w = put(w, kReplacement);
            ++i;
            continue;
        }
        const unsigned char b2 = p[i + 1];
        if (isTrail(b2)) {
            const char32_t c = t.pair[(b - kLeadMin) * kTrailCount + b2 - kTrailMin];
            if (c != kNone) {
                w = put(w, c);
                i += 2;
            } else {
                w = put(w, kReplacement);
                i += b2 < 0x80 ? 1 : 2;  // an ASCII trail byte is decoded again on its own
            }
            continue;
        }
        if (encoding_ == Encoding::Gb18030 && isDigitByte(b2) && i + 3 < n && isLead(p[i + 2]) &&
            isDigitByte(p[i + 3])) {
            const std::uint32_t index =
                ((b - 0x81) * 10 + (b2 - 0x30)) * 1260 + (p[i + 2] - 0x81) * 10 + (p[i + 3] - 0x30);
            char32_t c = kNone;
            if (index < kFourByteBmpCount) c = t.four[index];
            else if (index >= kFourByteSupplementaryBase && index - kFourByteSupplementaryBase < 0x100000)
                c = 0x10000 + (index - kFourByteSupplementaryBase);
            if (c != kNone) {
                w = put(w, c);
                i += 4;
                continue;
            }
        }
        w = put(w, kReplacement);  // the lead byte alone; the next byte starts afresh
        ++i;
    }
    a.w = w;
    a.finish();
}

std::string Codec::decode(std::string_view bytes) const {
    std::string out;
    decodeAppend(out, bytes);
    return out;
}

void Codec::encodeAppend(std::string& out, std::string_view text) const {
    if (tables_->asciiIdentity && allAscii(text)) {
        out.append(text);
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    // Output bytes per input byte at most: GBK 2 (a two-byte character, or "?" for a bad byte);
    // UTF-8 3 (U+FFFD for a bad byte); GB18030 4 (U+FFFD, itself a four-byte code, for a bad byte).
    const std::size_t perByte = encoding_ == Encoding::Gbk ? 2 : encoding_ == Encoding::Utf8 ? 3 : 4;
    Appender a(out, perByte * n);
    char* w = a.w;
    std::size_t i = 0;
    if (encoding_ == Encoding::Utf8) {
        w = copyUtf8(text, w, /*replaceMarker=*/false);
        a.w = w;
        a.finish();
        return;
    }
    const Tables& t = *tables_;
    const bool ascii = t.asciiIdentity;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80 && ascii) {
            *w++ = static_cast<char>(b);
            ++i;
            continue;
        }
        char32_t c;
        if (threeByte(p, i, n, c)) i += 3;
        else c = utf8::next(text, i);
        if (c < 0x10000) {
            const EncodedChar& e = t.bmp[c];
            if (e.len) {
                for (int k = 0; k < e.len; ++k) *w++ = e.bytes[k];
            } else {
                *w++ = '?';
            }
        } else if (encoding_ == Encoding::Gb18030) {
            const EncodedChar e = gb18030Supplementary(c);
            for (int k = 0; k < 4; ++k) *w++ = e.bytes[k];
        } else {
            *w++ = '?';
        }
    }
    a.w = w;
    a.finish();
}

std::string Codec::encode(std::string_view text) const {
    std::string out;
    encodeAppend(out, text);
    return out;
}

std::size_t Codec::byteCount(std::string_view text) const {
    std::size_t count = 0;
    if (encoding_ == Encoding::Utf8) {
        forEachCodePoint(text, [&](char32_t c, std::string_view src) { count += c == kReplacement ? 3 : src.size(); });
        return count;
    }
    const Tables& t = *tables_;
    forEachCodePoint(text, [&](char32_t c, std::string_view) {
        if (c < 0x80 && t.asciiIdentity) ++count;
        else if (c < 0x10000) count += t.bmp[c].len ? t.bmp[c].len : 1;
        else count += encoding_ == Encoding::Gb18030 ? 4 : 1;
    });
    return count;
}

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
    if (b >= 0xC2 && b <= 0xDF) { len = 2; c = b & 0x1F; min = 0x80; }
    else if (b >= 0xE0 && b <= 0xEF) { len = 3; c = b & 0x0F; min = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { len = 4; c = b & 0x07; min = 0x10000; }
    else { ++i; return kReplacement; }
    if (i + len > n) { ++i; return kReplacement; }
    for (int k = 1; k < len; ++k) {
        unsigned char t = p[i + k];
        if ((t & 0xC0) != 0x80) { ++i; return kReplacement; }
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { ++i; return kReplacement; }
    i += len;
    return c;
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c <= 0x10FFFF) {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        append(out, kReplacement);
    }
}

std::size_t utf16Length(std::string_view s) {
    std::size_t count = 0;
    forEachCodePoint(s, [&](char32_t c, std::string_view) { count += c >= 0x10000 ? 2 : 1; });
    return count;
}

}  // namespace utf8

}  // namespace codepage
