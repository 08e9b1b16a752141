// Row helpers shared by the encoders.
#include "encoder.h"

#include <cmath>

namespace tallowin::codec {

void RowOverWhite(const EncodeSource& source, int32_t y, uint8_t* out)
{
    const uint8_t* in = source.Row(y);
    if (source.bytesPerPixel == 3) {
        for (int32_t x = 0; x < source.width * 3; ++x) {
            out[x] = in[x];
        }
        return;
    }
    for (int32_t x = 0; x < source.width; ++x, in += 4, out += 3) {
        if (!source.hasAlpha || in[3] == 255) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            continue;
        }
        const unsigned a = in[3];
        const unsigned keep = 255 - a;
        for (int c = 0; c < 3; ++c) {
            out[c] = static_cast<uint8_t>((in[c] * a + 255 * keep + 127) / 255);
        }
    }
}

int32_t PelsPerMetre(float dpi)
{
    if (!(dpi > 0.0f) || dpi > 1e6f) {
        return 0;
    }
    return static_cast<int32_t>(std::lround(dpi / 0.0254));
}

}  // namespace tallowin::codec
