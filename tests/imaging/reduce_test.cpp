// Bit-depth reduction: early exits, the standard palettes, the diffusion's
// truncating arithmetic, and the fast path against the per-pixel reference.

#include "dib_image.h"
#include "image_helpers.h"
#include "quantizer.h"
#include "reference_imaging.h"
#include "standard_palettes.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

CDibImage& Grey(CDibImage& image, std::initializer_list<uint8_t> values)
{
    image.Allocate(static_cast<int>(values.size()), 1, 24);
    int x = 0;
    for (uint8_t v : values) image.SetPixelColour(x++, 0, Bgr(v, v, v));
    return image;
}

TEST(ReduceBitDepth, EarlyExitsAndRefusals)
{
    CDibImage empty;
    EXPECT_FALSE(empty.ReduceBitDepth(8, false, nullptr, 0));

    CDibImage eight;
    eight.Allocate(3, 3, 8);
    eight.SetPixelIndex(1, 1, 77);
    const auto before = BlockBytes(eight);
    EXPECT_TRUE(eight.ReduceBitDepth(8, true, nullptr, 0));
    EXPECT_EQ(BlockBytes(eight), before);

    CDibImage four;
    four.Allocate(3, 3, 4);
    EXPECT_FALSE(four.ReduceBitDepth(8, false, nullptr, 0));
    EXPECT_EQ(four.BitCount(), 4);

    CDibImage rgb;
    rgb.Allocate(3, 3, 24);
    EXPECT_TRUE(rgb.ReduceBitDepth(24, false, nullptr, 0));
    EXPECT_FALSE(rgb.ReduceBitDepth(16, false, nullptr, 0));  // rounds to 24: nothing to reduce to
    EXPECT_EQ(rgb.BitCount(), 24);
}

TEST(ReduceBitDepth, OneBitWithoutPaletteSplitsAtMidGrey)
{
    CDibImage image;
    ASSERT_TRUE(Grey(image, {128, 127, 255, 0}).ReduceBitDepth(1, false, nullptr, 0));
    EXPECT_EQ(image.BitCount(), 1);
    EXPECT_EQ(image.PixelIndex(0, 0), 1);  // 48387 to white against 49152 to black
    EXPECT_EQ(image.PixelIndex(1, 0), 0);
    EXPECT_EQ(image.PixelIndex(2, 0), 1);
    EXPECT_EQ(image.PixelIndex(3, 0), 0);
    EXPECT_EQ(image.PaletteColour(1).rgbRed, 255);
    EXPECT_EQ(image.PaletteColour(0).rgbRed, 0);
}

TEST(ReduceBitDepth, DiffusionPassesSevenSixteenthsTruncated)
{
    // 20 maps to black: +20 × 7 / 16 = +8 lifts 120 to 128, which maps to white.
    CDibImage plain, diffused;
    ASSERT_TRUE(Grey(plain, {20, 120}).ReduceBitDepth(1, false, nullptr, 0));
    ASSERT_TRUE(Grey(diffused, {20, 120}).ReduceBitDepth(1, true, nullptr, 0));
    EXPECT_EQ(plain.PixelIndex(1, 0), 0);
    EXPECT_EQ(diffused.PixelIndex(1, 0), 1);
    // 235 maps to white: −20 × 7 / 16 = −8 drops 135 to 127, which maps to black.
    ASSERT_TRUE(Grey(plain, {235, 135}).ReduceBitDepth(1, false, nullptr, 0));
    ASSERT_TRUE(Grey(diffused, {235, 135}).ReduceBitDepth(1, true, nullptr, 0));
    EXPECT_EQ(plain.PixelIndex(1, 0), 1);
    EXPECT_EQ(diffused.PixelIndex(1, 0), 0);
    // 253 maps to white with an error of −2: −14 / 16 truncates to 0, so 128 stays white.
    ASSERT_TRUE(Grey(diffused, {253, 128}).ReduceBitDepth(1, true, nullptr, 0));
    EXPECT_EQ(diffused.PixelIndex(1, 0), 1);

    // The next stored row gets 2, 4 and 1 sixteenths: an error of 40 under x = 1 adds
    // 5, 10 and 2 to the pixels below-left, below and below-right.
    CDibImage column;
    column.Allocate(3, 2, 24);
    column.SetPixelColour(1, 0, Bgr(40, 40, 40));
    for (int x = 0; x < 3; ++x) column.SetPixelColour(x, 1, Bgr(118, 118, 126));
    ASSERT_TRUE(column.ReduceBitDepth(1, true, nullptr, 0));
    EXPECT_EQ(column.PixelIndex(0, 1), 0);  // 118 + 5 (+ 0 from x = 0's zero error) = 123: black
    EXPECT_EQ(column.PixelIndex(1, 1), 1);  // 118 + 10 = 128: white
    EXPECT_EQ(column.PixelIndex(2, 1), 0);
}

