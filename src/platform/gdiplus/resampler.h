#pragma once
// The one image resampler of the service: separable, precomputed weights, the
// Catmull-Rom cubic (Keys, a = -0.5) widened by the scale factor when shrinking so
// that it also filters out detail the smaller picture cannot hold. Edges clamp.

#include "gdiplus_objects.h"

namespace tallowin::gdiplus {

enum class ResampleFilter {
    Bicubic,   // the high-quality path every mode but nearest neighbour takes
    Nearest,   // one source pixel per output pixel, no filtering
};

// A rectangle of source pixels; fractional edges are allowed.
struct SourceRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// An integer rectangle of the target.
struct TargetRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Draws `from` of `source` into `to` of `target`, clipped to the target. With
// `sourceAlpha` the source's 4th byte is straight alpha and the picture is composited
// over the target's pixels; otherwise it replaces them. InvalidParameter for empty
// rectangles or a source rectangle outside the source; OutOfMemory when the work
// buffers cannot be had.
//
// An axis drawn at its own size (whole-pixel source offset, equal lengths, inside the
// source) has the weights 1 at the sample and 0 elsewhere with either filter, so it is
// not filtered at all: both axes at their own size copy (or composite) the rows
// directly, one such axis leaves only the other axis's pass. The results are those of
// the weighted path, bit for bit.
GpStatus DrawResampled(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from,
                       PixelBuffer& target, const TargetRect& to, ResampleFilter filter);

// The same drawing, always through both weighted passes: the reference the shortcuts
// of DrawResampled are measured against.
GpStatus DrawFiltered(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from,
                      PixelBuffer& target, const TargetRect& to, ResampleFilter filter);

}  // namespace tallowin::gdiplus
