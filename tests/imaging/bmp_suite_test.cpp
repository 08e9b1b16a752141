// Real BMP files: every BMP Suite file this reader supports decodes to the pixels
// of its reference rendering, and every BMP test file is either read or refused
// with a reason.

#include "dib_image.h"
#include "image_helpers.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;

struct SuiteCase {
    const char* bmp;        // under tests/data/bmpsuite
    const char* reference;  // under tests/data/bmpsuite/reference
};

const SuiteCase kSuiteCases[] = {
    {"g/pal1.bmp", "pal1.png"},
    {"g/pal1bg.bmp", "pal1bg.png"},
    {"g/pal1wb.bmp", "pal1.png"},
    {"g/pal4.bmp", "pal4.png"},
    {"g/pal4gs.bmp", "pal4gs.png"},
    {"g/pal4rle.bmp", "pal4.png"},
    {"g/pal8-0.bmp", "pal8.png"},
    {"g/pal8.bmp", "pal8.png"},
    {"g/pal8gs.bmp", "pal8gs.png"},
    {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
    {"g/pal8os2.bmp", "pal8.png"},
    {"g/pal8rle.bmp", "pal8.png"},
    {"g/pal8v4.bmp", "pal8.png"},
    {"g/pal8v5.bmp", "pal8.png"},
    {"g/pal8w124.bmp", "pal8w124.png"},
    {"g/pal8w125.bmp", "pal8w125.png"},
    {"g/pal8w126.bmp", "pal8w126.png"},
    {"g/rgb16-565.bmp", "rgb16-565.png"},
    {"g/rgb16-565pal.bmp", "rgb16-565.png"},
    {"g/rgb16.bmp", "rgb16.png"},
    {"g/rgb16bfdef.bmp", "rgb16.png"},
    {"g/rgb24.bmp", "rgb24.png"},
    {"g/rgb24pal.bmp", "rgb24.png"},
    {"g/rgb32.bmp", "rgb24.png"},
    {"g/rgb32bf.bmp", "rgb24.png"},
    {"g/rgb32bfdef.bmp", "rgb24.png"},
    {"q/pal1p1.bmp", "pal1p1.png"},
    {"q/pal4rletrns.bmp", "pal4rletrns-0.png"},  // skipped pixels show palette entry 0
    {"q/pal8os2v2.bmp", "pal8.png"},
    {"q/rgb16-231.bmp", "rgb16-231.png"},
    {"q/rgb32fakealpha.bmp", "rgb24.png"},
};

class BmpSuite : public TestWorld {};

TEST_F(BmpSuite, SupportedFilesMatchTheirReferenceRenderings)
{
    const fs::path suite = DataDir() / "bmpsuite";
    for (const SuiteCase& c : kSuiteCases) {
        SCOPED_TRACE(c.bmp);
        CDibImage image;
        ASSERT_TRUE(image.LoadFile((suite / c.bmp).c_str(), kDibFormatBmp)) << image.LastError();
        Rgb24Picture reference;
        ASSERT_TRUE(ReadPngBgr(suite / "reference" / c.reference, reference));
        ASSERT_EQ(image.Width(), reference.width);
        ASSERT_EQ(image.Height(), reference.height);
        int mismatches = 0;
        for (int row = 0; row < reference.height && mismatches < 5; ++row) {
            for (int x = 0; x < reference.width && mismatches < 5; ++x) {
                const RGBQUAD got = TopDownColour(image, x, row);
                const uint8_t* want = &reference.bgr[3 * (static_cast<size_t>(row) * reference.width + x)];
                if (got.rgbBlue != want[0] || got.rgbGreen != want[1] || got.rgbRed != want[2]) {
                    ++mismatches;
                    ADD_FAILURE() << "pixel " << x << "," << row << ": got " << int(got.rgbRed) << ","
                                  << int(got.rgbGreen) << "," << int(got.rgbBlue) << " want " << int(want[2]) << ","
                                  << int(want[1]) << "," << int(want[0]);
                }
            }
        }
    }
}

TEST_F(BmpSuite, EveryTestFileIsReadOrRefusedWithAReason)
{
    int read = 0, refused = 0;
    for (const auto& entry : fs::recursive_directory_iterator(DataDir())) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".bmp" && extension != ".dib")) continue;
        SCOPED_TRACE(entry.path().string());
        CDibImage image;
        if (image.LoadFile(entry.path().c_str(), kDibFormatBmp)) {
            ++read;
            EXPECT_NE(image.PixelBlock(), nullptr);
            EXPECT_GT(image.Width(), 0);
            EXPECT_GT(image.Height(), 0);
        } else {
            ++refused;
            EXPECT_STRNE(image.LastError(), "");
            EXPECT_EQ(image.PixelBlock(), nullptr);
        }
    }
    EXPECT_GE(read, 35);
    EXPECT_GE(refused, 8);
}

TEST_F(BmpSuite, KnownRefusals)
{
    struct Refusal {
        const char* file;
        const char* error;
    };
    const Refusal refusals[] = {
        {"bmpsuite/g/pal8topdown.bmp", "Top-down BMP rows are not supported"},
        {"bmpsuite/b/badbitcount.bmp", "Unsupported bits per pixel"},
        {"bmpsuite/b/reallybig.bmp", "Image too large"},
        {"bmpsuite/q/pal2.bmp", "Unsupported bits per pixel"},
        {"bmpsuite/q/rgb24jpeg.bmp", "Unsupported bits per pixel"},  // bit count 0: embedded JPEG
        {"generated/bmp/bad/empty.bmp", "Not a BMP"},
        {"generated/bmp/bad/negative_width.bmp", "Invalid BMP dimensions"},
        {"generated/bmp/bad/trunc_rgb24_half.bmp", "BMP file ends before its pixel rows do"},
        {"bmpsuite/b/shortfile.bmp", "BMP file ends before its pixel rows do"},
    };
    for (const Refusal& r : refusals) {
        CDibImage image;
        EXPECT_FALSE(image.LoadFile((DataDir() / r.file).c_str(), kDibFormatBmp)) << r.file;
        EXPECT_STREQ(image.LastError(), r.error) << r.file;
    }
}

}  // namespace
}  // namespace tallowin::test
