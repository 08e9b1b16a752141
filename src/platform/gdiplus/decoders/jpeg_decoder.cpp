// Placeholder until the Jpeg adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus JpegReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus JpegDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
