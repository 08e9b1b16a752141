#pragma once
// Decoders of the codec service. Each format is one adapter (one .cpp per library)
// that tells whether a file's first bytes are its own, reads the header (size and
// resolution only, cheap) and decodes the pixels into a 32-bit BGRA raster with
// straight alpha. The adapters are listed once, in decoder_list.inc; the format is
// chosen by content, never by name.

#include "dib_layout.h"
#include "pixel_memory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::codec {

// Outcome of a header read or a decode.
enum class DecodeStatus {
    Ok,          // the whole picture decoded
    Partial,     // a usable picture with missing parts (damaged or truncated file); see the warning
    NotAnImage,  // the bytes are not a picture this decoder understands, or are damaged beyond use
    OverLimit,   // a valid picture beyond the limits of the decode: nothing large was allocated
    FileError,   // the file could not be opened or read
    OutOfMemory, // an allocation within the limits failed
    Stopped,     // the decoder process ended or overran its limits: the file may be damaged or hostile
};

// What one decode may cost, checked before anything is allocated, by us and by every
// library. The caller sets them once (the codec service keeps one value) and every
// adapter receives them. The side and pixel caps are the raster core's, so a picture
// the codec admits is one the core can hold.
struct DecodeLimits {
    int64_t maxSide = imaging::kMaxImageSide;      // pixels, either side
    int64_t maxPixels = imaging::kMaxImagePixels;  // width x height
    // Working memory a library may take besides the output raster (JPEG coefficient
    // arrays of progressive files, TIFF strip buffers, run-length index planes).
    uint64_t maxWorkingBytes = 256ull * 1024 * 1024;

    // True when width and height are positive, within the caps, and width * height * 4
    // cannot overflow.
    bool Admits(int64_t width, int64_t height) const;
};

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
    PixelBytes pixels;  // width * height * 4 bytes, stride width * 4
    uint8_t* Row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * width * 4; }
    const uint8_t* Row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * width * 4; }
};

// What the caller will draw the picture at. A decoder may return a smaller raster than
// the header's size (JPEG DCT scaling) but never smaller than this in either direction;
// 0 means full size.
struct DecodeRequest {
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    // Convert from the file's embedded colour profile to sRGB after decoding. The
    // adapters ignore it; the codec service's decode (isolated_decode.h) applies it.
    bool toSrgb = false;
    // The caller reads the pixels only to resample them into memory of its own. A
    // helper's pixels may then be lent straight from its pixel window instead of copied
    // out (DecodedPixels::lent). Decoding in this process ignores it.
    bool forResamplingOnly = false;
};

// How strongly a file's first bytes point at a format.
enum class SniffMatch {
    No,         // not this format
    Heuristic,  // plausible header fields without a signature (bare DIB, icon, standard metafile)
    Signature,  // the format's own magic bytes
};

// One format's adapter. Adapters hold no state: one instance serves every thread.
class Decoder {
public:
    virtual ~Decoder() = default;
    // Short lower-case name ("png"), unique among the adapters.
    virtual const char* Name() const = 0;
    // Looks at up to kSniffBytes leading bytes (fewer when the file is shorter).
    virtual SniffMatch Sniff(const uint8_t* head, size_t size) const = 0;
    virtual DecodeStatus ReadHeader(const std::string& path, const DecodeLimits& limits, ImageInfo& info) const = 0;
    virtual DecodeStatus Decode(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                                Raster& out, std::string& warning) const = 0;
};

// How many leading bytes sniffing needs to tell every format apart (EMF's signature
// sits at offset 40; a camera RAW in TIFF form is told from a plain TIFF by the tags
// of its first directory, which cameras write near the start).
constexpr size_t kSniffBytes = 4096;

// The adapter for a file's first bytes: the first adapter (in list order) whose
// signature matches, else the first whose header fields look plausible, else null.
const Decoder* SniffFormat(const uint8_t* head, size_t size);

// Reads the first kSniffBytes of a file and sniffs them. FileError when the file
// cannot be opened or read, NotAnImage when no format matches, otherwise Ok.
DecodeStatus SniffFile(const std::string& path, const Decoder*& format);

// The adapter of that name, or null.
const Decoder* FindDecoder(const std::string& name);

// Every adapter, in sniffing order.
const std::vector<const Decoder*>& AllDecoders();

// Every adapter but the metafiles (which draw with Qt) and HEIF and JPEG XL (whose
// libraries are slow to load), in the same order; linking it instead of AllDecoders()
// keeps those libraries out of a program.
const std::vector<const Decoder*>& QuickPhotoDecoders();

// The HEIF and JPEG XL adapters, in the same order.
const std::vector<const Decoder*>& HeifJxlDecoders();

// WithinLimits under the default limits; for code that has no limits of its own to hand.
bool WithinLimits(int64_t width, int64_t height);

// The adapter's calls, with the contract every caller relies on: the info is reset
// first, and a failed decode never hands back a half-filled raster.
DecodeStatus ReadHeader(const Decoder& format, const std::string& path, const DecodeLimits& limits, ImageInfo& info);
DecodeStatus DecodePixels(const Decoder& format, const std::string& path, const DecodeRequest& request,
                          const DecodeLimits& limits, Raster& out, std::string& warning);

}  // namespace tallowin::codec
