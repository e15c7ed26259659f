// What a call refuses with: the kind of its exception's problem and the places it names, for
// tests to compare. The words for the user come from messages/texts.tsv, tested there.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "problem/error.h"

namespace testerrors {

/// A problem's kind and the places it names: its tag, directory entry and byte or size.
struct Refusal {
    Refusal(problem::Kind kind, std::string tag = {}, long long entry = 0, long long value = 0)
        : kind(kind), tag(std::move(tag)), entry(entry), value(value) {}
    problem::Kind kind;
    std::string tag;
    long long entry;
    long long value;
    friend bool operator==(const Refusal&, const Refusal&) = default;
};

inline void PrintTo(const Refusal& r, std::ostream* os) {
    *os << "kind " << static_cast<int>(r.kind) << ", tag \"" << r.tag << "\", entry " << r.entry << ", value "
        << r.value;
}

/// The refusal of the E that `call` throws; nullopt when it returns.
template <class E = problem::Error, class Call>
std::optional<Refusal> refusalOf(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return Refusal{e.problem.kind, e.problem.tag, e.problem.entry, e.problem.value};
    }
    return std::nullopt;
}

/// The whole problem of the E that `call` throws; when it returns, a failure of the test and a
/// problem of kind Unexpected.
template <class E = problem::Error, class Call>
problem::Problem problemOf(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.problem;
    }
    ADD_FAILURE() << "nothing was refused";
    return {};
}

}  // namespace testerrors
