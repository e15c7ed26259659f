// Code page detection from a file's first bytes.
#include "codepage/detect.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "codepage/tables.h"

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

bool isLetter(unsigned char b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool isMarc8Mark(unsigned char b) { return b >= 0xE0 && b <= 0xFE; }

/// A byte above 0x7F that MARC-8's Latin set (ANSEL: 0xA1..0xC8 and the marks 0xE0..0xFE, and
/// the joiners 0x88, 0x89, 0x8D, 0x8E) does not have.
bool notInMarc8(unsigned char b) {
    if (b >= 0x80 && b <= 0xA0) return b != 0x88 && b != 0x89 && b != 0x8D && b != 0x8E;
    return (b >= 0xC9 && b <= 0xDF) || b == 0xFF;
}

/// GBK's user-defined areas: AAA1..AFFE, F8A1..FEFE, A140..A7A0.
bool isPrivateUse(unsigned char lead, unsigned char trail) {
    if (trail >= 0xA1) return (lead >= 0xAA && lead <= 0xAF) || lead >= 0xF8;
    return lead >= 0xA1 && lead <= 0xA7;
}

/// An ideograph of GBK: GB2312's (B0..F7 with A1..FE) or of the extensions (81..A0 with any
/// trail byte, AA..FE with 40..A0).
bool isIdeograph(unsigned char lead, unsigned char trail) {
    if (lead >= 0x81 && lead <= 0xA0) return true;
    if (trail <= 0xA0) return lead >= 0xAA;
    return lead >= 0xB0 && lead <= 0xF7;
}

bool isGb2312(unsigned char lead, unsigned char trail) {
    return trail >= 0xA1 && ((lead >= 0xA1 && lead <= 0xA9) || (lead >= 0xB0 && lead <= 0xF7));
}

/// The record at the start of `sample` is MARC 21 (its entry map "4500") and its leader/09 says
/// which character coding it uses: 'a' for Unicode, blank for MARC-8.
char marc21Coding(std::string_view s) {
    if (s.size() < 24 || s.compare(20, 4, "4500") != 0) return 0;
    for (std::size_t i = 0; i < 5; ++i)
        if (s[i] < '0' || s[i] > '9') return 0;
    // MARC 21 names its title 245; UNIMARC (whose CNMARC exports also write 4500) names it 200.
    const std::size_t end = std::min(s.find('\x1E'), s.size());
    for (std::size_t e = 24; e + 12 <= end; e += 12)
        if (s.compare(e, 3, "245") == 0 || s.compare(e, 3, "008") == 0)
            return s[9] == 'a' ? 'a' : s[9] == ' ' ? ' ' : '\0';
    return 0;
}

struct Utf8Reading {
    std::size_t sequences = 0, longSequences = 0, errors = 0, errorRuns = 0, controls = 0;
    bool latinAmongLetters = false;  ///< a two-byte letter sequence beside an ASCII letter
    bool latinInWord = false;        ///< one between two ASCII letters
};

/// The index of the first byte above 0x7F, or s.size(); eight bytes at a step.
std::size_t firstHigh(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ULL) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

/// Whether `s` holds a byte that starts no well-formed UTF-8 sequence; stops at the first.
bool breaksUtf8(std::string_view s, std::size_t from) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = from; i < n;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t c;
        if (utf8::threeByte(p, i, n, c)) {
            i += 3;
            continue;
        }
        const std::size_t len = utf8SequenceAt(s, i);
        if (len == 0) return true;
        i += len;
    }
    return false;
}

