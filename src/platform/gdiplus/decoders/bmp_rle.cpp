#include "bmp_rle.h"

#include <cstring>

namespace tallowin::codec::detail {

namespace {

enum : uint8_t { kRleEscape = 0 };
enum : uint8_t { kRleEndOfLine = 0, kRleEndOfBitmap = 1, kRleDelta = 2 };

class RleWriter {
public:
    RleWriter(Raster& out, const uint8_t* palette) : out_(out), palette_(palette) {}

    bool Done() const { return y_ >= out_.height; }
    int32_t Row() const { return y_; }

    void Put(uint8_t index) {
        if (x_ < out_.width && y_ < out_.height) {
            uint8_t* dst = out_.Row(out_.height - 1 - y_) + static_cast<size_t>(x_) * 4;
            std::memcpy(dst, palette_ + static_cast<size_t>(index) * 4, 4);
        }
        ++x_;
    }
    void EndOfLine() {
        x_ = 0;
        ++y_;
    }
    void Move(int32_t dx, int32_t dy) {
        x_ += dx;
        y_ += dy;
    }

private:
    Raster& out_;
    const uint8_t* palette_;
    int32_t x_ = 0;
    int32_t y_ = 0;
};

}  // namespace

RleResult DecodeRle(const uint8_t* data, size_t size, bool fourBit, const uint8_t* palette, Raster& out) {
    RleWriter writer(out, palette);
    RleResult result;
    size_t pos = 0;
    while (!writer.Done()) {
        if (size - pos < 2) break;
        const uint8_t count = data[pos];
        const uint8_t value = data[pos + 1];
        pos += 2;
        if (count != kRleEscape) {
            for (int i = 0; i < count; ++i) {
                if (fourBit) writer.Put(i % 2 == 0 ? value >> 4 : value & 0x0F);
                else writer.Put(value);
            }
            continue;
        }
        if (value == kRleEndOfLine) {
            writer.EndOfLine();
        } else if (value == kRleEndOfBitmap) {
            result.reachedEnd = true;
            break;
        } else if (value == kRleDelta) {
            if (size - pos < 2) break;
            writer.Move(data[pos], data[pos + 1]);
            pos += 2;
        } else {
            // Absolute mode: `value` literal pixels, padded to a 16-bit boundary.
            const size_t bytes = fourBit ? (value + 1u) / 2 : value;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (size - pos < bytes) break;
            for (int i = 0; i < value; ++i) {
                if (fourBit) {
                    const uint8_t pair = data[pos + i / 2];
                    writer.Put(i % 2 == 0 ? pair >> 4 : pair & 0x0F);
                } else {
                    writer.Put(data[pos + i]);
                }
            }
            pos += size - pos < padded ? size - pos : padded;
        }
    }
    if (writer.Done()) result.reachedEnd = true;
    result.rowsDone = writer.Row() < out.height ? writer.Row() : out.height;
    return result;
}

}  // namespace tallowin::codec::detail
