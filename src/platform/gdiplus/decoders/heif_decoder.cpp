// HEIC/HEIF and AVIF through libheif: the primary image, turned, mirrored and cropped
// as the file asks (libheif applies those transformations itself), with its alpha.
#include "decoder.h"
#include "decoder_support.h"
#include "function_adapter.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tallowin::codec {

namespace {

// ISO base media files start with a box: 4 bytes of size, then "ftyp" and the major brand.
constexpr size_t kFtypOffset = 4;
constexpr size_t kMajorBrandOffset = 8;
constexpr const char* kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextDeleter>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleDeleter>;
using ImagePtr = std::unique_ptr<heif_image, ImageDeleter>;

DecodeStatus StatusFromError(const heif_error& error) {
    if (error.code == heif_error_Ok) return DecodeStatus::Ok;
    if (error.subcode == heif_suberror_Security_limit_exceeded) return DecodeStatus::OverLimit;
    switch (error.code) {
        case heif_error_Input_does_not_exist: return DecodeStatus::FileError;
        case heif_error_Memory_allocation_error: return DecodeStatus::OutOfMemory;
        default: return DecodeStatus::NotAnImage;
    }
}

// Opens the file and finds its primary image without decoding anything.
DecodeStatus OpenPrimary(const std::string& path, ContextPtr& context, HandlePtr& handle) {
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return DecodeStatus::FileError;
    }
    context.reset(heif_context_alloc());
    if (!context) return DecodeStatus::OutOfMemory;
    // libheif refuses larger sides while parsing, before it allocates anything.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(std::min<int64_t>(DecodeLimits{}.maxSide, INT32_MAX)));
    DecodeStatus status = StatusFromError(heif_context_read_from_file(context.get(), path.c_str(), nullptr));
    if (status != DecodeStatus::Ok) return status;
    heif_image_handle* primary = nullptr;
    status = StatusFromError(heif_context_get_primary_image_handle(context.get(), &primary));
    if (status != DecodeStatus::Ok) return status;
    handle.reset(primary);
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) return DecodeStatus::NotAnImage;
    return WithinLimits(width, height) ? DecodeStatus::Ok : DecodeStatus::OverLimit;
}

// 255 * value / alpha, rounded, for pixels stored with premultiplied colour.
uint8_t Unpremultiply(uint8_t value, uint8_t alpha) {
    if (alpha == 0) return 0;
    return static_cast<uint8_t>(std::min(255, (value * 255 + alpha / 2) / alpha));
}

}  // namespace

bool LooksLikeHeif(const uint8_t* head, size_t size) {
    if (size < kMajorBrandOffset + 4 || std::memcmp(head + kFtypOffset, "ftyp", 4) != 0) return false;
    for (const char* brand : kHeifBrands)
        if (std::memcmp(head + kMajorBrandOffset, brand, 4) == 0) return true;
    return false;
}

DecodeStatus HeifReadHeader(const std::string& path, ImageInfo& info) {
    ContextPtr context;
    HandlePtr handle;
    const DecodeStatus status = OpenPrimary(path, context, handle);
    if (status != DecodeStatus::Ok) return status;
    // The handle's size already has the rotation and cropping applied.
    info.width = heif_image_handle_get_width(handle.get());
    info.height = heif_image_handle_get_height(handle.get());
    info.hasAlpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    return DecodeStatus::Ok;
}

DecodeStatus HeifDecode(const std::string& path, const DecodeRequest&, Raster& out, std::string&) {
    ContextPtr context;
    HandlePtr handle;
    DecodeStatus status = OpenPrimary(path, context, handle);
    if (status != DecodeStatus::Ok) return status;

    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) return DecodeStatus::OutOfMemory;
    options->convert_hdr_to_8bit = 1;  // 10- and 12-bit pictures come back as 8 bits
    heif_image* decoded = nullptr;
    status = StatusFromError(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGBA, options.get()));
    ImagePtr image(decoded);
    if (status != DecodeStatus::Ok) return status;

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr || width <= 0 || height <= 0 || stride < width * 4) return DecodeStatus::NotAnImage;
    status = detail::AllocateRaster(out, width, height);
    if (status != DecodeStatus::Ok) return status;
    const bool premultiplied = heif_image_is_premultiplied_alpha(image.get()) != 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint8_t* dst = out.Row(y);
        for (int32_t x = 0; x < width; ++x, src += 4, dst += 4) {
            const uint8_t a = src[3];
            if (premultiplied && a != 255) {
                dst[0] = Unpremultiply(src[2], a);
                dst[1] = Unpremultiply(src[1], a);
                dst[2] = Unpremultiply(src[0], a);
            } else {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
            dst[3] = a;
        }
    }
    return DecodeStatus::Ok;
}

const Decoder& HeifDecoder() {
    static const FunctionAdapter<LooksLikeHeif, HeifReadHeader, HeifDecode> adapter("heif");
    return adapter;
}

}  // namespace tallowin::codec
