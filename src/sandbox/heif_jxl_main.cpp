// tallowin-heif-jxl-decoder: the decoder helper for HEIF/AVIF and JPEG XL, whose
// libraries (libheif with its HEVC and AV1 codecs, libjxl with libhwy) would more than
// double the start of the helper for every other photo.
#include "decoder_helper.h"

int main(int argc, char** argv) {
    using namespace tallowin;
    return sandbox::RunDecoderHelper(
        argc, argv, sandbox::EntryFor(codec::HeifJxlDecoders(), &metadata::detail::ReadSourceMetadataHere));
}
