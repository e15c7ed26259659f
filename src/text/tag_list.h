// The tag list of a run ("200,225,701"): whether a field's tag is listed. One test for the
// annotation, the reader (which decodes only listed fields) and the check of a record's code page.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "text/ascii.h"

namespace text {

/// A tag is listed when the list holds it as text: the list is never split at commas, so "20"
/// is listed by "200" and "00,2" by "200,225". Tags of three ASCII digits, nearly every field,
/// are answered from a table of the list's three-digit windows (such a tag occurs in the list
/// exactly when it equals one of them); any other tag is searched for as it stands, and a blank
/// or empty one is never listed.
class TagList {
public:
    TagList() = default;
    explicit TagList(std::string_view list) : list_(list) {
        for (std::size_t i = 0; i + 3 <= list_.size(); ++i)
            if (isDigit(list_[i]) && isDigit(list_[i + 1]) && isDigit(list_[i + 2]))
                digits_.set(number(list_.data() + i));
    }

    bool holds(std::string_view tag) const {
        if (tag.size() == 3 && isDigit(tag[0]) && isDigit(tag[1]) && isDigit(tag[2]))
            return digits_[number(tag.data())];
        return !trimSpaces(tag).empty() && list_.find(tag) != std::string::npos;
    }
    const std::string& text() const { return list_; }

private:
    static std::size_t number(const char* p) {
        return static_cast<std::size_t>((p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0'));
    }

    std::string list_;
    std::bitset<1000> digits_;
};

}  // namespace text
