#include "row_reduction.h"

#include <cstring>

namespace tallowin::imaging {

namespace {

template <int Bits>
void StoreIndex(uint8_t* row, uint32_t x, uint8_t index)
{
    if constexpr (Bits == 8) {
        row[x] = index;
    } else if constexpr (Bits == 4) {
        const int shift = (x % 2 == 0) ? 4 : 0;
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
    } else {
        const int shift = 7 - static_cast<int>(x % 8);
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(1 << shift)) | ((index & 1) << shift));
    }
}

// A pixel's blue, green, red bytes as the low three bytes of a word, which is how
// PaletteMatcher takes a colour. Four bytes are read when `spare` says the byte
// after the pixel still belongs to the row.
uint32_t LoadPixel(const uint8_t* pixel, bool spare)
{
    uint32_t word = 0;
    if (spare) {
        std::memcpy(&word, pixel, 4);
    } else {
        std::memcpy(&word, pixel, 3);
    }
    return word;
}

void StorePixel(uint8_t* pixel, uint32_t word)
{
    std::memcpy(pixel, &word, 3);
}

template <int Bits>
void MapRow(const uint8_t* source, uint8_t* out, int32_t width, PaletteMatcher& matcher)
{
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t colour = LoadPixel(source + 3 * static_cast<size_t>(x), x + 1 < width);
        StoreIndex<Bits>(out, static_cast<uint32_t>(x), PaletteMatcher::PackedIndex(matcher.NearestPacked(colour)));
    }
}

// Two pixels side by side as 16-bit lanes: blue, green, red and a spare lane each.
// The compiler maps these onto the machine's vector registers, so the twelve
// channel shares of one pixel's error take a few instructions. The spare lanes
// carry whatever was loaded with the pixel; their weight is 0 and they are never
// stored.
using PixelPair = int16_t __attribute__((vector_size(16)));
using PixelPairBytes = uint8_t __attribute__((vector_size(8)));
using PixelPairWords = uint32_t __attribute__((vector_size(8)));

PixelPair Widen(uint32_t first, uint32_t second)
{
    const PixelPairWords words = {first, second};
    PixelPairBytes bytes;
    std::memcpy(&bytes, &words, sizeof(bytes));
    return __builtin_convertvector(bytes, PixelPair);
}

// The two pixels back as words; lanes hold 0..255 after AddShares, so narrowing
// keeps them exactly.
uint64_t Narrow(PixelPair pair)
{
    const PixelPairBytes bytes = __builtin_convertvector(pair, PixelPairBytes);
    uint64_t words;
    std::memcpy(&words, &bytes, sizeof(words));
    return words;
}

// Adds weight × error / 16 to each lane, the division truncating toward zero, and
// clamps every lane to 0..255.
PixelPair AddShares(PixelPair pixels, PixelPair error, PixelPair weights)
{
    const PixelPair product = error * weights;  // |255 × 7| fits 16 bits
    const PixelPair share = (product + ((product >> 15) & 15)) >> 4;
    const PixelPair sum = pixels + share;
    const PixelPair zero = {};
    const PixelPair top = zero + 255;
    const PixelPair low = sum < zero ? zero : sum;
    return low > top ? top : low;
}

// One stored row under error diffusion, one pixel per Step.
//
// A pixel of the next stored row receives its three shares from three consecutive
// pixels of this row (1/16, then 4/16, then 2/16), so the pixels below-left and
// below the current one are kept in registers and each is stored once, when its
// last share is in. The right neighbour gets its share together with the pixel
// below it and becomes the next current pixel; this row's own pixels are never
// stored back, as nothing reads them again.
template <int Bits>
class DiffusingRow {
public:
    DiffusingRow() = default;
    DiffusingRow(const ReductionRows& rows, int32_t y)
        : source_(rows.Source(y)),
          below_(y + 1 < rows.height ? rows.Source(y + 1) : nullptr),
          // Without a next row the second half of each pair reads the right pixel
          // again and is thrown away.
          nextBelow_(below_ != nullptr ? below_ : source_),
          out_(rows.Target(y)),
          width_(rows.width)
    {
    }

