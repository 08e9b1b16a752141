#pragma once
// The rules that give a photo its output width and height from its source size and its
// own settings.

#include "output_settings.h"
#include "photo_record.h"
#include "window_port.h"

namespace tallowin {

// Computes the photo's nOutputWidth and nOutputHeight from its width, height and
// settings. False, with nothing changed, when the source width or height is 0. An
// unknown size type or aspect rule shows "unknown error ..." (caption "error") through
// the port, leaves the size as it was and still returns true.
// Original, custom and stretch sizes are truncated (0 can come out); Long edge and Fit
// in box round to the nearest pixel, at least 1 (0 x 0 for an edge or box below 1).
// With nShrinkOnly each side is then at most the source's.
bool ApplyOutputSize(PhotoRecord& photo, WindowPort& port);

// Copies `current` into the photo's settings (always), then ApplyOutputSize.
bool AssignOutputSettings(PhotoRecord& photo, const OutputSettings& current, WindowPort& port);

// Conversion of a double to a 32-bit integer by truncation toward zero. Values beyond
// the 32-bit range saturate and NaN gives 0, where a plain cast would be undefined.
int32_t TruncToInt32(double value);

}  // namespace tallowin
