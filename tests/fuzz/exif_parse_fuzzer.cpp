// Feeds arbitrary bytes, as the body of a JPEG's APP1 segment, to the EXIF reader,
// and turns a small picture by the orientation it reports.

#include "exif_orientation.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tallowin::codec;
    detail::ExifFacts facts;
    if (!detail::ParseExif(data, size, facts)) return 0;
    if (facts.orientation < 1 || facts.orientation > 8) __builtin_trap();  // promised 1..8

    Raster raster;
    raster.width = 3;
    raster.height = 2;
    raster.pixels.assign(3 * 2 * 4, 0x7F);
    detail::ApplyOrientation(raster, facts.orientation);
    if (raster.pixels.size() != 3 * 2 * 4 || raster.width * raster.height != 6) __builtin_trap();
    return 0;
}
