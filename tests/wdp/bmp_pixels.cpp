#include "bmp_pixels.h"

#include "test_world.h"

#include <cstring>

namespace tallowin::test {

namespace {

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}
uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

// File header and a 40-byte info header for a picture of the given layout.
std::string Headers(int32_t width, int32_t height, uint16_t bits, uint32_t paletteEntries, size_t imageBytes) {
    const size_t offset = 14 + 40 + paletteEntries * 4;
    std::string b(offset, '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(offset + imageBytes));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, bits);
    Put32(b, 34, static_cast<uint32_t>(imageBytes));
    Put32(b, 38, 3780);
    Put32(b, 42, 3780);
    Put32(b, 46, paletteEntries);
    return b;
}

}  // namespace

bool LoadBmpPixels(const std::filesystem::path& path, BmpPixels& out, std::string& reason) {
    const std::string b = ReadFile(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        reason = "not a BMP";
        return false;
    }
    out.infoHeaderSize = U32(b, 14);
    out.width = static_cast<int32_t>(U32(b, 18));
    const int32_t h = static_cast<int32_t>(U32(b, 22));
    out.bitCount = U16(b, 28);
    out.bottomUp = h > 0;
    out.height = h > 0 ? h : -h;
    if (out.bitCount != 24 && out.bitCount != 32) {
        reason = "bit count " + std::to_string(out.bitCount);
        return false;
    }
    const size_t bytesPerPixel = out.bitCount / 8;
    const size_t stride = (static_cast<size_t>(out.width) * out.bitCount + 31) / 32 * 4;
    const size_t offset = U32(b, 10);
    if (out.width <= 0 || out.height <= 0 || offset + stride * out.height > b.size()) {
        reason = "pixel data outside the file";
        return false;
    }
    out.bgr.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
    for (int32_t y = 0; y < out.height; ++y) {
        const size_t fileRow = out.bottomUp ? out.height - 1 - y : y;
        const char* src = &b[offset + fileRow * stride];
        for (int32_t x = 0; x < out.width; ++x) std::memcpy(&out.bgr[(static_cast<size_t>(y) * out.width + x) * 3], src + x * bytesPerPixel, 3);
    }
    return true;
}

std::string MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t>& bgrTopDown, bool topDown) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::string b = Headers(width, topDown ? -height : height, 24, 0, stride * height);
    const size_t offset = b.size();
    b.resize(offset + stride * height, '\0');
    for (int32_t y = 0; y < height; ++y) {
        const size_t fileRow = topDown ? y : height - 1 - y;
        std::memcpy(&b[offset + fileRow * stride], &bgrTopDown[static_cast<size_t>(y) * width * 3], static_cast<size_t>(width) * 3);
    }
    return b;
}

std::string MakeBmp8(int32_t width, int32_t height, const std::vector<uint8_t>& paletteBgr,
                     const std::vector<uint8_t>& indicesTopDown) {
    const uint32_t entries = static_cast<uint32_t>(paletteBgr.size() / 3);
    const size_t stride = (static_cast<size_t>(width) + 3) / 4 * 4;
    std::string b = Headers(width, height, 8, entries, stride * height);
    for (uint32_t i = 0; i < entries; ++i) std::memcpy(&b[54 + i * 4], &paletteBgr[i * 3], 3);
    const size_t offset = b.size();
    b.resize(offset + stride * height, '\0');
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(&b[offset + static_cast<size_t>(height - 1 - y) * stride], &indicesTopDown[static_cast<size_t>(y) * width], width);
    }
    return b;
}

}  // namespace tallowin::test
