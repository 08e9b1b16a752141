// PNG through libpng: every colour type and depth is expanded to 8-bit BGRA. PNG has
// no reduced decode of its own; when the caller needs at most half the size, rows are
// read one at a time and averaged in blocks of 2, 4 or 8 pixels a side as they arrive
// (as JPEG's DCT scaling does), so the full-size raster is never held. Plain 8-bit RGB
// and RGBA files take the faster reader of png_direct.h first.
#include "decoder.h"
#include "decoder_support.h"
#include "png_direct.h"
#include "png_memory.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace tallowin::codec {

namespace {

// Ancillary chunks larger than this are refused by libpng instead of being allocated.
constexpr png_alloc_size_t kMaxChunkBytes = 16u * 1024 * 1024;

// Where libpng reads from: an open file or a buffer.
struct PngSource {
    FILE* file = nullptr;
    uint64_t fileSize = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

// Per-read state reached from libpng's callbacks; nothing is global, so reads on
// several threads never meet.
struct PngContext {
    PngSource source;
    std::string error;
    bool overLimit = false;  // libpng refused a size as beyond our limits
};

bool MentionsUserLimit(png_const_charp message) { return std::strstr(message, "user limit") != nullptr; }

void ReadCallback(png_structp png, png_bytep out, size_t length) {
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    PngSource& src = ctx->source;
    if (src.file != nullptr) {
        if (std::fread(out, 1, length, src.file) != length) png_error(png, "unexpected end of file");
        return;
    }
    if (!detail::InBounds(src.size, src.pos, length)) png_error(png, "unexpected end of data");
    std::memcpy(out, src.data + src.pos, length);
    src.pos += length;
}

constexpr const char* kOutOfMemoryMessage = "Out of memory";

[[noreturn]] void ErrorCallback(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    if (ctx != nullptr) {
        ctx->error = message;
        if (MentionsUserLimit(message)) ctx->overLimit = true;
    }
    png_longjmp(png, 1);
}

// Warnings are not printed. libpng reports a size beyond the user limits as a warning
// followed by a general "invalid IHDR" error, so the warning is what tells the two apart.
void WarningCallback(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    if (ctx != nullptr && MentionsUserLimit(message)) ctx->overLimit = true;
}

class PngReader {
public:
    explicit PngReader(PngContext& ctx) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, ErrorCallback, WarningCallback);
        if (png_ != nullptr) info_ = png_create_info_struct(png_);
    }
    ~PngReader() {
        if (png_ != nullptr) png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool Ready() const { return png_ != nullptr && info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

void SetLimits(png_structp png, const DecodeLimits& limits) {
    const auto side = static_cast<png_uint_32>(std::min<int64_t>(limits.maxSide, PNG_UINT_31_MAX));
    png_set_user_limits(png, side, side);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
}

void FillInfo(png_structp png, png_infop info, ImageInfo& out) {
    out.width = static_cast<int32_t>(png_get_image_width(png, info));
    out.height = static_cast<int32_t>(png_get_image_height(png, info));
    const int colorType = png_get_color_type(png, info);
    out.hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_uint_32 resX = 0;
    png_uint_32 resY = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) != 0 && unit == PNG_RESOLUTION_METER) {
        out.dpiX = detail::DpiFromPixelsPerMetre(resX);
        out.dpiY = detail::DpiFromPixelsPerMetre(resY);
    }
}

// True when the compressed rows could hold the frame: the filtered rows libpng inflates
// are at least height * (1 + row bytes) bytes (all pixel bits when interlaced, where
// passes have rows of their own), and the whole input bounds the compressed data.
bool DataCanFill(png_structp png, png_infop info, uint64_t inputBytes) {
    const uint64_t width = png_get_image_width(png, info);
    const uint64_t height = png_get_image_height(png, info);
    const uint64_t bitsPerPixel = static_cast<uint64_t>(png_get_bit_depth(png, info)) * png_get_channels(png, info);
    uint64_t needed = 0;
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE)
        needed = height * (1 + (width * bitsPerPixel + 7) / 8);
    else
        needed = width * height / 8 * bitsPerPixel;
    return detail::DataCanFill(inputBytes, detail::kDeflateMaxExpansion, needed);
}

// The largest block side of 8, 4 and 2 whose reduced picture (sides rounded up) still
// covers the request; 1 when none does or the whole picture is wanted.
int ReductionFor(const DecodeRequest& request, int32_t width, int32_t height)
{
    if (request.minWidth <= 0 || request.minHeight <= 0) return 1;
    for (const int side : {8, 4, 2}) {
        if ((width + side - 1) / side >= request.minWidth && (height + side - 1) / side >= request.minHeight) {
            return side;
        }
    }
    return 1;
}

