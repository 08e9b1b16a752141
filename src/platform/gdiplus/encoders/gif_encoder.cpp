// giflib adapter: one image with a global colour table. Pictures of 256 colours or
// fewer (the indexed BMPs the converter hands over) keep their colours exactly.
#include "encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <new>
#include <unordered_map>
#include <vector>

namespace tallowin::codec {
namespace {

constexpr int kMaxColours = 256;

int OnWrite(GifFileType* gif, const GifByteType* data, int length)
{
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), file));
}

uint32_t Key(const uint8_t* bgr) { return bgr[0] | (bgr[1] << 8) | (static_cast<uint32_t>(bgr[2]) << 16); }

// Indexes every pixel against the picture's own colours, in order of first appearance;
// false when there are more than 256.
bool IndexExactly(const std::vector<uint8_t>& bgr, std::vector<GifColorType>& palette, std::vector<GifByteType>& indices)
{
    std::unordered_map<uint32_t, GifByteType> seen;
    for (size_t i = 0; i < indices.size(); ++i) {
        const uint32_t key = Key(&bgr[i * 3]);
        auto found = seen.find(key);
        if (found == seen.end()) {
            if (palette.size() == kMaxColours) {
                return false;
            }
            found = seen.emplace(key, static_cast<GifByteType>(palette.size())).first;
            palette.push_back(GifColorType{bgr[i * 3 + 2], bgr[i * 3 + 1], bgr[i * 3]});
        }
        indices[i] = found->second;
    }
    return true;
}

bool IndexReduced(const std::vector<uint8_t>& bgr, int32_t width, int32_t height, std::vector<GifColorType>& palette,
                  std::vector<GifByteType>& indices)
{
    const size_t count = indices.size();
    std::vector<GifByteType> red(count), green(count), blue(count);
    for (size_t i = 0; i < count; ++i) {
        blue[i] = bgr[i * 3];
        green[i] = bgr[i * 3 + 1];
        red[i] = bgr[i * 3 + 2];
    }
    int colours = kMaxColours;
    palette.assign(kMaxColours, GifColorType{0, 0, 0});
    if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &colours, red.data(),
                          green.data(), blue.data(), indices.data(), palette.data()) != GIF_OK) {
        return false;
    }
    palette.resize(static_cast<size_t>(std::clamp(colours, 1, kMaxColours)));
    return true;
}

}  // namespace

EncodeStatus WriteGif(const EncodeSource& source, std::FILE* file)
{
    if (source.width > 65535 || source.height > 65535) {
        return EncodeStatus::Unsupported;
    }
    std::vector<uint8_t> bgr;
    std::vector<GifByteType> indices;
    std::vector<GifColorType> palette;
    try {
        const size_t pixels = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
        bgr.resize(pixels * 3);
        indices.resize(pixels);
        for (int32_t y = 0; y < source.height; ++y) {
            RowOverWhite(source, y, bgr.data() + static_cast<size_t>(y) * source.width * 3);
        }
        if (!IndexExactly(bgr, palette, indices)) {
            palette.clear();
            if (!IndexReduced(bgr, source.width, source.height, palette, indices)) {
                return EncodeStatus::OutOfMemory;
            }
        }
    } catch (const std::bad_alloc&) {
        return EncodeStatus::OutOfMemory;
    }
    // The colour table holds a power of two entries, at least 2.
    int tableSize = 2;
    while (tableSize < static_cast<int>(palette.size())) {
        tableSize *= 2;
    }
    palette.resize(static_cast<size_t>(tableSize), GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(tableSize, palette.data());
    if (map == nullptr) {
        return EncodeStatus::OutOfMemory;
    }
    int error = 0;
    GifFileType* gif = EGifOpen(file, OnWrite, &error);
    if (gif == nullptr) {
        GifFreeMapObject(map);
        return EncodeStatus::OutOfMemory;
    }
    bool ok = EGifPutScreenDesc(gif, source.width, source.height, 8, 0, map) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, source.width, source.height, false, nullptr) == GIF_OK;
    for (int32_t y = 0; ok && y < source.height; ++y) {
        ok = EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * source.width, source.width) == GIF_OK;
    }
    GifFreeMapObject(map);
    const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
    return ok && closed ? EncodeStatus::Ok : EncodeStatus::WriteError;
}

}  // namespace tallowin::codec
