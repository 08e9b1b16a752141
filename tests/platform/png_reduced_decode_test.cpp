// PNG read row by row into block averages when the caller needs half the size or less:
// the result is the full decode averaged in blocks (colours weighted by alpha), for
// every colour type and depth, blocks cut short at the right and bottom edges;
// interlaced files and requests that need more decode whole; damage is still refused.
#include "decoder_test_support.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;
using codec::Raster;

// The full raster averaged in `side` x `side` blocks, alpha-weighted, rounded to nearest.
Raster BlockAverages(const Raster& full, int side)
{
    Raster out;
    out.width = (full.width + side - 1) / side;
    out.height = (full.height + side - 1) / side;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (int32_t by = 0; by < out.height; ++by) {
        for (int32_t bx = 0; bx < out.width; ++bx) {
            uint64_t weighted[3] = {}, alpha = 0, count = 0;
            for (int32_t y = by * side; y < std::min(full.height, (by + 1) * side); ++y) {
                for (int32_t x = bx * side; x < std::min(full.width, (bx + 1) * side); ++x) {
                    const uint8_t* p = full.Row(y) + x * 4;
                    for (int c = 0; c < 3; ++c) weighted[c] += static_cast<uint64_t>(p[c]) * p[3];
                    alpha += p[3];
                    ++count;
                }
            }
            uint8_t* q = out.Row(by) + bx * 4;
            for (int c = 0; c < 3; ++c) q[c] = alpha == 0 ? 0 : static_cast<uint8_t>((weighted[c] + alpha / 2) / alpha);
            q[3] = static_cast<uint8_t>((alpha + count / 2) / count);
        }
    }
    return out;
}

TEST(PngReducedDecode, EqualsTheFullDecodeAveragedInBlocks)
{
    struct Case {
        codec::DecodeRequest request;
        int side;
    };
    // 32 x 32 files: 1/8 covers 4 x 4, 1/4 covers 8 x 8, 1/2 covers 16 x 16; 17 needs the whole.
    const std::vector<Case> cases = {{{4, 4}, 8}, {{1, 8}, 4}, {{16, 9}, 2}, {{17, 16}, 1}, {{0, 0}, 1}};
    for (const char* name : {"basn0g01.png", "basn0g16.png", "basn2c08.png", "basn2c16.png", "basn3p04.png",
                             "basn4a08.png", "basn6a08.png", "basn6a16.png", "tbrn2c08.png", "tp1n3p08.png"}) {
        const Decoded full = DecodeFile(DataFile(std::string("pngsuite/") + name));
        ASSERT_TRUE(Decodes(full)) << name;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << name << " " << c.request.minWidth << "x" << c.request.minHeight);
            const Decoded reduced = DecodeFile(DataFile(std::string("pngsuite/") + name), c.request);
            ASSERT_EQ(reduced.pixels, DecodeStatus::Ok);
            const Raster expected = c.side == 1 ? full.raster : BlockAverages(full.raster, c.side);
            ASSERT_EQ(reduced.raster.width, expected.width);
            ASSERT_EQ(reduced.raster.height, expected.height);
            EXPECT_EQ(reduced.raster.pixels, expected.pixels);
        }
    }
}

TEST(PngReducedDecode, OddSidesEndInShorterBlocks)
{
    // 5 x 5, 7 x 7 and 9 x 9 pictures: the last column and row of blocks are partial.
    for (const char* name : {"s05n3p02.png", "s07n3p02.png", "s09n3p02.png"}) {
        const Decoded full = DecodeFile(DataFile(std::string("pngsuite/") + name));
        ASSERT_TRUE(Decodes(full)) << name;
        for (const int side : {2, 4, 8}) {
            SCOPED_TRACE(testing::Message() << name << " 1/" << side);
            const int32_t want = (full.raster.width + side - 1) / side;
            const Decoded reduced = DecodeFile(DataFile(std::string("pngsuite/") + name), {want, want});
            ASSERT_EQ(reduced.pixels, DecodeStatus::Ok);
            EXPECT_EQ(reduced.raster.pixels, BlockAverages(full.raster, side).pixels);
        }
    }
}

TEST(PngReducedDecode, InterlacedFilesDecodeWhole)
{
    const Decoded full = DecodeFile(DataFile("pngsuite/basi6a08.png"));
    const Decoded asked = DecodeFile(DataFile("pngsuite/basi6a08.png"), {4, 4});
    ASSERT_EQ(asked.pixels, DecodeStatus::Ok);
    EXPECT_EQ(asked.raster.width, 32);
    EXPECT_EQ(asked.raster.pixels, full.raster.pixels);
}

class PngReducedDamage : public TestWorld {};

TEST_F(PngReducedDamage, ATruncatedFileIsRefusedAsInAFullDecode)
{
    std::ifstream in(DataFile("pngsuite/basn2c08.png"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string cut = Path("cut.png").string();
    WriteFile("cut.png", bytes.substr(0, bytes.size() * 2 / 3));
    const Decoded whole = DecodeFile(cut);
    const Decoded reduced = DecodeFile(cut, {4, 4});
    EXPECT_EQ(whole.pixels, DecodeStatus::NotAnImage);
    EXPECT_EQ(reduced.pixels, DecodeStatus::NotAnImage);
    EXPECT_TRUE(reduced.raster.pixels.empty());
}

}  // namespace
}  // namespace tallowin::test
