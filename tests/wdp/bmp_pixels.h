#pragma once
// A minimal reader for the BMP files the tests compare: 24-bit and 32-bit, either row
// order, pixels returned top-down as B, G, R.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tallowin::test {

struct BmpPixels {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 0;
    uint32_t infoHeaderSize = 0;
    bool bottomUp = false;
    std::vector<uint8_t> bgr;  // width * height * 3

    const uint8_t* At(int32_t x, int32_t y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

// False (with a reason) when the file is not a 24/32-bit BMP this reader understands.
bool LoadBmpPixels(const std::filesystem::path& path, BmpPixels& out, std::string& reason);

// Writes a 24-bit BMP: bottom-up unless topDown.
std::string MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t>& bgrTopDown, bool topDown);

// Writes an 8-bit BMP with the given palette (B, G, R per entry) and indices.
std::string MakeBmp8(int32_t width, int32_t height, const std::vector<uint8_t>& paletteBgr,
                     const std::vector<uint8_t>& indicesTopDown);

}  // namespace tallowin::test
