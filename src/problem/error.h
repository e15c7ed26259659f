// What the core throws when a problem stops what it was doing: the problem as data, for each
// front end to word in its user's language (messages/texts.tsv). Every exception of the core
// derives from it, so that a front end catches them all in one place.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "problem/problem.h"

namespace problem {

/// what() is a short fixed form of the problem, for logs and debuggers only: the kind's number
/// in problem::Kind and the places it names, never words for the user.
class Error : public std::runtime_error {
public:
    explicit Error(Problem p) : std::runtime_error(shortForm(p)), problem(std::move(p)) {}

    Problem problem;

private:
    static std::string shortForm(const Problem& p) {
        std::string s = "problem " + std::to_string(static_cast<int>(p.kind));
        if (!p.path.empty()) s += " path " + p.path;
        if (!p.tag.empty()) s += " tag " + p.tag;
        if (p.entry) s += " entry " + std::to_string(p.entry);
        if (p.value) s += " value " + std::to_string(p.value);
        if (p.osError) s += " errno " + std::to_string(p.osError);
        if (!p.detail.empty()) s += ": " + p.detail;
        return s;
    }
};

}  // namespace problem
