#include "output_size.h"

#include <cmath>
#include <limits>

namespace tallowin {

namespace {
// Keep-aspect rules of nKeepAspectRatio.
enum KeepAspect : int32_t { KeepNone = 0, KeepWithWidth = 1, KeepWithHeight = 2 };

constexpr const char* kUnknownCaption = "error";
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
            break;
        }
        break;
    case SizeStretch:
        s.nOutputWidth = TruncToInt32(sourceWidth * s.dHorizontalStretch);
        s.nOutputHeight = TruncToInt32(sourceHeight * s.dVerticalStretch);
        break;
    default:
        port.ShowMessage("unknown error m_outputPhotoFormat.nOuputSizeType", kUnknownCaption);
        break;
    }
    return true;
}

bool AssignOutputSettings(PhotoRecord& photo, const OutputSettings& current, WindowPort& port)
{
    photo.settings = current;
    return ApplyOutputSize(photo, port);
}

}  // namespace tallowin
