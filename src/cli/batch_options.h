#pragma once
// The command line of tallowin-batch, parsed into the settings every photo gets.

#include "console_port.h"
#include "output_settings.h"
#include "photo_metadata.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallowin::cli {

struct StampOptions {
    std::string text;                    // empty: no stamp
    int32_t x = 0;
    int32_t y = 0;
    std::optional<std::string> family;   // the stored font's face when not given
    std::optional<int32_t> pixels;       // em height in pixels
    std::optional<uint32_t> colour;      // 0x00BBGGRR; the stored colour when not given
};

struct BatchOptions {
    std::vector<std::string> paths;
    bool recursive = false;
    std::optional<std::string> outputFolder;  // the stored output folder when not given
    OutputSettings settings = FirstStartOutputSettings();  // changed by the options
    StampOptions stamp;
    std::optional<std::string> renamePrefix;  // names are kept when not given
    OverwritePolicy overwrite = OverwritePolicy::Never;
    unsigned jobs = 1;
    bool quiet = false;
    metadata::MetadataOptions information;   // photo information kept, location included
    // Scripts and large batches.
    bool keepTree = false;   // with `recursive`: outputs keep their folders below the searched folder
    bool json = false;       // one JSON line per photo on standard output, then one for the run folder
};

// How parsing ended.
enum class ParseOutcome {
    Run,         // options are complete: convert
    Done,        // --help or --version was answered: exit 0
    BadUsage,    // a message was printed: exit 2
};

// Parses argv and reads the --files-from list into `paths` (after the path arguments);
// prints help, version, usage errors and an unreadable list itself. `interactive` (standard
// input and error are terminals) chooses the default overwrite policy.
ParseOutcome ParseBatchOptions(int argc, char** argv, bool interactive, BatchOptions& options);

}  // namespace tallowin::cli
