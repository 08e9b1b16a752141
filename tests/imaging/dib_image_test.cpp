// The in-memory bitmap: layout, pixel access, palette search and the BMP writer's
// bytes, plus write → read round trips at every depth.

#include "dib_image.h"
#include "dib_layout.h"
#include "image_helpers.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallowin::test {
namespace {

using imaging::kMaxImagePixels;
using imaging::kMaxImageSide;

TEST(DibImageLayout, StridesDepthsAndPaletteSizes)
{
    struct Case {
        int width;
        uint16_t bits;
        uint16_t heldBits;
        uint32_t stride;
        uint32_t colours;
    };
    const Case cases[] = {
        {1, 24, 24, 4, 0},   {3, 4, 4, 4, 16},   {33, 1, 1, 8, 2},    {2, 2, 4, 4, 16},  {5, 16, 24, 16, 0},
        {5, 32, 24, 16, 0},  {0x7FF, 8, 8, 2048, 256}, {7, 0, 1, 4, 2}, {7, 6, 8, 8, 256}, {4, 3, 4, 4, 16},
    };
    for (const Case& c : cases) {
        CDibImage image;
        ASSERT_NE(image.Allocate(c.width, 3, c.bits), nullptr) << c.width << "x" << c.bits;
        EXPECT_EQ(image.BitCount(), c.heldBits);
        EXPECT_EQ(image.RowStride(), c.stride) << c.width << " px at " << c.bits;
        EXPECT_EQ(image.Header().biClrUsed, c.colours);
        EXPECT_EQ(image.PaletteSize(), 4 * c.colours);
        EXPECT_EQ(image.Header().biSizeImage, 3 * c.stride);
        EXPECT_EQ(image.TotalSize(), 40 + 4 * c.colours + 3 * c.stride);
        // The block is zero-filled and starts with the header as the object holds it.
        BITMAPINFOHEADER stored;
        std::memcpy(&stored, image.PixelBlock(), sizeof(stored));
        EXPECT_EQ(0, std::memcmp(&stored, &image.Header(), sizeof(stored)));
        const auto bytes = BlockBytes(image);
        EXPECT_TRUE(std::all_of(bytes.begin() + 40, bytes.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(image.Pixels(), image.PixelBlock() + 40 + image.PaletteSize());
    }
}

TEST(DibImageLayout, RefusesBadAndOversizedDimensionsBeforeAllocating)
{
    CDibImage image;
    EXPECT_EQ(image.Allocate(0, 5, 24), nullptr);
    EXPECT_EQ(image.Allocate(5, 0, 24), nullptr);
    EXPECT_EQ(image.Allocate(-5, 5, 8), nullptr);
    EXPECT_EQ(image.Allocate(5, -5, 8), nullptr);
    EXPECT_EQ(image.Allocate(static_cast<int32_t>(kMaxImageSide + 1), 1, 1), nullptr);
    EXPECT_EQ(image.Allocate(INT32_MAX, INT32_MAX, 24), nullptr);
    EXPECT_EQ(image.Allocate(static_cast<int32_t>(kMaxImageSide), static_cast<int32_t>(kMaxImagePixels / kMaxImageSide + 1), 1),
              nullptr);
    EXPECT_EQ(image.PixelBlock(), nullptr);
    imaging::DibLayout layout;
    EXPECT_EQ(imaging::ComputeDibLayout(static_cast<int32_t>(kMaxImageSide), 500, 24, 40, layout),
              imaging::LayoutStatus::Ok);
    EXPECT_EQ(layout.rowStride, 3'000'000u);
    EXPECT_EQ(imaging::ComputeDibLayout(-1, 1, 24, 40, layout), imaging::LayoutStatus::InvalidDimensions);
    EXPECT_EQ(imaging::ComputeDibLayout(1'000'000, 501, 24, 40, layout), imaging::LayoutStatus::OverLimit);
}

TEST(DibImagePixels, PackingOfEveryDepth)
{
    CDibImage four;
    four.Allocate(3, 2, 4);
    four.SetPixelIndex(0, 1, 0xA);
    four.SetPixelIndex(1, 1, 0x3F);  // only the low nibble is kept
    four.SetPixelIndex(2, 1, 0x5);
    EXPECT_EQ(four.Row(1)[0], 0xAF);
    EXPECT_EQ(four.Row(1)[1], 0x50);
    four.SetPixelIndex(1, 1, 0x1);
    EXPECT_EQ(four.Row(1)[0], 0xA1);
    EXPECT_EQ(four.PixelIndex(0, 1), 0xA);
    EXPECT_EQ(four.PixelIndex(1, 1), 0x1);

    CDibImage one;
    one.Allocate(10, 1, 1);
    one.SetPixelIndex(0, 0, 1);
    one.SetPixelIndex(7, 0, 3);
    one.SetPixelIndex(8, 0, 1);
    EXPECT_EQ(one.Row(0)[0], 0x81);
    EXPECT_EQ(one.Row(0)[1], 0x80);
    one.SetPixelIndex(0, 0, 0);
    EXPECT_EQ(one.Row(0)[0], 0x01);

    CDibImage rgb;
    rgb.Allocate(2, 2, 24);
    rgb.SetPixelColour(1, 1, Bgr(10, 20, 30));
    const uint8_t* p = rgb.Row(1) + 3;
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    const RGBQUAD c = rgb.PixelColour(1, 1);
    EXPECT_EQ(c.rgbRed, 10);
    EXPECT_EQ(c.rgbReserved, 0);
}

TEST(DibImagePixels, OutsideReadsAndWritesWithAndWithoutBackground)
{
    CDibImage image;
    image.Allocate(4, 3, 8);
    for (int i = 0; i < 256; ++i) image.SetPaletteEntry(static_cast<uint8_t>(i), static_cast<uint8_t>(i), 1, 2);
    image.SetPixelIndex(0, 0, 9);
    EXPECT_EQ(image.PixelIndex(-1, 0), 0);
    EXPECT_EQ(image.PixelIndex(0, image.Height()), 0);
    EXPECT_EQ(image.PixelIndex(4, 0), 0);
    RGBQUAD outside = image.PixelColour(-1, 0);
    EXPECT_EQ(outside.rgbRed | outside.rgbGreen | outside.rgbBlue, 0);

    image.SetBackgroundIndex(5);
    EXPECT_EQ(image.PixelIndex(-1, 0), 5);
    EXPECT_EQ(image.PixelIndex(0, 3), 5);
    outside = image.PixelColour(7, -2);
    EXPECT_EQ(outside.rgbRed, 5);
    EXPECT_EQ(outside.rgbGreen, 1);
    EXPECT_EQ(outside.rgbBlue, 2);
    EXPECT_EQ(image.PixelIndex(0, 0), 9);

    const auto before = BlockBytes(image);
    image.SetPixelIndex(4, 0, 1);
    image.SetPixelIndex(-1, 0, 1);
    image.SetPixelColour(0, 3, Bgr(1, 1, 1));
    image.SetPaletteEntry(255, 0, 0, 0);  // inside the palette: changes
    EXPECT_EQ(image.PaletteColour(255).rgbRed, 0);
    CDibImage rgb;
    rgb.Allocate(1, 1, 24);
    rgb.SetPaletteEntry(0, 1, 2, 3);  // no palette: ignored
    EXPECT_EQ(rgb.PaletteBlock(), nullptr);
    EXPECT_EQ(rgb.PaletteColour(0).rgbRed, 0);
    EXPECT_EQ(before.size(), BlockBytes(image).size());
}

TEST(DibImagePalette, NearestEntryTiesAndImportantColours)
{
    CDibImage image;
    image.Allocate(1, 1, 4);
    for (int i = 0; i < 16; ++i) image.SetPaletteEntry(static_cast<uint8_t>(i), 200, 200, 200);
    image.SetPaletteEntry(0, 0, 0, 0);
    image.SetPaletteEntry(3, 100, 100, 100);
    image.SetPaletteEntry(4, 100, 100, 100);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(101, 99, 100)), 3);  // equal distances: lower index
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(100, 100, 100)), 3);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(199, 199, 199)), 1);

    image.SetImportantColours(2);
    EXPECT_EQ(image.Header().biClrImportant, 2u);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(110, 110, 110)), 1);  // only entries 0 and 1 searched
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(100, 100, 100)), 0);  // equally far from both
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(90, 90, 90)), 0);
    image.SetImportantColours(300);
    EXPECT_EQ(image.Header().biClrImportant, 0u);
    image.SetImportantColours(40);
    EXPECT_EQ(image.Header().biClrImportant, 16u);
    // Only the object header changes.
    BITMAPINFOHEADER stored;
    std::memcpy(&stored, image.PixelBlock(), sizeof(stored));
    EXPECT_EQ(stored.biClrImportant, 0u);

    CDibImage rgb;
    rgb.Allocate(1, 1, 24);
    EXPECT_EQ(rgb.NearestPaletteIndex(Bgr(1, 2, 3)), 0);
}

