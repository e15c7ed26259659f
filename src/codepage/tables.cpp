// Building a codec's tables from ICU's converter, once per code page.
#include "codepage/tables.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <stdexcept>
#include <string>

#include "codepage/utf8.h"

namespace codepage {
namespace {

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

Codec::Tables::Tables(Encoding e) {
    if (e == Encoding::Utf8) return;
    Converter cv(e == Encoding::Gbk ? "GBK" : "gb18030");
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        single[b] = isLead(static_cast<unsigned char>(b)) ? kNone : cv.decodeOne(&byte, 1);
        if (b < 0x80 && single[b] != static_cast<char32_t>(b)) asciiIdentity = false;
    }
    pair.assign(std::size_t{kLeadMax - kLeadMin + 1} * kTrailCount, DecodedPair{});
    for (int lead = kLeadMin; lead <= kLeadMax; ++lead)
        for (int trail = kTrailMin; trail <= kTrailMax; ++trail) {
            if (!isTrail(static_cast<unsigned char>(trail))) continue;
            char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char32_t c = cv.decodeOne(bytes, 2);
            if (c == kNone) continue;
            // Two bytes always give a character of the BMP, three bytes of UTF-8 at most.
            if (c > 0xFFFF) throw std::logic_error("a two-byte code beyond the BMP");
            if (c == kMarker) c = kReplacement;  // decoding never yields the marker
            DecodedPair& d = pair[(lead - kLeadMin) * kTrailCount + trail - kTrailMin];
            d.len = static_cast<std::uint8_t>(utf8::put(d.utf8.data(), c) - d.utf8.data());
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
    for (auto& c : single)
        if (c == kMarker) c = kReplacement;
    for (auto& c : four)
        if (c == kMarker) c = kReplacement;
}

}  // namespace codepage
