// Fuzzes the code page layer: decoding never fails or yields the reserved U+FDD0, re-encoding what
// was decoded gives it back (in GBK with "?" for each U+FFFD), and counting always equals encoding.
#include <cstdint>
#include <string>

#include "codepage/codepage.h"
#include "record_check.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// The text with every U+FFFD as "?", and whether it is valid UTF-8 free of U+FDD0.
std::string questionMarks(const std::string& text, bool& valid) {
    std::string out;
    valid = true;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = codepage::utf8::next(text, i);
        if (c == 0xFDD0) valid = false;
        if (c == kReplacement) {
            if (text.compare(start, 3, "\xEF\xBF\xBD") != 0) valid = false;  // invalid UTF-8
            out.push_back('?');
        } else {
            out.append(text, start, i - start);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (auto e : {codepage::Encoding::Gbk, codepage::Encoding::Gb18030, codepage::Encoding::Utf8}) {
        const codepage::Codec& cp = codepage::Codec::get(e);
        const std::string text = cp.decode(bytes);
        bool valid = false;
        const std::string expected = questionMarks(text, valid);
        fuzzcheck::require(valid, "decoding gave invalid UTF-8 or U+FDD0", text);
        const std::string encoded = cp.encode(text);
        fuzzcheck::require(cp.byteCount(text) == encoded.size(), "count differs from encoding", text);
        // GBK writes U+FFFD as "?"; GB18030 and UTF-8 can hold it.
        fuzzcheck::require(cp.decode(encoded) == (e == codepage::Encoding::Gbk ? expected : text),
                           "decode(encode(decode(x))) changed", bytes);
        // The same bytes taken as UTF-8 text: counting equals encoding, whatever they hold.
        const std::string_view asText = bytes;
        fuzzcheck::require(cp.byteCount(asText) == cp.encode(asText).size(), "count differs for raw text",
                           bytes);
        std::string appended = "x";
        cp.encodeAppend(appended, asText);
        fuzzcheck::require(appended == "x" + cp.encode(asText), "encodeAppend differs from encode");
    }
    fuzzcheck::require(codepage::utf8::utf16Length(bytes) <= bytes.size(), "UTF-16 length");
    return 0;
}
