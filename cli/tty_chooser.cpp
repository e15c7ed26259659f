// Terminal chooser: one question per polyphonic character, answered by number or Enter.
#include "tty_chooser.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codepage/codepage.h"

namespace cli {

std::unique_ptr<TtyChooser> TtyChooser::open(int& osError) {
    // Two streams on the terminal: one stream may not switch between reading and writing freely.
    std::FILE* in = std::fopen("/dev/tty", "r");
    std::FILE* out = in ? std::fopen("/dev/tty", "w") : nullptr;
    if (!out) {
        const int err = errno;
        if (in) std::fclose(in);
        osError = err;
        return nullptr;
    }
    return std::make_unique<TtyChooser>(in, out, true);
}

TtyChooser::~TtyChooser() {
    if (!owned_) return;
    std::fclose(in_);
    std::fclose(out_);
}

std::string markCharacter(const std::string& text, int position) {
    std::size_t i = 0, units = 0;
    while (i < text.size()) {
        std::size_t at = i;
        char32_t c = codepage::utf8::next(text, i);
        units += c > 0xFFFF ? 2 : 1;
        if (static_cast<int>(units) >= position)
            return text.substr(0, at) + "[" + text.substr(at, i - at) + "]" + text.substr(i);
    }
    return text;
}

std::optional<std::string> TtyChooser::choose(const pinyin::ChooserRequest& r) {
    std::vector<std::string> readings;
    for (std::size_t i = 0; i < r.pystr.size();) {
        std::size_t j = r.pystr.find(' ', i);
        if (j == std::string::npos) j = r.pystr.size();
        if (j > i) readings.push_back(r.pystr.substr(i, j - i));
        i = j + 1;
    }
    if (readings.empty()) return std::nullopt;
    int suggested = r.suggested >= 0 && r.suggested < static_cast<int>(readings.size()) ? r.suggested : 0;
    if (before_) before_(context_);
    std::fprintf(out_, "\n%s\n", markCharacter(r.allHz, r.dyStr).c_str());
    for (std::size_t k = 0; k < readings.size(); ++k)
        std::fprintf(out_, "  %zu) %s%s", k + 1, readings[k].c_str(),
                     static_cast<int>(k) == suggested ? " *" : "");
    for (;;) {
        std::fprintf(out_, "\n%s: reading [%d]? ", r.hz.c_str(), suggested + 1);
        std::fflush(out_);
        char line[64];
        if (!std::fgets(line, sizeof line, in_)) return readings[suggested];
        std::size_t blank = std::strspn(line, " \t\r\n");
        if (line[blank] == '\0') return readings[suggested];
        char* end = nullptr;
        long n = std::strtol(line, &end, 10);
        end += std::strspn(end, " \t\r\n");
        if (end != line && *end == '\0' && n >= 1 && n <= static_cast<long>(readings.size()))
            return readings[static_cast<std::size_t>(n - 1)];
        std::fprintf(out_, "type a number from 1 to %zu, or Enter for %d", readings.size(), suggested + 1);
    }
}

}  // namespace cli
