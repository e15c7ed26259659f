// The one error type of the record codec.
#pragma once

#include <string>

#include "problem/error.h"
#include "problem/problem.h"

namespace marc {

/// Raised by the reader and the writer when a record cannot be read or written. `problem` says
/// what and where (kind, tag, directory entry, byte), for the front ends to word.
class MarcError : public problem::Error {
public:
    using problem::Error::Error;
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
