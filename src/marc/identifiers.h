// Record identifiers (field 001) generated for records that have none.
#pragma once

#include <cstdint>
#include <string>

#include "marc/writer.h"

namespace marc {

/// Hands out identifiers of the form "01mmddhhmmss" (month, day, hour, minute, second), each for
/// a moment no earlier than the clock says and one second later than the one before, so that no
/// two are alike however fast records come. With a state file, the last moment handed out is kept
/// there (under an advisory lock, reserved a block at a time), so that a run that starts while
/// or shortly after another one ran never repeats that run's identifiers. Without one (an empty
/// path, or a file that cannot be used), identifiers are distinct within this sequence only.
class IdentifierSequence {
public:
    explicit IdentifierSequence(Clock clock = systemClock, std::string statePath = {});

    /// The next identifier.
    std::string next();

    /// The state file every run of this user shares: $XDG_STATE_HOME/marc-pinyin/last-identifier,
    /// or ~/.local/state/marc-pinyin/last-identifier; empty when neither can be found.
    static std::string defaultStatePath();

private:
    std::int64_t reserveFrom(std::int64_t moment);

    Clock clock_;
    std::string statePath_;
    std::int64_t last_ = INT64_MIN;      // the moment of the last identifier (seconds)
    std::int64_t reserved_ = INT64_MIN;  // the last moment reserved in the state file
    std::int64_t block_ = 1;             // moments reserved at the next reservation
};

}  // namespace marc