TEST(DibImagePalette, SetPaletteColoursCopiesAtMostThePalette)
{
    RGBQUAD table[256];
    for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{static_cast<uint8_t>(i), 1, 2, 7};
    CDibImage one;
    one.Allocate(8, 1, 1);
    one.SetPaletteColours(table, 16);
    EXPECT_EQ(one.PaletteBlock()[1].rgbBlue, 1);
    EXPECT_EQ(one.PaletteBlock()[1].rgbReserved, 7);  // copied as given
    EXPECT_EQ(one.Pixels()[0], 0);                    // the rows after the palette are untouched
    CDibImage eight;
    eight.Allocate(8, 1, 8);
    eight.SetPaletteColours(table, 3);
    EXPECT_EQ(eight.PaletteBlock()[2].rgbBlue, 2);
    EXPECT_EQ(eight.PaletteBlock()[3].rgbBlue, 0);
}

TEST(DibImageOwnership, MoveAndInherit)
{
    CDibImage source;
    source.Allocate(2, 2, 8);
    source.SetBackgroundIndex(7);
    uint8_t* block = source.PixelBlock();
    CDibImage target;
    target.MoveFrom(&source);
    EXPECT_EQ(target.PixelBlock(), block);
    EXPECT_EQ(target.BackgroundIndex(), 7);
    EXPECT_EQ(target.Width(), 2);
    EXPECT_EQ(source.PixelBlock(), nullptr);
    EXPECT_EQ(source.Width(), 0);
    EXPECT_EQ(source.Header().biSize, 0u);

    CDibImage heir;
    heir.InheritSettings(&target);
    EXPECT_EQ(heir.BackgroundIndex(), 7);
    EXPECT_EQ(heir.PixelBlock(), nullptr);
    heir.Allocate(1, 1, 24);
    heir.SetBackgroundIndex(1);
    heir.InheritSettings(&target);  // has a block now: nothing copied
    EXPECT_EQ(heir.BackgroundIndex(), 1);
}

