// What the command line runs: the records run (also with --answers), --review-out, --check,
// --dump and --lines.
#pragma once

#include "options.h"

namespace cli {

/// Runs what `options` ask for and returns the exit status: kAllWritten, kSomeFailed,
/// kCannotStart, or 128 + the signal that stopped a records run or a review at a record boundary
/// (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP). Messages go to standard error.
int runCommand(const Options& options);

}  // namespace cli
