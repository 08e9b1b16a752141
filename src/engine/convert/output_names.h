#pragma once
// Names of the files a conversion run writes: the run folder after the moment the
// run starts, and one output path per photo (its own title, or the rename prefix
// with a zero-padded serial number and the photo's file date).

#include "photo_record.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace tallowin {

// Extension of an output format code ("bmp" ... "jxl"); empty for an unknown code.
std::string OutputExtension(int32_t format);

// Run folder: `outputFolder` joined as it stands with the local time as
// "%Y.%m.%d.%H.%M.%S", ending in '/'.
std::string RunFolderName(const std::string& outputFolder, std::time_t when);

// Number of decimal digits of `count` (at least 1): the width of the serial number.
int SerialWidth(size_t count);

// How the run names its files.
struct NamingRule {
    std::string runFolder;     // ends in '/'
    bool notRename = true;
    std::string prefix;        // used when !notRename; may be empty
};

// Why files named with the rename prefix `prefix` would not land in the run folder
// itself, or empty when they would. A prefix is one part of a file name: a '/' would
// lead into other folders (with "../" out of the run folder), and "." or ".." name
// folders, so they are refused before anything is written.
std::string RenamePrefixProblem(const std::string& prefix);

// Output path of photo `index` (0-based) of `count` with extension `extension`.
std::string OutputPathFor(const NamingRule& rule, const PhotoRecord& photo, size_t index, size_t count,
                          const std::string& extension);

}  // namespace tallowin
