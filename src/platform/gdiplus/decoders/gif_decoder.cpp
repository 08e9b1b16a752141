// GIF through giflib: the first frame drawn on the logical screen, interlaced rows put
// in place, the transparent index as alpha 0. The rest of the screen is transparent.
#include "decoder.h"
#include "decoder_support.h"

#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace tallowin::codec {

namespace {

constexpr int kNoTransparency = -1;
constexpr int kInterlacePasses = 4;
constexpr int kInterlaceStart[kInterlacePasses] = {0, 4, 2, 1};
constexpr int kInterlaceStep[kInterlacePasses] = {8, 8, 4, 2};

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// Where giflib reads from: the open file (header reads stop early) or a buffer.
struct GifInput {
    FILE* file = nullptr;
    uint64_t fileSize = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

int ReadInput(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    if (length <= 0) return 0;
    if (in->file != nullptr) return static_cast<int>(std::fread(out, 1, static_cast<size_t>(length), in->file));
    size_t n = static_cast<size_t>(length);
    if (n > in->size - in->pos) n = in->size - in->pos;
    std::memcpy(out, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

// True when the file's LZW data could fill that many one-byte pixels.
bool DataCanFill(const GifInput& input, int64_t width, int64_t height) {
    const uint64_t bytes = input.file != nullptr ? input.fileSize : input.size;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    return detail::DataCanFill(bytes, detail::kLzwMaxExpansion, pixels);
}

// The screen must be within the limits and, so that a few bytes cannot demand a huge
// transparent canvas, no larger than the file's data could fill.
DecodeStatus Open(GifInput& input, const DecodeLimits& limits, GifHandle& gif) {
    int error = 0;
    gif.reset(DGifOpen(&input, ReadInput, &error));
    if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? DecodeStatus::OutOfMemory : DecodeStatus::NotAnImage;
    if (gif->SWidth <= 0 || gif->SHeight <= 0) return DecodeStatus::NotAnImage;
    if (!limits.Admits(gif->SWidth, gif->SHeight)) return DecodeStatus::OverLimit;
    if (!DataCanFill(input, gif->SWidth, gif->SHeight)) return DecodeStatus::NotAnImage;
    return DecodeStatus::Ok;
}

// Walks the records up to the first image descriptor, keeping the transparent index
// of the graphic control block that precedes it. False when no image follows.
bool FindFirstImage(GifFileType* gif, int& transparentIndex) {
    transparentIndex = kNoTransparency;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type == TERMINATE_RECORD_TYPE) return false;
        if (type != EXTENSION_RECORD_TYPE) return false;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
        while (block != nullptr) {
            if (code == GRAPHICS_EXT_FUNC_CODE) {
                GraphicsControlBlock gcb{};
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparentIndex = gcb.TransparentColor;
            }
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        }
    }
}

DecodeStatus ReadGifHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) {
    GifInput input;
    if (detail::FileSize(path, input.fileSize) != DecodeStatus::Ok) return DecodeStatus::FileError;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return DecodeStatus::FileError;
    input.file = file.get();
    GifHandle gif;
    const DecodeStatus opened = Open(input, limits, gif);
    if (opened != DecodeStatus::Ok) return opened;
    int transparent = kNoTransparency;
    if (!FindFirstImage(gif.get(), transparent)) return DecodeStatus::NotAnImage;
    const GifImageDesc& frame = gif->Image;
    const bool coversScreen = frame.Left == 0 && frame.Top == 0 && frame.Width == gif->SWidth &&
                              frame.Height == gif->SHeight;
    info.width = gif->SWidth;
    info.height = gif->SHeight;
    info.hasAlpha = transparent != kNoTransparency || !coversScreen;
    return DecodeStatus::Ok;
}

DecodeStatus DecodeGif(const std::string& path, const DecodeLimits& limits, Raster& out) {
    std::vector<uint8_t> bytes;
    const DecodeStatus read = detail::ReadWholeFile(path, bytes);
    if (read != DecodeStatus::Ok) return read;
    GifInput input;
    input.data = bytes.data();
    input.size = bytes.size();
    GifHandle gif;
    const DecodeStatus opened = Open(input, limits, gif);
    if (opened != DecodeStatus::Ok) return opened;
    int transparent = kNoTransparency;
    if (!FindFirstImage(gif.get(), transparent)) return DecodeStatus::NotAnImage;

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || frame.Width <= 0 || frame.Height <= 0) return DecodeStatus::NotAnImage;
    if (!limits.Admits(frame.Width, frame.Height)) return DecodeStatus::OverLimit;
    if (!DataCanFill(input, frame.Width, frame.Height)) return DecodeStatus::NotAnImage;

    // Palette as BGRA; indices beyond the table are black, the transparent one clear.
    uint8_t palette[256 * 4];
    for (int i = 0; i < 256; ++i) {
        uint8_t* e = palette + i * 4;
        if (i < colours->ColorCount) {
            e[0] = colours->Colors[i].Blue;
            e[1] = colours->Colors[i].Green;
            e[2] = colours->Colors[i].Red;
        } else {
            e[0] = e[1] = e[2] = 0;
        }
        e[3] = i == transparent ? 0 : 255;
    }

    const DecodeStatus allocated = detail::AllocateRaster(out, gif->SWidth, gif->SHeight, limits);
    if (allocated != DecodeStatus::Ok) return allocated;
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    auto putLine = [&](int frameRow) {
        const int y = frame.Top + frameRow;
        if (y < 0 || y >= out.height) return;
        uint8_t* dst = out.Row(y);
        for (int i = 0; i < frame.Width; ++i) {
            const int x = frame.Left + i;
            if (x < 0 || x >= out.width) continue;
            std::memcpy(dst + static_cast<size_t>(x) * 4, palette + static_cast<size_t>(line[i]) * 4, 4);
        }
    };
    if (frame.Interlace) {
        for (int pass = 0; pass < kInterlacePasses; ++pass)
            for (int row = kInterlaceStart[pass]; row < frame.Height; row += kInterlaceStep[pass]) {
                if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return DecodeStatus::NotAnImage;
                putLine(row);
            }
    } else {
        for (int row = 0; row < frame.Height; ++row) {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return DecodeStatus::NotAnImage;
            putLine(row);
        }
    }
    return DecodeStatus::Ok;
}

class GifAdapter final : public Decoder {
public:
    const char* Name() const override { return "gif"; }
    SniffMatch Sniff(const uint8_t* head, size_t size) const override {
        const bool signature =
            size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
        return signature ? SniffMatch::Signature : SniffMatch::No;
    }
    DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const override {
        return ReadGifHeader(path, limits, info);
    }
    DecodeStatus Decode(const std::string& path, const DecodeRequest&, const DecodeLimits& limits, Raster& out,
                        std::string&) const override {
        return DecodeGif(path, limits, out);
    }
};

}  // namespace

const Decoder& GifDecoder() {
    static const GifAdapter adapter;
    return adapter;
}

}  // namespace tallowin::codec
