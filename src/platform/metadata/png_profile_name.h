#pragma once
// The name of a PNG file's colour profile chunk.

#include <string>

namespace tallowin::metadata {

// exiv2 0.27 writes the iCCP chunk of a PNG file with an empty profile name, which PNG
// forbids (a name has 1 to 79 bytes): libpng refuses such a chunk ("bad keyword") and
// readers built on it show the photo without its profile. This gives an unnamed
// profile the name "ICC profile". False, with the file unchanged, when it cannot be
// read or written or is no sound PNG; true when nothing needed a name.
bool NameUnnamedPngProfile(const std::string& path);

}  // namespace tallowin::metadata
