// TIFF's LZW in two passes per strip: the dictionary pass walks the bytes and lists the
// codes (16 bits each), then the packing pass writes them at their widths.
//
// The dictionary is a small open-addressing hash table (64 KiB a lane, cleared with each
// clear code). One lane's look-ups form a chain (each prefix comes out of the previous
// look-up), so several strips are walked in one loop to give the processor independent
// chains to overlap. Whether a look-up finds its string is a coin toss on photo data (a
// code goes out every third or fourth byte), so the step takes both outcomes with
// conditional moves instead of a branch: a mispredicted branch would throw away the work
// of every lane in flight. Only a string whose home slot holds another one branches off,
// a few times in a hundred bytes.
//
// Widths are left to the packing pass, which follows the reader's table size from the
// codes themselves; the dictionary pass only has to know when the table is full.
#include "tiff_lzw.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tallowin::codec {
namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEndOfInformation = 257;
constexpr uint32_t kFirstFree = 258;
constexpr uint32_t kMinBits = 9;
// The table is full (and cleared) when the next free code would be 4094, as in libtiff:
// readers that follow the original decoder's early width change need 4095 left unused.
constexpr uint32_t kFullAt = 4094;
constexpr size_t kTableSlots = size_t{1} << TiffLzwEncoder::kHashBits;
// Bytes a whole-word store may write past the stream's end.
constexpr size_t kStoreSlack = 8;
// Where a lane's code list starts in its buffer: the lane writes code number n of a
// table's life to base[n], n from kFirstFree on, so the first clear code goes just
// before base[kFirstFree] and base can start at the buffer itself.
constexpr size_t kListStart = kFirstFree - 1;

// A slot holds its key (prefix code << 8 | next byte) above the 12-bit code it maps to,
// 0 when empty. `shifted` is the key looked for, moved up 12 bits. A stored code is
// 258 to 4093, so an empty slot never matches, not even for key 0.
inline bool Matches(uint32_t entry, uint32_t shifted) { return (entry ^ shifted) - kFirstFree < kFullAt - kFirstFree; }

// `found ? taken : otherwise` and `found ? code : next` as conditional moves, from one
// test of `found`.
inline __attribute__((always_inline)) void PickBoth(uint32_t found, uint32_t taken, uint32_t& otherwise, uint32_t code,
                                                    uint32_t& next)
{
#if defined(__x86_64__)
    asm("testl %[f], %[f]\n\tcmovne %[t], %[o]\n\tcmovne %[c], %[n]"
        : [o] "+r"(otherwise), [n] "+r"(next)
        : [t] "r"(taken), [c] "r"(code), [f] "r"(found)
        : "cc");
#else
    otherwise = found ? taken : otherwise;
    next = found ? code : next;
#endif
}

// `found ? 0 : entry`, a conditional move as above.
inline __attribute__((always_inline)) uint32_t UnlessFound(uint32_t found, uint32_t entry)
{
#if defined(__x86_64__)
    const uint32_t zero = 0;
    asm("testl %[f], %[f]\n\tcmovne %[z], %[e]" : [e] "+r"(entry) : [z] "r"(zero), [f] "r"(found) : "cc");
    return entry;
#else
    return found ? 0 : entry;
#endif
}

struct Lane {
    uint16_t* base;     // the next code goes to base[nextCode]
    uint32_t nextCode;  // the code the next new string gets
    uint32_t prefix;    // code of the string matched so far
};

// The home slot holds another key: the key is further on, before the first empty slot,
// or it is new and goes into that empty slot.
struct Found {
    uint32_t slot;
    uint32_t entry;  // 0: not there, `slot` is free
};

__attribute__((noinline)) Found Probe(const uint32_t* table, uint32_t slot, uint32_t shifted)
{
    constexpr uint32_t mask = kTableSlots - 1;
    for (;;) {
        slot = (slot + 1) & mask;
        const uint32_t entry = table[slot];
        if (entry == 0 || Matches(entry, shifted)) return {slot, entry};
    }
}

// The table is full: a clear code, and start over.
__attribute__((noinline)) void Clear(Lane& lane, uint32_t* table)
{
    lane.base[lane.nextCode] = kClear;
    lane.base += lane.nextCode + 1 - kFirstFree;
    lane.nextCode = kFirstFree;
    std::memset(table, 0, kTableSlots * sizeof(uint32_t));
}

// One byte of one lane. The tables of all lanes lie in one block, so each lane's is at a
// fixed distance from the first.
template <int K> inline __attribute__((always_inline)) void Step(Lane& lane, uint32_t* tables, uint32_t next)
{
    uint32_t* const table = tables + K * kTableSlots;
    const uint32_t key = (lane.prefix << 8) | next;
    const uint32_t shifted = key << 12;
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - TiffLzwEncoder::kHashBits);
    uint32_t entry = table[slot];
    uint32_t found = Matches(entry, shifted);
    if (__builtin_expect(UnlessFound(found, entry) != 0, 0)) {
        const Found further = Probe(table, slot, shifted);
        slot = further.slot;
        entry = further.entry;
        found = entry != 0;
    }
    // Found: the string grows and the slot is written back as it was. Not found: the
    // prefix goes out, the string gets the next code, and the byte starts a new one.
    lane.base[lane.nextCode] = static_cast<uint16_t>(lane.prefix);
    uint32_t stored = shifted | lane.nextCode;
    uint32_t prefix = next;
    PickBoth(found, entry, stored, entry & 0xFFF, prefix);
    table[slot] = stored;
    lane.nextCode += found ^ 1;
    lane.prefix = prefix;
    if (__builtin_expect(lane.nextCode >= kFullAt, 0)) {
        Clear(lane, table);
    }
}

