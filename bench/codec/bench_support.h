#pragma once
// What the codec benchmarks share: paths for the service, encoder lookup, the
// converter's scaling draw and the common command line.

#include "gdiplus.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline std::u16string Wide(const std::string& path) { return QString::fromStdString(path).toStdU16String(); }

// The class id of the encoder for a MIME type (zero when there is none).
inline CLSID EncoderFor(const std::u16string& mime)
{
    UINT count = 0;
    UINT size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::u16string(codecs[i].MimeType) == mime) {
            return codecs[i].Clsid;
        }
    }
    return CLSID{};
}

// Height that keeps the aspect ratio of a w × h picture at `width`.
inline int32_t HeightAt(UINT w, UINT h, int32_t width)
{
    return static_cast<int32_t>(std::max<int64_t>(1, int64_t(h) * width / std::max<UINT>(1, w)));
}

// The image drawn as the converter draws it: a white 24-bit bitmap of `width`, bicubic.
// Null when any step fails.
inline GpBitmap* DrawScaled(GpImage* image, int32_t width)
{
    UINT w = 0, h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    const int32_t height = HeightAt(w, h, width);
    GpBitmap* target = nullptr;
    GpGraphics* graphics = nullptr;
    GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &target);
    if (status == Ok) {
        status = GdipGetImageGraphicsContext(target, &graphics);
    }
    if (status == Ok) {
        GdipGraphicsClear(graphics, 0xFFFFFFFF);
        GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
        status = GdipDrawImageRectRectI(graphics, image, 0, 0, width, height, 0, 0, int32_t(w), int32_t(h), UnitPixel,
                                        nullptr, nullptr, nullptr);
        GdipDeleteGraphics(graphics);
    }
    if (status != Ok && target != nullptr) {
        GdipDisposeImage(target);
        return nullptr;
    }
    return target;
}

// [--width N] [--repeat N] OUTPUT_FOLDER PHOTO...
struct Arguments {
    int32_t width = 1024;
    int repeat = 1;
    std::string folder;
    std::vector<std::string> photos;
};

inline std::optional<Arguments> ParseArguments(int argc, char** argv, int defaultRepeat)
{
    Arguments parsed;
    parsed.repeat = defaultRepeat;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    size_t i = 0;
    for (; i + 1 < arguments.size() && arguments[i].rfind("--", 0) == 0; i += 2) {
        if (arguments[i] == "--width") {
            parsed.width = std::atoi(arguments[i + 1].c_str());
        } else if (arguments[i] == "--repeat") {
            parsed.repeat = std::max(1, std::atoi(arguments[i + 1].c_str()));
        }
    }
    if (arguments.size() < i + 2 || parsed.width <= 0) {
        return std::nullopt;
    }
    parsed.folder = arguments[i];
    parsed.photos.assign(arguments.begin() + i + 1, arguments.end());
    return parsed;
}

}  // namespace bench
