#pragma once
// The fixed palettes used when a reduction is given no palette of its own.

#include "dib_types.h"

#include <array>

namespace tallowin::imaging {

// The 16 colours: black, the eight half-intensity colours with light grey, dark grey,
// and the full-intensity colours up to white.
extern const std::array<RGBQUAD, 16> kStandardPalette16;
// The 256 colours: twenty fixed system colours at both ends, eighteen hue ramps of
// twelve entries, and a grey ramp from 242 down to 14. The full hues inside the
// ramps use 254 so they stay distinct from the fixed colours at the top.
extern const std::array<RGBQUAD, 256> kStandardPalette256;

}  // namespace tallowin::imaging