TEST(ReduceBitDepth, StandardAndCallerPalettes)
{
    CDibImage image;
    FillPhotoLike(image, 8, 8, 1);
    ASSERT_TRUE(image.ReduceBitDepth(4, false, nullptr, 0));
    EXPECT_EQ(0, std::memcmp(image.PaletteBlock(), imaging::kStandardPalette16.data(), 64));

    FillPhotoLike(image, 8, 8, 1);
    ASSERT_TRUE(image.ReduceBitDepth(8, false, nullptr, 0));
    EXPECT_EQ(0, std::memcmp(image.PaletteBlock(), imaging::kStandardPalette256.data(), 1024));
    const RGBQUAD* p = image.PaletteBlock();
    EXPECT_EQ(p[40].rgbRed, 254);
    EXPECT_EQ(p[249].rgbRed, 255);
    EXPECT_EQ(p[246].rgbRed, 255);
    EXPECT_EQ(p[246].rgbGreen, 251);
    EXPECT_EQ(p[246].rgbBlue, 240);
    EXPECT_EQ(p[247].rgbBlue, 164);
    EXPECT_EQ(p[226].rgbGreen, 242);
    EXPECT_EQ(p[245].rgbGreen, 14);

    // A 16-entry table for a 1-bit target: only its first two entries are used.
    RGBQUAD table[16];
    for (int i = 0; i < 16; ++i) table[i] = Bgr(static_cast<uint8_t>(10 * i), 0, 0);
    table[0] = Bgr(200, 10, 10);
    table[1] = Bgr(10, 10, 200);
    CDibImage two;
    ASSERT_TRUE(Grey(two, {30, 40}).ReduceBitDepth(1, false, table, 0));
    EXPECT_EQ(two.PaletteColour(0).rgbRed, 200);
    EXPECT_EQ(two.PaletteColour(1).rgbBlue, 200);
    EXPECT_EQ(two.PaletteSize(), 8u);
}

TEST(ReduceBitDepth, ImportantColoursLimitTheSearch)
{
    CDibImage image;
    ASSERT_TRUE(Grey(image, {255, 250, 0}).ReduceBitDepth(4, false, nullptr, 8));
    EXPECT_EQ(image.Header().biClrImportant, 8u);
    EXPECT_EQ(image.PixelIndex(0, 0), 7);  // white is entry 15, beyond the first 8: light grey
    EXPECT_EQ(image.PixelIndex(2, 0), 0);
}

// Runs the library and the reference on copies of the same picture and compares
// the resulting blocks byte for byte.
void ExpectSameAsReference(const CDibImage& source, uint32_t bits, bool diffusion, const RGBQUAD* palette,
                           uint32_t important, const char* what)
{
    CDibImage fast, reference;
    ASSERT_NE(fast.Allocate(source.Width(), source.Height(), source.BitCount()), nullptr);
    reference.Allocate(source.Width(), source.Height(), source.BitCount());
    std::memcpy(fast.PixelBlock(), source.PixelBlock(), source.TotalSize());
    std::memcpy(reference.PixelBlock(), source.PixelBlock(), source.TotalSize());
    const bool fastResult = fast.ReduceBitDepth(bits, diffusion, palette, important);
    const bool referenceResult = ReferenceReduceBitDepth(reference, bits, diffusion, palette, important);
    EXPECT_EQ(fastResult, referenceResult) << what;
    EXPECT_TRUE(BlockBytes(fast) == BlockBytes(reference))
        << what << ": " << bits << " bits, diffusion " << diffusion << ", important " << important;
}

