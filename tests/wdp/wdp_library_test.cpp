// libphoto.so through its two exports, loaded with dlopen as the program loads it:
// every WDP test file decodes (or is refused) as expected, BMP -> WDP -> BMP round
// trips, the reference JPEG XR tools read our files and we read theirs, and hostile
// input never takes the calling process down.
#include "bmp_pixels.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tallowin::test::BmpPixels;
using tallowin::test::DataDir;
using tallowin::test::LoadBmpPixels;
using tallowin::test::ReadFile;

using DecodeFn = int (*)(const char*, const char*);
using EncodeFn = int (*)(const char*, const char*, const char*);

struct PhotoLibrary {
    void* handle = nullptr;
    DecodeFn decode = nullptr;
    EncodeFn encode = nullptr;
};

const PhotoLibrary& Library() {
    static const PhotoLibrary library = [] {
        PhotoLibrary lib;
        lib.handle = dlopen((tallowin::test::BinDir() / "libphoto.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (lib.handle != nullptr) {
            lib.decode = reinterpret_cast<DecodeFn>(dlsym(lib.handle, "DecodeWMPToBMP"));
            lib.encode = reinterpret_cast<EncodeFn>(dlsym(lib.handle, "EncodeBMPToWMP"));
        }
        return lib;
    }();
    return library;
}

bool ToolInstalled(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Largest difference of any channel of any pixel; -1 when the sizes differ.
int MaxDifference(const BmpPixels& a, const BmpPixels& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int worst = 0;
    for (size_t i = 0; i < a.bgr.size(); ++i) worst = std::max(worst, std::abs(a.bgr[i] - b.bgr[i]));
    return worst;
}

class WdpLibraryTest : public tallowin::test::TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        ASSERT_NE(Library().handle, nullptr) << dlerror();
        ASSERT_NE(Library().decode, nullptr);
        ASSERT_NE(Library().encode, nullptr);
    }

    static fs::path Wdp(const std::string& name) { return DataDir() / name; }

    static int Decode(const fs::path& in, const fs::path& out) { return Library().decode(in.c_str(), out.c_str()); }
    static int Encode(const fs::path& in, const fs::path& out, const char* quality) {
        return Library().encode(in.c_str(), out.c_str(), quality);
    }

    static BmpPixels Load(const fs::path& path) {
        BmpPixels pixels;
        std::string reason;
        EXPECT_TRUE(LoadBmpPixels(path, pixels, reason)) << path << ": " << reason;
        return pixels;
    }

    // Only the files the test wrote itself are in the folder: nothing half-written.
    void ExpectNoStrayFiles(const std::vector<std::string>& expected) const {
        for (const auto& entry : fs::directory_iterator(Root())) {
            if (entry.is_directory()) continue;
            const std::string name = entry.path().filename().string();
            EXPECT_NE(std::find(expected.begin(), expected.end(), name), expected.end()) << "stray file " << name;
        }
    }

    // A copy of rgb24_q90.wdp with `edit` applied to its bytes.
    fs::path EditedQ90(const std::string& name, const std::function<void(std::string&)>& edit) const {
        std::string bytes = ReadFile(Wdp("generated/wdp/rgb24_q90.wdp"));
        edit(bytes);
        return WriteFile(name, bytes);
    }
};

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

