#include "output_size.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tallowin {

namespace {
// Keep-aspect rules of nKeepAspectRatio.
enum KeepAspect : int32_t { KeepNone = 0, KeepWithWidth = 1, KeepWithHeight = 2 };

constexpr const char* kUnknownCaption = "error";
}  // namespace

namespace {

// `side` scaled by numerator / denominator (all positive), rounded to the nearest
// pixel and at least 1. Whole numbers throughout: the result is exact, and it never
// exceeds the numerator when `side` does not exceed the denominator.
int32_t ScaledSide(int64_t side, int64_t numerator, int64_t denominator)
{
    const int64_t pixels = (side * numerator + denominator / 2) / denominator;
    return static_cast<int32_t>(std::clamp<int64_t>(pixels, 1, std::numeric_limits<int32_t>::max()));
}

// Long edge: `edge` pixels on the longer side of width x height, the other in proportion.
void LongEdgeSize(int64_t width, int64_t height, int32_t edge, int32_t& w, int32_t& h)
{
    if (edge < 1) {
        w = h = 0;  // refused by the conversion as an invalid size
    } else if (width >= height) {
        w = edge;
        h = ScaledSide(height, edge, width);
    } else {
        h = edge;
        w = ScaledSide(width, edge, height);
    }
}

// Fit in box: the largest proportional size within boxWidth x boxHeight.
void FitBoxSize(int64_t width, int64_t height, int32_t boxWidth, int32_t boxHeight, int32_t& w, int32_t& h)
{
    if (boxWidth < 1 || boxHeight < 1) {
        w = h = 0;
    } else if (boxWidth * height <= boxHeight * width) {  // the width is the tighter limit
        w = boxWidth;
        h = ScaledSide(height, boxWidth, width);
    } else {
        h = boxHeight;
        w = ScaledSide(width, boxHeight, height);
    }
}

}  // namespace

int32_t TruncToInt32(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

bool ApplyOutputSize(PhotoRecord& photo, WindowPort& port)
{
    const double sourceWidth = photo.width;
    const double sourceHeight = photo.height;
    if (photo.width == 0 || photo.height == 0) return false;

    OutputSettings& s = photo.settings;
    switch (s.nOuputSizeType) {
    case SizeOriginal:
        s.nOutputWidth = photo.width;
        s.nOutputHeight = photo.height;
        break;
    case SizeCustom:
        // The ratio first, then the product: (H / W) * w, all in double.
        switch (s.nKeepAspectRatio) {
        case KeepNone:
            break;
        case KeepWithWidth:
            s.nOutputHeight = TruncToInt32((sourceHeight / sourceWidth) * s.nOutputWidth);
            break;
        case KeepWithHeight:
            s.nOutputWidth = TruncToInt32((sourceWidth / sourceHeight) * s.nOutputHeight);
            break;
        default:
            port.ShowMessage("unknown error nKeepAspectRatio", kUnknownCaption);
            return true;
        }
        break;
    case SizeStretch:
        s.nOutputWidth = TruncToInt32(sourceWidth * s.dHorizontalStretch);
        s.nOutputHeight = TruncToInt32(sourceHeight * s.dVerticalStretch);
        break;
    case SizeLongEdge:
        LongEdgeSize(photo.width, photo.height, s.nLongEdge, s.nOutputWidth, s.nOutputHeight);
        break;
    case SizeFitBox:
        FitBoxSize(photo.width, photo.height, s.nBoxWidth, s.nBoxHeight, s.nOutputWidth, s.nOutputHeight);
        break;
    default:
        port.ShowMessage("unknown error m_outputPhotoFormat.nOuputSizeType", kUnknownCaption);
        return true;
    }
    if (s.nShrinkOnly != 0) {
        // Each side at most the source's: a proportional size larger than the source is
        // larger on both sides, so it becomes the source size and keeps its proportions.
        s.nOutputWidth = std::min(s.nOutputWidth, photo.width);
        s.nOutputHeight = std::min(s.nOutputHeight, photo.height);
    }
    return true;
}

bool AssignOutputSettings(PhotoRecord& photo, const OutputSettings& current, WindowPort& port)
{
    photo.settings = current;
    return ApplyOutputSize(photo, port);
}

}  // namespace tallowin
