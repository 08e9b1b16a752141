// Placeholder until the Emf adapter lands: refuses every file.
#include "decoder.h"

namespace tallowin::codec {

DecodeStatus EmfReadHeader(const std::string&, ImageInfo&) { return DecodeStatus::NotAnImage; }
DecodeStatus EmfDecode(const std::string&, const DecodeRequest&, Raster&, std::string&) { return DecodeStatus::NotAnImage; }

}  // namespace tallowin::codec