TEST_F(WdpLibraryTest, DecodesEveryValidTestFileIntoA24BitBottomUpBmp) {
    struct Case {
        const char* file;
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {
        {"generated/wdp/rgb24_q90.wdp", 227, 149},
        {"generated/wdp/rgb24_lossless.wdp", 227, 149},
        {"generated/wdp/gray8_q80.wdp", 227, 149},
        {"generated/wdp/bgra32_planar_alpha.wdp", 227, 149},
        {"generated/wdp/rgb24_q90_copy.hdp", 227, 149},
        {"jxrlib-glencoe/blue.jxr", 10, 10},
        {"jxrlib-glencoe/sample.jxr", 100, 100},
        {"jxrlib-glencoe/BF-1scene-nozstack-compression50pct.jxr", 587, 246},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path out = Path("out.bmp");
        ASSERT_EQ(Decode(Wdp(c.file), out), 1);
        const BmpPixels bmp = Load(out);
        EXPECT_EQ(bmp.width, c.width);
        EXPECT_EQ(bmp.height, c.height);
        EXPECT_EQ(bmp.bitCount, 24);
        EXPECT_EQ(bmp.infoHeaderSize, 40u);
        EXPECT_TRUE(bmp.bottomUp);
    }
    ExpectNoStrayFiles({"out.bmp"});
}

TEST_F(WdpLibraryTest, DecodedColoursMatchTheReferencePictures) {
    struct Case {
        const char* wdp;
        const char* reference;
        int tolerance;
    };
    const Case cases[] = {
        {"jxrlib-glencoe/blue.jxr", "jxrlib-glencoe/blue.bmp", 0},
        {"jxrlib-glencoe/sample.jxr", "jxrlib-glencoe/sample.bmp", 0},
        {"generated/wdp/rgb24_lossless.wdp", "generated/wdp/rgb24_lossless_source.bmp", 0},
        {"generated/wdp/rgb24_q90.wdp", "generated/wdp/rgb24_lossless_source.bmp", 48},
        // 16-bit samples reach 24-bit colour in two steps; odd widths test the row
        // alignment libjxr needs for them.
        {"generated/wdp/formats/rgb48_lossless.jxr", "generated/wdp/formats/colour_source.bmp", 0},
        {"generated/wdp/formats/rgba64_lossless.jxr", "generated/wdp/formats/colour_source.bmp", 0},
        {"generated/wdp/formats/gray16_lossless.jxr", "generated/wdp/formats/grey_source.bmp", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wdp);
        const fs::path out = Path("out.bmp");
        ASSERT_EQ(Decode(Wdp(c.wdp), out), 1);
        const int difference = MaxDifference(Load(out), Load(Wdp(c.reference)));
        EXPECT_GE(difference, 0) << "sizes differ";
        EXPECT_LE(difference, c.tolerance);
    }

    // Greyscale comes out as equal channels.
    ASSERT_EQ(Decode(Wdp("generated/wdp/gray8_q80.wdp"), Path("grey.bmp")), 1);
    const BmpPixels grey = Load(Path("grey.bmp"));
    for (size_t i = 0; i < grey.bgr.size(); i += 3) {
        ASSERT_EQ(grey.bgr[i], grey.bgr[i + 1]);
        ASSERT_EQ(grey.bgr[i], grey.bgr[i + 2]);
    }
}

TEST_F(WdpLibraryTest, TransparentPixelsAreLaidOverWhite) {
    // Four bands of one colour (R 200, G 40, B 20) with alpha 255, 192, 64 and 0.
    const fs::path out = Path("bands.bmp");
    ASSERT_EQ(Decode(DataDir() / "generated/jxr/bands_alpha.wdp", out), 1);
    const BmpPixels bmp = Load(out);
    ASSERT_EQ(bmp.width, 32);
    ASSERT_EQ(bmp.height, 16);
    const int alphas[] = {255, 192, 64, 0};
    const int colour[] = {20, 40, 200};  // B, G, R
    for (int band = 0; band < 4; ++band) {
        SCOPED_TRACE(band);
        const uint8_t* p = bmp.At(band * 8 + 4, 8);
        for (int c = 0; c < 3; ++c) {
            const int expected = (colour[c] * alphas[band] + 255 * (255 - alphas[band]) + 127) / 255;
            EXPECT_NEAR(p[c], expected, 1) << "channel " << c;
        }
    }

    // Lossy colour with a planar alpha that fades from opaque at the top to clear at
    // the bottom row.
    ASSERT_EQ(Decode(Wdp("generated/wdp/bgra32_planar_alpha.wdp"), out), 1);
    const BmpPixels faded = Load(out);
    const BmpPixels source = Load(Wdp("generated/wdp/rgb24_lossless_source.bmp"));
    ASSERT_EQ(faded.width, source.width);
    ASSERT_EQ(faded.height, source.height);
    int worst = 0;
    for (int32_t y = 0; y < faded.height; ++y) {
        const int alpha = 255 * (faded.height - 1 - y) / (faded.height - 1);
        for (int32_t x = 0; x < faded.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int expected = (source.At(x, y)[c] * alpha + 255 * (255 - alpha) + 127) / 255;
                worst = std::max(worst, std::abs(faded.At(x, y)[c] - expected));
            }
        }
    }
    EXPECT_LE(worst, 18);
    for (int c = 0; c < 3; ++c) EXPECT_GE(faded.At(100, faded.height - 1)[c], 250);
}

