// HEIC/HEIF, AVIF, WebP, JPEG XL and camera RAW: decoding the files the formats' own
// tools made (tests/data/generated/formats, see its README), orientation, damaged
// files, and the WebP/AVIF/JPEG XL encoders checked with the formats' own decoders.
#include "codec_test_support.h"
#include "decoder_test_support.h"
#include "encoder.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace tallowin::test;
namespace codec = tallowin::codec;
// Adapter names, as the registry and DecodeFile report them.
namespace F {
constexpr const char* Png = "png";
constexpr const char* Tiff = "tiff";
constexpr const char* Heif = "heif";
constexpr const char* Webp = "webp";
constexpr const char* Jxl = "jxl";
constexpr const char* Raw = "raw";
constexpr const char* Unknown = "";
}  // namespace F
using S = codec::DecodeStatus;

namespace {

class NewFormats : public TestWorld {};

std::string Generated(const std::string& name) { return DataFile("generated/formats/" + name); }

codec::Raster DecodePng(const std::string& path)
{
    codec::Raster raster;
    std::string warning;
    EXPECT_EQ(codec::DecodePixels(Format(F::Png), path, {}, codec::DecodeLimits{}, raster, warning), S::Ok) << path;
    return raster;
}

// PSNR over the colour channels; 99 for identical pictures, 0 when the sizes differ.
double RasterPsnr(const codec::Raster& a, const codec::Raster& b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.width == 0) {
        return 0.0;
    }
    double sum = 0.0;
    for (size_t i = 0; i < a.pixels.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            const double d = double(a.pixels[i + c]) - double(b.pixels[i + c]);
            sum += d * d;
        }
    }
    const double mse = sum / (double(a.pixels.size()) / 4 * 3);
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The picture turned a quarter clockwise.
codec::Raster TurnedClockwise(const codec::Raster& in)
{
    codec::Raster out;
    out.width = in.height;
    out.height = in.width;
    out.pixels.resize(in.pixels.size());
    for (int32_t y = 0; y < out.height; ++y) {
        for (int32_t x = 0; x < out.width; ++x) {
            std::memcpy(out.Row(y) + x * 4, in.Row(in.height - 1 - x) + y * 4, 4);
        }
    }
    return out;
}

// Mean B, G, R of a rectangle.
std::array<double, 3> MeanColour(const codec::Raster& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    std::array<double, 3> sum{};
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += r.Row(y)[x * 4 + c];
            }
        }
    }
    for (double& s : sum) {
        s /= double(x1 - x0) * (y1 - y0);
    }
    return sum;
}

// The name of the adapter that claims these bytes, or "" when none does.
std::string SniffedName(const uint8_t* head, size_t size)
{
    const codec::Decoder* decoder = codec::SniffFormat(head, size);
    return decoder == nullptr ? "" : decoder->Name();
}

bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

