// Opening an image with colour management: pixels in the colour profile embedded in
// their file are converted to sRGB, for outputs that carry no profile of their own.
// Each decode is converted where it runs (srgb_decode.h), so a reduced decode for a
// smaller draw is converted at its reduced size, and the profile is never parsed here.
#include "gdiplus_objects.h"
#include "photo_metadata.h"

using namespace tallowin::gdiplus;

GpStatus GdipLoadImageFromFileICM(const WCHAR* filename, GpImage** image)
{
    const GpStatus status = GdipLoadImageFromFile(filename, image);
    if (status != Ok) {
        return status;
    }
    ImageObject& self = *Internal(*image);
    // Opening reads only the header, so no pixels need converting yet.
    self.toSrgb = !tallowin::metadata::ReadPhotoMetadata(self.path).metadata.icc.empty();
    return Ok;
}

const char* GdipExtColourWarning(GpImage* image)
{
    if (image == nullptr || Internal(image)->colourWarning.empty()) {
        return nullptr;
    }
    return Internal(image)->colourWarning.c_str();
}
