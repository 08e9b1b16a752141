// TIFF's LZW: the dictionary is a small open-addressing hash table (64 KiB a lane,
// cleared with each clear code) and the codes go through a 64-bit accumulator that is
// stored whole after each code, advancing the output by the bytes completed.
//
// One lane's look-ups form a chain (each prefix comes out of the previous look-up), so
// a single stream runs at the speed of that chain. Several strips encoded in one loop
// give the processor independent chains to overlap; the lanes' state lives in locals
// that the compiler keeps in registers once the lane loop is unrolled.
#include "tiff_lzw.h"

#include <algorithm>
#include <cstring>

namespace tallowin::codec {
namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEndOfInformation = 257;
constexpr uint32_t kFirstFree = 258;
constexpr uint32_t kMinBits = 9;
// The table is full (and cleared) when the next free code would be 4094, as in libtiff:
// readers that follow the original decoder's early width change need 4095 left unused.
constexpr uint32_t kFullAt = 4094;
// Bytes a whole-word store may write past the stream's end.
constexpr size_t kStoreSlack = 8;

struct Lane {
    const uint8_t* data;
    uint8_t* out;
    uint32_t* table;
    uint64_t accumulator;  // pending bits, most significant first, from bit 63 down
    uint32_t filled;       // pending bits in the accumulator (below 8 between codes)
    uint32_t bits;         // current code width
    uint32_t nextCode;
    uint32_t widenAt;      // nextCode at which the width grows or the table is cleared
    uint32_t prefix;       // code of the string matched so far
};

template <int HashBits> constexpr size_t kTableSlots = size_t{1} << HashBits;

inline __attribute__((always_inline)) void PutCode(Lane& lane, uint32_t code, uint32_t bits)
{
    lane.accumulator |= static_cast<uint64_t>(code) << (64 - lane.filled - bits);
    lane.filled += bits;
    const uint64_t bigEndian = __builtin_bswap64(lane.accumulator);
    std::memcpy(lane.out, &bigEndian, sizeof bigEndian);
    const uint32_t complete = lane.filled >> 3;  // at most 2 after one code
    lane.out += complete;
    lane.accumulator <<= complete * 8;
    lane.filled -= complete * 8;
}

void StartLane(Lane& lane, const uint8_t* data, uint8_t* out, uint32_t* table, size_t tableSlots)
{
    lane = Lane{data, out, table, 0, 0, kMinBits, kFirstFree, 1u << kMinBits, data[0]};
    std::memset(table, 0, tableSlots * sizeof(uint32_t));
    PutCode(lane, kClear, lane.bits);
}

// The width grows by one, or the table is full: a clear code, and start over.
template <int HashBits> __attribute__((noinline)) void Widen(Lane& lane)
{
    if (lane.nextCode == kFullAt) {
        PutCode(lane, kClear, lane.bits);
        std::memset(lane.table, 0, kTableSlots<HashBits> * sizeof(uint32_t));
        lane.nextCode = kFirstFree;
        lane.bits = kMinBits;
        lane.widenAt = 1u << kMinBits;
    } else {
        ++lane.bits;
        lane.widenAt = std::min(1u << lane.bits, kFullAt);
    }
}

template <int HashBits> inline __attribute__((always_inline)) void Step(Lane& lane, size_t i)
{
    constexpr uint32_t mask = kTableSlots<HashBits> - 1;
    const uint32_t next = lane.data[i];
    const uint32_t key = (lane.prefix << 8) | next;
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - HashBits);
    uint32_t entry = lane.table[slot];
    while (entry != 0 && (entry >> 12) != key) {
        slot = (slot + 1) & mask;
        entry = lane.table[slot];
    }
    if (entry != 0) {
        lane.prefix = entry & 0xFFF;
        return;
    }
    lane.table[slot] = (key << 12) | lane.nextCode;
    PutCode(lane, lane.prefix, lane.bits);
    ++lane.nextCode;
    lane.prefix = next;
    if (__builtin_expect(lane.nextCode >= lane.widenAt, 0)) {
        Widen<HashBits>(lane);
    }
}

