// tallowin-metafile-decoder: decodes metafiles (WMF, EMF), which draw their text with Qt
// and the system's fonts, for the window and the batch tool in a process of its own.
#include "decoder_helper.h"

int main(int argc, char** argv) {
    return tallowin::sandbox::RunDecoderHelper(argc, argv, tallowin::sandbox::LibraryDecoders());
}
