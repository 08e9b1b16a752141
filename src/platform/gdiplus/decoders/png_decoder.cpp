// PNG through libpng: every colour type and depth is expanded to 8-bit BGRA.
#include "decoder.h"
#include "decoder_support.h"
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

// libpng reports errors by longjmp back into this frame. Every object with a
// destructor is constructed before setjmp and lives in this frame, so the jump skips
// no destructor.
DecodeStatus ReadPng(PngContext& ctx, const DecodeLimits& limits, bool headerOnly, ImageInfo& info, Raster& out) {
    PngReader reader(ctx);
    if (!reader.Ready()) return DecodeStatus::OutOfMemory;
    std::vector<png_bytep> rowPointers;
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

DecodeStatus ReadPngFile(const std::string& path, const DecodeLimits& limits, bool headerOnly, ImageInfo& info,
                         Raster& out) {
    PngContext ctx;
    const DecodeStatus sized = detail::FileSize(path, ctx.source.fileSize);
    if (sized != DecodeStatus::Ok) return sized;
    ctx.source.file = std::fopen(path.c_str(), "rb");
    if (ctx.source.file == nullptr) return DecodeStatus::FileError;
    const DecodeStatus status = ReadPng(ctx, limits, headerOnly, info, out);
    std::fclose(ctx.source.file);
    return status;
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
        return ReadPngFile(path, limits, true, info, unused);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest&, const DecodeLimits& limits, Raster& out,
                        std::string&) const override {
        ImageInfo info;
        return ReadPngFile(path, limits, false, info, out);
    }
};

}  // namespace

const Decoder& PngDecoder() {
    static const PngAdapter adapter;
    return adapter;
}

namespace detail {

DecodeStatus PngReadHeaderFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, ImageInfo& info) {
    PngContext ctx;
    ctx.source.data = data;
    ctx.source.size = size;
    Raster unused;
    return ReadPng(ctx, limits, true, info, unused);
}

DecodeStatus PngDecodeFromMemory(const uint8_t* data, size_t size, const DecodeLimits& limits, Raster& out,
                                 std::string&) {
    PngContext ctx;
    ctx.source.data = data;
    ctx.source.size = size;
    ImageInfo info;
    return ReadPng(ctx, limits, false, info, out);
}

}  // namespace detail

}  // namespace tallowin::codec
