// Opening an image with colour management: pixels in the colour profile embedded in
// their file are converted to sRGB, for outputs that carry no profile of their own.
// The conversion follows each decode, so a reduced decode for a smaller draw is
// converted at its reduced size.
#include "gdiplus_objects.h"
#include "photo_metadata.h"
#include "srgb_conversion.h"

namespace tallowin::gdiplus {

void ApplyColourManagement(ImageObject& image)
{
    if (image.toSrgbFrom.empty() || image.pixels.Empty()) {
        return;
    }
    PixelBuffer& pixels = image.pixels;
    const colour::ColourResult result = colour::ConvertToSrgb(pixels.data, pixels.width, pixels.height, pixels.stride,
                                                              pixels.bytesPerPixel, image.toSrgbFrom);
    if (!result.Ok()) {
        image.colourWarning = result.reason;
        image.toSrgbFrom.clear();  // the pixels stay as decoded, now and on any later decode
    }
}

}  // namespace tallowin::gdiplus

using namespace tallowin::gdiplus;

GpStatus GdipLoadImageFromFileICM(const WCHAR* filename, GpImage** image)
{
    const GpStatus status = GdipLoadImageFromFile(filename, image);
    if (status != Ok) {
        return status;
    }
    ImageObject& self = *Internal(*image);
    tallowin::metadata::MetadataRead read = tallowin::metadata::ReadPhotoMetadata(self.path);
    self.toSrgbFrom = std::move(read.metadata.icc);
    ApplyColourManagement(self);  // pixels that came with the header are converted now
    return Ok;
}

const char* GdipExtColourWarning(GpImage* image)
{
    if (image == nullptr || Internal(image)->colourWarning.empty()) {
        return nullptr;
    }
    return Internal(image)->colourWarning.c_str();
}
