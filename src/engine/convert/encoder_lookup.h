#pragma once
// Finding an installed encoder of the codec service by its MIME type.

#include "gdiplus.h"

#include <cstdint>

namespace tallowin {

// Index of the first installed encoder whose MIME type equals `mimeType` exactly
// (case-sensitive), with its class id copied to *clsid; -1 when there are no
// encoders, the list cannot be read or nothing matches (then *clsid is untouched).
int FindEncoderByMimeType(const WCHAR* mimeType, CLSID* clsid);

// MIME type of the codec service encoder that writes an output format code
// (FormatBmp ... FormatJxl); nullptr for WDP, which the WDP library writes, and for a
// code that names no format.
const WCHAR* EncoderMimeTypeOf(int32_t format);

}  // namespace tallowin