TEST_F(WdpLibraryTest, DamagedAndForeignFilesFailAndLeaveTheOutputAlone) {
    std::vector<fs::path> inputs = {
        Wdp("generated/wdp/bad/empty.wdp"),
        Wdp("generated/wdp/bad/trunc_50pct.wdp"),  // libjxr alone would decode this as garbage
        Path("missing.wdp"),
        Wdp("generated/wdp/rgb24_lossless_source.bmp"),
        WriteFile("text.wdp", "II\xBC\x01 this is not a picture at all, only words"),
    };
    // Cut at every interesting place: the directory, the codestream header, its end.
    for (size_t keep : {7u, 20u, 40u, 100u, 140u, 160u, 13824u}) {
        const std::string bytes = ReadFile(Wdp("generated/wdp/rgb24_q90.wdp")).substr(0, keep);
        inputs.push_back(WriteFile("cut" + std::to_string(keep) + ".wdp", bytes));
    }
    // rgb24_q90.wdp: directory at 32 with 8 entries; image at 134, 13691 bytes; the
    // pixel format GUID at 8.
    inputs.push_back(EditedQ90("directory_outside.wdp", [](std::string& b) { Put32(b, 4, 0xFFFFFFF0u); }));
    inputs.push_back(EditedQ90("many_entries.wdp", [](std::string& b) { b[32] = b[33] = '\xFF'; }));
    inputs.push_back(EditedQ90("long_image.wdp", [](std::string& b) { Put32(b, 32 + 2 + 7 * 12 + 8, 13691 + 1); }));
    inputs.push_back(EditedQ90("image_offset_outside.wdp", [](std::string& b) { Put32(b, 32 + 2 + 6 * 12 + 8, 0xFFFFFF00u); }));
    inputs.push_back(EditedQ90("unknown_format.wdp", [](std::string& b) { b.replace(8, 16, 16, '\xEE'); }));
    inputs.push_back(EditedQ90("no_signature.wdp", [](std::string& b) { b[134] = 'X'; }));
    // Width and height fields of the codestream set to their largest values.
    inputs.push_back(EditedQ90("huge.wdp", [](std::string& b) { b.replace(134 + 12, 8, 8, '\xFF'); }));

    const fs::path out = WriteFile("existing.bmp", "previous contents");
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        EXPECT_EQ(Decode(input, out), 0);
        EXPECT_EQ(ReadFile(out), "previous contents");
    }
    EXPECT_EQ(Library().decode(nullptr, out.c_str()), 0);
    EXPECT_EQ(Library().decode(Wdp("generated/wdp/rgb24_q90.wdp").c_str(), nullptr), 0);
    // An output folder that does not exist.
    EXPECT_EQ(Decode(Wdp("generated/wdp/rgb24_q90.wdp"), Path("no/such/folder/out.bmp")), 0);

    std::vector<std::string> expected = {"existing.bmp", "text.wdp"};
    for (const fs::path& input : inputs) {
        if (input.parent_path() == Root()) expected.push_back(input.filename().string());
    }
    ExpectNoStrayFiles(expected);
}

