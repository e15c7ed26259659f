// Terminal chooser: one question per polyphonic character, answered by number or Enter.
#include "tty_chooser.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/files.h"
#include "codepage/codepage.h"
#include "pinyin/readings.h"

namespace cli {

std::unique_ptr<TtyChooser> TtyChooser::open(int& osError, messages::Language lang) {
    // Two streams on the terminal: one stream may not switch between reading and writing freely.
    std::FILE* in = std::fopen("/dev/tty", "r");
    std::FILE* out = in ? std::fopen("/dev/tty", "w") : nullptr;
    if (!out) {
        const int err = errno;
        if (in) std::fclose(in);
        osError = err;
        return nullptr;
    }
    // Unbuffered: what poll() says is waiting is all there is (see waitForLine).
    std::setvbuf(in, nullptr, _IONBF, 0);
    return std::make_unique<TtyChooser>(in, out, true, lang);
}

namespace {

/// Waits for the user's line; false when a stop (Ctrl-C) comes first.
bool waitForLine(std::FILE* in) {
    const int fd = fileno(in);
    for (;;) {
        if (app::stopRequested && app::stopRequested()) return false;
        if (fd < 0) return true;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, 200);
        if (n > 0 || (n < 0 && errno != EINTR)) return true;
    }
}

}  // namespace

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
    for (std::string_view reading : pinyin::splitReadings(r.readings)) readings.emplace_back(reading);
    if (readings.empty()) return std::nullopt;
    const bool chinese = lang_ == messages::Language::Chinese;
    int suggested = r.suggested >= 0 && r.suggested < static_cast<int>(readings.size()) ? r.suggested : 0;
    if (before_) before_();
    // Where the text stands: its field and subfield, when the run knows them.
    if (!r.tag.empty())
        std::fprintf(out_, chinese ? "\n%s 字段 $%c 子字段：" : "\nfield %s $%c: ", r.tag.c_str(),
                     r.subfield);
    std::fprintf(out_, r.tag.empty() ? "\n%s\n" : "%s\n", markCharacter(r.text, r.position).c_str());
    for (std::size_t k = 0; k < readings.size(); ++k)
        std::fprintf(out_, "  %zu) %s%s", k + 1, readings[k].c_str(),
                     static_cast<int>(k) == suggested ? " *" : "");
    const char* rememberHint = !remember_ ? ""
                               : chinese  ? "（编号后加 m：记入词表，以后不再询问）"
                                          : " (a number and m: remember it, never ask again)";
    for (;;) {
        std::fprintf(out_, chinese ? "\n%s：读音 [%d]？%s" : "\n%s: reading [%d]?%s ", r.character.c_str(),
                     suggested + 1, rememberHint);
        std::fflush(out_);
        char line[64];
        if (!waitForLine(in_)) {
            std::fputc('\n', out_);
            std::fflush(out_);
            return std::nullopt;  // the run stops at this record
        }
        if (!std::fgets(line, sizeof line, in_)) return readings[suggested];
        // A number (none: the suggestion), then "m" to remember, spaces anywhere around.
        char* at = line + std::strspn(line, " \t\r\n");
        long n = suggested + 1;
        if (*at >= '0' && *at <= '9') n = std::strtol(at, &at, 10);
        at += std::strspn(at, " \t\r\n");
        const bool remember = remember_ && (*at == 'm' || *at == 'M');
        if (remember) at += 1 + std::strspn(at + 1, " \t\r\n");
        if (*at == '\0' && n >= 1 && n <= static_cast<long>(readings.size())) {
            const std::string& chosen = readings[static_cast<std::size_t>(n - 1)];
            if (remember) {
                if (auto entry = pinyin::wordToRemember(r, chosen)) {
                    remember_(*entry);
                    std::fprintf(out_, chinese ? "已记入词表：%s\t%s\n" : "remembered: %s\t%s\n",
                                 entry->word.c_str(), entry->syllables.c_str());
                } else {
                    // A lone character would take this reading in every word that holds it.
                    std::fprintf(out_, chinese ? "未记入词表：只记两个字以上的词，这个字不在已知的词里\n"
                                               : "not remembered: only words of two characters or more "
                                                 "are remembered, and no known word holds this one\n");
                }
            }
            return chosen;
        }
        std::fprintf(out_,
                     chinese ? "请输入 1 到 %zu 的编号，或直接回车取 %d"
                             : "type a number from 1 to %zu, or Enter for %d",
                     readings.size(), suggested + 1);
    }
}

}  // namespace cli
