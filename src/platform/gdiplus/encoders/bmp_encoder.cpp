// Our BMP writer: 24-bit rows, bottom-up, each padded to 4 bytes.
#include "encoder.h"

#include "dib_types.h"

#include <cstring>
#include <new>
#include <vector>

namespace tallowin::codec {

EncodeStatus WriteBmp(const EncodeSource& source, std::FILE* file)
{
    const uint64_t stride = (static_cast<uint64_t>(source.width) * 3 + 3) / 4 * 4;
    const uint64_t imageBytes = stride * static_cast<uint64_t>(source.height);
    const uint64_t offBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    if (imageBytes + offBits > UINT32_MAX) {
        return EncodeStatus::Unsupported;
    }
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfSize = static_cast<uint32_t>(offBits + imageBytes);
    fileHeader.bfOffBits = static_cast<uint32_t>(offBits);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = source.width;
    info.biHeight = source.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<uint32_t>(imageBytes);
    info.biXPelsPerMeter = PelsPerMetre(source.dpiX);
    info.biYPelsPerMeter = PelsPerMetre(source.dpiY);
    if (std::fwrite(&fileHeader, sizeof fileHeader, 1, file) != 1 || std::fwrite(&info, sizeof info, 1, file) != 1) {
        return EncodeStatus::WriteError;
    }
    const bool direct = source.bytesPerPixel == 3 && static_cast<uint64_t>(source.stride) >= stride;
    std::vector<uint8_t> row;
    if (!direct) {
        try {
            row.assign(stride, 0);
        } catch (const std::bad_alloc&) {
            return EncodeStatus::OutOfMemory;
        }
    }
    for (int32_t y = source.height - 1; y >= 0; --y) {
        const uint8_t* bytes = source.Row(y);
        if (!direct) {
            RowOverWhite(source, y, row.data());
            bytes = row.data();
        }
        // Padded buffers hold zeroed padding; the direct path writes it as it stands.
        if (std::fwrite(bytes, 1, stride, file) != stride) {
            return EncodeStatus::WriteError;
        }
    }
    return EncodeStatus::Ok;
}

}  // namespace tallowin::codec