// The last code, then end of information. The reader adds one more entry on reading
// that last code: the end code is read at the width that entry gives, or after a clear
// when it filled the table.
size_t FinishLane(Lane& lane, const uint8_t* begin)
{
    PutCode(lane, lane.prefix, lane.bits);
    ++lane.nextCode;
    if (lane.nextCode == kFullAt) {
        PutCode(lane, kClear, lane.bits);
        lane.bits = kMinBits;
    } else if (lane.nextCode >= (1u << lane.bits)) {
        ++lane.bits;
    }
    PutCode(lane, kEndOfInformation, lane.bits);
    if (lane.filled > 0) {
        *lane.out++ = static_cast<uint8_t>(lane.accumulator >> 56);  // padded with zero bits
    }
    return static_cast<size_t>(lane.out - begin);
}

// An empty strip: a clear code and end of information.
size_t EmptyStream(uint8_t* out)
{
    Lane lane{nullptr, out, nullptr, 0, 0, kMinBits, kFirstFree, 1u << kMinBits, 0};
    PutCode(lane, kClear, kMinBits);
    PutCode(lane, kEndOfInformation, kMinBits);
    *lane.out++ = static_cast<uint8_t>(lane.accumulator >> 56);
    return static_cast<size_t>(lane.out - out);
}

template <int Lanes, int HashBits>
void EncodeLanes(const uint8_t* const data[], size_t size, uint8_t* const out[], uint32_t* tables, size_t lengths[])
{
    Lane lanes[Lanes];
#pragma GCC unroll 4
    for (int k = 0; k < Lanes; ++k) {
        StartLane(lanes[k], data[k], out[k], tables + k * kTableSlots<HashBits>, kTableSlots<HashBits>);
    }
    for (size_t i = 1; i < size; ++i) {
#pragma GCC unroll 4
        for (int k = 0; k < Lanes; ++k) {
            Step<HashBits>(lanes[k], i);
        }
    }
#pragma GCC unroll 4
    for (int k = 0; k < Lanes; ++k) {
        lengths[k] = FinishLane(lanes[k], out[k]);
    }
}

}  // namespace

size_t TiffLzwEncoder::Bound(size_t size)
{
    // At most one code per input byte, a clear code per full table (which takes more than
    // 3,800 codes) plus the first one, the last code and end of information; 12 bits each.
    const size_t codes = size + size / 1024 + 4;
    return (codes * 12 + 7) / 8 + 4 + kStoreSlack;
}

size_t TiffLzwEncoder::Encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    size_t length = 0;
    EncodeStrips(&data, 1, size, &out, &length);
    return length;
}

void TiffLzwEncoder::EncodeStrips(const uint8_t* const data[], int count, size_t size, std::vector<uint8_t> out[],
                                  size_t lengths[])
{
    count = std::clamp(count, 0, kLanes);
    const size_t bound = Bound(size);
    uint8_t* targets[kLanes] = {};
    for (int k = 0; k < count; ++k) {
        if (out[k].size() < bound) {
            out[k].resize(bound);
        }
        targets[k] = out[k].data();
    }
    if (size == 0) {
        for (int k = 0; k < count; ++k) {
            lengths[k] = EmptyStream(targets[k]);
        }
        return;
    }
    uint32_t* const tables = tables_.data();
    switch (count) {
    case 4: EncodeLanes<4, kHashBits>(data, size, targets, tables, lengths); break;
    case 3: EncodeLanes<3, kHashBits>(data, size, targets, tables, lengths); break;
    case 2: EncodeLanes<2, kHashBits>(data, size, targets, tables, lengths); break;
    case 1: EncodeLanes<1, kHashBits>(data, size, targets, tables, lengths); break;
    default: break;
    }
}

}  // namespace tallowin::codec
