#include "encoder_lookup.h"

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

}  // namespace tallowin
