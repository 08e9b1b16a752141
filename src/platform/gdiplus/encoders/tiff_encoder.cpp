// libtiff adapter: RGB(A) 8-bit, LZW with horizontal differencing, resolution in
// inches. The file is driven through our own procedures so the caller keeps the FILE.
#include "encoder.h"

#include <tiffio.h>

#include <sys/stat.h>

#include <cstdarg>
#include <new>
#include <vector>

namespace tallowin::codec {
namespace {

// Rows per strip: about 64 KiB of pixels each.
constexpr int64_t kStripBytes = 64 * 1024;

std::FILE* FileOf(thandle_t handle) { return static_cast<std::FILE*>(handle); }

tmsize_t OnRead(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(std::fread(data, 1, static_cast<size_t>(size), FileOf(handle)));
}

tmsize_t OnWrite(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<size_t>(size), FileOf(handle)));
}

toff_t OnSeek(thandle_t handle, toff_t offset, int whence)
{
    if (fseeko(FileOf(handle), static_cast<off_t>(offset), whence) != 0) {
        return static_cast<toff_t>(-1);
    }
    return static_cast<toff_t>(ftello(FileOf(handle)));
}

int OnClose(thandle_t) { return 0; }

toff_t OnSize(thandle_t handle)
{
    std::fflush(FileOf(handle));
    struct stat status {};
    if (fstat(fileno(FileOf(handle)), &status) != 0) {
        return 0;
    }
    return static_cast<toff_t>(status.st_size);
}

int OnMap(thandle_t, void**, toff_t*) { return 0; }
void OnUnmap(thandle_t, void*, toff_t) {}

// Errors are reported through the result; the library's text is not needed.
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

EncodeStatus WriteTiff(const EncodeSource& source, std::FILE* file)
{
    const bool alpha = source.bytesPerPixel == 4 && source.hasAlpha;
    const int samples = alpha ? 4 : 3;
    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(source.width) * samples);
    } catch (const std::bad_alloc&) {
        return EncodeStatus::OutOfMemory;
    }
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return EncodeStatus::OutOfMemory;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tiff = TIFFClientOpenExt("output", "w", file, OnRead, OnWrite, OnSeek, OnClose, OnSize, OnMap, OnUnmap,
                                   options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        return EncodeStatus::WriteError;
    }
    const int64_t rowBytes = static_cast<int64_t>(source.width) * samples;
    const auto rowsPerStrip = static_cast<uint32_t>(std::max<int64_t>(1, kStripBytes / rowBytes));
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(source.width))
        && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(source.height))
        && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples)
        && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB)
        && TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW)
        && TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL)
        && TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip)
        && TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH)
        && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, source.dpiX > 0 ? source.dpiX : 96.0f)
        && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, source.dpiY > 0 ? source.dpiY : 96.0f);
    if (ok && alpha) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    for (int32_t y = 0; ok && y < source.height; ++y) {
        const uint8_t* in = source.Row(y);
        uint8_t* out = row.data();
        for (int32_t x = 0; x < source.width; ++x, in += source.bytesPerPixel, out += samples) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (alpha) {
                out[3] = in[3];
            }
        }
        ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
    }
    if (ok) {
        ok = TIFFFlush(tiff) == 1;
    }
    TIFFClose(tiff);
    return ok ? EncodeStatus::Ok : EncodeStatus::WriteError;
}

}  // namespace tallowin::codec
