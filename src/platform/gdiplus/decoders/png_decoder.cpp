// Placeholder until the Png adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus PngReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus PngDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
