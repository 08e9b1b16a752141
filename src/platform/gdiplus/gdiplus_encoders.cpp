// The encoder list and saving: the picture is written to a temporary file beside the
// destination and renamed into place only when the encoder finished, so a failed save
// leaves no file behind and never harms a file already standing there.
#include "gdiplus_objects.h"

#include "encoder.h"
#include "file_writer.h"
#include "staged_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

const GUID EncoderPhotoInformation = {0x7a11e0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x01, 0x01}};

namespace tallowin::gdiplus {
namespace {

enum class EncoderKind { Bmp, Jpeg, Gif, Tiff, Png, Webp, Avif, Jxl };

struct EncoderEntry {
    EncoderKind kind;
    ImageCodecInfo info;
};

constexpr uint32_t kCodecEncoder = 0x1;
constexpr uint32_t kCodecSupportBitmap = 0x4;
constexpr uint32_t kCodecBuiltin = 0x10000;
constexpr uint32_t kFlags = kCodecEncoder | kCodecSupportBitmap | kCodecBuiltin;

// The class ids and format ids the desktop API publishes for its built-in encoders,
// so callers that hard-code them keep working.
const EncoderEntry kEncoders[] = {
    {EncoderKind::Bmp,
     {{0x557cf400, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      {0xb96b3cab, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      u"Built-in BMP Codec", nullptr, u"BMP", u"*.BMP;*.DIB;*.RLE", u"image/bmp", kFlags, 1, 0, 0, nullptr, nullptr}},
    {EncoderKind::Jpeg,
     {{0x557cf401, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      {0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      u"Built-in JPEG Codec", nullptr, u"JPEG", u"*.JPG;*.JPEG;*.JPE;*.JFIF", u"image/jpeg", kFlags, 1, 0, 0,
      nullptr, nullptr}},
    {EncoderKind::Gif,
     {{0x557cf402, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      {0xb96b3cb0, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      u"Built-in GIF Codec", nullptr, u"GIF", u"*.GIF", u"image/gif", kFlags, 1, 0, 0, nullptr, nullptr}},
    {EncoderKind::Tiff,
     {{0x557cf405, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      {0xb96b3cb1, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      u"Built-in TIFF Codec", nullptr, u"TIFF", u"*.TIF;*.TIFF", u"image/tiff", kFlags, 1, 0, 0, nullptr, nullptr}},
    {EncoderKind::Png,
     {{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      {0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}},
      u"Built-in PNG Codec", nullptr, u"PNG", u"*.PNG", u"image/png", kFlags, 1, 0, 0, nullptr, nullptr}},
    // Formats the desktop API has no built-in encoder for: ids of our own.
    {EncoderKind::Webp,
     {{0x7a11c0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x01}},
      {0x7a11f0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x01}},
      u"WebP Codec", nullptr, u"WEBP", u"*.WEBP", u"image/webp", kFlags, 1, 0, 0, nullptr, nullptr}},
    {EncoderKind::Avif,
     {{0x7a11c0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x02}},
      {0x7a11f0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x02}},
      u"AVIF Codec", nullptr, u"AVIF", u"*.AVIF", u"image/avif", kFlags, 1, 0, 0, nullptr, nullptr}},
    {EncoderKind::Jxl,
     {{0x7a11c0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x03}},
      {0x7a11f0d1, 0x3e5b, 0x4f0a, {0x9b, 0x21, 0x54, 0x61, 0x6c, 0x77, 0x00, 0x03}},
      u"JPEG XL Codec", nullptr, u"JXL", u"*.JXL", u"image/jxl", kFlags, 1, 0, 0, nullptr, nullptr}},
};
constexpr UINT kEncoderCount = sizeof kEncoders / sizeof kEncoders[0];

// JPEG quality when the caller passes none.
constexpr int kDefaultJpegQuality = 75;

GpStatus StatusFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return AccessDenied;
    case ENOENT:
    case ENOTDIR: return FileNotFound;
    case ENOMEM: return OutOfMemory;
    default: return Win32Error;
    }
}

GpStatus StatusFromEncode(codec::EncodeStatus status)
{
    switch (status) {
    case codec::EncodeStatus::Ok: return Ok;
    case codec::EncodeStatus::WriteError: return Win32Error;
    case codec::EncodeStatus::OutOfMemory: return OutOfMemory;
    case codec::EncodeStatus::Unsupported: return ValueOverflow;
    }
    return GenericError;
}

// Runs `encode` on a staged file beside the destination and renames it over the
// destination once every byte reached the disk; on any failure the staged file is
// removed and the destination is left as it was.
GpStatus WriteAtomically(const std::string& destination, const std::function<codec::EncodeStatus(std::FILE*)>& encode)
{
    if (std::filesystem::path(destination).filename().empty()) {
        return InvalidParameter;
    }
    tallowin::plumbing::StagedFile staged(destination);
    std::FILE* file = staged.CreateStream();
    if (file == nullptr) {
        return StatusFromErrno(staged.Error());
    }
    GpStatus status = StatusFromEncode(encode(file));
    if (!tallowin::plumbing::CloseStream(file) && status == Ok) {
        status = Win32Error;
    }
    if (status != Ok) {
        return status;
    }
    return staged.Commit() ? Ok : StatusFromErrno(staged.Error());
}

const EncoderEntry* FindEncoder(const CLSID& clsid)
{
    for (const EncoderEntry& entry : kEncoders) {
        if (entry.info.Clsid == clsid) {
            return &entry;
        }
    }
    return nullptr;
}

// The quality among the parameters (the only one that is read), or the default.
GpStatus ReadQuality(const EncoderParameters* parameters, int& quality)
{
    quality = kDefaultJpegQuality;
    if (parameters == nullptr) {
        return Ok;
    }
    const EncoderParameter* list = parameters->Parameter;
    for (UINT i = 0; i < parameters->Count; ++i) {
        if (!(list[i].Guid == EncoderQuality)) {
            continue;
        }
        if (list[i].NumberOfValues < 1 || list[i].Type != EncoderParameterValueTypeLong || list[i].Value == nullptr) {
            return InvalidParameter;
        }
        const auto value = *static_cast<const ULONG*>(list[i].Value);
        if (value > 100) {
            return InvalidParameter;
        }
        quality = static_cast<int>(value);
    }
    return Ok;
}

// The photo information among the parameters, or nullptr.
GpStatus ReadPhotoInformation(const EncoderParameters* parameters,
                              const tallowin::metadata::PhotoMetadata*& information)
{
    information = nullptr;
    if (parameters == nullptr) {
        return Ok;
    }
    const EncoderParameter* list = parameters->Parameter;
    for (UINT i = 0; i < parameters->Count; ++i) {
        if (!(list[i].Guid == EncoderPhotoInformation)) {
            continue;
        }
        if (list[i].NumberOfValues != 1 || list[i].Type != EncoderParameterValueTypePointer) {
            return InvalidParameter;
        }
        information = static_cast<const tallowin::metadata::PhotoMetadata*>(list[i].Value);
    }
    return Ok;
}

}  // namespace
}  // namespace tallowin::gdiplus

using namespace tallowin::gdiplus;

GpStatus GdipGetImageEncodersSize(UINT* numEncoders, UINT* size)
{
    if (numEncoders == nullptr || size == nullptr) {
        return InvalidParameter;
    }
    *numEncoders = kEncoderCount;
    *size = kEncoderCount * sizeof(ImageCodecInfo);
    return Ok;
}

GpStatus GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders)
{
    if (encoders == nullptr || numEncoders != kEncoderCount || size < kEncoderCount * sizeof(ImageCodecInfo)) {
        return InvalidParameter;
    }
    // The strings are static: they stay valid after the caller's buffer is gone.
    for (UINT i = 0; i < kEncoderCount; ++i) {
        encoders[i] = kEncoders[i].info;
    }
    return Ok;
}

GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                             const EncoderParameters* encoderParams)
{
    if (image == nullptr || filename == nullptr || clsidEncoder == nullptr) {
        return InvalidParameter;
    }
    const EncoderEntry* encoder = FindEncoder(*clsidEncoder);
    if (encoder == nullptr) {
        return InvalidParameter;
    }
    int quality = 0;
    GpStatus status = ReadQuality(encoderParams, quality);
    if (status != Ok) {
        return status;
    }
    const tallowin::metadata::PhotoMetadata* information = nullptr;
    status = ReadPhotoInformation(encoderParams, information);
    if (status != Ok) {
        return status;
    }
    const std::string path = PathFromWide(filename);
    if (path.empty()) {
        return InvalidParameter;
    }
    ImageObject& self = *Internal(image);
    status = EnsurePixels(self, 0, 0);
    if (status != Ok) {
        return status;
    }
    const PixelBuffer& pixels = self.pixels;
    tallowin::codec::EncodeSource source;
    source.width = pixels.width;
    source.height = pixels.height;
    source.bytesPerPixel = pixels.bytesPerPixel;
    source.stride = pixels.stride;
    source.data = pixels.data;
    source.hasAlpha = self.hasAlpha && pixels.bytesPerPixel == 4;
    source.dpiX = self.dpiX;
    source.dpiY = self.dpiY;
    source.information = information;
    return WriteAtomically(path, [&](std::FILE* file) {
        switch (encoder->kind) {
        case EncoderKind::Bmp: return tallowin::codec::WriteBmp(source, file);
        case EncoderKind::Jpeg: return tallowin::codec::WriteJpeg(source, quality, file);
        case EncoderKind::Gif: return tallowin::codec::WriteGif(source, file);
        case EncoderKind::Tiff: return tallowin::codec::WriteTiff(source, file);
        case EncoderKind::Png: return tallowin::codec::WritePng(source, file);
        case EncoderKind::Webp: return tallowin::codec::WriteWebp(source, quality, file);
        case EncoderKind::Avif: return tallowin::codec::WriteAvif(source, quality, file);
        case EncoderKind::Jxl: return tallowin::codec::WriteJxl(source, quality, file);
        }
        return tallowin::codec::EncodeStatus::Unsupported;
    });
}
