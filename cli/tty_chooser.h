// The polyphonic chooser of the command line: asks on the controlling terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "messages/messages.h"
#include "pinyin/chooser.h"
#include "pinyin/words.h"

namespace cli {

/// Shows the text with the character marked and its readings numbered, the suggested one as the
/// default, and reads the answer from /dev/tty (standard input and output may carry records).
/// A number followed by "m" (or "m" alone for the suggestion) also remembers the reading, with
/// the word around the character, when a word list to write to was given.
class TtyChooser : public pinyin::Chooser {
public:
    /// Opens the terminal; nullptr and `osError` set when there is none to ask on.
    static std::unique_ptr<TtyChooser> open(int& osError, messages::Language lang);
    /// Asks on `out` and reads answers from `in`; closes them when `owned`.
    TtyChooser(std::FILE* in, std::FILE* out, bool owned = false,
               messages::Language lang = messages::Language::English)
        : in_(in), out_(out), owned_(owned), lang_(lang) {}
    ~TtyChooser() override;
    TtyChooser(const TtyChooser&) = delete;
    TtyChooser& operator=(const TtyChooser&) = delete;

    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;

    /// Runs before each question (the progress line clears itself here).
    void setBeforeAsking(std::function<void()> fn) { before_ = std::move(fn); }
    /// Takes what an answer with "m" remembers; without one, "m" is not offered.
    void setRemember(std::function<void(const pinyin::WordEntry&)> fn) { remember_ = std::move(fn); }

private:
    std::FILE* in_;
    std::FILE* out_;
    bool owned_;
    messages::Language lang_;
    std::function<void()> before_;
    std::function<void(const pinyin::WordEntry&)> remember_;
};

/// The text with the character at `position` (1-based, UTF-16 code units) in brackets.
std::string markCharacter(const std::string& text, int position);

}  // namespace cli
