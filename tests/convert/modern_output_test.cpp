// WebP, AVIF and JPEG XL outputs read back by their own reference decoders (dwebp,
// heif-convert, djxl): the size, the colours, lossless at 100 where the format has it,
// and each format written with its own quality.

#include "convert/photo_converter.h"
#include "convert/window_conversion_host.h"
#include "convert_world.h"
#include "temp_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fs = std::filesystem;

namespace tallowin::test {
namespace {

// An 8-bit RGB picture read from a binary PPM.
struct Rgb {
    int width = 0;
    int height = 0;
    std::string bytes;  // 3 per pixel, rows top-down
    uint32_t At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return (uint32_t{static_cast<uint8_t>(bytes[i])} << 16) | (uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8) |
               static_cast<uint8_t>(bytes[i + 2]);
    }
};

Rgb ReadPpm(const fs::path& file) {
    const std::string text = ReadFile(file);
    Rgb image;
    int maxValue = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue, &used) != 3 ||
        maxValue != 255) {
        return {};
    }
    const size_t size = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3;
    const size_t start = static_cast<size_t>(used) + 1;  // one white-space byte ends the header
    if (text.size() < start + size) {
        return {};
    }
    image.bytes = text.substr(start, size);
    return image;
}

// Decodes an output with the format's reference decoder (never the codec service).
Rgb DecodeWithReferenceTool(const fs::path& file, const fs::path& work) {
    const std::string in = "'" + file.string() + "'";
    const fs::path ppm = work / (file.filename().string() + ".ppm");
    const std::string to = "'" + ppm.string() + "'";
    const std::string ext = file.extension().string();
    std::string command;
    if (ext == ".webp") {
        command = "dwebp " + in + " -ppm -o " + to;
    } else if (ext == ".jxl") {
        command = "djxl " + in + " " + to;
    } else {
        // heif-convert writes PNG; ImageMagick only turns that PNG into a PPM.
        const std::string png = "'" + (work / (file.filename().string() + ".png")).string() + "'";
        command = "heif-convert " + in + " " + png + " && convert " + png + " -depth 8 " + to;
    }
    if (RunCommand(command + " >/dev/null 2>&1") != 0) {
        return {};
    }
    return ReadPpm(ppm);
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {16, 8, 0}) {
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return worst;
}

OutputSettings Original(int32_t format) {
    OutputSettings s;
    s.nOuptputFormat = format;
    s.nOuputSizeType = SizeOriginal;
    return s;
}

class ModernOutputTest : public ConvertWorld {
protected:
    bool Convert(const PhotoRecord& photo) {
        WindowConversionHost host(*model);
        PhotoConverter converter(host, desktop::PrivateTempFolder());
        outcome = converter.ConvertPhoto(photo);
        return outcome.Written();
    }
    // Four flat quadrants, large enough that lossy coding keeps their centres.
    fs::path Quadrants() {
        const fs::path bmp = Path("src/quadrants.bmp");
        if (!fs::exists(bmp)) {
            WriteColourBmp(bmp, 64, 48, {0x000000});
            std::string bytes = ReadFile(bmp);
            const size_t stride = (64 * 3 + 3) & ~size_t{3};
            for (int y = 0; y < 48; ++y) {      // bottom-up rows
                for (int x = 0; x < 64; ++x) {
                    const bool top = y >= 24;
                    const uint32_t c = top ? (x < 32 ? kRed : kGreen) : (x < 32 ? kBlue : kGrey);
                    const size_t at = 54 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
                    bytes[at] = static_cast<char>(c & 0xFF);
                    bytes[at + 1] = static_cast<char>((c >> 8) & 0xFF);
                    bytes[at + 2] = static_cast<char>(c >> 16);
                }
            }
            WriteFile("src/quadrants.bmp", bytes);
        }
        return bmp;
    }
    static constexpr uint32_t kRed = 0xE02010;
    static constexpr uint32_t kGreen = 0x20C040;
    static constexpr uint32_t kBlue = 0x1030D0;
    static constexpr uint32_t kGrey = 0x808080;
    static constexpr int kTolerance = 24;

    ConversionOutcome outcome;
};

