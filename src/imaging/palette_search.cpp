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

PaletteMatcher::PaletteMatcher(const RGBQUAD* palette, uint32_t count) : cells_(kCells, kUnbuilt)
{
    answers_.reserve(size_t{kCells} * kColoursPerCell);
    lists_.reserve(size_t{kCells} * 256);
    cellList_.reserve(256);
    subCellList_.reserve(256);
    packedEntries_.reserve(256);
    distinct_.reserve(256);
    if (palette == nullptr) count = 0;
    count = std::min(count, 256u);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t packed = (i << 24) | PackColour(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
        packedEntries_.push_back(packed);
        const bool repeated = std::any_of(distinct_.begin(), distinct_.end(),
                                          [packed](uint32_t seen) { return ((seen ^ packed) & 0xFFFFFF) == 0; });
        if (!repeated) distinct_.push_back(packed);
    }
    // An empty palette answers entry 0, black, for every colour.
    if (distinct_.empty()) {
        packedEntries_.push_back(0);
        distinct_.push_back(0);
    }
}

void PaletteMatcher::Prune(const std::vector<uint32_t>& from, int32_t size, uint32_t low, std::vector<uint32_t>& to)
{
    const int32_t redLo = PackedRed(low), greenLo = PackedGreen(low), blueLo = PackedBlue(low);
    const int32_t redHi = redLo + size - 1, greenHi = greenLo + size - 1, blueHi = blueLo + size - 1;

    int32_t bound = kNoDistance;
    for (const uint32_t e : from) {
        const int32_t far = AxisMax(PackedRed(e), redLo, redHi) + AxisMax(PackedGreen(e), greenLo, greenHi) +
                            AxisMax(PackedBlue(e), blueLo, blueHi);
        bound = std::min(bound, far);
    }
    // The entry that sets the bound is always kept, so no list is empty.
    to.clear();
    for (const uint32_t e : from) {
        const int32_t near = AxisMin(PackedRed(e), redLo, redHi) + AxisMin(PackedGreen(e), greenLo, greenHi) +
                             AxisMin(PackedBlue(e), blueLo, blueHi);
        if (near <= bound) to.push_back(e);
    }
}

namespace {

// The entry of a list nearest to `colour`, as PaletteMatcher::NearestPacked gives
// it: distance in the high half of a key, the packed entry (index first) in the low
// half, so the smallest key wins and equal distances go to the lower index.
uint32_t SearchList(const uint32_t* list, size_t count, uint32_t colour)
{
    const int red = PaletteMatcher::PackedRed(colour), green = PaletteMatcher::PackedGreen(colour),
              blue = PaletteMatcher::PackedBlue(colour);
    uint64_t best = UINT64_MAX;
    for (const uint32_t* e = list; e != list + count; ++e) {
        const uint32_t distance = static_cast<uint32_t>(
            Square(red - PaletteMatcher::PackedRed(*e)) + Square(green - PaletteMatcher::PackedGreen(*e)) +
            Square(blue - PaletteMatcher::PackedBlue(*e)));
        best = std::min(best, (static_cast<uint64_t>(distance) << 32) | *e);
    }
    return static_cast<uint32_t>(best);
}

}  // namespace

uint32_t PaletteMatcher::BuildCell(uint32_t colour)
{
    const uint32_t low = colour & 0xF8F8F8;
    Prune(distinct_, 8, low, cellList_);
    if (cellList_.size() > kLongList || distinct_.size() <= kSmallPalette) {
        const size_t offset = lists_.size();
        lists_.insert(lists_.end(), cellList_.begin(), cellList_.end());
        const uint32_t cell =
            kSearchedCell | static_cast<uint32_t>(offset << 8) | static_cast<uint32_t>(cellList_.size() - 1);
        cells_[CellOf(colour)] = cell;
        return SearchCell(cell, colour);
    }

    const uint32_t offset = static_cast<uint32_t>(answers_.size());
    answers_.resize(answers_.size() + kColoursPerCell);
    uint8_t* answers = answers_.data() + offset;
    if (cellList_.size() == 1) {
        std::fill(answers, answers + kColoursPerCell, PackedIndex(cellList_.front()));
    } else {
        for (uint32_t sub = 0; sub < 8; ++sub) {
            const uint32_t subLow = low | ((sub & 4) << 16) | ((sub & 2) << 9) | ((sub & 1) << 2);
            Prune(cellList_, 4, subLow, subCellList_);
            for (uint32_t place = 0; place < 64; ++place) {
                const uint32_t c = subLow | ((place & 0x30) << 12) | ((place & 0x0C) << 6) | (place & 0x03);
                answers[PlaceInCell(c)] = PackedIndex(SearchList(subCellList_.data(), subCellList_.size(), c));
            }
        }
    }
    cells_[CellOf(colour)] = offset;
    return packedEntries_[answers[PlaceInCell(colour)]];
}

uint32_t PaletteMatcher::SearchCell(uint32_t cell, uint32_t colour) const
{
    const size_t offset = (cell & ~kSearchedCell) >> 8;
    return SearchList(lists_.data() + offset, (cell & 0xFF) + 1, colour);
}

}  // namespace tallowin::imaging
