#pragma once
// Nearest palette entry by squared RGB distance, ties to the lower index
// (the reserved byte is ignored).
//
// NearestEntry is the plain linear search. PaletteMatcher gives the same answer
// for every colour but prunes the search: the colour cube is cut into cells, and
// for each cell it keeps only the entries that can be nearest to some colour of the
// cell: an entry whose closest possible distance to the cell exceeds the smallest
// farthest distance of any entry can never win or tie. The kept entries are sorted
// by that closest distance (then by index), so a search stops as soon as the next
// entry cannot come closer than the best found; equal distances still go to the
// lower index.

#include "dib_types.h"

#include <cstdint>
#include <vector>

namespace tallowin::imaging {

uint8_t NearestEntry(const RGBQUAD* palette, uint32_t count, RGBQUAD colour);

class PaletteMatcher {
public:
    // `count` is clamped to 256; an empty palette answers 0 for every colour.
    PaletteMatcher(const RGBQUAD* palette, uint32_t count);

    uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue);

private:
    static constexpr int kCellBits = 3;  // cells of 8 × 8 × 8 colours
    static constexpr int kCellsPerAxis = 256 >> kCellBits;
    static constexpr uint32_t kUnbuilt = UINT32_MAX;

    void BuildCell(uint32_t cell);

    struct Entry {
        int32_t red, green, blue;
    };
    struct Candidate {
        int32_t nearest;  // smallest squared distance from the entry to any colour of the cell
        uint8_t red, green, blue, index;
    };
    std::vector<Entry> entries_;
    // Per cell, in one word so a lookup touches one cache line: the offset of its
    // list in candidates_ shifted up by kCountBits, or'ed with the list's length;
    // kUnbuilt until first use. 32768 cells × 256 entries fit the 23 offset bits.
    static constexpr int kCountBits = 9;
    std::vector<uint32_t> cells_;
    std::vector<Candidate> candidates_;
};

}  // namespace tallowin::imaging
