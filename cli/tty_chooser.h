// The polyphonic chooser of the command line: asks on the controlling terminal.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "pinyin/chooser.h"

namespace cli {

/// Shows the text with the character marked and its readings numbered, the suggested one as the
/// default, and reads the answer from /dev/tty (standard input and output may carry records).
class TtyChooser : public pinyin::Chooser {
public:
    /// Opens the terminal; nullptr and `osError` set when there is none to ask on.
    static std::unique_ptr<TtyChooser> open(int& osError);
    /// Asks on `out` and reads answers from `in`; closes them when `owned`.
    TtyChooser(std::FILE* in, std::FILE* out, bool owned = false) : in_(in), out_(out), owned_(owned) {}
    ~TtyChooser() override;

    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override;

    /// Runs before each question (the progress line clears itself here).
    void setBeforeAsking(void (*fn)(void*), void* context) {
        before_ = fn;
        context_ = context;
    }

private:
    std::FILE* in_;
    std::FILE* out_;
    bool owned_;
    void (*before_)(void*) = nullptr;
    void* context_ = nullptr;
};

/// The text with the character at `position` (1-based, UTF-16 code units) in brackets.
std::string markCharacter(const std::string& text, int position);

}  // namespace cli
