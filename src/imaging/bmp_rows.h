#pragma once
// Row-level pieces of BMP decoding, shared by every BMP reader in the project:
// the run-length decoders (8-bit and 4-bit) and the conversion of 16- and 32-bit
// bit-field rows to 24-bit blue, green, red rows.
//
// Decoders write into a block of bottom-up rows (row 0 first) that the caller has
// already filled (zero for black); every write is clamped to the row it belongs
// to, and a move to a row outside the block keeps the current row.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tallowin::imaging {

// A block of stored rows.
struct RowSpan {
    uint8_t* rows = nullptr;
    uint32_t stride = 0;  // bytes per row
    uint32_t height = 0;  // rows in the block
};

// The current row of a run-length decode: moving to a row outside the block
// leaves the cursor where it was.
class RowCursor {
public:
    explicit RowCursor(const RowSpan& span) : span_(span), row_(0), address_(span.rows) {}

    void MoveTo(uint64_t row)
    {
        if (row >= span_.height) return;
        row_ = static_cast<uint32_t>(row);
        address_ = span_.rows + static_cast<size_t>(row_) * span_.stride;
    }
    uint32_t Row() const { return row_; }
    uint32_t Stride() const { return span_.stride; }
    bool Valid() const { return address_ != nullptr && span_.height != 0; }

    // Writes one byte at `offset` of the current row; offsets past the row are dropped.
    void PutByte(uint64_t offset, uint8_t value)
    {
        if (Valid() && offset < span_.stride) address_[offset] = value;
    }
    // Writes one 4-bit pixel at pixel `position` (even positions in the high nibble).
    void PutNibble(uint64_t position, uint8_t value)
    {
        const uint64_t offset = position / 2;
        if (!Valid() || offset >= span_.stride) return;
        const int shift = (position % 2 == 0) ? 4 : 0;
        address_[offset] = static_cast<uint8_t>((address_[offset] & ~(0x0F << shift)) | ((value & 0x0F) << shift));
    }

private:
    RowSpan span_;
    uint32_t row_;
    uint8_t* address_;
};

// Escape codes that follow a zero count byte.
enum : int { kRleEndOfLine = 0, kRleEndOfBitmap = 1, kRleDelta = 2 };

enum class RleEnd {
    EndOfBitmap,  ///< the stream's end-of-bitmap code was reached
    EndOfData,    ///< the data ran out first; the rows keep what was decoded
};

// Byte sources for the decoders: Next() gives 0..255, or -1 at the end.
class MemoryByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int Next() { return position_ < size_ ? data_[position_++] : -1; }
    size_t Position() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

class FileByteSource {
public:
    explicit FileByteSource(FILE* file) : file_(file) {}
    int Next()
    {
        const int c = std::getc(file_);
        return c == EOF ? -1 : c;
    }

private:
    FILE* file_;
};

// Run-length decoding of BI_RLE8 (kFourBit false: one byte per pixel) and BI_RLE4
// (kFourBit true). Positions count pixels; in 4-bit data the n-th pixel of a run takes
// the high nibble of its data byte for even n and the low nibble for odd n, wherever
// in the row the run starts.
template <bool kFourBit, class Source>
RleEnd DecodeRle(Source& source, const RowSpan& span)
{
    RowCursor cursor(span);
    uint64_t x = 0;
    const uint64_t limit = (kFourBit ? 2ull : 1ull) * span.stride;  // x saturates here: nothing beyond is written
    auto put = [&cursor](uint64_t position, int value, int n) {
        if constexpr (kFourBit) {
            cursor.PutNibble(position, static_cast<uint8_t>(n % 2 == 0 ? value >> 4 : value & 0x0F));
        } else {
            cursor.PutByte(position, static_cast<uint8_t>(value));
        }
    };
    for (;;) {
        const int count = source.Next();
        if (count < 0) return RleEnd::EndOfData;
        if (count > 0) {
            const int value = source.Next();
            if (value < 0) return RleEnd::EndOfData;
            for (int i = 0; i < count; ++i) put(x + i, value, i);
            x = std::min(x + count, limit);
            continue;
        }
        const int code = source.Next();
        if (code < 0) return RleEnd::EndOfData;
        if (code == kRleEndOfLine) {
            x = 0;
            cursor.MoveTo(static_cast<uint64_t>(cursor.Row()) + 1);
        } else if (code == kRleEndOfBitmap) {
            return RleEnd::EndOfBitmap;
        } else if (code == kRleDelta) {
            const int dx = source.Next();
            const int dy = source.Next();
            if (dx < 0 || dy < 0) return RleEnd::EndOfData;
            x = std::min(x + dx, limit);
            cursor.MoveTo(static_cast<uint64_t>(cursor.Row()) + dy);
        } else {
            // Absolute mode: `code` literal pixels, padded to a whole number of words.
            const int dataBytes = kFourBit ? (code + 1) / 2 : code;
            int value = 0;
            for (int i = 0; i < code; ++i) {
                if (!kFourBit || i % 2 == 0) {
                    value = source.Next();
                    if (value < 0) return RleEnd::EndOfData;
                }
                put(x + i, value, i);
            }
            if (dataBytes % 2 != 0 && source.Next() < 0) return RleEnd::EndOfData;  // word-alignment filler
            x = std::min(x + code, limit);
        }
    }
}

template <class Source>
RleEnd DecodeRle8(Source& source, const RowSpan& span) { return DecodeRle<false>(source, span); }

template <class Source>
RleEnd DecodeRle4(Source& source, const RowSpan& span) { return DecodeRle<true>(source, span); }

// Channel masks of a 16- or 32-bit pixel.
struct BitFieldMasks {
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
};

// The masks used when a file gives none: 5-5-5 for 16 bits, bytes 2, 1, 0 for 32 bits.
BitFieldMasks DefaultBitFieldMasks(uint32_t bitsPerPixel);

// Converts one row of `width` little-endian 16- or 32-bit pixels into blue, green,
// red bytes. Each channel is scaled from its mask's width to 0..255 with rounding;
// an empty mask gives 0. `source` holds at least width × bitsPerPixel / 8 bytes,
// `target` at least 3 × width.
void ConvertBitFieldRow(const uint8_t* source, uint32_t bitsPerPixel, uint32_t width,
                        const BitFieldMasks& masks, uint8_t* target);

}  // namespace tallowin::imaging