TEST_F(ModernOutputTest, EachFormatReadsBackAtItsSizeAndColours) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");  // 227 x 149
    const struct {
        int32_t format;
        const char* name;
    } cases[] = {{FormatWebp, "a.webp"}, {FormatAvif, "b.avif"}, {FormatJxl, "c.jxl"}};
    for (const auto& c : cases) {
        // Scaled from a photo: the whole path, resampling included, reaches the encoder.
        OutputSettings scaled = Original(c.format);
        scaled.nOuputSizeType = SizeCustom;
        scaled.nOutputWidth = 64;
        scaled.nKeepAspectRatio = 1;
        ASSERT_TRUE(Convert(Added(jpeg, scaled, out / c.name))) << c.name;
        EXPECT_EQ(outcome.kind, OutcomeKind::Converted) << c.name;
        const Rgb photo = DecodeWithReferenceTool(out / c.name, Root());
        EXPECT_EQ(photo.width, 64) << c.name;
        EXPECT_EQ(photo.height, 42) << c.name;

        // Flat colours at the default quality come back close to what they were (lossy
        // coding may move a weak channel of a saturated colour by some levels; swapped
        // or lost channels move by far more).
        const std::string flat = std::string("flat") + fs::path(c.name).extension().string();
        ASSERT_TRUE(Convert(Added(Quadrants(), Original(c.format), out / flat))) << flat;
        const Rgb decoded = DecodeWithReferenceTool(out / flat, Root());
        ASSERT_EQ(decoded.width, 64) << flat;
        ASSERT_EQ(decoded.height, 48) << flat;
        EXPECT_LE(ChannelDistance(decoded.At(12, 10), kRed), kTolerance) << flat;
        EXPECT_LE(ChannelDistance(decoded.At(52, 10), kGreen), kTolerance) << flat;
        EXPECT_LE(ChannelDistance(decoded.At(12, 38), kBlue), kTolerance) << flat;
        EXPECT_LE(ChannelDistance(decoded.At(52, 38), kGrey), kTolerance) << flat;
    }
    EXPECT_TRUE(port.Messages().empty());
    EXPECT_EQ(FilesIn(out).size(), 6u);  // nothing staged is left behind
}

TEST_F(ModernOutputTest, QualityHundredIsLosslessForWebpAndJpegXl) {
    // Neighbouring pixels differ everywhere: any lossy coding changes some of them.
    const std::vector<uint32_t> colours{0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x010203, 0xFEDCBA};
    const fs::path bmp = Root() / "src" / "busy.bmp";
    WriteColourBmp(bmp, 37, 23, colours);
    for (const auto& [format, name] : {std::pair{FormatWebp, "busy.webp"}, std::pair{FormatJxl, "busy.jxl"}}) {
        OutputSettings s = Original(format);
        s.nWebpQuality = 100;
        s.nJxlQuality = 100;
        s.nCurrentJpegQuality = 10;  // the JPEG quality plays no part
        ASSERT_TRUE(Convert(Added(bmp, s, out / name))) << name;
        const Rgb decoded = DecodeWithReferenceTool(out / name, Root());
        ASSERT_EQ(decoded.width, 37) << name;
        ASSERT_EQ(decoded.height, 23) << name;
        int wrong = 0;
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                wrong += decoded.At(x, y) != colours[static_cast<size_t>(x + y) % colours.size()];
            }
        }
        EXPECT_EQ(wrong, 0) << name;
    }
}

// A low and a high quality of the format's own field give clearly different files,
// whatever the other formats' qualities say.
TEST_F(ModernOutputTest, EachFormatIsWrittenWithItsOwnQuality) {
    const fs::path jpeg = Source("libjpeg-turbo/testorig.jpg");
    for (const int32_t format : {FormatWebp, FormatAvif, FormatJxl}) {
        uintmax_t sizes[2] = {};
        for (int i = 0; i < 2; ++i) {
            const int32_t own = i == 0 ? 10 : 95;
            const int32_t others = i == 0 ? 95 : 10;
            OutputSettings s = Original(format);
            s.nCurrentJpegQuality = others;
            s.nWebpQuality = format == FormatWebp ? own : others;
            s.nAvifQuality = format == FormatAvif ? own : others;
            s.nJxlQuality = format == FormatJxl ? own : others;
            const fs::path file = out / ("q" + std::to_string(own) + "." + FormatExtension(format));
            ASSERT_TRUE(Convert(Added(jpeg, s, file))) << file;
            sizes[i] = fs::file_size(file);
        }
        EXPECT_LT(sizes[0] * 2, sizes[1]) << FormatExtension(format) << ": " << sizes[0] << " vs " << sizes[1];
    }
}

}  // namespace
}  // namespace tallowin::test
