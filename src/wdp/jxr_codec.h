#pragma once
// The libjxr adapter: JPEG XR bytes to 24-bit pixels and back. libjxr's headers and
// macros stay inside jxr_codec.cpp.

#include "bmp_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::wdp {

enum class JxrDecodeResult {
    Ok,
    NotJxr,       // not a JPEG XR file, or one libjxr refuses or cannot convert to 24-bit colour
    Truncated,    // image data missing from the end of the file
    OverLimit,    // a picture larger than the limits: nothing was allocated
    OutOfMemory,  // an allocation within the limits failed
};

// Decodes to 24-bit colour; pixels of a picture with an alpha channel are laid over
// white, as the program shows every transparent picture.
JxrDecodeResult DecodeJxr(const std::vector<uint8_t>& bytes, BgrImage& image);

// A decoded picture as B, G, R, A bytes, straight alpha, top-down, rows packed
// (stride = width * 4); alpha is 255 throughout when hasAlpha is false.
struct JxrPicture {
    int32_t width = 0;
    int32_t height = 0;
    float dpiX = 96.0f;
    float dpiY = 96.0f;
    bool hasAlpha = false;
    std::vector<uint8_t> pixels;
};

// True when a pixel format GUID (16 bytes as stored in the file) names a format with
// an alpha channel.
bool JxrFormatHasAlpha(const uint8_t (&format)[16]);

JxrDecodeResult DecodeJxrBgra(const uint8_t* data, size_t size, JxrPicture& picture);

// Quantization parameter of the encoder: 1 is lossless, larger values lose more.
constexpr int kLosslessQuantization = 1;
constexpr int kMaxQuantization = 255;

// Encodes the image into a new file at `path` (created or truncated). False on any
// failure; the caller removes what may have been written. libjxr takes the pixels as a
// writable buffer, so the image's pixels may be changed.
bool EncodeJxr(BgrImage& image, int quantization, const std::string& path);

}  // namespace tallowin::wdp
