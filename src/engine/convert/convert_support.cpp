#include "convert_support.h"

#include <QString>

#include <cstdio>

namespace tallowin {

ScreenContext::ScreenContext() : dc_(GetDC(nullptr)) {}

ScreenContext::~ScreenContext() { ReleaseDC(nullptr, dc_); }

std::u16string Utf16Path(const std::string& path) { return GdipExtWidePath(path); }

std::string TempFileName(const std::string& folder, const std::string& prefix, unsigned unique) {
    if (folder.empty()) {
        return {};
    }
    char name[16];
    std::snprintf(name, sizeof name, "%.3s%04X.TMP", prefix.c_str(), unique & 0xFFFFu);
    return folder + name;
}

ARGB BrushColour(uint32_t colour) {
    const uint32_t red = colour & 0xFFu;
    const uint32_t green = (colour >> 8) & 0xFFu;
    const uint32_t blue = (colour >> 16) & 0xFFu;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

}  // namespace tallowin
