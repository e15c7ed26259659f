// The user's chooser, shown the text as the record has it.
#pragma once

#include "marc/databar.h"
#include "pinyin/chooser.h"

namespace app {

/// Passes each question on with a "|" of field data shown as "|", not as the working record's
/// stand-in for it. Positions stay true: both are one UTF-16 unit.
class ShownChooser : public pinyin::Chooser {
public:
    explicit ShownChooser(pinyin::Chooser* user) : user_(user) {}

    std::optional<std::string> choose(const pinyin::ChooserRequest& request) override {
        if (request.text.find(marc::kDataBar) == std::string::npos) return user_->choose(request);
        pinyin::ChooserRequest shown = request;
        shown.text = marc::withBars(request.text);
        shown.word = marc::withBars(request.word);
        return user_->choose(shown);
    }

private:
    pinyin::Chooser* user_;
};

}  // namespace app
