// tallowin-decoder: decodes photos for the window and the batch tool in a process of its
// own. It links neither Qt nor libheif and libjxl, so that it starts quickly: metafiles
// go to tallowin-metafile-decoder, HEIF and JPEG XL to tallowin-heif-jxl-decoder.
#include "decoder_helper.h"

int main(int argc, char** argv) {
    using namespace tallowin;
    return sandbox::RunDecoderHelper(
        argc, argv,
        sandbox::EntryFor(codec::QuickPhotoDecoders(), &metadata::detail::ReadSourceMetadataHereWithoutHeifJxl));
}
