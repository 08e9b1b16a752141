#include "palette_search.h"

#include <algorithm>

namespace tallowin::imaging {

namespace {

// Larger than any squared distance (3 × 255² = 195075), so entry 0 always replaces it.
constexpr int32_t kNoDistance = 200000;

int32_t Square(int32_t v)
{
    return v * v;
}

// Squared distance from c to the nearest and to the farthest point of [lo, hi].
int32_t AxisMin(int32_t c, int32_t lo, int32_t hi)
{
    if (c < lo) return Square(lo - c);
    if (c > hi) return Square(c - hi);
    return 0;
}

int32_t AxisMax(int32_t c, int32_t lo, int32_t hi)
{
    return std::max(Square(c - lo), Square(c - hi));
}

}  // namespace

uint8_t NearestEntry(const RGBQUAD* palette, uint32_t count, RGBQUAD colour)
{
    if (palette == nullptr) return 0;
    count = std::min(count, 256u);
    uint32_t best = 0;
    int32_t bestDistance = kNoDistance;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t distance = Square(colour.rgbBlue - palette[i].rgbBlue) +
                                 Square(colour.rgbGreen - palette[i].rgbGreen) +
                                 Square(colour.rgbRed - palette[i].rgbRed);
        if (distance == 0) return static_cast<uint8_t>(i);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

PaletteMatcher::PaletteMatcher(const RGBQUAD* palette, uint32_t count)
    : cells_(kCellsPerAxis * kCellsPerAxis * kCellsPerAxis, kUnbuilt)
{
    if (palette == nullptr) count = 0;
    count = std::min(count, 256u);
    entries_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) entries_.push_back({palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue});
}

void PaletteMatcher::BuildCell(uint32_t cell)
{
    const int32_t size = 1 << kCellBits;
    const int32_t redLo = static_cast<int32_t>(cell >> (2 * (8 - kCellBits))) * size;
    const int32_t greenLo = static_cast<int32_t>((cell >> (8 - kCellBits)) & (kCellsPerAxis - 1)) * size;
    const int32_t blueLo = static_cast<int32_t>(cell & (kCellsPerAxis - 1)) * size;
    const int32_t redHi = redLo + size - 1, greenHi = greenLo + size - 1, blueHi = blueLo + size - 1;

    int32_t bound = kNoDistance;
    for (const Entry& e : entries_) {
        const int32_t far = AxisMax(e.red, redLo, redHi) + AxisMax(e.green, greenLo, greenHi) +
                            AxisMax(e.blue, blueLo, blueHi);
        bound = std::min(bound, far);
    }
    const size_t first = candidates_.size();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        const int32_t near = AxisMin(e.red, redLo, redHi) + AxisMin(e.green, greenLo, greenHi) +
                             AxisMin(e.blue, blueLo, blueHi);
        if (near <= bound) {
            candidates_.push_back({near, static_cast<uint8_t>(e.red), static_cast<uint8_t>(e.green),
                                   static_cast<uint8_t>(e.blue), static_cast<uint8_t>(i)});
        }
    }
    std::sort(candidates_.begin() + static_cast<std::ptrdiff_t>(first), candidates_.end(),
              [](const Candidate& a, const Candidate& b) {
                  return a.nearest != b.nearest ? a.nearest < b.nearest : a.index < b.index;
              });
    cells_[cell] = (static_cast<uint32_t>(first) << kCountBits) | static_cast<uint32_t>(candidates_.size() - first);
}

uint8_t PaletteMatcher::Nearest(uint8_t red, uint8_t green, uint8_t blue)
{
    if (entries_.empty()) return 0;
    const uint32_t cell = (static_cast<uint32_t>(red >> kCellBits) << (2 * (8 - kCellBits))) |
                          (static_cast<uint32_t>(green >> kCellBits) << (8 - kCellBits)) |
                          static_cast<uint32_t>(blue >> kCellBits);
    if (cells_[cell] == kUnbuilt) BuildCell(cell);
    const uint32_t word = cells_[cell];
    const Candidate* list = candidates_.data() + (word >> kCountBits);
    const Candidate* end = list + (word & ((1u << kCountBits) - 1));
    uint8_t best = list->index;
    int32_t bestDistance = kNoDistance;
    for (const Candidate* c = list; c != end && c->nearest <= bestDistance; ++c) {
        const int32_t distance = Square(blue - c->blue) + Square(green - c->green) + Square(red - c->red);
        // Written without branches: which entry wins is unpredictable.
        const bool better = distance < bestDistance || (distance == bestDistance && c->index < best);
        best = better ? c->index : best;
        bestDistance = better ? distance : bestDistance;
    }
    return best;
}

}  // namespace tallowin::imaging
