// tallowin-decoder: decodes photos for the window and the batch tool in a process of its
// own. It links no Qt, so that it starts quickly; metafiles go to tallowin-metafile-decoder.
#include "decoder_helper.h"

int main(int argc, char** argv) {
    return tallowin::sandbox::RunDecoderHelper(argc, argv, tallowin::sandbox::PhotoDecoders());
}
