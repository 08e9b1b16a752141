// The adapter list without the metafiles, for programs that decode photos without Qt.
#include "decoder.h"

namespace tallowin::codec {

#define TALLOWIN_DECODER(name) const Decoder& name##Decoder();
#define TALLOWIN_METAFILE_DECODER(name)
#include "decoder_list.inc"
#undef TALLOWIN_METAFILE_DECODER
#undef TALLOWIN_DECODER

const std::vector<const Decoder*>& PhotoDecoders() {
    static const std::vector<const Decoder*> decoders = {
#define TALLOWIN_DECODER(name) &name##Decoder(),
#define TALLOWIN_METAFILE_DECODER(name)
#include "decoder_list.inc"
#undef TALLOWIN_METAFILE_DECODER
#undef TALLOWIN_DECODER
    };
    return decoders;
}

}  // namespace tallowin::codec
