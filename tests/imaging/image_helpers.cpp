#include "image_helpers.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallowin::test {

bool ReadPngBgr(const std::filesystem::path& path, Rgb24Picture& picture)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_BGR;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.bgr.assign(PNG_IMAGE_SIZE(image), 0);
    const bool ok = png_image_finish_read(&image, nullptr, picture.bgr.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

void FillPhotoLike(CDibImage& image, int width, int height, uint32_t seed)
{
    image.Allocate(width, height, 24);
    uint32_t state = seed * 2654435761u + 1;
    auto noise = [&state]() {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 24) % 17) - 8;
    };
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
            const int red = static_cast<int>(128 + 100 * std::sin(6.0 * fx + 2.0 * fy)) + noise();
            const int green = static_cast<int>(120 + 90 * std::cos(4.0 * fy - 3.0 * fx)) + noise();
            const int blue = static_cast<int>(110 + 80 * std::sin(9.0 * fx * fy + 1.0)) + noise();
            row[3 * x + 0] = static_cast<uint8_t>(std::clamp(blue, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(green, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(std::clamp(red, 0, 255));
        }
    }
}

RGBQUAD TopDownColour(const CDibImage& image, int x, int rowFromTop)
{
    return image.PixelColour(x, image.Height() - 1 - rowFromTop);
}

std::vector<uint8_t> BlockBytes(const CDibImage& image)
{
    if (image.PixelBlock() == nullptr) return {};
    return std::vector<uint8_t>(image.PixelBlock(), image.PixelBlock() + image.TotalSize());
}

RGBQUAD Bgr(uint8_t red, uint8_t green, uint8_t blue)
{
    return RGBQUAD{blue, green, red, 0};
}

}  // namespace tallowin::test
