// Lent pixel memory: a decode writes its raster into the region a thread lends, once at
// a time, and only a raster that fits and is worth it; the pixels are the same either way.
#include "decoder_test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;
using codec::LentPixelMemory;

std::string DataFile(const std::string& name) { return (DataDir() / name).string(); }

TEST(LentPixelMemory, ADecodeThatFitsIsWrittenIntoTheLendOnceAtATime) {
    const Decoded expected = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
    ASSERT_EQ(expected.pixels, DecodeStatus::Ok);
    std::vector<uint8_t> region(expected.raster.pixels.size() + 4096, 0xA5);
    LentPixelMemory lent(region.data(), region.size());
    {
        Decoded first = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
        ASSERT_EQ(first.pixels, DecodeStatus::Ok);
        EXPECT_TRUE(lent.Holds(first.raster.pixels));
        EXPECT_EQ(first.raster.pixels, expected.raster.pixels);
        // The region is taken: a second raster meanwhile goes to the heap.
        Decoded second = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
        EXPECT_FALSE(lent.Holds(second.raster.pixels));
        EXPECT_EQ(second.raster.pixels, expected.raster.pixels);
    }
    // Freed, the region is lent again.
    Decoded again = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
    EXPECT_TRUE(lent.Holds(again.raster.pixels));
}

TEST(LentPixelMemory, SmallAndTooLargePicturesGoToTheHeap) {
    std::vector<uint8_t> region(size_t{1} << 20);
    LentPixelMemory lent(region.data(), region.size());
    const Decoded small = DecodeFile(DataFile("pngsuite/basn6a08.png"));
    ASSERT_EQ(small.pixels, DecodeStatus::Ok);
    EXPECT_FALSE(lent.Holds(small.raster.pixels));
    const Decoded large = DecodeFile(DataFile("exif-orientation/Landscape_1.jpg"));
    ASSERT_EQ(large.pixels, DecodeStatus::Ok);
    ASSERT_GT(large.raster.pixels.size(), region.size());
    EXPECT_FALSE(lent.Holds(large.raster.pixels));
}

// A turned photo is decoded into the lend and turned into a raster of the heap; the
// lend is free again when the first raster is gone.
TEST(LentPixelMemory, ATurnedPhotoLeavesTheLendFree) {
    const Decoded expected = DecodeFile(DataFile("exif-orientation/Landscape_6.jpg"));
    ASSERT_EQ(expected.pixels, DecodeStatus::Ok);
    std::vector<uint8_t> region(expected.raster.pixels.size());
    LentPixelMemory lent(region.data(), region.size());
    Decoded turned = DecodeFile(DataFile("exif-orientation/Landscape_6.jpg"));
    ASSERT_EQ(turned.pixels, DecodeStatus::Ok);
    EXPECT_EQ(turned.raster.pixels, expected.raster.pixels);
    turned = Decoded{};
    const Decoded plain = DecodeFile(DataFile("exif-orientation/Landscape_1.jpg"));
    EXPECT_TRUE(lent.Holds(plain.raster.pixels));
}

}  // namespace
}  // namespace tallowin::test
