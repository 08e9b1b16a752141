#include "decoder_support.h"

#include "dib_layout.h"
#include "whole_file.h"

#include <new>

#include <sys/stat.h>

namespace tallowin::codec::detail {

namespace {

// The largest file read whole: a 32-bit BMP of the largest picture within the
// limits, with room for its headers and palette.
constexpr uint64_t kMaxWholeFileBytes = static_cast<uint64_t>(imaging::kMaxImagePixels) * 4 + 65536;

DecodeStatus FromReadResult(plumbing::ReadFileResult result) {
    switch (result) {
        case plumbing::ReadFileResult::Ok: return DecodeStatus::Ok;
        case plumbing::ReadFileResult::TooLarge: return DecodeStatus::OverLimit;
        case plumbing::ReadFileResult::OutOfMemory: return DecodeStatus::OutOfMemory;
        case plumbing::ReadFileResult::OpenFailed:
        case plumbing::ReadFileResult::ReadFailed: return DecodeStatus::FileError;
    }
    return DecodeStatus::FileError;
}

}  // namespace

DecodeStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    return FromReadResult(plumbing::ReadWholeFile(path, kMaxWholeFileBytes, bytes));
}

DecodeStatus ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    return FromReadResult(plumbing::ReadFilePrefix(path, limit, bytes));
}

DecodeStatus FileSize(const std::string& path, uint64_t& size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return DecodeStatus::FileError;
    size = static_cast<uint64_t>(st.st_size);
    return DecodeStatus::Ok;
}

DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height, const DecodeLimits& limits) {
    if (!limits.Admits(width, height)) return DecodeStatus::OverLimit;
    try {
        out.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    } catch (const std::bad_alloc&) {
        out = Raster{};
        return DecodeStatus::OutOfMemory;
    }
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    return DecodeStatus::Ok;
}

DecodeStatus AllocateRaster(Raster& out, int64_t width, int64_t height) {
    return AllocateRaster(out, width, height, DecodeLimits{});
}

bool AnyTransparent(const Raster& raster) {
    const uint8_t* p = raster.pixels.data();
    const uint8_t* const end = p + raster.pixels.size();
    for (p += 3; p < end; p += 4)
        if (*p != 255) return true;
    return false;
}

float DpiFromPixelsPerMetre(double pixelsPerMetre) {
    if (!(pixelsPerMetre > 0)) return kDefaultDpi;
    return static_cast<float>(pixelsPerMetre * kMetresPerInch);
}

}  // namespace tallowin::codec::detail