Utf8Reading readAsUtf8(std::string_view s) {
    Utf8Reading r;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    bool inError = false;
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            inError = false;
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceAt(s, i);
        if (len == 0) {
            ++r.errors;
            r.errorRuns += !inError;
            inError = true;
            ++i;
            continue;
        }
        inError = false;
        if (len == 2 && p[i] == 0xC2 && p[i + 1] < 0xA0) {
            ++r.controls;  // U+0080..U+009F: no text
            i += len;
            continue;
        }
        ++r.sequences;
        if (len >= 3) ++r.longSequences;
        // Lead bytes C3..C9 (U+00C0..U+027F), CC..CD (combining marks) and CE..D3: Latin, Greek
        // and Cyrillic letters, not IPA or spacing modifiers. A subfield's code is no letter of
        // its text.
        if (len == 2 && p[i] >= 0xC3 && p[i] <= 0xD3 && p[i] != 0xCA && p[i] != 0xCB) {
            const bool before = i >= 2 && isLetter(p[i - 1]) && p[i - 2] != 0x1F;
            const bool after = i + 2 < n && isLetter(p[i + 2]);
            r.latinInWord = r.latinInWord || (before && after);
            r.latinAmongLetters = r.latinAmongLetters || before || after;
        }
        i += len;
    }
    return r;
}

}  // namespace

bool GbkReading::implausible() const {
    const std::size_t bad = invalid + wedged, all = characters + invalid;
    // One lone or broken code is no evidence (a single rare character standing alone, a
    // character cut short), nor is one user-defined character (a library's own).
    return (bad >= 2 && (bad + privateUse) * 4 >= all) || (privateUse >= 2 && privateUse * 2 >= all);
}

namespace {

void countMarc8(std::string_view s, GbkReading& r) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b < 0x80) continue;
        if (isMarc8Mark(b) && i + 1 < n && (isLetter(p[i + 1]) || isMarc8Mark(p[i + 1]))) ++r.marc8Marks;
        if (notInMarc8(b)) ++r.notMarc8;
    }
}

/// readAsGbk() without MARC-8's counts.
GbkReading readCodes(std::string_view s) {
    GbkReading r;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    bool afterAscii = true;  // the byte before is an ASCII character of its own, not a trail byte
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            afterAscii = true;
            ++i;
            continue;
        }
        const bool lone = afterAscii;
        afterAscii = false;
        if (isFourByteCode(p, i, n)) {
            ++r.characters;
            i += 4;
            continue;
        }
        const unsigned char t = i + 1 < n ? p[i + 1] : 0;
        if (b == 0x80 || b == 0xFF || t < 0x40 || t == 0x7F || t == 0xFF) {
            ++r.invalid;
            ++i;
            continue;
        }
        ++r.characters;
        r.common += isGb2312(b, t);
        if (isPrivateUse(b, t)) ++r.privateUse;
        const bool beforeAscii = i + 2 >= n || p[i + 2] < 0x80;
        const bool betweenLetters = lone && i > 0 && isLetter(p[i - 1]) && i + 2 < n && isLetter(p[i + 2]);
        if (lone && beforeAscii && ((betweenLetters && isIdeograph(b, t)) || (isMarc8Mark(b) && isLetter(t))))
            ++r.wedged;
        i += 2;
    }
    return r;
}

/// Whether the first few codes from p[from] (a byte above 0x7F) give reason to read the whole
/// field: a code that is broken, outside GB2312 or alone between ASCII bytes. Chinese text in
/// GBK starts with GB2312 characters in runs; MARC-8 and single-byte code pages do not for long.
bool suspiciousStart(const unsigned char* p, std::size_t from, std::size_t n) {
    bool afterAscii = true;
    int codes = 0;
    for (std::size_t i = from; i < n && codes < 4;) {
        if (p[i] < 0x80) {
            afterAscii = true;
            ++i;
            continue;
        }
        const unsigned char t = i + 1 < n ? p[i + 1] : 0;
        if (!isGb2312(p[i], t)) return true;
        if (afterAscii && (i + 2 >= n || p[i + 2] < 0x80)) return true;
        afterAscii = false;
        ++codes;
        i += 2;
    }
    return false;
}

}  // namespace

