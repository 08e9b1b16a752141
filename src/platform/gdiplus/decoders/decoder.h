#pragma once
// Decoders of the codec service, one adapter file per library. Each format offers a
// header read (size and resolution only, cheap) and a pixel decode into a 32-bit
// BGRA raster with straight alpha. The format is chosen by content, never by name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::codec {

enum class ImageFormat { Unknown, Bmp, Png, Jpeg, Tiff, Gif, Ico, Wmf, Emf };

// Outcome of a header read or a decode.
enum class DecodeStatus {
    Ok,          // the whole picture decoded
    Partial,     // a usable picture with missing parts (truncated file); see the warning
    NotAnImage,  // the bytes are not a picture this decoder understands, or are damaged beyond use
    OverLimit,   // a valid picture larger than kMaxSide / kMaxPixels: nothing was allocated
    FileError,   // the file could not be opened or read
    OutOfMemory, // an allocation within the limits failed
    Stopped,     // the decoder process ended or overran its limits: the file may be damaged or hostile
};

// Limits applied before any allocation, by us and by every library.
constexpr int64_t kMaxSide = 1'000'000;          // pixels, either side
constexpr int64_t kMaxPixels = 500'000'000;      // width x height

struct ImageInfo {
    int32_t width = 0;       // as the picture is meant to be seen (EXIF orientation applied)
    int32_t height = 0;
    float dpiX = 96.0f;      // 96 where the file gives none
    float dpiY = 96.0f;
    bool hasAlpha = false;
};

// 32-bit pixels, bytes B, G, R, A in memory, straight (not premultiplied) alpha, top-down.
struct Raster {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 4 bytes, stride width * 4
    uint8_t* Row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * width * 4; }
    const uint8_t* Row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * width * 4; }
};

// What the caller will draw the picture at. A decoder may return a smaller raster than
// the header's size (JPEG DCT scaling) but never smaller than this in either direction;
// 0 means full size.
struct DecodeRequest {
    int32_t minWidth = 0;
    int32_t minHeight = 0;
};

// How many leading bytes SniffFormat needs to tell every format apart (EMF's
// signature sits at offset 40).
constexpr size_t kSniffBytes = 64;

// Looks at the first bytes of a file (up to kSniffBytes; fewer when the file is shorter).
ImageFormat SniffFormat(const uint8_t* head, size_t size);

// Reads the first kSniffBytes of a file and sniffs them. FileError when the file
// cannot be opened or read, NotAnImage when no format matches, otherwise Ok.
DecodeStatus SniffFile(const std::string& path, ImageFormat& format);

// True when width and height are within the limits and width * height * 4 cannot overflow.
bool WithinLimits(int64_t width, int64_t height);

// Dispatch to the format's adapter.
DecodeStatus ReadHeader(ImageFormat format, const std::string& path, ImageInfo& info);
DecodeStatus DecodePixels(ImageFormat format, const std::string& path, const DecodeRequest& request,
                          Raster& out, std::string& warning);

// The adapters (one .cpp each).
DecodeStatus BmpReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus BmpDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus PngReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus PngDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus JpegReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus JpegDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus TiffReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus TiffDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus GifReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus GifDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus IcoReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus IcoDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus WmfReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus WmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);
DecodeStatus EmfReadHeader(const std::string& path, ImageInfo& info);
DecodeStatus EmfDecode(const std::string& path, const DecodeRequest& request, Raster& out, std::string& warning);

}  // namespace tallowin::codec