// Adds one BGRA row to the running sums of its blocks (4 per block: with alpha the
// colours weighted by it, so transparent pixels lend no colour, and the alpha itself).
template <bool Alpha> void AddRow(const uint8_t* row, int32_t width, int side, uint32_t* sums)
{
    for (int32_t left = 0; left < width; left += side, sums += 4) {
        const int32_t right = std::min(width, left + side);
        uint32_t b = 0, g = 0, r = 0, a = 0;
        for (int32_t x = left; x < right; ++x, row += 4) {
            if constexpr (Alpha) {
                const uint32_t alpha = row[3];
                b += row[0] * alpha;
                g += row[1] * alpha;
                r += row[2] * alpha;
                a += alpha;
            } else {
                b += row[0];
                g += row[1];
                r += row[2];
            }
        }
        sums[0] += b;
        sums[1] += g;
        sums[2] += r;
        sums[3] += a;
    }
}

// Writes the averages of one row of blocks (`rows` source rows tall) and clears the sums.
template <bool Alpha> void EmitBlocks(uint32_t* sums, int32_t width, int side, int32_t rows, uint8_t* out)
{
    for (int32_t left = 0; left < width; left += side, sums += 4, out += 4) {
        const uint32_t count = static_cast<uint32_t>(std::min(width - left, side) * rows);
        if constexpr (Alpha) {
            const uint32_t weight = sums[3];
            for (int c = 0; c < 3; ++c) {
                out[c] = weight == 0 ? 0 : static_cast<uint8_t>((sums[c] + weight / 2) / weight);
            }
            out[3] = static_cast<uint8_t>((weight + count / 2) / count);
        } else {
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sums[c] + count / 2) / count);
            out[3] = 255;
        }
        sums[0] = sums[1] = sums[2] = sums[3] = 0;
    }
}

// Reads the rows one by one (`readRow` gives the next BGRA row, null when it cannot)
// into `side` x `side` block averages.
template <bool Alpha, class ReadRow>
bool ReadReduced(ReadRow&& readRow, int32_t width, int32_t height, int side, uint32_t* sums, Raster& out)
{
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = readRow();
        if (row == nullptr) return false;
        AddRow<Alpha>(row, width, side, sums);
        if ((y + 1) % side == 0 || y + 1 == height) {
            EmitBlocks<Alpha>(sums, width, side, y % side + 1, out.Row(y / side));
        }
    }
    return true;
}

template <class ReadRow>
bool ReadReduced(ReadRow&& readRow, bool alpha, int32_t width, int32_t height, int side, uint32_t* sums, Raster& out)
{
    return alpha ? ReadReduced<true>(readRow, width, height, side, sums, out)
                 : ReadReduced<false>(readRow, width, height, side, sums, out);
}

// libpng reports errors by longjmp back into this frame. Every object with a
// destructor is constructed before setjmp and lives in this frame, so the jump skips
// no destructor.
DecodeStatus ReadPng(PngContext& ctx, const DecodeRequest& request, const DecodeLimits& limits, bool headerOnly,
                     ImageInfo& info, Raster& out)
{
    PngReader reader(ctx);
    if (!reader.Ready()) return DecodeStatus::OutOfMemory;
    std::vector<png_bytep> rowPointers;
    std::vector<uint8_t> row;
    std::vector<uint32_t> sums;
    png_structp png = reader.Png();
    png_infop pinfo = reader.Info();
    png_set_read_fn(png, &ctx, ReadCallback);
    if (setjmp(png_jmpbuf(png))) {
        if (ctx.overLimit) return DecodeStatus::OverLimit;
        if (ctx.error == kOutOfMemoryMessage) return DecodeStatus::OutOfMemory;
        return DecodeStatus::NotAnImage;
    }
    SetLimits(png, limits);
    png_read_info(png, pinfo);
    FillInfo(png, pinfo, info);
    if (!limits.Admits(info.width, info.height)) return DecodeStatus::OverLimit;
    const uint64_t inputBytes = ctx.source.file != nullptr ? ctx.source.fileSize : ctx.source.size;
    if (!DataCanFill(png, pinfo, inputBytes)) return DecodeStatus::NotAnImage;
    if (headerOnly) return DecodeStatus::Ok;

    png_set_expand(png);    // palette, low-depth grey and tRNS become 8-bit channels
    png_set_scale_16(png);  // 16-bit samples rounded to 8
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, pinfo);
    if (png_get_rowbytes(png, pinfo) != static_cast<size_t>(info.width) * 4) return DecodeStatus::NotAnImage;

    // Interlaced rows arrive in passes over the whole picture: those decode whole.
    const int side =
        png_get_interlace_type(png, pinfo) == PNG_INTERLACE_NONE ? ReductionFor(request, info.width, info.height) : 1;
    if (side > 1) {
        const int32_t blocksWide = (info.width + side - 1) / side;
        const DecodeStatus allocated = detail::AllocateRaster(out, blocksWide, (info.height + side - 1) / side, limits);
        if (allocated != DecodeStatus::Ok) return allocated;
        try {
            row.resize(static_cast<size_t>(info.width) * 4);
            sums.assign(static_cast<size_t>(blocksWide) * 4, 0);
        } catch (const std::bad_alloc&) {
            return DecodeStatus::OutOfMemory;
        }
        uint8_t* const into = row.data();
        const auto readRow = [png, into]() -> const uint8_t* {
            png_read_row(png, into, nullptr);
            return into;
        };
        ReadReduced(readRow, info.hasAlpha, info.width, info.height, side, sums.data(), out);
        png_read_end(png, nullptr);
        return DecodeStatus::Ok;
    }
    const DecodeStatus allocated = detail::AllocateRaster(out, info.width, info.height, limits);
    if (allocated != DecodeStatus::Ok) return allocated;
    try {
        rowPointers.resize(static_cast<size_t>(info.height));
    } catch (const std::bad_alloc&) {
        return DecodeStatus::OutOfMemory;
    }
    for (int32_t y = 0; y < info.height; ++y) rowPointers[static_cast<size_t>(y)] = out.Row(y);
    png_read_image(png, rowPointers.data());
    png_read_end(png, nullptr);
    return DecodeStatus::Ok;
}