class DibImageFiles : public TestWorld {};

TEST_F(DibImageFiles, HeaderBytesOfTwoByTwoFiles)
{
    struct Case {
        uint16_t bits;
        uint32_t size;
        uint32_t offBits;
    };
    for (const Case c : {Case{24, 70, 54}, Case{8, 1086, 1078}, Case{4, 126, 118}, Case{1, 70, 62}}) {
        CDibImage image;
        image.Allocate(2, 2, c.bits);
        const auto path = Path("two.bmp").string();
        ASSERT_TRUE(image.SaveFile(path.c_str(), kDibFormatBmp));
        const std::string bytes = ReadFile(path);
        ASSERT_EQ(bytes.size(), c.size) << c.bits;
        BITMAPFILEHEADER fileHeader;
        std::memcpy(&fileHeader, bytes.data(), sizeof(fileHeader));
        // Copied out of the packed structure before comparing.
        const uint16_t type = fileHeader.bfType, reserved1 = fileHeader.bfReserved1, reserved2 = fileHeader.bfReserved2;
        const uint32_t size = fileHeader.bfSize, offBits = fileHeader.bfOffBits;
        EXPECT_EQ(type, 0x4D42);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(reserved1, 0);
        EXPECT_EQ(reserved2, 0);
        EXPECT_EQ(offBits, c.offBits);
        BITMAPINFOHEADER info;
        std::memcpy(&info, bytes.data() + 14, sizeof(info));
        EXPECT_EQ(info.biSize, 40u);
        EXPECT_EQ(info.biWidth, 2);
        EXPECT_EQ(info.biHeight, 2);
        EXPECT_EQ(info.biPlanes, 1);
        EXPECT_EQ(info.biBitCount, c.bits);
        EXPECT_EQ(info.biCompression, BI_RGB);
        EXPECT_EQ(info.biSizeImage, c.size - c.offBits);
        EXPECT_EQ(info.biClrUsed, c.bits == 24 ? 0u : 1u << c.bits);
        EXPECT_EQ(info.biClrImportant, 0u);
    }
}

