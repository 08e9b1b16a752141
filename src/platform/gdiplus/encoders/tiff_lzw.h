#pragma once
// LZW compression as TIFF stores it (compression code 5): codes written most significant
// bit first, 9 to 12 bits wide, the width growing one code early as libtiff's and every
// other reader's decoder expects, a clear code at the start and whenever the table is
// full, and an end-of-information code last. Each strip is one self-contained stream.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallowin::codec {

class TiffLzwEncoder {
public:
    // Strips compressed together by EncodeStrips. With a fourth, the lanes' state no
    // longer fits the processor's registers, and the spills cost more than the extra
    // overlap gains (a whole TIFF job took 2 to 6% longer).
    static constexpr int kLanes = 3;
    // Slots of a lane's dictionary table, as a power of two: a full dictionary (3,836
    // strings) fills under a quarter of it, so a string is nearly always in its home slot.
    static constexpr int kHashBits = 14;

    // The most bytes Encode can produce for `size` bytes of input, plus the few bytes
    // past the end that the bit writer's whole-word stores touch.
    static size_t Bound(size_t size);

    // Compresses `size` bytes into the start of `out`, which is grown to Bound(size) when
    // smaller (never shrunk, so one buffer serves every strip), and returns the stream's
    // length in bytes.
    size_t Encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

    // Compresses `count` strips (1 to kLanes) of `size` bytes each, strip k from
    // `data[k]` into `out[k]` (grown as by Encode), its length into `lengths[k]`. The
    // streams are exactly those Encode makes; walking them side by side lets the
    // processor overlap their table look-ups, which on their own wait on each other.
    void EncodeStrips(const uint8_t* const data[], int count, size_t size, std::vector<uint8_t> out[],
                      size_t lengths[]);

private:
    // Per lane, open addressing on (prefix code << 8 | next byte); a slot holds that key
    // above the 12-bit code it maps to, 0 when empty (no code below 258 is ever stored).
    std::vector<uint32_t> tables_ = std::vector<uint32_t>(size_t{kLanes} << kHashBits);
    // Per lane, the codes of the strip in order, before they are packed.
    std::vector<uint16_t> codes_[kLanes];
};

}  // namespace tallowin::codec
