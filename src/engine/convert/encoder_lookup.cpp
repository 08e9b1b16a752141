#include "encoder_lookup.h"

#include "output_settings.h"

#include <string_view>
#include <vector>

namespace tallowin {

int FindEncoderByMimeType(const WCHAR* mimeType, CLSID* clsid) {
    UINT count = 0;
    UINT bytes = 0;
    if (GdipGetImageEncodersSize(&count, &bytes) != Ok || count == 0 || bytes == 0) {
        return -1;
    }
    // The list is one block: the ImageCodecInfo array followed by the strings it points to.
    std::vector<ImageCodecInfo> block((bytes + sizeof(ImageCodecInfo) - 1) / sizeof(ImageCodecInfo));
    if (GdipGetImageEncoders(count, bytes, block.data()) != Ok) {
        return -1;
    }
    const std::u16string_view wanted(mimeType);
    for (UINT i = 0; i < count; ++i) {
        if (block[i].MimeType != nullptr && wanted == std::u16string_view(block[i].MimeType)) {
            *clsid = block[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

const WCHAR* EncoderMimeTypeOf(int32_t format) {
    static constexpr const WCHAR* kMimeTypes[kOutputFormatCount] = {
        u"image/bmp", u"image/jpeg", u"image/png", u"image/tiff", u"image/gif",
        nullptr,  // WDP: written by the WDP library, not the codec service
        u"image/webp", u"image/avif", u"image/jxl"};
    return IsKnownOutputFormat(format) ? kMimeTypes[format] : nullptr;
}

}  // namespace tallowin