void Truncate(const std::string& from, const fs::path& to, size_t length)
{
    std::string bytes = ReadFile(from);
    bytes.resize(std::min(bytes.size(), length));
    std::ofstream(to, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST_F(NewFormats, EachFormatDecodesCloseToItsSourceWithAMatchingHeader)
{
    const codec::Raster source = DecodePng(Generated("source.png"));
    const codec::Raster sourceAlpha = DecodePng(Generated("source-alpha.png"));
    ASSERT_EQ(source.width, 64);
    struct Case {
        const char* file;
        std::string format;
        bool alpha;
        double minPsnr;  // 99: bit exact, alpha included
    };
    const Case cases[] = {
        {"photo.heic", F::Heif, false, 30.0},         {"photo.avif", F::Heif, false, 28.0},
        {"photo.webp", F::Webp, false, 30.0},         {"photo.jxl", F::Jxl, false, 30.0},
        {"lossless-alpha.webp", F::Webp, true, 99.0}, {"lossless-alpha.jxl", F::Jxl, true, 99.0},
        {"animated.webp", F::Webp, false, 99.0},  // the first frame, lossless
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Decoded d = DecodeFile(Generated(c.file));
        EXPECT_EQ(d.format, c.format);
        ASSERT_EQ(d.header, S::Ok);
        ASSERT_EQ(d.pixels, S::Ok) << d.warning;
        EXPECT_EQ(d.info.width, 64);
        EXPECT_EQ(d.info.height, 48);
        EXPECT_EQ(d.info.hasAlpha, c.alpha);
        const codec::Raster& reference = c.alpha ? sourceAlpha : source;
        if (c.minPsnr >= 99.0) {
            EXPECT_TRUE(d.raster.pixels == reference.pixels);
        } else {
            EXPECT_GE(RasterPsnr(d.raster, reference), c.minPsnr);
        }
    }
}

TEST_F(NewFormats, GreyPicturesComeBackAsEqualColourChannels)
{
    const codec::Raster source = DecodePng(Generated("grey.png"));
    ASSERT_EQ(source.width, 40);
    for (const char* file : {"grey.jxl", "grey.heic"}) {
        SCOPED_TRACE(file);
        const Decoded d = DecodeFile(Generated(file));
        ASSERT_EQ(d.pixels, S::Ok);
        EXPECT_GE(RasterPsnr(d.raster, source), std::string(file) == "grey.jxl" ? 99.0 : 35.0);
        for (size_t i = 0; i < d.raster.pixels.size(); i += 4) {
            ASSERT_EQ(d.raster.pixels[i], d.raster.pixels[i + 1]);
            ASSERT_EQ(d.raster.pixels[i], d.raster.pixels[i + 2]);
            ASSERT_EQ(d.raster.pixels[i + 3], 255);
        }
    }
}

TEST_F(NewFormats, TheFilesOwnOrientationTurnsHeaderAndPixelsUpright)
{
    const codec::Raster upright = TurnedClockwise(DecodePng(Generated("source.png")));
    for (const char* file : {"rotated.heic", "rotated.webp", "rotated.jxl"}) {
        SCOPED_TRACE(file);
        const Decoded d = DecodeFile(Generated(file));
        ASSERT_TRUE(Decodes(d));
        EXPECT_EQ(d.info.width, 48);
        EXPECT_EQ(d.info.height, 64);
        EXPECT_GE(RasterPsnr(d.raster, upright), std::string(file) == "rotated.heic" ? 30.0 : 99.0);
    }
}

TEST_F(NewFormats, DngUsesItsPreviewWhenLargeEnoughAndDemosaicsOtherwise)
{
    // The preview is plain green; the sensor data is red on the left, blue on the right.
    const Decoded preview = DecodeFile(Generated("raw-preview.dng"));
    EXPECT_EQ(preview.format, F::Raw);
    ASSERT_TRUE(Decodes(preview));
    EXPECT_EQ(preview.info.width, 64);
    EXPECT_EQ(preview.info.height, 48);
    const auto green = MeanColour(preview.raster, 0, 0, preview.raster.width, preview.raster.height);
    EXPECT_GT(green[1], 150.0);
    EXPECT_LT(green[2], 60.0);

    // A preview that runs out early is not used: the sensor data is shown instead.
    const Decoded cut = DecodeFile(Generated("raw-cut-preview.dng"));
    ASSERT_EQ(cut.pixels, S::Ok) << cut.warning;
    ASSERT_EQ(cut.raster.width, 64);
    const auto left = MeanColour(cut.raster, 4, 4, 28, 44);
    const auto right = MeanColour(cut.raster, 36, 4, 60, 44);
    EXPECT_GT(left[2], left[1] + 60.0);    // red, not green
    EXPECT_GT(right[0], right[1] + 60.0);  // blue, not green

    // The same when the file ends inside its preview, which comes after the sensor data.
    const std::string whole = ReadFile(Generated("raw-preview.dng"));
    const fs::path shortened = WriteFile("short.dng", whole.substr(0, whole.size() - 100));
    const Decoded fallback = DecodeFile(shortened.string());
    ASSERT_EQ(fallback.pixels, S::Ok) << fallback.warning;
    EXPECT_GT(MeanColour(fallback.raster, 4, 4, 28, 44)[2], 150.0);

    // Orientation 6 and no preview: the red half ends up on top.
    const Decoded full = DecodeFile(Generated("raw-rotated.dng"));
    EXPECT_EQ(full.format, F::Raw);
    ASSERT_EQ(full.pixels, S::Ok) << full.warning;
    EXPECT_EQ(full.info.width, 48);
    EXPECT_EQ(full.info.height, 64);
    ASSERT_EQ(full.raster.width, 48);
    ASSERT_EQ(full.raster.height, 64);
    const auto top = MeanColour(full.raster, 4, 4, 44, 28);
    const auto bottom = MeanColour(full.raster, 4, 36, 44, 60);
    EXPECT_GT(top[2], top[0] + 60.0);        // red over blue
    EXPECT_GT(bottom[0], bottom[2] + 60.0);  // blue over red

    // A request half the size or less is served by a half-size demosaic, never smaller
    // than asked.
    const Decoded half = DecodeFile(Generated("raw-rotated.dng"), codec::DecodeRequest{20, 30});
    ASSERT_TRUE(Decodes(half));
    EXPECT_EQ(half.raster.width, 24);
    EXPECT_EQ(half.raster.height, 32);
}

TEST_F(NewFormats, ContentDecidesTheFormat)
{
    auto sniff = [](std::initializer_list<uint8_t> head) {
        std::vector<uint8_t> bytes(head);
        bytes.resize(std::max<size_t>(bytes.size(), 64), 0);
        return SniffedName(bytes.data(), bytes.size());
    };
    auto ftyp = [&](const char* brand) {
        return sniff({0, 0, 0, 0x18, 'f', 't', 'y', 'p', uint8_t(brand[0]), uint8_t(brand[1]), uint8_t(brand[2]),
                      uint8_t(brand[3])});
    };
    EXPECT_EQ(ftyp("heic"), F::Heif);
    EXPECT_EQ(ftyp("mif1"), F::Heif);
    EXPECT_EQ(ftyp("avif"), F::Heif);
    EXPECT_EQ(ftyp("crx "), F::Raw);
    EXPECT_EQ(ftyp("isom"), F::Unknown);  // an MP4 video
    EXPECT_EQ(sniff({'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'E', 'B', 'P'}), F::Webp);
    EXPECT_EQ(sniff({'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'}), F::Unknown);
    EXPECT_EQ(sniff({0xFF, 0x0A}), F::Jxl);
    EXPECT_EQ(sniff({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}), F::Jxl);
    EXPECT_EQ(sniff({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C', 'D', '-', 'R', 'A', 'W'}), F::Raw);
    EXPECT_EQ(sniff({'I', 'I', 'R', 'O'}), F::Raw);
    EXPECT_EQ(sniff({'I', 'I', 'U', 0}), F::Raw);
    EXPECT_EQ(sniff({'I', 'I', '*', 0, 16, 0, 0, 0, 'C', 'R', 2, 0}), F::Raw);

    // TIFF-shaped files: a DNG version or a camera make with sub-images marks a RAW;
    // a TIFF that merely names the camera stays a TIFF.
    auto tiff = [](std::vector<std::array<uint16_t, 2>> tags) {
        std::vector<uint8_t> b = {'I', 'I', '*', 0, 8, 0, 0, 0, static_cast<uint8_t>(tags.size()), 0};
        for (const auto& [tag, value] : tags) {
            const uint8_t entry[12] = {uint8_t(tag & 0xFF), uint8_t(tag >> 8), 3, 0, 1, 0, 0, 0,
                                       uint8_t(value & 0xFF), uint8_t(value >> 8), 0, 0};
            b.insert(b.end(), entry, entry + 12);
        }
        b.resize(std::max<size_t>(b.size() + 4, 64), 0);
        return SniffedName(b.data(), b.size());
    };
    EXPECT_EQ(tiff({{256, 10}, {257, 10}, {0xC612, 1}}), F::Raw);
    EXPECT_EQ(tiff({{254, 1}, {256, 10}, {0x010F, 0}}), F::Raw);
    EXPECT_EQ(tiff({{256, 10}, {0x010F, 0}, {0x014A, 0}}), F::Raw);
    EXPECT_EQ(tiff({{254, 0}, {256, 10}, {0x010F, 0}}), F::Tiff);
    EXPECT_EQ(tiff({{256, 10}, {257, 10}}), F::Tiff);
    EXPECT_EQ(DecodeFile(DataFile("generated/formats/raw-preview.dng")).format, F::Raw);
}

TEST_F(NewFormats, TruncatedOrDamagedFilesAreRefusedOrPartialNeverWhole)
{
    const char* files[] = {"photo.heic",    "photo.avif",   "photo.webp",      "photo.jxl",
                           "lossless-alpha.webp", "lossless-alpha.jxl", "animated.webp",
                           "rotated.heic",  "rotated.jxl",  "raw-rotated.dng", "grey.jxl", "grey.heic"};
    for (const char* file : files) {
        const std::string whole = ReadFile(Generated(file));
        ASSERT_FALSE(whole.empty()) << file;
        for (const double fraction : {0.05, 0.5, 0.9}) {
            const auto length = static_cast<size_t>(static_cast<double>(whole.size()) * fraction);
            SCOPED_TRACE(std::string(file) + " cut at " + std::to_string(length));
            const fs::path cut = Path("cut");
            Truncate(Generated(file), cut, length);
            const Decoded d = DecodeFile(cut.string());
            EXPECT_NE(d.pixels, S::Ok) << "a truncated file decoded as whole";
            if (d.pixels == S::Partial) {
                EXPECT_FALSE(d.warning.empty());
                EXPECT_EQ(d.raster.pixels.size(), size_t(d.raster.width) * d.raster.height * 4);
            }
        }
        // Bytes overwritten in the middle: whatever comes back must be a whole raster.
        std::string damaged = whole;
        for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 16 && i < damaged.size(); ++i) {
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
        }
        const fs::path broken = WriteFile("broken", damaged);
        const Decoded d = DecodeFile(broken.string());
        if (Decodes(d)) {
            EXPECT_EQ(d.raster.pixels.size(), size_t(d.raster.width) * d.raster.height * 4) << file;
        }
    }
}

TEST_F(NewFormats, APictureBeyondTheLimitsIsRefusedFromItsHeader)
{
    // An animated WebP whose canvas is 20000 x 30000 (600 megapixels): the header alone
    // says so, and nothing is decoded.
    const uint32_t width = 20000;
    const uint32_t height = 30000;
    std::string bytes = "RIFF";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    le(4 + 18, 4);
    bytes += "WEBPVP8X";
    le(10, 4);
    le(0x02, 4);  // animation flag, reserved bits
    le(width - 1, 3);
    le(height - 1, 3);
    const fs::path path = WriteFile("huge.webp", bytes);
    codec::ImageInfo info;
    EXPECT_EQ(codec::ReadHeader(Format(F::Webp), path.string(), codec::DecodeLimits{}, info), S::OverLimit);
    codec::Raster raster;
    std::string warning;
    EXPECT_EQ(codec::DecodePixels(Format(F::Webp), path.string(), {}, codec::DecodeLimits{}, raster, warning), S::OverLimit);
    EXPECT_TRUE(raster.pixels.empty());
}

TEST_F(NewFormats, EncodedFilesReadBackThroughTheFormatsOwnDecoders)
{
    struct Case {
        const char* name;
        const char16_t* mime;
        int quality;
        const char* tool;  // decodes %in to the PNG %out
        double minPsnr;    // 99: bit exact
    };
    const Case cases[] = {
        {"q80.webp", u"image/webp", 80, "dwebp -quiet %in -o %out", 30.0},
        {"q100.webp", u"image/webp", 100, "dwebp -quiet %in -o %out", 99.0},
        {"q80.avif", u"image/avif", 80, "heif-convert %in %out", 30.0},
        {"q80.jxl", u"image/jxl", 80, "djxl %in %out", 30.0},
        {"q100.jxl", u"image/jxl", 100, "djxl %in %out", 99.0},
    };
    // A real photo of odd size (227 x 149).
    Picture picture = ReadPixels(Load(DataDir() / "libjpeg-turbo/testorig.jpg").get());
    ASSERT_GT(picture.width, 0);
    ImagePtr bitmap = MakeBitmap(picture);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string tool = std::string(c.tool).substr(0, std::string(c.tool).find(' '));
        if (!HaveTool(tool.c_str())) {
            ADD_FAILURE() << tool << " is missing (scripts/install-deps.sh installs it)";
            continue;
        }
        ASSERT_EQ(Save(bitmap.get(), Path(c.name), c.mime, c.quality), Ok);
        std::string command = c.tool;
        command.replace(command.find("%in"), 3, Path(c.name).string());
        command.replace(command.find("%out"), 4, Path("check.png").string());
        fs::remove(Path("check.png"));
        ASSERT_TRUE(RunQuietly(command)) << command;
        const Picture theirs = ReadPixels(Load(Path("check.png")).get());
        const Picture ours = ReadPixels(Load(Path(c.name)).get());
        if (c.minPsnr >= 99.0) {
            EXPECT_TRUE(SamePixels(theirs, picture));
            EXPECT_TRUE(SamePixels(ours, picture));
        } else {
            EXPECT_GE(Psnr(theirs, picture), c.minPsnr);
            EXPECT_GE(Psnr(ours, theirs), 40.0);  // our decoder agrees with theirs
        }
    }
}

TEST_F(NewFormats, AlphaSurvivesEachEncoder)
{
    const int32_t width = 40;
    const int32_t height = 30;
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = bgra.data() + (static_cast<size_t>(y) * width + x) * 4;
            p[0] = static_cast<uint8_t>(x * 6);
            p[1] = static_cast<uint8_t>(y * 8);
            p[2] = 90;
            p[3] = static_cast<uint8_t>(x < 10 ? 0 : x * 6);
        }
    }
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB, bgra.data(), &raw), Ok);
    ImagePtr bitmap(raw);
    struct Case {
        const char* name;
        const char16_t* mime;
        int quality;
        int tolerance;  // largest alpha difference allowed
    };
    for (const Case& c : {Case{"a.webp", u"image/webp", 100, 0}, Case{"a.jxl", u"image/jxl", 100, 0},
                          Case{"a.avif", u"image/avif", 90, 24}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Save(bitmap.get(), Path(c.name), c.mime, c.quality), Ok);
        const Decoded d = DecodeFile(Path(c.name).string());
        ASSERT_EQ(d.pixels, S::Ok);
        EXPECT_TRUE(d.info.hasAlpha);
        ASSERT_EQ(d.raster.pixels.size(), bgra.size());
        int worst = 0;
        for (size_t i = 3; i < bgra.size(); i += 4) {
            worst = std::max(worst, std::abs(int(d.raster.pixels[i]) - int(bgra[i])));
        }
        EXPECT_LE(worst, c.tolerance);
        if (c.tolerance == 0) {
            EXPECT_TRUE(std::equal(d.raster.pixels.begin(), d.raster.pixels.end(), bgra.begin(), bgra.end()));  // colour under transparent pixels too
        }
    }
}

TEST_F(NewFormats, AFullDiskFailsTheSaveAndLeavesTheOldFile)
{
    // Noise does not compress, so every format needs far more than the limit.
    Picture picture(300, 200);
    uint32_t state = 987;
    for (uint8_t& byte : picture.bgr) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    ImagePtr bitmap = MakeBitmap(picture);
    const std::pair<const char*, const char16_t*> cases[] = {
        {"f.webp", u"image/webp"}, {"f.avif", u"image/avif"}, {"f.jxl", u"image/jxl"}};
    for (const auto& [name, mime] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(Path("out"));
        fs::create_directory(Path("out"));
        WriteFile(std::string("out/") + name, "old");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{2048, 2048};
            setrlimit(RLIMIT_FSIZE, &limit);
            const GpStatus status = Save(bitmap.get(), Path(std::string("out/") + name), mime, 90);
            _exit(status == Ok ? 0 : 1);
        }
        int result = 0;
        ASSERT_EQ(waitpid(child, &result, 0), child);
        ASSERT_TRUE(WIFEXITED(result));
        EXPECT_EQ(WEXITSTATUS(result), 1) << "the save reported success";
        EXPECT_EQ(ReadFile(Path(std::string("out/") + name)), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator()), 1);
    }
}

TEST_F(NewFormats, JxlQualityMapsToTheUsualDistances)
{
    EXPECT_FLOAT_EQ(codec::JxlDistanceFromQuality(100), 0.0f);
    EXPECT_NEAR(codec::JxlDistanceFromQuality(90), 1.0f, 1e-5);  // "visually lossless"
    EXPECT_NEAR(codec::JxlDistanceFromQuality(30), 6.4f, 1e-5);
    EXPECT_NEAR(codec::JxlDistanceFromQuality(29), codec::JxlDistanceFromQuality(30), 0.5);
    EXPECT_LE(codec::JxlDistanceFromQuality(1), 25.0f);
}
