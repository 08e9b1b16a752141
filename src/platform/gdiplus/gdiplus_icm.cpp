// Opening an image with colour management: pixels in the colour profile embedded in
// their file are converted to sRGB, for outputs that carry no profile of their own.
#include "gdiplus_objects.h"
#include "photo_metadata.h"
#include "srgb_conversion.h"

using namespace tallowin::gdiplus;

GpStatus GdipLoadImageFromFileICM(const WCHAR* filename, GpImage** image)
{
    const GpStatus status = GdipLoadImageFromFile(filename, image);
    if (status != Ok) {
        return status;
    }
    ImageObject& self = *Internal(*image);
    const tallowin::metadata::MetadataRead read = tallowin::metadata::ReadPhotoMetadata(self.path);
    if (read.metadata.icc.empty()) {
        return Ok;  // no profile: the pixels are taken as sRGB, and stay lazily decoded
    }
    // Converted pixels are no longer the file's: decode them whole and keep them.
    if (PrepareForEdit(self) != Ok) {
        return Ok;  // the draw that needs the pixels reports the decode failure
    }
    PixelBuffer& pixels = self.pixels;
    const tallowin::colour::ColourResult result = tallowin::colour::ConvertToSrgb(
        pixels.data, pixels.width, pixels.height, pixels.stride, pixels.bytesPerPixel, read.metadata.icc);
    if (!result.Ok()) {
        self.colourWarning = result.reason;
    }
    return Ok;
}

const char* GdipExtColourWarning(GpImage* image)
{
    if (image == nullptr || Internal(image)->colourWarning.empty()) {
        return nullptr;
    }
    return Internal(image)->colourWarning.c_str();
}