template <int... K>
void WalkLanes(const uint8_t* const data[], size_t size, Lane lanes[], uint32_t* tables,
               std::integer_sequence<int, K...>)
{
    for (size_t i = 1; i < size; ++i) {
        (Step<K>(lanes[K], tables, data[K][i]), ...);
    }
}

// The last code, and, where that code filled the table, the clear code the reader then
// expects before end of information. Returns the end of the list.
uint16_t* FinishLane(Lane& lane)
{
    lane.base[lane.nextCode] = static_cast<uint16_t>(lane.prefix);
    uint16_t* end = lane.base + lane.nextCode + 1;
    if (lane.nextCode + 1 == kFullAt) {
        *end++ = kClear;
    }
    *end++ = kEndOfInformation;
    return end;
}

// Writes the codes most significant bit first through a 64-bit accumulator that is
// stored whole after each code. Each code goes out at the width the reader's table has
// when it reads it: the width grows once a code fills 2^width - 1 entries, and a clear
// code starts again at 9 bits.
size_t Pack(const uint16_t* codes, const uint16_t* end, uint8_t* out)
{
    uint8_t* const begin = out;
    uint64_t accumulator = 0;  // pending bits, most significant first, from bit 63 down
    uint32_t filled = 0;       // pending bits (below 8 between codes)
    uint32_t bits = kMinBits;
    uint32_t entries = kFirstFree - 1;  // the reader's next free code, less the stream's first clear
    uint32_t widenAt = 1u << kMinBits;
    for (; codes != end; ++codes) {
        const uint32_t code = *codes;
        accumulator |= static_cast<uint64_t>(code) << (64 - filled - bits);
        filled += bits;
        const uint64_t bigEndian = __builtin_bswap64(accumulator);
        std::memcpy(out, &bigEndian, sizeof bigEndian);
        const uint32_t complete = filled >> 3;  // at most 2 after one code
        out += complete;
        accumulator <<= complete * 8;
        filled -= complete * 8;
        if (__builtin_expect(++entries >= widenAt, 0)) {
            if (code == kClear) {
                bits = kMinBits;
                entries = kFirstFree;
                widenAt = 1u << kMinBits;
            } else if (entries < kFullAt) {
                ++bits;
                widenAt = std::min(1u << bits, kFullAt);
            }  // else full: a clear code comes next, still at 12 bits
        }
    }
    if (filled > 0) {
        *out++ = static_cast<uint8_t>(accumulator >> 56);  // padded with zero bits
    }
    return static_cast<size_t>(out - begin);
}

template <int Lanes>
void EncodeLanes(const uint8_t* const data[], size_t size, uint8_t* const out[], uint32_t* tables,
                 std::vector<uint16_t> codes[], size_t lengths[])
{
    Lane lanes[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        codes[k][kListStart] = kClear;
        lanes[k] = Lane{codes[k].data(), kFirstFree, data[k][0]};
        std::memset(tables + k * kTableSlots, 0, kTableSlots * sizeof(uint32_t));
    }
    WalkLanes(data, size, lanes, tables, std::make_integer_sequence<int, Lanes>());
    for (int k = 0; k < Lanes; ++k) {
        lengths[k] = Pack(codes[k].data() + kListStart, FinishLane(lanes[k]), out[k]);
    }
}

// At most one code per input byte, a clear code per full table (which takes more than
// 3,800 codes) plus the first one, the last code and end of information.
size_t MostCodes(size_t size) { return size + size / 1024 + 4; }

}  // namespace

size_t TiffLzwEncoder::Bound(size_t size)
{
    return (MostCodes(size) * 12 + 7) / 8 + 4 + kStoreSlack;
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
        if (codes_[k].size() < kListStart + MostCodes(size)) {
            codes_[k].resize(kListStart + MostCodes(size));
        }
    }
    if (size == 0) {
        const uint16_t empty[] = {kClear, kEndOfInformation};
        for (int k = 0; k < count; ++k) {
            lengths[k] = Pack(empty, empty + 2, targets[k]);
        }
        return;
    }
    uint32_t* const tables = tables_.data();
    static_assert(kLanes == 3, "a case for every number of strips");
    switch (count) {
    case 3: EncodeLanes<3>(data, size, targets, tables, codes_, lengths); break;
    case 2: EncodeLanes<2>(data, size, targets, tables, codes_, lengths); break;
    case 1: EncodeLanes<1>(data, size, targets, tables, codes_, lengths); break;
    default: break;
    }
}

}  // namespace tallowin::codec
