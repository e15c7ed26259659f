// The one error type of the record codec.
#pragma once

#include <stdexcept>
#include <string>

#include "problem/problem.h"

namespace marc {

/// Raised by the reader and the writer when a record cannot be read or written. `problem` says
/// what and where, for the front ends to word; what() is the same in plain English for logs
/// and tests ("directory entry 3: length is not a number").
class MarcError : public std::runtime_error {
public:
    MarcError(problem::Problem p, const std::string& text)
        : std::runtime_error(text), problem(std::move(p)) {}
    problem::Problem problem;
};

/// A problem of `kind` at directory entry `entry` under `tag`.
inline problem::Problem at(problem::Kind kind, std::string tag = {}, long long entry = 0,
                           long long value = 0) {
    problem::Problem p;
    p.kind = kind;
    p.tag = std::move(tag);
    p.entry = entry;
    p.value = value;
    return p;
}

}  // namespace marc
