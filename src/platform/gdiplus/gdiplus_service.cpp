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
    out.mapped.reset();
    out.lent = false;
    out.owned = std::move(raster.pixels);
    out.width = raster.width;
    out.height = raster.height;
    out.bytesPerPixel = 4;
    out.stride = static_cast<int64_t>(raster.width) * 4;
    out.data = out.owned.data();
}

void AdoptPixels(codec::DecodedPixels&& decoded, PixelBuffer& out)
{
    if (!decoded.mapped) {
        AdoptRaster(std::move(decoded.raster), out);
        return;
    }
    out.owned = codec::PixelBytes();
    out.mapped = std::move(decoded.mapped);
    out.lent = decoded.lent;
    out.width = decoded.raster.width;
    out.height = decoded.raster.height;
    out.bytesPerPixel = 4;
    out.stride = static_cast<int64_t>(decoded.raster.width) * 4;
    out.data = out.mapped.get();
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

namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;  // + a byte of 0x80..0xFF that is no UTF-8

// The length of the valid UTF-8 sequence at `p` (1..4) and its code point, or 0 when
// the bytes there are no valid UTF-8 (overlong forms, encoded surrogates and code points
// past U+10FFFF included).
size_t DecodeUtf8(const unsigned char* p, size_t left, char32_t& code)
{
    const unsigned char lead = p[0];
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (length > left) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string PathFromWide(const WCHAR* path)
{
    std::string out;
    if (path == nullptr) {
        return out;
    }
    for (size_t i = 0; path[i] != 0; ++i) {
        const char16_t unit = path[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(path[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
            out += static_cast<char>(unit - kEscapedByteBase);  // a byte that was no UTF-8
        } else {
            AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : char32_t(unit));
        }
    }
    return out;
}

}  // namespace tallowin::gdiplus

std::string GdipExtNarrowPath(const WCHAR* path) { return tallowin::gdiplus::PathFromWide(path); }

std::u16string GdipExtWidePath(const std::string& path)
{
    std::u16string out;
    out.reserve(path.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    for (size_t i = 0; i < path.size();) {
        char32_t code = 0;
        const size_t length = tallowin::gdiplus::DecodeUtf8(bytes + i, path.size() - i, code);
        if (length == 0) {
            out += static_cast<char16_t>(tallowin::gdiplus::kEscapedByteBase + bytes[i]);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}
