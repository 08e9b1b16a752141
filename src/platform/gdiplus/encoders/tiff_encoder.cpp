// libtiff adapter: RGB(A) 8-bit, LZW with horizontal differencing, resolution in
// inches. The file is driven through our own procedures so the caller keeps the FILE.
// libtiff writes the tags and the layout; the strips are differenced and compressed
// here (TiffLzwEncoder, several times faster than the library's scanline path) and
// handed over whole.
#include "encoder.h"
#include "tiff_lzw.h"

#include <tiffio.h>

#include <sys/stat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdarg>
#include <new>
#include <vector>

namespace tallowin::codec {
namespace {

// Rows per strip: about 256 KiB of pixels each.
constexpr int64_t kStripBytes = 256 * 1024;

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

// A pixel's samples in file order (R, G, B[, A]) from B, G, R[, A].
template <int Samples> void FileOrder(const uint8_t* in, uint8_t (&pixel)[Samples])
{
    pixel[0] = in[2];
    pixel[1] = in[1];
    pixel[2] = in[0];
    if constexpr (Samples == 4) pixel[3] = in[3];
}

// One row in file order with horizontal differencing: each sample after the first pixel
// is stored as its difference from the same sample of the pixel before. Starts at pixel
// `from`, whose left neighbour (if any) is read from `in`.
template <int Samples>
void DifferenceRow(const uint8_t* in, int bytesPerPixel, int32_t width, uint8_t* out, int32_t from = 0)
{
    uint8_t previous[Samples] = {};
    if (from > 0) {
        FileOrder(in + static_cast<size_t>(from - 1) * bytesPerPixel, previous);
    }
    in += static_cast<size_t>(from) * bytesPerPixel;
    out += static_cast<size_t>(from) * Samples;
    for (int32_t x = from; x < width; ++x, in += bytesPerPixel, out += Samples) {
        uint8_t pixel[Samples];
        FileOrder(in, pixel);
        for (int c = 0; c < Samples; ++c) {
            out[c] = static_cast<uint8_t>(pixel[c] - previous[c]);
            previous[c] = pixel[c];
        }
    }
}

// The same for a row of B, G, R pixels, four at a time: the differences are taken in the
// row's own order (a byte less the byte three before it) and then each pixel's first and
// third bytes change places.
void DifferenceBgrRow(const uint8_t* in, int32_t width, uint8_t* out)
{
    int32_t x = 0;
#if defined(__SSE2__)
    const int64_t bytes = static_cast<int64_t>(width) * 3;
    const __m128i blue = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0, 0, 0, 0);
    const __m128i green = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0, 0, 0);
    const __m128i red = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0, 0);
    __m128i left = _mm_setzero_si128();  // the pixel before these four, in bytes 0 to 2
    // A step reads and writes 16 bytes of which it uses 12; the next step writes over the
    // rest, and the last few pixels are left to the plain loop.
    for (int64_t at = 0; at + 16 <= bytes; at += 12, x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        const __m128i before = _mm_or_si128(_mm_slli_si128(pixels, 3), left);
        left = _mm_srli_si128(_mm_slli_si128(pixels, 4), 13);
        const __m128i difference = _mm_sub_epi8(pixels, before);
        const __m128i rgb = _mm_or_si128(_mm_and_si128(difference, green),
                                         _mm_or_si128(_mm_slli_si128(_mm_and_si128(difference, blue), 2),
                                                      _mm_srli_si128(_mm_and_si128(difference, red), 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), rgb);
    }
#endif
    DifferenceRow<3>(in, 3, width, out, x);
}

// `rows` rows from `top` differenced into `out`, one after the other.
void DifferenceStrip(const EncodeSource& source, int32_t top, int32_t rows, bool alpha, uint8_t* out)
{
    const size_t rowBytes = static_cast<size_t>(source.width) * (alpha ? 4 : 3);
    for (int32_t y = 0; y < rows; ++y, out += rowBytes) {
        if (alpha) {
            DifferenceRow<4>(source.Row(top + y), source.bytesPerPixel, source.width, out);
        } else if (source.bytesPerPixel == 3) {
            DifferenceBgrRow(source.Row(top + y), source.width, out);
        } else {
            DifferenceRow<3>(source.Row(top + y), source.bytesPerPixel, source.width, out);
        }
    }
}

}  // namespace

EncodeStatus WriteTiff(const EncodeSource& source, std::FILE* file)
{
    const bool alpha = source.bytesPerPixel == 4 && source.hasAlpha;
    const int samples = alpha ? 4 : 3;
    const int64_t rowBytes = static_cast<int64_t>(source.width) * samples;
    const int32_t rowsPerStrip =
        static_cast<int32_t>(std::clamp<int64_t>(kStripBytes / rowBytes, 1, std::max<int32_t>(source.height, 1)));
    constexpr int kLanes = TiffLzwEncoder::kLanes;
    std::vector<uint8_t> strips[kLanes];
    std::vector<uint8_t> packed[kLanes];
    TiffLzwEncoder lzw;
    try {
        for (int k = 0; k < kLanes; ++k) {
            strips[k].resize(static_cast<size_t>(rowBytes) * rowsPerStrip);
            packed[k].resize(TiffLzwEncoder::Bound(strips[k].size()));
        }
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
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(source.width)) &&
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(source.height)) &&
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples) &&
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rowsPerStrip)) &&
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, source.dpiX > 0 ? source.dpiX : 96.0f) &&
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, source.dpiY > 0 ? source.dpiY : 96.0f);
    if (ok && alpha) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    // Strips go to the compressor a few at a time: full strips of equal length together,
    // the last (shorter) one on its own.
    const int32_t stripCount = (source.height + rowsPerStrip - 1) / rowsPerStrip;
    for (int32_t first = 0; ok && first < stripCount;) {
        const int32_t top = first * rowsPerStrip;
        const int32_t rows = std::min(rowsPerStrip, source.height - top);
        int count = 0;
        const uint8_t* data[kLanes] = {};
        while (count < kLanes && first + count < stripCount &&
               std::min(rowsPerStrip, source.height - (first + count) * rowsPerStrip) == rows) {
            DifferenceStrip(source, (first + count) * rowsPerStrip, rows, alpha, strips[count].data());
            data[count] = strips[count].data();
            ++count;
        }
        size_t lengths[kLanes] = {};
        lzw.EncodeStrips(data, count, static_cast<size_t>(rowBytes) * rows, packed, lengths);
        for (int k = 0; ok && k < count; ++k) {
            ok = TIFFWriteRawStrip(tiff, static_cast<uint32_t>(first + k), packed[k].data(),
                                   static_cast<tmsize_t>(lengths[k])) == static_cast<tmsize_t>(lengths[k]);
        }
        first += count;
    }
    if (ok) {
        ok = TIFFFlush(tiff) == 1;
    }
    TIFFClose(tiff);
    return ok ? EncodeStatus::Ok : EncodeStatus::WriteError;
}

}  // namespace tallowin::codec
