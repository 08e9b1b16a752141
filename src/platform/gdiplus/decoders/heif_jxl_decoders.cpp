// The HEIF and JPEG XL adapters alone, for the decoder helper that loads their libraries.
#include "decoder.h"

namespace tallowin::codec {

#define TALLOWIN_DECODER(name)
#define TALLOWIN_HEIF_JXL_DECODER(name) const Decoder& name##Decoder();
#include "decoder_list.inc"
#undef TALLOWIN_HEIF_JXL_DECODER
#undef TALLOWIN_DECODER

const std::vector<const Decoder*>& HeifJxlDecoders() {
    static const std::vector<const Decoder*> decoders = {
#define TALLOWIN_DECODER(name)
#define TALLOWIN_HEIF_JXL_DECODER(name) &name##Decoder(),
#include "decoder_list.inc"
#undef TALLOWIN_HEIF_JXL_DECODER
#undef TALLOWIN_DECODER
    };
    return decoders;
}

}  // namespace tallowin::codec
