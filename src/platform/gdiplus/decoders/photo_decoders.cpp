// The adapter list without the metafiles and without HEIF and JPEG XL, for the decoder
// helper that should start quickly: it links neither Qt nor libheif and libjxl.
#include "decoder.h"

namespace tallowin::codec {

#define TALLOWIN_DECODER(name) const Decoder& name##Decoder();
#define TALLOWIN_METAFILE_DECODER(name)
#define TALLOWIN_HEIF_JXL_DECODER(name)
#include "decoder_list.inc"
#undef TALLOWIN_HEIF_JXL_DECODER
#undef TALLOWIN_METAFILE_DECODER
#undef TALLOWIN_DECODER

const std::vector<const Decoder*>& QuickPhotoDecoders() {
    static const std::vector<const Decoder*> decoders = {
#define TALLOWIN_DECODER(name) &name##Decoder(),
#define TALLOWIN_METAFILE_DECODER(name)
#define TALLOWIN_HEIF_JXL_DECODER(name)
#include "decoder_list.inc"
#undef TALLOWIN_HEIF_JXL_DECODER
#undef TALLOWIN_METAFILE_DECODER
#undef TALLOWIN_DECODER
    };
    return decoders;
}

}  // namespace tallowin::codec
