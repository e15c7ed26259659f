// The command line's three modes: the batch run, --dump and --lines.
#pragma once

#include "options.h"

namespace cli {

/// Runs what `options` ask for and returns the exit status (kAllWritten, kSomeFailed,
/// kCannotStart). Messages go to standard error.
int runCommand(const Options& options);

}  // namespace cli