TEST_F(DibImageFiles, WriteThenReadGivesTheSameBlockAtEveryDepth)
{
    std::mt19937 random(7);
    for (uint16_t bits : {1, 4, 8, 24}) {
        for (int width : {1, 3, 17, 64}) {
            CDibImage image;
            image.Allocate(width, 5, bits);
            for (uint32_t i = 0; i < image.Header().biClrUsed; ++i) {
                image.SetPaletteEntry(static_cast<uint8_t>(i), random() & 0xFF, random() & 0xFF, random() & 0xFF);
            }
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (bits == 24) {
                        image.SetPixelColour(x, y, Bgr(random() & 0xFF, random() & 0xFF, random() & 0xFF));
                    } else {
                        image.SetPixelIndex(x, y, static_cast<uint8_t>(random()));
                    }
                }
            }
            const auto path = Path("round.bmp").string();
            ASSERT_TRUE(image.SaveFile(path.c_str(), kDibFormatBmp));
            CDibImage back;
            ASSERT_TRUE(back.LoadFile(path.c_str(), kDibFormatBmp)) << back.LastError();
            EXPECT_EQ(BlockBytes(back), BlockBytes(image)) << bits << " bits, width " << width;
        }
    }
}

TEST_F(DibImageFiles, OtherFormatCodesAndMissingFilesFail)
{
    CDibImage image;
    image.Allocate(2, 2, 24);
    image.SetBackgroundIndex(3);
    const auto before = BlockBytes(image);
    FILE* file = std::fopen(Path("x.bmp").c_str(), "wb+");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(image.ReadStream(file, 1));
    EXPECT_STREQ(image.LastError(), "Unsupported operation for this format");
    EXPECT_EQ(BlockBytes(image), before);
    EXPECT_EQ(image.BackgroundIndex(), 3);
    EXPECT_FALSE(image.WriteStream(file, 2));
    std::fclose(file);

    EXPECT_FALSE(image.LoadFile(Path("missing.bmp").c_str(), kDibFormatBmp));
    EXPECT_FALSE(image.SaveFile(Path("no/such/folder/x.bmp").c_str(), kDibFormatBmp));
    CDibImage empty;
    EXPECT_FALSE(empty.SaveFile(Path("empty.bmp").c_str(), kDibFormatBmp));
}

TEST_F(DibImageFiles, ASaveCutShortKeepsTheOldFileAndLeavesNoPart)
{
    const auto path = WriteFile("out/photo.bmp", "old");
    CDibImage image;
    image.Allocate(64, 64, 24);  // 12,342 bytes as a file
    // In a child whose files may not grow beyond 8 KiB (the write fails instead of
    // ending the process).
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{8192, 8192};
        if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(3);
        if (image.SaveFile(path.c_str(), kDibFormatBmp)) _exit(1);
        _exit(std::strcmp(image.LastError(), "Can't write the file") == 0 ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("out")), std::filesystem::directory_iterator()), 1);
    // Without the limit the new picture replaces the old file.
    ASSERT_TRUE(image.SaveFile(path.c_str(), kDibFormatBmp));
    EXPECT_EQ(ReadFile(path).size(), 12342u);
}

TEST_F(DibImageFiles, AFailedReadLeavesTheImageEmptyWithTheReason)
{
    const auto path = WriteFile("short.bmp", "BM\x01");
    CDibImage image;
    image.Allocate(3, 3, 8);
    EXPECT_FALSE(image.LoadFile(path.c_str(), kDibFormatBmp));
    EXPECT_STREQ(image.LastError(), "Not a BMP");
    EXPECT_EQ(image.PixelBlock(), nullptr);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Header().biSize, 0u);
}

TEST(DibImageFull, WriteFailureIsReported)
{
    CDibImage image;
    image.Allocate(64, 64, 24);
    FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(image.WriteStream(full, kDibFormatBmp));
    EXPECT_STREQ(image.LastError(), "Can't write the file");
    std::fclose(full);
}

}  // namespace
}  // namespace tallowin::test