TEST_F(WdpLibraryTest, CorruptedCodestreamsNeverTakeTheCallerDown) {
    // Files known to crash libjxr: refused, and this process lives on.
    for (const char* crasher : {"generated/wdp/crashers/libjxr_segv_1.wdp", "generated/wdp/crashers/libjxr_segv_2.wdp"}) {
        SCOPED_TRACE(crasher);
        EXPECT_EQ(Decode(Wdp(crasher), Path("crasher.bmp")), 0);
        EXPECT_FALSE(fs::exists(Path("crasher.bmp")));
    }

    const std::string original = ReadFile(Wdp("generated/wdp/rgb24_q90.wdp"));
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> position(134, original.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    const fs::path input = Path("mutated.wdp");
    const fs::path out = Path("mutated.bmp");
    for (int round = 0; round < 24; ++round) {
        std::string bytes = original;
        for (int i = 0; i < 8; ++i) bytes[position(random)] = static_cast<char>(value(random));
        WriteFile("mutated.wdp", bytes);
        const int result = Decode(input, out);
        ASSERT_TRUE(result == 0 || result == 1);
        if (result == 1) {
            const BmpPixels bmp = Load(out);
            EXPECT_EQ(bmp.width, 227);
            EXPECT_EQ(bmp.height, 149);
        }
    }
}

TEST_F(WdpLibraryTest, LosslessRoundTripIsExactForEveryBmpLayout) {
    // 24-bit bottom-up from the test suite; 32-bit from jxrlib's fixtures.
    for (const char* source : {"generated/wdp/rgb24_lossless_source.bmp", "jxrlib-glencoe/sample.bmp"}) {
        SCOPED_TRACE(source);
        ASSERT_EQ(Encode(Wdp(source), Path("round.wdp"), "1"), 1);
        ASSERT_EQ(Decode(Path("round.wdp"), Path("round.bmp")), 1);
        EXPECT_EQ(MaxDifference(Load(Path("round.bmp")), Load(Wdp(source))), 0);
    }

    // Top-down 24-bit, with a width that needs row padding and is not a multiple of 16.
    const int32_t width = 37;
    const int32_t height = 21;
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 7 + i / 97);
    const fs::path topDown = WriteFile("top_down.bmp", tallowin::test::MakeBmp24(width, height, bgr, true));
    ASSERT_EQ(Encode(topDown, Path("top_down.wdp"), "1"), 1);
    ASSERT_EQ(Decode(Path("top_down.wdp"), Path("top_down_back.bmp")), 1);
    const BmpPixels back = Load(Path("top_down_back.bmp"));
    ASSERT_EQ(back.width, width);
    ASSERT_EQ(back.height, height);
    EXPECT_EQ(back.bgr, bgr);

    // 8-bit palette: the palette's colours come back.
    const std::vector<uint8_t> palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 200, 100, 50};
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>((i / 5) % 5);
    const fs::path indexed = WriteFile("indexed.bmp", tallowin::test::MakeBmp8(width, height, palette, indices));
    ASSERT_EQ(Encode(indexed, Path("indexed.wdp"), "1"), 1);
    ASSERT_EQ(Decode(Path("indexed.wdp"), Path("indexed_back.bmp")), 1);
    const BmpPixels colours = Load(Path("indexed_back.bmp"));
    ASSERT_EQ(colours.bgr.size(), indices.size() * 3);
    for (size_t i = 0; i < indices.size(); ++i) {
        ASSERT_EQ(colours.bgr[i * 3 + 0], palette[indices[i] * 3 + 0]) << i;
        ASSERT_EQ(colours.bgr[i * 3 + 1], palette[indices[i] * 3 + 1]) << i;
        ASSERT_EQ(colours.bgr[i * 3 + 2], palette[indices[i] * 3 + 2]) << i;
    }
}

TEST_F(WdpLibraryTest, QualityIsTheQuantizationParameter) {
    const fs::path source = Wdp("generated/wdp/rgb24_lossless_source.bmp");
    const BmpPixels original = Load(source);
    uintmax_t previousSize = 0;
    int previousDifference = -1;
    for (const char* quality : {"1", "10", "50", "100", "255"}) {
        SCOPED_TRACE(quality);
        const fs::path wdp = Path(std::string("q") + quality + ".wdp");
        ASSERT_EQ(Encode(source, wdp, quality), 1);
        ASSERT_EQ(Decode(wdp, Path("q.bmp")), 1);
        const int difference = MaxDifference(Load(Path("q.bmp")), original);
        const uintmax_t size = fs::file_size(wdp);
        // Coarser quantization: smaller files, larger errors.
        if (previousDifference >= 0) {
            EXPECT_LT(size, previousSize);
            EXPECT_GE(difference, previousDifference);
        }
        previousSize = size;
        previousDifference = difference;
    }
    EXPECT_GT(previousDifference, 0);
}

