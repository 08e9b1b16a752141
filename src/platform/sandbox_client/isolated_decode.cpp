#include "isolated_decode.h"

#include "decoder_helpers.h"
#include "decoder_pool.h"
#include "srgb_decode.h"

#include "bmp_file.h"
#include "file_io.h"

#include <cstdio>
#include <new>

namespace tallowin::codec {

namespace {

// ConvertDecodeToSrgb with the profile read from the file at `path` in this process.
std::string ConvertFileDecodeToSrgb(const std::string& path, Raster& raster) {
    if (raster.pixels.empty()) return {};
    using namespace metadata::detail;
    return ConvertDecodeToSrgb(ReadSourceProfileHere(KindOfFile(path), path), raster);
}

}  // namespace

DecodeStatus IsolatedReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits,
                                ImageInfo& info) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) return pool->ReadHeader(format, path, limits, info);
    return ReadHeader(format, path, limits, info);
}

DecodeStatus IsolatedDecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                                  const DecodeLimits& limits, DecodedPixels& out, std::string& warning) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) {
        return pool->DecodePixels(format, path, request, limits, out, warning);
    }
    out.mapped.reset();
    out.colourWarning.clear();
    const DecodeStatus status = DecodePixels(format, path, request, limits, out.raster, warning);
    if (request.toSrgb && (status == DecodeStatus::Ok || status == DecodeStatus::Partial)) {
        out.colourWarning = ConvertFileDecodeToSrgb(path, out.raster);
    }
    return status;
}

namespace {

// The adapter whose name tells the helper how to read a file's information: HEIF,
// JPEG XL and JPEG XR by their containers, anything else by its sniffed format. Null
// for a file no adapter takes and for metafiles, which hold none that is read;
// FileError when the file cannot be read at all.
DecodeStatus InformationFormat(metadata::detail::ContainerKind kind, const std::string& path,
                               const Decoder*& format) {
    format = nullptr;
    if (const char* container = metadata::detail::AdapterNameOf(kind)) {
        format = FindDecoder(container);
        return DecodeStatus::Ok;
    }
    const DecodeStatus sniffed = SniffFile(path, format);
    if (sniffed == DecodeStatus::FileError) return sniffed;
    if (sniffed != DecodeStatus::Ok || format == nullptr || sandbox::ModeFor(*format) != sandbox::HelperMode::Strict) {
        format = nullptr;
    }
    return DecodeStatus::Ok;
}

// Photo information through the photo helper, so that exiv2, libheif, libjxl and our
// JPEG XR reader parse sources outside this process; in this process when the helpers
// are off.
metadata::MetadataRead ReadInformationThroughHelper(metadata::detail::ContainerKind kind, const std::string& path) {
    sandbox::DecoderPool* pool = sandbox::SharedDecoderPool();
    if (pool == nullptr) return metadata::detail::ReadSourceMetadataHere(kind, path);
    metadata::MetadataRead read;
    const Decoder* format = nullptr;
    DecodeStatus status = InformationFormat(kind, path, format);
    if (status == DecodeStatus::Ok && format == nullptr) {
        read.result = {metadata::MetadataStatus::Unsupported, "reading photo information: the format holds none"};
        return read;
    }
    if (status == DecodeStatus::Ok) status = pool->ReadInformation(*format, path, read);
    if (status == DecodeStatus::FileError) {
        read.result = {metadata::MetadataStatus::Failed, "reading photo information: the file cannot be opened"};
    } else if (status != DecodeStatus::Ok) {
        read.result = {metadata::MetadataStatus::Failed, "reading photo information: the decoder helper stopped"};
    }
    return read;
}

// Every program that decodes through this file reads photo information the same way.
[[maybe_unused]] const bool kInformationReaderSet =
    (metadata::detail::SetSourceMetadataReader(&ReadInformationThroughHelper), true);

// A straight-alpha colour value laid over white, rounded as the WDP library does.
uint8_t OverWhite(uint8_t value, uint8_t alpha) {
    return static_cast<uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

}  // namespace

std::optional<bool> IsolatedWdpToBmp(const std::string& wdpPath, const std::string& bmpPath) {
    sandbox::DecoderPool* pool = sandbox::SharedDecoderPool();
    const Decoder* jxr = FindDecoder("jxr");
    if (pool == nullptr || jxr == nullptr) return std::nullopt;
    ImageInfo info;
    const DecodeStatus header = pool->ReadHeader(*jxr, wdpPath, DecodeLimits{}, info);
    if (header != DecodeStatus::Ok) return false;
    DecodedPixels decoded;
    std::string warning;
    if (pool->DecodePixels(*jxr, wdpPath, DecodeRequest{}, DecodeLimits{}, decoded, warning) != DecodeStatus::Ok) {
        return false;
    }
    wdp::BgrImage image;
    image.width = decoded.raster.width;
    image.height = decoded.raster.height;
    image.dpiX = info.dpiX;
    image.dpiY = info.dpiY;
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    try {
        image.pixels.resize(pixels * 3);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const uint8_t* from = decoded.Data();
    uint8_t* to = image.pixels.data();
    for (size_t i = 0; i < pixels; ++i, from += 4, to += 3) {
        to[0] = OverWhite(from[0], from[3]);
        to[1] = OverWhite(from[1], from[3]);
        to[2] = OverWhite(from[2], from[3]);
    }
    decoded = DecodedPixels{};
    // Written beside the BMP and renamed into place, as the WDP library does.
    const std::string temporary = wdp::TemporarySibling(bmpPath);
    if (!wdp::WriteBmp24(temporary, image)) {
        std::remove(temporary.c_str());
        return false;
    }
    return wdp::CommitTemporary(temporary, bmpPath);
}

void StartDecoderHelpers(int count) {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) pool->StartHelpers(count);
}

void EndIdleDecoderHelpers() {
    if (sandbox::DecoderPool* pool = sandbox::SharedDecoderPool()) pool->EndIdleHelpers();
}

}  // namespace tallowin::codec
