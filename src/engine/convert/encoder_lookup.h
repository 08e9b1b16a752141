#pragma once
// Finding an installed encoder of the codec service by its MIME type.

#include "gdiplus.h"

namespace tallowin {

// Index of the first installed encoder whose MIME type equals `mimeType` exactly
// (case-sensitive), with its class id copied to *clsid; -1 when there are no
// encoders, the list cannot be read or nothing matches (then *clsid is untouched).
int FindEncoderByMimeType(const WCHAR* mimeType, CLSID* clsid);

}  // namespace tallowin
