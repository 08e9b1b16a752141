// Valid TIFF files in every coding this libtiff offers decode whole: the library's
// messages while reading pixels mark damage only when there is some, and the bounds on
// what coded data can fill hold for the most compressible picture (one flat colour).
#include "decoder_test_support.h"

#include <tiffio.h>

#include <cstdarg>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

int Silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Writes a `side` x `side` picture in one strip; `flat` gives one colour throughout.
bool WriteTiff(const std::string& path, uint16_t compression, int side, bool flat) {
    const bool bilevel = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4 ||
                         compression == COMPRESSION_CCITTRLE;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, Silent, nullptr);
    TIFF* tif = TIFFOpenExt(path.c_str(), "w", opts);
    TIFFOpenOptionsFree(opts);
    if (tif == nullptr) return false;
    const uint16_t samples = bilevel ? 1 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(side));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(side));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bilevel ? 1 : 8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(side));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    const size_t rowBytes = bilevel ? static_cast<size_t>(side + 7) / 8 : static_cast<size_t>(side) * samples;
    std::vector<uint8_t> row(rowBytes);
    bool ok = true;
    for (int y = 0; y < side && ok; ++y) {
        for (size_t i = 0; i < rowBytes; ++i) row[i] = flat ? 0 : static_cast<uint8_t>((i * 13 + y * 7) & 0xFF);
        ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
    }
    TIFFClose(tif);
    return ok;
}

class TiffCodings : public TestWorld {};

TEST_F(TiffCodings, ValidFilesInEveryCodingDecodeWhole) {
    const uint16_t codings[] = {COMPRESSION_NONE,     COMPRESSION_LZW,       COMPRESSION_ADOBE_DEFLATE,
                                COMPRESSION_PACKBITS, COMPRESSION_JPEG,      COMPRESSION_CCITTRLE,
                                COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4, COMPRESSION_LZMA,
                                COMPRESSION_ZSTD,     COMPRESSION_WEBP};
    int tried = 0;
    for (const uint16_t coding : codings) {
        if (TIFFIsCODECConfigured(coding) != 1) continue;
        for (const bool flat : {true, false}) {
            SCOPED_TRACE(std::to_string(coding) + (flat ? " flat" : " pattern"));
            const std::string path = Path("c" + std::to_string(coding) + (flat ? "f" : "p") + ".tif").string();
            if (!WriteTiff(path, coding, 512, flat)) continue;  // a coding that cannot write this layout
            const Decoded d = DecodeFile(path);
            EXPECT_EQ(d.header, DecodeStatus::Ok);
            EXPECT_EQ(d.pixels, DecodeStatus::Ok) << d.warning;
            EXPECT_EQ(d.raster.width, 512);
            ++tried;
        }
    }
    EXPECT_GE(tried, 12);
}

}  // namespace
}  // namespace tallowin::test
