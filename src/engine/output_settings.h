#pragma once
// How one photo is converted: a plain value copied as a whole.

#include <cstdint>

namespace tallowin {

// Output format codes (nOuptputFormat).
enum OutputFormat : int32_t {
    FormatBmp = 0,
    FormatJpg = 1,
    FormatPng = 2,
    FormatTif = 3,
    FormatGif = 4,
    FormatWdp = 5,
    FormatWebp = 6,
    FormatAvif = 7,
    FormatJxl = 8,
};
// Size types (nOuputSizeType). Long edge: nLongEdge pixels on the longer side, the
// other in proportion. Fit in box: the largest proportional size within nBoxWidth x
// nBoxHeight.
enum OutputSizeType : int32_t { SizeOriginal = 0, SizeCustom = 1, SizeStretch = 2, SizeLongEdge = 3, SizeFitBox = 4 };

struct OutputSettings {
    int32_t nOuputSizeType = SizeCustom;
    int32_t nOutputWidth = 1024;
    int32_t nOutputHeight = 768;
    int32_t nOuptputFormat = FormatWdp;
    int32_t iComboPixelFormat = 4;      // 24 bits RGB
    int32_t nCurrentJpegQuality = 80;
    int32_t nKeepAspectRatio = 1;       // keep the aspect ratio with the width
    double dHorizontalStretch = 1.0;
    double dVerticalStretch = 1.0;
    int32_t nRotateAngel = 0;
    int32_t nFlipType = 0;
    int32_t nWdpEncoderParam = 60;      // 101 - WDP quality 41
    // Qualities 1 to 100 of the newer formats; 100 is lossless for WebP and JPEG XL.
    // WebP 80 matches the JPEG default in look and size; AVIF holds the same detail
    // at a lower number, so 60 gives about the JPEG 80 look in a far smaller file;
    // JPEG XL 90 is a distance of about 1, the level its makers call visually lossless.
    int32_t nWebpQuality = 80;
    int32_t nAvifQuality = 60;
    int32_t nJxlQuality = 90;
    // The sizes of the size types Long edge and Fit in box.
    int32_t nLongEdge = 1024;
    int32_t nBoxWidth = 1024;
    int32_t nBoxHeight = 768;
    // 1: whatever the size type, the output is never larger than the source in either
    // direction (small photos keep their size).
    int32_t nShrinkOnly = 0;

    bool operator==(const OutputSettings&) const = default;
};

// The output settings of a first start, before anything was stored: JPEG at quality
// 85, 1024 x 768 keeping the aspect ratio with the width.
constexpr OutputSettings FirstStartOutputSettings()
{
    OutputSettings settings;
    settings.nOuptputFormat = FormatJpg;
    settings.nCurrentJpegQuality = 85;
    return settings;
}

// Number of output formats and pixel formats that the options offer.
inline constexpr int32_t kOutputFormatCount = 9;
inline constexpr int32_t kPixelFormatCount = 10;
// The pixel format used for an index outside 0 to 9.
inline constexpr int32_t kDefaultPixelFormatIndex = 4;

// File extension of an output format index, without the dot ("bmp" ... "jxl"); empty for
// an unknown index.
const char* FormatExtension(int32_t format);

// True for the codes 0 to 8 that name an output format.
inline bool IsKnownOutputFormat(int32_t format) { return format >= 0 && format < kOutputFormatCount; }

// The quality (1 to 100) an output format is written with, for the formats that take
// one as the encoder's quality parameter (JPG, WebP, AVIF, JPEG XL); -1 for the others.
int32_t EncoderQualityOf(const OutputSettings& settings);

// The codec service's pixel-format code (PixelFormat24bppRGB, ...) of a pixel-format
// index; an index outside 0 to 9 gives the 24-bit code.
int32_t PixelFormatCode(int32_t pixelFormatIndex);

// String id of a pixel format's description (138 to 147); outside 0 to 9 the 24-bit one.
int PixelFormatDescriptionId(int32_t pixelFormatIndex);

// Indices 0 to 2: 1, 4 and 8 bits indexed, which go through colour reduction.
bool IsIndexedPixelFormat(int32_t pixelFormatIndex);

// nWdpEncoderParam holds 101 minus the WDP quality the user enters (1 to 100).
inline int32_t WdpEncoderParamOfQuality(int32_t quality) { return 101 - quality; }
inline int32_t WdpQualityOfEncoderParam(int32_t encoderParam) { return 101 - encoderParam; }

}  // namespace tallowin
