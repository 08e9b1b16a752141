// libjpeg-turbo adapter: baseline JPEG, 4:2:0, JFIF density. Library errors come back
// through longjmp instead of the default exit().
#include "encoder.h"

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <new>
#include <vector>

namespace tallowin::codec {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool writeFailed;
};

[[noreturn]] void OnError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->writeFailed = errors->base.msg_code == JERR_FILE_WRITE;
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

uint16_t Density(float dpi)
{
    if (!(dpi > 0.0f)) {
        return 96;
    }
    return static_cast<uint16_t>(std::clamp<long>(std::lround(dpi), 1, 65535));
}

}  // namespace

EncodeStatus WriteJpeg(const EncodeSource& source, int quality, std::FILE* file)
{
    if (source.width > JPEG_MAX_DIMENSION || source.height > JPEG_MAX_DIMENSION) {
        return EncodeStatus::Unsupported;
    }
    std::vector<uint8_t> row;
    const bool convert = source.bytesPerPixel == 4 && source.hasAlpha;
    if (convert) {
        try {
            row.resize(static_cast<size_t>(source.width) * 3);
        } catch (const std::bad_alloc&) {
            return EncodeStatus::OutOfMemory;
        }
    }
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = OnMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&info);
        return errors.writeFailed ? EncodeStatus::WriteError : EncodeStatus::OutOfMemory;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(source.width);
    info.image_height = static_cast<JDIMENSION>(source.height);
    info.input_components = convert || source.bytesPerPixel == 3 ? 3 : 4;
    info.in_color_space = convert || source.bytesPerPixel == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    // 4:2:0: luma sampled 2x2 against each chroma sample.
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 2;
    info.comp_info[1].h_samp_factor = info.comp_info[1].v_samp_factor = 1;
    info.comp_info[2].h_samp_factor = info.comp_info[2].v_samp_factor = 1;
    info.dct_method = JDCT_ISLOW;
    info.write_JFIF_header = TRUE;
    info.density_unit = 1;
    info.X_density = Density(source.dpiX);
    info.Y_density = Density(source.dpiY);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const auto y = static_cast<int32_t>(info.next_scanline);
        JSAMPROW line = nullptr;
        if (convert) {
            RowOverWhite(source, y, row.data());
            line = row.data();
        } else {
            line = const_cast<JSAMPROW>(source.Row(y));
        }
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return EncodeStatus::Ok;
}

}  // namespace tallowin::codec
