// Placeholder until the Wmf adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus WmfReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus WmfDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
