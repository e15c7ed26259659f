#include "marc/databar.h"

namespace marc {

std::string withBars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(kDataBar); at != std::string_view::npos; at = text.find(kDataBar, from)) {
        out.append(text, from, at - from);
        out += '|';
        from = at + kDataBar.size();
    }
    out.append(text, from);
    return out;
}

void appendEncoded(std::string& out, std::string_view text, const codepage::Codec& codec) {
    std::size_t from = 0;
    for (std::size_t at = text.find(kDataBar); at != std::string_view::npos; at = text.find(kDataBar, from)) {
        codec.encodeAppend(out, text.substr(from, at - from));
        out += '|';
        from = at + kDataBar.size();
    }
    codec.encodeAppend(out, text.substr(from));
}

}  // namespace marc
