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

    // The whole picture as BGRA (opaque when the file has no alpha) into `out`, sized
    // Width() x Height() by the caller. False on a filter type PNG does not define.
    bool ReadAll(Raster& out);
    // The same one row at a time, for a caller that takes each row as it comes: the next
    // row, valid until the next call; null after the last row, on an undefined filter
    // type or when memory runs short. Not to be mixed with ReadAll.
    const uint8_t* NextRow();

private:
    bool ReadChunks(std::vector<uint8_t>& file, size_t& idatBytes);
    bool Inflate(const uint8_t* data, size_t size);
    // The next two rows into `first` and `second` (just the one into `first` when it is
    // the last), `priorBgra` being the row before them; two Paeth rows are unfiltered
    // side by side. The rows read, 0 on an undefined filter type.
    int ReadRows(uint8_t* first, uint8_t* second, const uint8_t* priorBgra);

    int32_t width_ = 0;
    int32_t height_ = 0;
    int bytesPerPixel_ = 0;
    size_t rowBytes_ = 0;
    std::unique_ptr<uint8_t[]> rows_;  // filter byte and row, height times, then kSlack bytes
    int32_t next_ = 0;                 // the next row to unfilter
    // NextRow's three rows in turn: two read together, after the one given out last.
    std::vector<uint8_t> turn_;
    int last_ = -1;
    int waiting_ = -1;                 // the second row of a pair, not given out yet
};

// The decode through libpng alone, as every file PngDirect leaves is read (defined with
// the PNG adapter); the tests hold the two readers to the same pixels.
DecodeStatus PngDecodeThroughLibpng(const std::string& path, const DecodeRequest& request, const DecodeLimits& limits,
                                    Raster& out);

}  // namespace tallowin::codec::detail
