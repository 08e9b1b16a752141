// The octree quantizer: the tables it writes for 2 and 256 colours, its limits,
// and the same tables as the plain reference on real pictures.

#include "dib_image.h"
#include "image_helpers.h"
#include "quantizer.h"
#include "reference_imaging.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace tallowin::test {
namespace {

constexpr RGBQUAD kUntouched{1, 2, 3, 4};

bool SameEntry(const RGBQUAD& a, const RGBQUAD& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

std::vector<RGBQUAD> Quantize(const CDibImage& image, uint32_t colours, uint32_t depth, uint32_t* leaves = nullptr)
{
    CQuantizer quantizer(colours, depth);
    EXPECT_TRUE(quantizer.Scan(image.PixelBlock()));
    std::vector<RGBQUAD> table(std::max(colours, 1u), kUntouched);
    quantizer.WritePalette(table.data());
    if (leaves != nullptr) *leaves = quantizer.LeafCount();
    return table;
}

TEST(Quantizer, TwoColoursAverageTheHalvesOfTheLeavesInTreeOrder)
{
    // Tree order by the top bits: blue (octant 1), green (2), red (4).
    CDibImage image;
    image.Allocate(6, 1, 24);
    image.SetPixelColour(0, 0, Bgr(255, 0, 0));
    image.SetPixelColour(1, 0, Bgr(255, 0, 0));
    image.SetPixelColour(2, 0, Bgr(0, 255, 0));
    for (int x = 3; x < 6; ++x) image.SetPixelColour(x, 0, Bgr(0, 0, 255));
    uint32_t leaves = 0;
    const auto table = Quantize(image, 2, 8, &leaves);
    EXPECT_EQ(leaves, 3u);
    EXPECT_TRUE(SameEntry(table[0], Bgr(0, 0, 255)));
    // Green once and red twice: (0×1 + 255×2) / 3 = 170 red, 255 / 3 = 85 green.
    EXPECT_TRUE(SameEntry(table[1], Bgr(170, 85, 0)));
}

TEST(Quantizer, TwoHundredFiftySixColoursKeepEveryDistinctColourExactly)
{
    CDibImage image;
    image.Allocate(40, 5, 24);
    std::set<std::tuple<int, int, int>> colours;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 40; ++x) {
            const int k = (x * 7 + y * 3) % 120;  // 120 distinct colours, several pixels each
            image.SetPixelColour(x, y, Bgr(static_cast<uint8_t>(k * 2), static_cast<uint8_t>(255 - k), static_cast<uint8_t>(k * k % 256)));
            colours.insert({k * 2, 255 - k, k * k % 256});
        }
    }
    uint32_t leaves = 0;
    const auto table = Quantize(image, 256, 8, &leaves);
    ASSERT_EQ(leaves, colours.size());
    std::set<std::tuple<int, int, int>> written;
    for (uint32_t i = 0; i < leaves; ++i) written.insert({table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
    EXPECT_EQ(written, colours);
    for (uint32_t i = leaves; i < 256; ++i) EXPECT_TRUE(SameEntry(table[i], kUntouched)) << i;
}

TEST(Quantizer, SingleColourDepthTwelveAndUnsupportedDepths)
{
    CDibImage image;
    image.Allocate(9, 9, 24);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) image.SetPixelColour(x, y, Bgr(12, 34, 56));
    }
    uint32_t leaves = 0;
    const auto table = Quantize(image, 256, 8, &leaves);
    EXPECT_EQ(leaves, 1u);
    EXPECT_TRUE(SameEntry(table[0], Bgr(12, 34, 56)));
    EXPECT_TRUE(SameEntry(table[1], kUntouched));

    CDibImage photo;
    FillPhotoLike(photo, 60, 40, 3);
    uint32_t leaves8 = 0, leaves12 = 0;
    EXPECT_EQ(0, std::memcmp(Quantize(photo, 16, 8, &leaves8).data(), Quantize(photo, 16, 12, &leaves12).data(),
                             16 * sizeof(RGBQUAD)));
    EXPECT_EQ(leaves8, leaves12);

