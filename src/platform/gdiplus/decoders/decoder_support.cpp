#include "decoder_support.h"

#include <cstdio>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace tallowin::codec::detail {

namespace {
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
}  // namespace

DecodeStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return DecodeStatus::FileError;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return DecodeStatus::FileError;
    const long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return DecodeStatus::FileError;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return DecodeStatus::OutOfMemory;
    }
    if (length > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return DecodeStatus::FileError;
    return DecodeStatus::Ok;
}

DecodeStatus ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return DecodeStatus::FileError;
    bytes.resize(limit);
    const size_t got = std::fread(bytes.data(), 1, limit, file.get());
    if (std::ferror(file.get()) != 0) return DecodeStatus::FileError;
    bytes.resize(got);
    return DecodeStatus::Ok;
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