GbkReading readAsGbk(std::string_view s) {
    GbkReading r = readCodes(s);
    countMarc8(s, r);
    return r;
}

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
        if (isFourByteCode(p, i, n)) {
            ++d.fourByteCodes;
            i += 3;
        }
    }
    d.asciiOnly = !high;
    if (d.marc8) d.foreign = Foreign::Marc8;
    if (d.asciiOnly) return d;
    const GbkReading gbk = readAsGbk(sample);
    const char coding = marc21Coding(sample);
    const std::size_t errorRuns = readAsUtf8(sample).errorRuns;
    const bool utf8 =
        d.utf8Sequences > 0 && (d.utf8Errors * 20 <= d.utf8Sequences ||
                                ((gbk.implausible() || coding == 'a' || gbk.common * 2 < gbk.characters) &&
                                 errorRuns * 4 <= d.utf8Sequences));
    if (utf8)
        d.encoding = Encoding::Utf8;
    else if (d.fourByteCodes > 0)
        d.encoding = Encoding::Gb18030;
    else
        d.encoding = Encoding::Gbk;
    if (d.marc8) return d;
    if (!utf8 && (gbk.implausible() || (coding == ' ' && gbk.wedged > 0 && gbk.marc8())))
        // A MARC 21 record that does not say Unicode is MARC-8, special letters (ø, ł) alone too.
        d.foreign =
            gbk.marc8() || (coding == ' ' && gbk.notMarc8 == 0) ? Foreign::Marc8 : Foreign::SingleByte;
    return d;
}

bool roundTrips(std::string_view bytes, Encoding e) {
    const Codec& codec = Codec::get(e);
    return codec.encode(codec.decode(bytes)) == bytes;
}

Misfit checkField(std::string_view bytes, Encoding run, bool foreign) {
    Misfit m;
    const std::size_t high = firstHigh(bytes);
    if (high == bytes.size()) return m;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    // Every sequence of UTF-8 goes on with a byte 0x80..0xBF; half of GBK's characters do not.
    const bool continues = high + 1 < bytes.size() && (p[high + 1] & 0xC0) == 0x80;
    const std::size_t first = continues ? utf8SequenceAt(bytes, high) : 0;
    const bool utf8Start = first > 0 && !(p[high] == 0xC2 && p[high + 1] < 0xA0);
    if (run == Encoding::Utf8) {
        // Read whole only when the text breaks UTF-8 at once: any other broken byte fails the
        // field where it is written (its bytes would not come back), and decodes to no character.
        if (utf8Start) return m;
        // A broken sequence among UTF-8 text is no GBK: GBK fails UTF-8 on most characters.
        const Utf8Reading u = readAsUtf8(bytes);
        if (u.sequences * 2 > u.errors) return m;
        const GbkReading g = readAsGbk(bytes);
        if (g.invalid == 0 && g.privateUse == 0 && g.common > 0 && !g.implausible())
            for (Encoding e : {Encoding::Gbk, Encoding::Gb18030})
                if (roundTrips(bytes, e)) {
                    m.other = e;
                    break;
                }
        return m;
    }
    if (!utf8Start || breaksUtf8(bytes, high)) {
        // The common case, GBK text: it fails UTF-8 at its first characters.
        if (!foreign || !suspiciousStart(p, high, bytes.size())) return m;
        GbkReading g = readCodes(bytes);
        if (!g.implausible()) return m;
        countMarc8(bytes, g);
        m.foreign = g.marc8() ? Foreign::Marc8 : Foreign::SingleByte;
        return m;
    }
    const Utf8Reading u = readAsUtf8(bytes);
    const bool validUtf8 = u.controls == 0;
    const GbkReading g = readAsGbk(bytes);
    if (validUtf8 && u.sequences > 0) {
        // GBK text that happens to be valid UTF-8 reads as GB2312 characters; UTF-8 read as GBK
        // gives the extensions' rare ideographs, user-defined codes or a lead byte left over.
        const bool outsideGb2312 = g.common < g.characters || g.invalid > 0;
        if (u.longSequences >= 2 || u.latinInWord ||
            ((u.longSequences > 0 || u.latinAmongLetters) && outsideGb2312) ||
            (u.sequences >= 2 && outsideGb2312)) {
            m.other = Encoding::Utf8;
            return m;
        }
    }
    if (foreign && g.implausible()) m.foreign = g.marc8() ? Foreign::Marc8 : Foreign::SingleByte;
    return m;
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