TEST_F(WdpLibraryTest, EncodeRefusesBadQualityAndBadBmpsWithoutWritingAnything) {
    const fs::path source = Wdp("generated/wdp/rgb24_lossless_source.bmp");
    const fs::path out = WriteFile("existing.wdp", "previous contents");
    for (const char* quality : {"0", "256", "1000", "", "abc", " 5", "5 ", "+5", "-1", "5x", "0x10", "1.5"}) {
        SCOPED_TRACE(quality);
        EXPECT_EQ(Encode(source, out, quality), 0);
    }
    EXPECT_EQ(Library().encode(source.c_str(), out.c_str(), nullptr), 0);

    const std::string good = ReadFile(source);
    std::string sixteenBit = good;
    sixteenBit[28] = 16;
    std::string rle = good;
    rle[30] = 1;
    std::string zeroWidth = good;
    Put32(zeroWidth, 18, 0);
    std::string hugeWidth = good;
    Put32(hugeWidth, 18, 2'000'000);
    std::string lying = good;
    Put32(lying, 22, 100'000);  // far more rows than the file holds
    const std::vector<fs::path> inputs = {
        Path("missing.bmp"),
        WriteFile("truncated.bmp", good.substr(0, good.size() / 2)),
        WriteFile("sixteen_bit.bmp", sixteenBit),
        WriteFile("rle.bmp", rle),
        WriteFile("zero_width.bmp", zeroWidth),
        WriteFile("huge_width.bmp", hugeWidth),
        WriteFile("lying_height.bmp", lying),
        WriteFile("not_bmp.bmp", "BM"),
        Wdp("generated/wdp/rgb24_q90.wdp"),
    };
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        EXPECT_EQ(Encode(input, out, "1"), 0);
    }
    EXPECT_EQ(ReadFile(out), "previous contents");
    EXPECT_EQ(Encode(source, Path("no/such/folder/out.wdp"), "1"), 0);
    ExpectNoStrayFiles({"existing.wdp", "truncated.bmp", "sixteen_bit.bmp", "rle.bmp", "zero_width.bmp",
                        "huge_width.bmp", "lying_height.bmp", "not_bmp.bmp"});

    // A good encode replaces the existing file.
    EXPECT_EQ(Encode(source, out, "20"), 1);
    EXPECT_NE(ReadFile(out), "previous contents");
}

TEST_F(WdpLibraryTest, ReferenceToolsReadOurFilesAndWeReadTheirs) {
    if (!ToolInstalled("JxrDecApp") || !ToolInstalled("JxrEncApp")) GTEST_SKIP() << "libjxr-tools not installed";
    const fs::path source = Wdp("generated/wdp/rgb24_lossless_source.bmp");
    const BmpPixels original = Load(source);

    ASSERT_EQ(Encode(source, Path("ours.wdp"), "1"), 1);
    ASSERT_EQ(std::system(("JxrDecApp -i " + Quoted(Path("ours.wdp")) + " -o " + Quoted(Path("theirs.bmp")) +
                           " >/dev/null 2>&1").c_str()),
              0);
    EXPECT_EQ(MaxDifference(Load(Path("theirs.bmp")), original), 0);

    ASSERT_EQ(Encode(source, Path("ours_lossy.wdp"), "40"), 1);
    ASSERT_EQ(std::system(("JxrDecApp -i " + Quoted(Path("ours_lossy.wdp")) + " -o " + Quoted(Path("theirs_lossy.bmp")) +
                           " >/dev/null 2>&1").c_str()),
              0);
    ASSERT_EQ(Decode(Path("ours_lossy.wdp"), Path("ours_lossy.bmp")), 1);
    EXPECT_EQ(MaxDifference(Load(Path("theirs_lossy.bmp")), Load(Path("ours_lossy.bmp"))), 0);

    // Copied beside the test so the tool's own reader sees a plain name.
    fs::copy_file(source, Path("source.bmp"));
    ASSERT_EQ(std::system(("JxrEncApp -i " + Quoted(Path("source.bmp")) + " -o " + Quoted(Path("theirs.jxr")) +
                           " -q 1 >/dev/null 2>&1").c_str()),
              0);
    ASSERT_EQ(Decode(Path("theirs.jxr"), Path("from_theirs.bmp")), 1);
    EXPECT_EQ(MaxDifference(Load(Path("from_theirs.bmp")), original), 0);
}

}  // namespace
