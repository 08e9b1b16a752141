// Placeholder until the Tiff adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus TiffReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus TiffDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
