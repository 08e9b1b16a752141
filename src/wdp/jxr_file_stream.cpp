#include "jxr_file_stream.h"

#include <new>

// libjxr's glue header defines min/max macros and must come last.
extern "C" {
#include <JXRGlue.h>
}
#undef min
#undef max

namespace tallowin::wdp {

namespace {

FileWriter& WriterOf(WMPStream* stream) { return *static_cast<FileWriter*>(stream->state.pvObj); }

ERR Close(WMPStream** stream) {
    if (stream != nullptr) {
        delete *stream;
        *stream = nullptr;
    }
    return WMP_errSuccess;
}

Bool EndOfStream(WMPStream*) { return FALSE; }

// The encoder never reads back what it wrote.
ERR Read(WMPStream*, void*, size_t) { return WMP_errFileIO; }

ERR Write(WMPStream* stream, const void* data, size_t size) {
    return WriterOf(stream).Write(data, size) ? WMP_errSuccess : WMP_errFileIO;
}

ERR SetPos(WMPStream* stream, size_t offset) {
    return WriterOf(stream).Seek(offset) ? WMP_errSuccess : WMP_errFileIO;
}

ERR GetPos(WMPStream* stream, size_t* offset) {
    *offset = static_cast<size_t>(WriterOf(stream).Position());
    return WMP_errSuccess;
}

}  // namespace

WMPStream* CreateWriterStream(FileWriter& writer) {
    auto* stream = new (std::nothrow) WMPStream{};
    if (stream == nullptr) return nullptr;
    stream->state.pvObj = &writer;
    stream->fMem = FALSE;
    stream->Close = Close;
    stream->EOS = EndOfStream;
    stream->Read = Read;
    stream->Write = Write;
    stream->SetPos = SetPos;
    stream->GetPos = GetPos;
    return stream;
}

}  // namespace tallowin::wdp
