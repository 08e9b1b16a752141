// Placeholder until the Ico adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus IcoReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus IcoDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
