#pragma once
// The batch conversion without a window: adds the photos as the window adds them,
// creates the run folder as the window does and converts the photos on several
// threads, each with its own temporary folder. With --keep-tree the photos found in a
// searched folder go into their folders below the run folder, made before the first
// photo is converted.

#include "batch_options.h"

namespace tallowin::cli {

// Process exit statuses.
enum ExitStatus : int {
    kExitAllConverted = 0,   // every photo was added and converted
    kExitSomeFailed = 1,     // a photo was not added or not converted
    kExitBadUsage = 2,       // the command line was wrong
    kExitSomeInPart = 3,     // every photo was written, some from a source that decoded only in part
};

// Runs the batch and returns the exit status. Failures go to standard error, the
// run folder is the last line of standard output (with --json, the last JSON line
// names it, after one line per photo).
ExitStatus RunBatch(const BatchOptions& options);

}  // namespace tallowin::cli
