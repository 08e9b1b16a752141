// TIFF's LZW: the dictionary is a small open-addressing hash table (64 KiB, cleared with
// each clear code) and the codes go through a 64-bit bit accumulator, four bytes at a time.
#include "tiff_lzw.h"

#include <algorithm>
#include <cstring>

namespace tallowin::codec {
namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEndOfInformation = 257;
constexpr uint32_t kFirstFree = 258;
constexpr int kMinBits = 9;
// The table is full (and cleared) when the next free code would be 4094, as in libtiff:
// readers that follow the original decoder's early width change need 4095 left unused.
constexpr uint32_t kFullAt = 4094;

// Codes most significant bit first.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : begin_(out), out_(out) {}

    void Put(uint32_t code, int bits)
    {
        accumulator_ = (accumulator_ << bits) | code;
        filled_ += bits;
        if (filled_ >= 32) {
            filled_ -= 32;
            const auto word = static_cast<uint32_t>(accumulator_ >> filled_);
            out_[0] = static_cast<uint8_t>(word >> 24);
            out_[1] = static_cast<uint8_t>(word >> 16);
            out_[2] = static_cast<uint8_t>(word >> 8);
            out_[3] = static_cast<uint8_t>(word);
            out_ += 4;
        }
    }

    // Pads the last byte with zero bits; returns the bytes written.
    size_t Finish()
    {
        while (filled_ >= 8) {
            filled_ -= 8;
            *out_++ = static_cast<uint8_t>(accumulator_ >> filled_);
        }
        if (filled_ > 0) {
            *out_++ = static_cast<uint8_t>(accumulator_ << (8 - filled_));
            filled_ = 0;
        }
        return static_cast<size_t>(out_ - begin_);
    }

private:
    uint8_t* begin_;
    uint8_t* out_;
    uint64_t accumulator_ = 0;
    int filled_ = 0;
};

}  // namespace

size_t TiffLzwEncoder::Bound(size_t size)
{
    // At most one code per input byte, a clear code per full table (which takes more than
    // 3,800 codes) plus the first one, the last code and end of information; 12 bits each.
    const size_t codes = size + size / 1024 + 4;
    return (codes * 12 + 7) / 8 + 4;
}

size_t TiffLzwEncoder::Encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    const size_t bound = Bound(size);
    if (out.size() < bound) {
        out.resize(bound);
    }
    BitWriter writer(out.data());
    int bits = kMinBits;
    writer.Put(kClear, bits);
    if (size == 0) {
        writer.Put(kEndOfInformation, bits);
        return writer.Finish();
    }
    constexpr uint32_t mask = (1u << kHashBits) - 1;
    uint32_t* const table = table_.data();
    std::memset(table, 0, table_.size() * sizeof(uint32_t));
    uint32_t nextCode = kFirstFree;
    uint32_t maxCode = (1u << bits) - 1;
    uint32_t prefix = data[0];
    for (size_t i = 1; i < size; ++i) {
        const uint32_t key = (prefix << 8) | data[i];
        uint32_t slot = (key * 0x9E3779B1u) >> (32 - kHashBits);
        uint32_t entry = table[slot];
        while (entry != 0 && (entry >> 12) != key) {
            slot = (slot + 1) & mask;
            entry = table[slot];
        }
        if (entry != 0) {
            prefix = entry & 0xFFF;
            continue;
        }
        writer.Put(prefix, bits);
        table[slot] = (key << 12) | nextCode;
        ++nextCode;
        prefix = data[i];
        if (nextCode == kFullAt) {
            writer.Put(kClear, bits);
            std::memset(table, 0, table_.size() * sizeof(uint32_t));
            nextCode = kFirstFree;
            bits = kMinBits;
            maxCode = (1u << bits) - 1;
        } else if (nextCode > maxCode) {
            ++bits;
            maxCode = (1u << bits) - 1;
        }
    }
    writer.Put(prefix, bits);
    // The reader adds one more entry on reading that last code: the end code is read at
    // the width that entry gives, or after a clear when it filled the table.
    ++nextCode;
    if (nextCode == kFullAt) {
        writer.Put(kClear, bits);
        bits = kMinBits;
    } else if (nextCode > maxCode) {
        ++bits;
    }
    writer.Put(kEndOfInformation, bits);
    return writer.Finish();
}

}  // namespace tallowin::codec
