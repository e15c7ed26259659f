// The one error type of the record codec.
#pragma once

#include <stdexcept>
#include <string>

namespace marc {

/// Raised by the reader and the writer when a record cannot be read or written. The message is
/// for a cataloguer ("no field terminator", "directory entry 3: length is not a number"); the
/// batch run adds the record's number and input line.
class MarcError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace marc
