#pragma once
// The decoders that take a path get the fuzz input through one file per process,
// rewritten for every input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace tallowin::fuzz {

// Writes the bytes to this process's input file and returns its path ("" on failure).
inline std::string WriteInputFile(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tallowin-fuzz-input-" +
               std::to_string(::getpid());
    }();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return {};
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return {};
    return path;
}

// Decoding is tried only for pictures up to this many pixels: the limits themselves
// are covered by unit tests, and allocating gigabytes per input stalls the search.
constexpr int64_t kDecodedPixelLimit = 1 << 16;

}  // namespace tallowin::fuzz
