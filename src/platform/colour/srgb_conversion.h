#pragma once
// Converting decoded pixels from the colour profile embedded in their file to sRGB,
// for outputs that carry no profile of their own.

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::colour {

enum class ColourStatus {
    Converted,    // the pixels are now sRGB
    AlreadySrgb,  // the profile is sRGB (or converts every colour to itself): nothing to do
    NoProfile,    // no profile: the pixels are taken as sRGB already
    Broken,       // the profile cannot be parsed or used; the pixels are left as they were
    Unsupported,  // a valid profile for other pixels (CMYK, grey, Lab) or a bad pixel layout; left as they were
};

struct ColourResult {
    ColourStatus status = ColourStatus::NoProfile;
    std::string reason;  // for Broken and Unsupported

    bool Ok() const { return status != ColourStatus::Broken && status != ColourStatus::Unsupported; }
};

// Converts `height` rows of `width` pixels in place, B, G, R (3 bytes per pixel) or
// B, G, R, A (4 bytes; alpha is kept as it is), from `iccProfile` to sRGB with the
// perceptual intent. Transforms are cached by profile and shared between threads.
ColourResult ConvertToSrgb(uint8_t* pixels, int32_t width, int32_t height, int64_t stride, int bytesPerPixel,
                           const std::vector<uint8_t>& iccProfile);

}  // namespace tallowin::colour
