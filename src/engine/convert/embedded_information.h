#pragma once
// Photo information for the encoders that write it into the file themselves (AVIF and
// JPEG XL): read from the source, prepared for the encoded picture, and passed to the
// codec service as one more encoder parameter. The other formats that hold
// information get it written into the encoded file afterwards.

#include "gdiplus.h"
#include "photo_metadata.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace tallowin {

// True for the output format codes whose encoder embeds the information.
bool EncoderEmbedsInformation(int32_t outputFormat);

class EmbeddedInformation {
public:
    // Reads `sourcePath`'s information as `options` keep it, prepared for `bitmap`'s size,
    // and makes `base`'s parameters (may be nullptr) plus the information parameter.
    EmbeddedInformation(const std::string& sourcePath, const metadata::MetadataOptions& options, GpBitmap* bitmap,
                        const EncoderParameters* base);

    // Valid while this object lives.
    const EncoderParameters* Parameters() const { return parameters_.get(); }
    const metadata::MetadataResult& Result() const { return result_; }

private:
    struct Free {
        void operator()(EncoderParameters* p) const { std::free(p); }
    };

    metadata::PhotoMetadata information_;
    metadata::MetadataResult result_;
    std::unique_ptr<EncoderParameters, Free> parameters_;
};

}  // namespace tallowin