TEST(ReduceBitDepth, FastPathMatchesTheReferenceBitForBit)
{
    std::vector<std::pair<std::string, std::unique_ptr<CDibImage>>> pictures;
    pictures.emplace_back("landscape", std::make_unique<CDibImage>());
    ASSERT_TRUE(pictures.back().second->LoadFile((DataDir() / "exif-orientation/landscape_450x300.bmp").c_str(), kDibFormatBmp));
    for (const char* file : {"g/rgb24.bmp", "g/rgb16-565.bmp", "g/rgb32bf.bmp"}) {
        pictures.emplace_back(file, std::make_unique<CDibImage>());
        ASSERT_TRUE(pictures.back().second->LoadFile((DataDir() / "bmpsuite" / file).c_str(), kDibFormatBmp));
    }
    pictures.emplace_back("photo-like", std::make_unique<CDibImage>());
    FillPhotoLike(*pictures.back().second, 161, 93, 5);

    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::string& name = pictures[i].first;
        const CDibImage& picture = *pictures[i].second;
        // The photo is the largest: only the combinations the conversion uses.
        const bool everyCombination = i != 0;
        for (uint32_t bits : {1u, 4u, 8u}) {
            const uint32_t colours = 1u << bits;
            CQuantizer quantizer(colours, 8);
            ASSERT_TRUE(quantizer.Scan(picture.PixelBlock()));
            std::vector<RGBQUAD> table(colours, RGBQUAD{0, 0, 0, 0});
            quantizer.WritePalette(table.data());
            ExpectSameAsReference(picture, bits, true, table.data(), 0, name.c_str());
            if (!everyCombination) continue;
            ExpectSameAsReference(picture, bits, false, table.data(), 0, name.c_str());
            ExpectSameAsReference(picture, bits, true, nullptr, 0, name.c_str());
            ExpectSameAsReference(picture, bits, false, nullptr, 0, name.c_str());
        }
        if (!everyCombination) continue;
        ExpectSameAsReference(picture, 8, true, nullptr, 100, name.c_str());
        ExpectSameAsReference(picture, 4, true, nullptr, 5, name.c_str());
    }
}

TEST(ReduceBitDepth, FastPathMatchesTheReferenceAtEveryRowAndColumnEdge)
{
    // Rows are reduced in staggered bands: heights around the band size and widths
    // down to one pixel exercise the first and last pixels and the last band.
    for (int width : {1, 2, 3, 5, 8}) {
        for (int height = 1; height <= 9; ++height) {
            CDibImage picture;
            FillPhotoLike(picture, width, height, static_cast<uint32_t>(width * 16 + height));
            const std::string name = std::to_string(width) + " x " + std::to_string(height);
            for (uint32_t bits : {1u, 4u, 8u}) {
                ExpectSameAsReference(picture, bits, true, nullptr, 0, name.c_str());
                ExpectSameAsReference(picture, bits, false, nullptr, 0, name.c_str());
            }
        }
    }
    // Strong errors near both clamps: a two-colour palette far from the pixels.
    CDibImage extremes;
    extremes.Allocate(7, 6, 24);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 7; ++x) {
            const auto v = static_cast<uint8_t>((x + y) % 2 == 0 ? 250 : 5);
            extremes.SetPixelColour(x, y, Bgr(v, static_cast<uint8_t>(255 - v), v));
        }
    }
    const RGBQUAD greys[2] = {Bgr(100, 100, 100), Bgr(160, 160, 160)};
    ExpectSameAsReference(extremes, 1, true, greys, 0, "extremes");
}

TEST(ReduceBitDepth, IndexedSourcesGoThroughTheAccessors)
{
    CDibImage eight;
    ASSERT_TRUE(eight.LoadFile((DataDir() / "bmpsuite/g/pal8.bmp").c_str(), kDibFormatBmp));
    ExpectSameAsReference(eight, 4, true, nullptr, 0, "pal8 to 4 bits");
    ExpectSameAsReference(eight, 1, true, nullptr, 0, "pal8 to 1 bit");
    CDibImage one;
    ASSERT_TRUE(one.LoadFile((DataDir() / "bmpsuite/g/pal1bg.bmp").c_str(), kDibFormatBmp));
    ExpectSameAsReference(one, 1, true, nullptr, 2, "pal1bg to 1 bit");
    ASSERT_TRUE(one.ReduceBitDepth(1, true, nullptr, 2));
    EXPECT_EQ(one.PaletteColour(0).rgbRed, 0);  // a 1-bit source ends with black and white
    EXPECT_EQ(one.PaletteColour(1).rgbGreen, 255);
}

}  // namespace
}  // namespace tallowin::test
