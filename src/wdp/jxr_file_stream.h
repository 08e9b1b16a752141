#pragma once
// An output stream for libjxr's encoder that writes through a FileWriter. libjxr's
// own file stream drops the result of its final flush and close, so a full disk or
// the file size limit could leave a cut file that looks written; here every failed
// write stays in the writer, which the caller asks once the encoder is done.

#include "file_io.h"

struct WMPStream;

namespace tallowin::wdp {

// A new stream over `writer` (which must outlive it); the stream's Close frees it
// and leaves the writer open. Null when memory runs out.
WMPStream* CreateWriterStream(FileWriter& writer);

}  // namespace tallowin::wdp
