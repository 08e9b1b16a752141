#include "embedded_information.h"

#include "output_settings.h"

#include <cstddef>
#include <new>

namespace tallowin {

bool EncoderEmbedsInformation(int32_t outputFormat) { return outputFormat == FormatAvif || outputFormat == FormatJxl; }

EmbeddedInformation::EmbeddedInformation(const std::string& sourcePath, const metadata::MetadataOptions& options,
                                         GpBitmap* bitmap, const EncoderParameters* base)
{
    UINT width = 0;
    UINT height = 0;
    GdipGetImageWidth(bitmap, &width);
    GdipGetImageHeight(bitmap, &height);
    result_ = metadata::PrepareForEncoder(sourcePath, options, static_cast<int32_t>(width),
                                          static_cast<int32_t>(height), information_);

    // EncoderParameters ends in a one-element array that really holds Count elements.
    const UINT baseCount = base != nullptr ? base->Count : 0;
    const size_t bytes = offsetof(EncoderParameters, Parameter) + (baseCount + 1) * sizeof(EncoderParameter);
    parameters_.reset(static_cast<EncoderParameters*>(std::malloc(bytes)));
    if (!parameters_) {
        throw std::bad_alloc();
    }
    parameters_->Count = baseCount + 1;
    for (UINT i = 0; i < baseCount; ++i) {
        parameters_->Parameter[i] = base->Parameter[i];
    }
    EncoderParameter& own = parameters_->Parameter[baseCount];
    own.Guid = EncoderPhotoInformation;
    own.NumberOfValues = 1;
    own.Type = EncoderParameterValueTypePointer;
    own.Value = &information_;
}

}  // namespace tallowin
