#pragma once
// How one photo is converted: a plain value copied as a whole.

#include <cstdint>

namespace tallowin {

// Output format codes (nOuptputFormat).
enum OutputFormat : int32_t { FormatBmp = 0, FormatJpg = 1, FormatPng = 2, FormatTif = 3, FormatGif = 4, FormatWdp = 5 };
// Size types (nOuputSizeType).
enum OutputSizeType : int32_t { SizeOriginal = 0, SizeCustom = 1, SizeStretch = 2 };

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

    bool operator==(const OutputSettings&) const = default;
};

}  // namespace tallowin
