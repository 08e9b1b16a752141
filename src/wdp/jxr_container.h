#pragma once
// Structural check of a JPEG XR (HD Photo) file before libjxr sees it. The library
// trusts the container: a truncated file decodes as "success" with garbage pixels and
// damaged offsets read out of bounds. Everything it will follow is checked here.

#include <cstddef>
#include <cstdint>

namespace tallowin::wdp {

enum class ContainerCheck {
    Ok,
    NotJxr,     // no "II\xBC" header, or the directory or codestream header is damaged
    Truncated,  // image or alpha data (or a directory value) reaches past the end of the file
    OverLimit,  // a well-formed file for a picture larger than the limits
};

struct JxrLayout {
    uint32_t width = 0;   // from the codestream header
    uint32_t height = 0;
    bool hasAlphaPlane = false;
    float dpiX = 0;       // from the directory; 0 when it gives none
    float dpiY = 0;
    uint8_t pixelFormat[16] = {};  // the directory's pixel format GUID as stored; zero when absent
};

ContainerCheck CheckJxrContainer(const uint8_t* data, size_t size, JxrLayout& layout);

}  // namespace tallowin::wdp