    void Step(int32_t x, PaletteMatcher& matcher)
    {
        if (x == 0) {
            // Read only now: the row above has just finished this row's first pixels.
            next_ = Widen(LoadPixel(source_, width_ > 1), LoadPixel(nextBelow_, width_ > 1));
            window_ = next_;  // below-left does not exist yet; below
        }
        const uint32_t packed = matcher.NearestPacked(static_cast<uint32_t>(Narrow(next_)));
        StoreIndex<Bits>(out_, static_cast<uint32_t>(x), PaletteMatcher::PackedIndex(packed));
        // The answer's bytes are blue, green, red, index: the spare lanes get junk.
        const PixelPair current = __builtin_shufflevector(next_, next_, 0, 1, 2, 3, 0, 1, 2, 3);
        const PixelPair error = current - Widen(packed, packed);

        const size_t right = 3 * static_cast<size_t>(x + 1);
        const bool hasRight = x + 1 < width_;
        if (hasRight) {
            const bool spare = x + 2 < width_;
            const PixelPair loaded = Widen(LoadPixel(source_ + right, spare), LoadPixel(nextBelow_ + right, spare));
            next_ = AddShares(loaded, error, PixelPair{7, 7, 7, 0, 1, 1, 1, 0});
        }
        if (below_ == nullptr) return;
        window_ = AddShares(window_, error, PixelPair{2, 2, 2, 0, 4, 4, 4, 0});
        const uint64_t done = Narrow(window_);
        if (x > 0) StorePixel(below_ + right - 6, static_cast<uint32_t>(done));
        if (hasRight) {
            window_ = __builtin_shufflevector(window_, next_, 4, 5, 6, 7, 12, 13, 14, 15);
        } else {
            StorePixel(below_ + right - 3, static_cast<uint32_t>(done >> 32));
        }
    }

private:
    const uint8_t* source_ = nullptr;
    uint8_t* below_ = nullptr;
    const uint8_t* nextBelow_ = nullptr;
    uint8_t* out_ = nullptr;
    int32_t width_ = 0;
    PixelPair next_ = {};    // the current pixel, the pixel below-right of the previous one
    PixelPair window_ = {};  // the pixels below-left and below
};

// Rows of a band run together, each `kLag` pixels behind the row before it: a
// pixel is read once the row above has stored its last share, and the rows' chains
// of dependent steps (search, error, right neighbour, search …) overlap instead of
// waiting on each other's memory reads.
constexpr int32_t kLag = 4;

template <int Bits>
void DiffuseBand(const ReductionRows& rows, int32_t first, int32_t count, PaletteMatcher& matcher)
{
    DiffusingRow<Bits> band[kRowBand];
    for (int32_t k = 0; k < count; ++k) band[k] = DiffusingRow<Bits>(rows, first + k);
    const int32_t steps = rows.width + kLag * (count - 1);
    for (int32_t t = 0; t < steps; ++t) {
        for (int32_t k = 0; k < count; ++k) {
            const int32_t x = t - kLag * k;
            if (x >= 0 && x < rows.width) band[k].Step(x, matcher);
        }
    }
}

template <int Bits>
void ReduceBand(const ReductionRows& rows, int32_t first, int32_t count, bool diffusion, PaletteMatcher& matcher)
{
    if (diffusion) {
        DiffuseBand<Bits>(rows, first, count, matcher);
        return;
    }
    for (int32_t y = first; y < first + count; ++y) MapRow<Bits>(rows.Source(y), rows.Target(y), rows.width, matcher);
}

}  // namespace

void ReduceRowBand(const ReductionRows& rows, int32_t first, int32_t count, bool diffusion, PaletteMatcher& matcher)
{
    if (rows.bits == 8) {
        ReduceBand<8>(rows, first, count, diffusion, matcher);
    } else if (rows.bits == 4) {
        ReduceBand<4>(rows, first, count, diffusion, matcher);
    } else {
        ReduceBand<1>(rows, first, count, diffusion, matcher);
    }
}

}  // namespace tallowin::imaging