// The whole decode through PngDirect; false when the file is not one it reads (or memory
// ran short), leaving `out` empty for libpng.
bool ReadDirect(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits, Raster& out)
{
    detail::PngDirect direct;
    if (!direct.Open(path, limits)) return false;
    const int32_t width = direct.Width();
    const int32_t height = direct.Height();
    bool ok = false;
    const int side = ReductionFor(request, width, height);
    if (side > 1) {
        const int32_t blocksWide = (width + side - 1) / side;
        std::vector<uint32_t> sums;
        try {
            sums.assign(static_cast<size_t>(blocksWide) * 4, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        ok = detail::AllocateRaster(out, blocksWide, (height + side - 1) / side, limits) == DecodeStatus::Ok &&
            ReadReduced([&direct] { return direct.NextRow(); }, direct.HasAlpha(), width, height, side, sums.data(), out);
    } else {
        ok = detail::AllocateRaster(out, width, height, limits) == DecodeStatus::Ok && direct.ReadAll(out);
    }
    if (!ok) out = Raster{};
    return ok;
}

DecodeStatus ReadPngFileThroughLibpng(const std::string& path, const DecodeRequest& request,
                                      const DecodeLimits& limits, bool headerOnly, ImageInfo& info, Raster& out)
{
    PngContext ctx;
    const DecodeStatus sized = detail::FileSize(path, ctx.source.fileSize);
    if (sized != DecodeStatus::Ok) return sized;
    ctx.source.file = std::fopen(path.c_str(), "rb");
    if (ctx.source.file == nullptr) return DecodeStatus::FileError;
    const DecodeStatus status = ReadPng(ctx, request, limits, headerOnly, info, out);
    std::fclose(ctx.source.file);
    return status;
}

DecodeStatus ReadPngFile(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                         bool headerOnly, ImageInfo& info, Raster& out)
{
    if (!headerOnly && ReadDirect(path, request, limits, out)) return DecodeStatus::Ok;
    return ReadPngFileThroughLibpng(path, request, limits, headerOnly, info, out);
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

class PngAdapter final : public Decoder {
public:
    const char* Name() const override { return "png"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        return size >= sizeof kPngSignature && std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0
                   ? SniffMatch::Signature
                   : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        Raster unused;
        return ReadPngFile(path, DecodeRequest{}, limits, true, info, unused);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits, Raster& out,
                        std::string&) const override
    {
        ImageInfo info;
        return ReadPngFile(path, request, limits, false, info, out);
    }
};

}  // namespace

const Decoder& PngDecoder() {
    static const PngAdapter adapter;
    return adapter;
}

namespace detail {

DecodeStatus PngDecodeThroughLibpng(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                                    Raster& out)
{
    ImageInfo info;
    return ReadPngFileThroughLibpng(path, request, limits, false, info, out);
}

DecodeStatus PngReadHeaderFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, ImageInfo& info) {
    PngContext ctx;
    ctx.source.data = data;
    ctx.source.size = size;
    Raster unused;
    return ReadPng(ctx, DecodeRequest{}, limits, true, info, unused);
}

DecodeStatus PngDecodeFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, Raster& out,
                                 std::string&) {
    PngContext ctx;
    ctx.source.data = data;
    ctx.source.size = size;
    ImageInfo info;
    return ReadPng(ctx, DecodeRequest{}, limits, false, info, out);
}

}  // namespace detail

}  // namespace tallowin::codec
