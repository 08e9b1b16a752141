#pragma once
// Small helpers shared by the raster core's tests.

#include "dib_image.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tallowin::test {

// Blue, green, red pixels of a picture, top row first.
struct Rgb24Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
};

// Reads a PNG through libpng as 8-bit blue, green, red; false if it can't.
bool ReadPngBgr(const std::filesystem::path& path, Rgb24Picture& picture);

// A 24-bit image filled by a smooth, noisy, photo-like pattern (deterministic).
void FillPhotoLike(CDibImage& image, int width, int height, uint32_t seed);

// The pixel colour at (x, row from the top).
RGBQUAD TopDownColour(const CDibImage& image, int x, int rowFromTop);

// The block bytes of an image: header, palette and rows.
std::vector<uint8_t> BlockBytes(const CDibImage& image);

RGBQUAD Bgr(uint8_t red, uint8_t green, uint8_t blue);

}  // namespace tallowin::test
