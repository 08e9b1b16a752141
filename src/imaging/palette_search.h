#pragma once
// Nearest palette entry by squared RGB distance, ties to the lower index
// (the reserved byte is ignored).
//
// NearestEntry is the plain linear search. PaletteMatcher gives the same answer
// for every colour from a table: the colour cube is cut into cells of 8 × 8 × 8
// colours, and the first colour that falls into a cell fills the answers of all
// 512 colours of that cell, so a later colour of the cell costs two reads.
//
// A cell's answers come from short lists of candidates. An entry whose closest
// possible distance to a box of colours exceeds the smallest farthest distance of
// any entry can never win or tie there, and an entry repeating the colour of a
// lower one never wins either. The cell's list is pruned so from the palette, the
// lists of its eight sub-cells of 4 × 4 × 4 colours from the cell's list (a
// sub-cell lies inside the cell, so every entry its own test keeps, and the entry
// that sets its bound, is on the cell's list), and each colour is searched in its
// sub-cell's list.
//
// Palettes from pictures give cells a handful of candidates. A cell keeping more
// than kLongList of them (a palette crowded far from the cell) is not filled:
// its colours search its list one by one, so filling never costs more than 512
// searches of kLongList entries per cell. Nor are the cells of a palette of at
// most kSmallPalette colours: searching those few costs less than reading a table
// that the large errors of so few colours spread over much of the cube.

#include "dib_types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallowin::imaging {

uint8_t NearestEntry(const RGBQUAD* palette, uint32_t count, RGBQUAD colour);

class PaletteMatcher {
public:
    // `count` is clamped to 256; an empty palette answers 0 for every colour. All
    // the memory the tables may grow to is reserved here (address space only, until
    // cells are filled), so a search never allocates: std::bad_alloc can only come
    // from the construction.
    PaletteMatcher(const RGBQUAD* palette, uint32_t count);

    // Colours and answers are packed in one word: red << 16 | green << 8 | blue, so
    // the bytes blue, green, red of a 24-bit pixel read as a little-endian word are a
    // colour (the top byte is ignored). An answer carries the entry's index in the
    // top byte above the entry's colour, so a caller needing that colour reads no
    // further table.
    static uint32_t PackColour(uint8_t red, uint8_t green, uint8_t blue)
    {
        return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) | blue;
    }
    static uint8_t PackedIndex(uint32_t packed) { return static_cast<uint8_t>(packed >> 24); }
    static int PackedRed(uint32_t packed) { return static_cast<int>((packed >> 16) & 0xFF); }
    static int PackedGreen(uint32_t packed) { return static_cast<int>((packed >> 8) & 0xFF); }
    static int PackedBlue(uint32_t packed) { return static_cast<int>(packed & 0xFF); }

    // The nearest entry to a packed colour, as index << 24 | the entry's colour.
    uint32_t NearestPacked(uint32_t colour)
    {
        const uint32_t cell = cells_[CellOf(colour)];
        if (cell < kSearchedCell) return packedEntries_[answers_[cell + PlaceInCell(colour)]];
        return cell == kUnbuilt ? BuildCell(colour) : SearchCell(cell, colour);
    }
    uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue)
    {
        return PackedIndex(NearestPacked(PackColour(red, green, blue)));
    }

private:
    static constexpr uint32_t kCells = 1u << 15;
    static constexpr uint32_t kColoursPerCell = 512;
    static constexpr size_t kLongList = 24;
    static constexpr size_t kSmallPalette = 4;
    // The word of a cell: below kSearchedCell, the offset of its answers in answers_
    // (at most kCells × 512 = 2^24); from kSearchedCell on, a cell that searches its
    // list: the list's offset in lists_ shifted up by 8, or'ed with its length − 1.
    // Lists hold at most 256 entries per cell, so offsets stay below 2^23 and no list
    // word reaches kUnbuilt.
    static constexpr uint32_t kSearchedCell = 1u << 31;
    static constexpr uint32_t kUnbuilt = UINT32_MAX;
    static_assert(kCells * kColoursPerCell < kSearchedCell);
    static_assert(kCells * 256 <= (1u << 23));

    // The cell of a colour: the top five bits of red, green and blue.
    static uint32_t CellOf(uint32_t colour)
    {
        return ((colour >> 9) & 0x7C00) | ((colour >> 6) & 0x03E0) | ((colour >> 3) & 0x001F);
    }
    // The place of a colour in its cell: its sub-cell (bit 2 of red, green, blue),
    // then the low two bits of red, green and blue. A sub-cell's 64 answers fill one
    // cache line, so colours close in all three channels share it.
    static uint32_t PlaceInCell(uint32_t colour)
    {
        return ((colour >> 10) & 0x100) | ((colour >> 3) & 0x80) | ((colour << 4) & 0x40) |
               ((colour >> 12) & 0x30) | ((colour >> 6) & 0x0C) | (colour & 0x03);
    }

    // Fills the answers of the cell holding `colour` (or stores its long list) and
    // returns its answer.
    uint32_t BuildCell(uint32_t colour);
    uint32_t SearchCell(uint32_t cell, uint32_t colour) const;
    // Replaces `to` with the entries of `from` that can be nearest to some colour of
    // the cube of `size` colours per side whose lowest colour is `low`.
    static void Prune(const std::vector<uint32_t>& from, int32_t size, uint32_t low, std::vector<uint32_t>& to);

    std::vector<uint32_t> packedEntries_;  // entry i as i << 24 | its colour, for every index
    std::vector<uint32_t> distinct_;       // the distinct colours, lowest index of a repeated one kept
    std::vector<uint32_t> cells_;          // offset of a cell's answers in answers_, or kUnbuilt
    std::vector<uint8_t> answers_;         // 512 entry indices per filled cell
    std::vector<uint32_t> lists_;          // the lists of the cells that search them
    std::vector<uint32_t> cellList_, subCellList_;  // working lists of BuildCell
};

}  // namespace tallowin::imaging
