// Feeds arbitrary bytes to the BMP reader, and what it accepts on through the
// writer, the quantizer and the bit-depth reduction.

#include "dib_image.h"
#include "quantizer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Images up to this many pixels also go through the writer; up to the second limit
// also through the colour reduction (kept small: an indexed source is reduced
// through the per-pixel accessors).
constexpr int64_t kWrittenPixelLimit = 1 << 16;
constexpr int64_t kReducedPixelLimit = 1 << 12;

// Inputs that declare more pixels than this are skipped: the reader would accept
// them (up to its own caps), but allocating and poisoning gigabytes for each one
// slows the search down to a crawl. The caps themselves are covered by unit tests.
constexpr int64_t kDeclaredPixelLimit = 1 << 22;

int64_t DeclaredPixels(const uint8_t* data, size_t size)
{
    auto u16 = [&](size_t at) -> int64_t { return at + 2 <= size ? data[at] | (data[at + 1] << 8) : 0; };
    auto i32 = [&](size_t at) -> int64_t {
        return at + 4 <= size ? static_cast<int32_t>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
                                                     (static_cast<uint32_t>(data[at + 3]) << 24))
                              : 0;
    };
    const size_t info = (size >= 2 && data[0] == 'B' && data[1] == 'M') ? 14 : 0;
    if (i32(info) == 12) return u16(info + 4) * u16(info + 6);
    const int64_t width = i32(info + 4), height = i32(info + 8);
    return (width < 0 ? -width : width) * (height < 0 ? -height : height);
}

FILE* OpenBytes(const uint8_t* data, size_t size)
{
    FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    if (size != 0 && std::fwrite(data, 1, size, file) != size) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (DeclaredPixels(data, size) > kDeclaredPixelLimit) return 0;
    FILE* file = OpenBytes(data, size);
    if (file == nullptr) return 0;
    CDibImage image(kDibFormatBmp);
    const bool read = image.ReadStream(file, kDibFormatBmp);
    std::fclose(file);
    const int64_t pixels = static_cast<int64_t>(image.Width()) * image.Height();
    if (!read || pixels > kWrittenPixelLimit) return 0;

    FILE* out = std::tmpfile();
    if (out != nullptr) {
        image.WriteStream(out, kDibFormatBmp);
        std::fclose(out);
    }
    if (pixels > kReducedPixelLimit) return 0;

    CQuantizer quantizer(16, 8);
    quantizer.Scan(image.PixelBlock());
    std::vector<RGBQUAD> table(16);
    quantizer.WritePalette(table.data());
    image.ReduceBitDepth(4, true, table.data(), 0);
    image.ReduceBitDepth(1, true, nullptr, 0);
    return 0;
}