    for (uint16_t bits : {16, 32, 2, 0}) {
        BITMAPINFOHEADER header{};
        header.biSize = 40;
        header.biWidth = 2;
        header.biHeight = 2;
        header.biBitCount = bits;
        std::vector<uint8_t> block(40 + 64, 0);
        std::memcpy(block.data(), &header, sizeof(header));
        CQuantizer quantizer(256, 8);
        EXPECT_FALSE(quantizer.Scan(block.data())) << bits;
        EXPECT_EQ(quantizer.LeafCount(), 0u);
    }
}

TEST(Quantizer, ColourSumsDoNotWrapOnLargeImages)
{
    // 4200 × 4200 white pixels: 255 × 17.6 million passes 32 bits.
    CDibImage image;
    ASSERT_NE(image.Allocate(4200, 4200, 24), nullptr);
    std::memset(image.Pixels(), 0xFF, image.Header().biSizeImage);
    uint32_t leaves = 0;
    const auto table = Quantize(image, 256, 8, &leaves);
    EXPECT_EQ(leaves, 1u);
    EXPECT_TRUE(SameEntry(table[0], Bgr(255, 255, 255)));
}

TEST(Quantizer, SameTablesAsTheReferenceWhenMergesFreeWhereWalksStarted)
{
    // Rows of a few colours close together, then rows spread over the whole cube
    // (merges fold the tree far up, freeing the nodes where earlier walks of the
    // first colours ended), then the first colours again; for shallow trees too,
    // whose leaves sit above the level where walks are resumed.
    CDibImage image;
    image.Allocate(64, 12, 24);
    uint32_t state = 99;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 64; ++x) {
            state = state * 1103515245u + 12345u;
            RGBQUAD colour = Bgr(static_cast<uint8_t>(100 + x % 3), 50, static_cast<uint8_t>(200 + y % 2));
            if (y >= 4 && y < 8) {
                colour = Bgr(static_cast<uint8_t>(state >> 8), static_cast<uint8_t>(state >> 16),
                             static_cast<uint8_t>(state >> 24));
            }
            image.SetPixelColour(x, y, colour);
        }
    }
    for (uint32_t depth : {1u, 2u, 4u, 5u, 8u}) {
        for (uint32_t colours : {2u, 16u, 256u}) {
            uint32_t leaves = 0, referenceLeaves = 0;
            const auto fast = Quantize(image, colours, depth, &leaves);
            const auto reference = ReferenceQuantize(image, colours, depth, kUntouched, referenceLeaves);
            EXPECT_EQ(leaves, referenceLeaves) << "depth " << depth << ", " << colours << " colours";
            EXPECT_EQ(0, std::memcmp(fast.data(), reference.data(), colours * sizeof(RGBQUAD)))
                << "depth " << depth << ", " << colours << " colours";
        }
    }
}

TEST(Quantizer, SameTablesAsTheReferenceOnRealPictures)
{
    std::vector<std::unique_ptr<CDibImage>> images;
    images.push_back(std::make_unique<CDibImage>());
    ASSERT_TRUE(images[0]->LoadFile((DataDir() / "exif-orientation/landscape_450x300.bmp").c_str(), kDibFormatBmp));
    for (const char* file : {"g/pal8.bmp", "g/pal4.bmp", "g/pal1bg.bmp", "g/rgb24.bmp", "g/pal8gs.bmp"}) {
        images.push_back(std::make_unique<CDibImage>());
        ASSERT_TRUE(images.back()->LoadFile((DataDir() / "bmpsuite" / file).c_str(), kDibFormatBmp)) << file;
    }
    images.push_back(std::make_unique<CDibImage>());
    FillPhotoLike(*images.back(), 300, 200, 11);
    for (size_t i = 0; i < images.size(); ++i) {
        for (uint32_t colours : {2u, 7u, 16u, 256u}) {
            uint32_t leaves = 0, referenceLeaves = 0;
            const auto fast = Quantize(*images[i], colours, 8, &leaves);
            const auto reference = ReferenceQuantize(*images[i], colours, 8, kUntouched, referenceLeaves);
            EXPECT_EQ(leaves, referenceLeaves) << "image " << i << ", " << colours << " colours";
            EXPECT_EQ(0, std::memcmp(fast.data(), reference.data(), colours * sizeof(RGBQUAD)))
                << "image " << i << ", " << colours << " colours";
        }
    }
}

}  // namespace
}  // namespace tallowin::test
