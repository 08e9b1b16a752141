// Placeholder until the Bmp adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus BmpReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus BmpDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
