// Start-up, statuses, identifiers and the pixel buffers every other part shares.
#include "gdiplus_objects.h"

#include <QString>

#include <atomic>
#include <cstring>
#include <new>

const GUID EncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

bool operator==(const GUID& a, const GUID& b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3
        && std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace {
std::atomic<ULONG_PTR> g_nextToken{1};
}

GpStatus GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output)
{
    if (token == nullptr || input == nullptr) {
        return InvalidParameter;
    }
    if (input->GdiplusVersion != 1) {
        return UnsupportedGdiplusVersion;
    }
    if (output != nullptr) {
        *output = GdiplusStartupOutput{};
    }
    // Nothing to set up: the libraries need no global state. The token only pairs the calls.
    *token = g_nextToken.fetch_add(1);
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {}

const char* GdipExtStatusText(GpStatus status)
{
    switch (status) {
    case Ok: return "ok";
    case GenericError: return "generic error";
    case InvalidParameter: return "invalid parameter";
    case OutOfMemory: return "out of memory";
    case ObjectBusy: return "object busy";
    case InsufficientBuffer: return "buffer too small";
    case NotImplemented: return "not implemented";
    case Win32Error: return "file error";
    case WrongState: return "wrong state";
    case Aborted: return "aborted";
    case FileNotFound: return "file not found";
    case ValueOverflow: return "over the size limit";
    case AccessDenied: return "access denied";
    case UnknownImageFormat: return "not an image";
    case FontFamilyNotFound: return "font family not found";
    case FontStyleNotFound: return "font style not found";
    case NotTrueTypeFont: return "not a TrueType font";
    case UnsupportedGdiplusVersion: return "unsupported version";
    case GdiplusNotInitialized: return "not initialised";
    case PropertyNotFound: return "property not found";
    case PropertyNotSupported: return "property not supported";
    case DecoderStopped: return "the decoder stopped: the file may be damaged or hostile";
    }
    return "unknown status";
}

const char* GdipExtDecodeWarning(GpImage* image)
{
    if (image == nullptr || tallowin::gdiplus::Internal(image)->decodeWarning.empty()) {
        return nullptr;
    }
    return tallowin::gdiplus::Internal(image)->decodeWarning.c_str();
}

namespace tallowin::gdiplus {

const codec::DecodeLimits& ServiceLimits()
{
    static const codec::DecodeLimits limits;
    return limits;
}

int64_t StrideFor(int32_t width, int bytesPerPixel)
{
    if (width <= 0 || width > ServiceLimits().maxSide) {
        return -1;
    }
    const int64_t bytes = static_cast<int64_t>(width) * bytesPerPixel;
    return bytesPerPixel == 3 ? (bytes + 3) / 4 * 4 : bytes;
}

GpStatus AllocatePixels(int32_t width, int32_t height, int bytesPerPixel, PixelBuffer& out)
{
    if (width <= 0 || height <= 0) {
        return InvalidParameter;
    }
    if (!ServiceLimits().Admits(width, height)) {
        return ValueOverflow;
    }
    const int64_t stride = StrideFor(width, bytesPerPixel);
    if (stride < 0) {
        return ValueOverflow;
    }
    PixelBuffer buffer;
    try {
        buffer.owned.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    buffer.width = width;
    buffer.height = height;
    buffer.bytesPerPixel = bytesPerPixel;
    buffer.stride = stride;
    buffer.data = buffer.owned.data();
    out = std::move(buffer);
    return Ok;
}

void AdoptRaster(codec::Raster&& raster, PixelBuffer& out)
{
    out.owned = std::move(raster.pixels);
    out.width = raster.width;
    out.height = raster.height;
    out.bytesPerPixel = 4;
    out.stride = static_cast<int64_t>(raster.width) * 4;
    out.data = out.owned.data();
}

GpStatus StatusFromDecode(codec::DecodeStatus status)
{
    switch (status) {
    case codec::DecodeStatus::Ok:
    case codec::DecodeStatus::Partial: return Ok;
    case codec::DecodeStatus::NotAnImage: return UnknownImageFormat;
    case codec::DecodeStatus::OverLimit: return ValueOverflow;
    case codec::DecodeStatus::FileError: return Win32Error;
    case codec::DecodeStatus::OutOfMemory: return OutOfMemory;
    case codec::DecodeStatus::Stopped: return DecoderStopped;
    }
    return GenericError;
}

std::string PathFromWide(const WCHAR* path)
{
    if (path == nullptr) {
        return {};
    }
    return QString::fromUtf16(path).toStdString();
}

}  // namespace tallowin::gdiplus
