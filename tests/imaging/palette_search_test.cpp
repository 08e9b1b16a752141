// The palette answer table against the plain linear search, colour by colour, on
// palettes that stress its pruning: ties, repeated colours, crowded entries,
// single entries and the standard tables.

#include "image_helpers.h"
#include "palette_search.h"
#include "reference_imaging.h"
#include "standard_palettes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using imaging::PaletteMatcher;

// Compares every colour of a coarse grid over the cube, every colour of a few
// whole 8 × 8 × 8 cells (corners, middle, and the cells around `focus`), and the
// packed entry colour that comes with each answer.
void ExpectSameAnswers(const std::vector<RGBQUAD>& palette, const std::string& what, RGBQUAD focus = Bgr(0, 0, 0))
{
    PaletteMatcher matcher(palette.data(), static_cast<uint32_t>(palette.size()));
    int mismatches = 0;
    auto check = [&](int red, int green, int blue) {
        const RGBQUAD colour = Bgr(static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue));
        const uint8_t expected = ReferenceNearest(palette.data(), static_cast<uint32_t>(palette.size()), colour);
        const uint32_t packed = matcher.NearestPacked(PaletteMatcher::PackColour(colour.rgbRed, colour.rgbGreen,
                                                                                 colour.rgbBlue));
        const RGBQUAD& entry = palette[expected];
        const bool same = PaletteMatcher::PackedIndex(packed) == expected &&
                          PaletteMatcher::PackedRed(packed) == entry.rgbRed &&
                          PaletteMatcher::PackedGreen(packed) == entry.rgbGreen &&
                          PaletteMatcher::PackedBlue(packed) == entry.rgbBlue;
        if (!same && ++mismatches <= 5) {
            ADD_FAILURE() << what << ": colour " << red << "," << green << "," << blue << " gives entry "
                          << int{PaletteMatcher::PackedIndex(packed)} << ", expected " << int{expected};
        }
    };
    for (int red = 0; red < 256; red += 7) {
        for (int green = 0; green < 256; green += 7) {
            for (int blue = 0; blue < 256; blue += 7) check(red, green, blue);
        }
    }
    auto wholeCell = [&](int red, int green, int blue) {
        if (red < 0 || green < 0 || blue < 0 || red > 255 || green > 255 || blue > 255) return;
        for (int i = 0; i < 512; ++i) check((red & ~7) | (i >> 6), (green & ~7) | ((i >> 3) & 7), (blue & ~7) | (i & 7));
    };
    wholeCell(0, 0, 0);
    wholeCell(255, 255, 255);
    wholeCell(128, 64, 200);
    for (int d = -8; d <= 8; d += 8) {
        wholeCell(focus.rgbRed + d, focus.rgbGreen, focus.rgbBlue);
        wholeCell(focus.rgbRed, focus.rgbGreen + d, focus.rgbBlue);
        wholeCell(focus.rgbRed, focus.rgbGreen, focus.rgbBlue + d);
    }
    EXPECT_EQ(mismatches, 0) << what;
}

TEST(PaletteMatcher, AnswersAsTheLinearSearchOnStandardTables)
{
    ExpectSameAnswers(std::vector<RGBQUAD>(imaging::kStandardPalette256.begin(), imaging::kStandardPalette256.end()),
                      "256 colours");
    ExpectSameAnswers(std::vector<RGBQUAD>(imaging::kStandardPalette16.begin(), imaging::kStandardPalette16.end()),
                      "16 colours");
    ExpectSameAnswers({Bgr(0, 0, 0), Bgr(255, 255, 255)}, "black and white");
}

TEST(PaletteMatcher, TiesAndRepeatedColoursGoToTheLowerIndex)
{
    // A quantizer table for a picture of few colours: the rest stays zero, so black
    // is repeated many times after the real entries.
    std::vector<RGBQUAD> sparse(256, Bgr(0, 0, 0));
    sparse[0] = Bgr(200, 30, 30);
    sparse[1] = Bgr(30, 200, 30);
    sparse[2] = Bgr(0, 0, 0);
    sparse[3] = Bgr(200, 30, 30);
    ExpectSameAnswers(sparse, "repeated entries");

    // Entries on both sides of many colours at equal distances: every midpoint ties.
    std::vector<RGBQUAD> ties;
    for (int i = 0; i < 16; ++i) {
        const auto v = static_cast<uint8_t>(16 * i + 8);
        ties.push_back(Bgr(v, 100, 100));
        ties.push_back(Bgr(100, v, 100));
    }
    ExpectSameAnswers(ties, "equal distances", Bgr(104, 100, 100));

    ExpectSameAnswers({Bgr(77, 77, 77)}, "one entry");
    PaletteMatcher empty(nullptr, 0);
    EXPECT_EQ(empty.NearestPacked(PaletteMatcher::PackColour(1, 2, 3)), 0u);
}

TEST(PaletteMatcher, CrowdedAndScatteredPalettes)
{
    // 256 distinct entries inside one small corner: every far cell keeps long lists.
    std::vector<RGBQUAD> crowded;
    for (int i = 0; i < 256; ++i) {
        crowded.push_back(Bgr(static_cast<uint8_t>(i & 7), static_cast<uint8_t>((i >> 3) & 7),
                              static_cast<uint8_t>(i >> 6)));
    }
    ExpectSameAnswers(crowded, "crowded corner", Bgr(4, 4, 2));

    // Pseudo-random entries, some one step apart across cell borders.
    std::vector<RGBQUAD> scattered;
    uint32_t state = 2463534242u;
    for (int i = 0; i < 200; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        scattered.push_back(Bgr(static_cast<uint8_t>(state), static_cast<uint8_t>(state >> 8),
                                static_cast<uint8_t>(state >> 16)));
    }
    for (int i = 0; i < 24; ++i) scattered.push_back(Bgr(static_cast<uint8_t>(63 + (i & 1)), 64, 64));
    ExpectSameAnswers(scattered, "scattered", Bgr(64, 64, 64));
}

}  // namespace
}  // namespace tallowin::test
