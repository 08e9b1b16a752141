#pragma once
// The plain PNG most photos are saved as (8-bit RGB or RGBA, not interlaced, no
// transparency chunk) read without libpng: the chunks are checked and the image data is
// inflated in one call to libdeflate, several times faster than zlib's stream, and the
// rows are unfiltered with SSE2. Anything else, and any file that is not well formed to
// its end, is left to libpng, which also gives the reason a file is refused; so this
// reader only ever agrees with libpng's.

#include "decoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tallowin::codec::detail {

class PngDirect {
public:
    // Reads, checks and inflates the file. False when it is not a plain, well-formed
    // PNG within `limits` (its inflated rows counted against the working memory).
    bool Open(const std::string& path, const DecodeLimits& limits);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool HasAlpha() const { return bytesPerPixel_ == 4; }

    // Unfilters the next row and writes it as BGRA, opaque when the file has no alpha.
    // `priorBgra` is the row the previous call wrote (null for the first), still intact.
    // False on a filter type PNG does not define.
    bool ReadRow(uint8_t* bgra, const uint8_t* priorBgra);
    // The next two rows, into `first` and `second` (just the one into `first` when it is
    // the last), faster than one at a time. The rows read, 0 on an undefined filter type.
    int ReadRows(uint8_t* first, uint8_t* second, const uint8_t* priorBgra);

private:
    bool ReadChunks(std::vector<uint8_t>& file, size_t& idatBytes);
    bool Inflate(const uint8_t* data, size_t size);

    int32_t width_ = 0;
    int32_t height_ = 0;
    int bytesPerPixel_ = 0;
    size_t rowBytes_ = 0;
    std::unique_ptr<uint8_t[]> rows_;  // filter byte and row, height times, then kSlack bytes
    int32_t next_ = 0;
};

// The decode through libpng alone, as every file PngDirect leaves is read (defined with
// the PNG adapter); the tests hold the two readers to the same pixels.
DecodeStatus PngDecodeThroughLibpng(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                                    Raster& out);

}  // namespace tallowin::codec::detail
