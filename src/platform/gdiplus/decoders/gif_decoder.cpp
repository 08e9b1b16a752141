// Placeholder until the Gif adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus GifReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus GifDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
