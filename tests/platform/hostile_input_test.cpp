// Crafted input: tiny files whose headers claim huge pictures, damaged data that a
// library would pass over, and sizes over the limit. The files are made by
// tests/data/generated/hostile/make_hostile.py.
#include "codec_test_support.h"
#include "decoder_test_support.h"

#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

std::string Hostile(const std::string& name) { return DataFile("generated/hostile/" + name); }

// A field of /proc/self/status in bytes, or -1.
int64_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            int64_t kilobytes = -1;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

// How far the process's resident memory rose above its level before `work`, in bytes:
// the peak is reset first (clear_refs 5), then read back. -1 when the system offers
// neither.
int64_t PeakGrowth(const std::function<void()>& work) {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    if (!clear) return -1;
    const int64_t before = StatusBytes("VmRSS:");
    work();
    const int64_t peak = StatusBytes("VmHWM:");
    return before < 0 || peak < 0 ? -1 : peak - before;
}

// Far below the 1.9 GB the files claim; a refusal costs next to nothing.
constexpr int64_t kBudgetBytes = 64ll * 1024 * 1024;

TEST(HostileFiles, TinyFilesClaimingHugePicturesAreRefusedBeforeAllocating) {
    for (const char* name : {"huge_22000.png", "huge_22000.gif", "huge_22000.tif", "huge_22000_rle8.bmp",
                             "huge_22000_progressive.jpg"}) {
        SCOPED_TRACE(name);
        Decoded d;
        const int64_t growth = PeakGrowth([&] {
            // The window's preview and a 1024-pixel output ask for about this much.
            d = DecodeFile(Hostile(name), codec::DecodeRequest{1024, 768});
        });
        EXPECT_FALSE(d.format.empty());
        // Damaged, not over the limit: every claim here is within the caps.
        EXPECT_EQ(d.header, DecodeStatus::NotAnImage);
        EXPECT_TRUE(d.raster.pixels.empty());
        // Where the system gives no peak readings, the statuses above are all that is checked.
        if (growth >= 0) {
            EXPECT_LT(growth, kBudgetBytes);
        }
    }
}

TEST(HostileFiles, TheDecodersRefuseThemToo) {
    // A caller that skips the header read gets the same answer, before any allocation.
    const std::pair<const char*, const char*> files[] = {
        {"png", "huge_22000.png"}, {"gif", "huge_22000.gif"}, {"tiff", "huge_22000.tif"},
        {"bmp", "huge_22000_rle8.bmp"}, {"jpeg", "huge_22000_progressive.jpg"}};
    for (const auto& [format, name] : files) {
        SCOPED_TRACE(name);
        codec::Raster out;
        std::string warning;
        DecodeStatus status = DecodeStatus::Ok;
        const int64_t growth = PeakGrowth([&] { status = DecodeAs(format, Hostile(name), {}, out, warning); });
        EXPECT_EQ(status, DecodeStatus::NotAnImage);
        if (growth >= 0) {
            EXPECT_LT(growth, kBudgetBytes);
        }
    }
}

TEST(HostileFiles, OverTheLimitIsToldApartFromNotAnImage) {
    for (const char* name : {"over_limit_30000.png", "over_limit_30000.gif", "over_limit_30000.tif",
                             "over_limit_30000_rle8.bmp", "over_limit_30000.jpg"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DecodeFile(Hostile(name)).header, DecodeStatus::OverLimit);
        GpImage* raw = nullptr;
        EXPECT_EQ(GdipLoadImageFromFile(Wide(Hostile(name)).c_str(), &raw), ValueOverflow);
        EXPECT_EQ(raw, nullptr);
    }
    GpImage* raw = nullptr;
    EXPECT_EQ(GdipLoadImageFromFile(Wide(Hostile("huge_22000.png")).c_str(), &raw), UnknownImageFormat);
}

TEST(DamagedFiles, TiffCodingNoLibraryKnowsIsRefusedNotBlank) {
    const Decoded d = DecodeFile(Hostile("unknown_compression.tif"));
    EXPECT_EQ(d.format, "tiff");
    EXPECT_FALSE(Decodes(d));
    EXPECT_TRUE(d.raster.pixels.empty());
}

TEST(DamagedFiles, BrokenFaxStripsAreNeverAWholePicture) {
    const Decoded d = DecodeFile(Hostile("broken_fax.tif"));
    EXPECT_EQ(d.format, "tiff");
    ASSERT_NE(d.pixels, DecodeStatus::Ok);
    if (d.pixels == DecodeStatus::Partial) {
        EXPECT_NE(d.warning.find("the file is damaged"), std::string::npos);
    }
}

TEST(DamagedFiles, IconWhoseMaskIsCutOffIsConvertedInPart) {
    const Decoded d = DecodeFile(Hostile("mask_cut_off.ico"));
    ASSERT_EQ(d.pixels, DecodeStatus::Partial);
    EXPECT_NE(d.warning.find("the file is damaged"), std::string::npos);
    EXPECT_EQ(d.raster.width, 16);
    // The colour rows are all there (bottom-up: the first stored row is the last shown).
    EXPECT_EQ(PixelAt(d.raster, 1, 15), 0xFF800010u);
    EXPECT_FALSE(codec::detail::AnyTransparent(d.raster));
}

// A grey JPEG of `side` x `side`, progressive or baseline.
std::string GreyJpeg(int side, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(side);
    cinfo.image_height = static_cast<JDIMENSION>(side);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(side));
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) row[static_cast<size_t>(x)] = static_cast<JSAMPLE>((x ^ y) & 0xFF);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

class FlatPictures : public TestWorld {};

// One flat colour is the most compressible picture there is: the bounds on what coded
// data can fill must still admit it in every format we write.
TEST_F(FlatPictures, EveryFormatWeWriteReadsBackWhole) {
    Picture flat(3000, 2000);
    ImagePtr bitmap = MakeBitmap(flat);
    const std::pair<const char*, std::u16string> outputs[] = {
        {"flat.png", u"image/png"}, {"flat.gif", u"image/gif"}, {"flat.tif", u"image/tiff"},
        {"flat.bmp", u"image/bmp"}, {"flat.jpg", u"image/jpeg"}};
    for (const auto& [name, mime] : outputs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Save(bitmap.get(), Path(name), mime), Ok);
        const Decoded d = DecodeFile(Path(name).string());
        EXPECT_EQ(d.header, DecodeStatus::Ok);
        EXPECT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_EQ(d.raster.width, 3000);
    }
}

class JpegMemoryBudget : public TestWorld {};

TEST_F(JpegMemoryBudget, ProgressiveCoefficientsBeyondTheBudgetAreOverTheLimit) {
    // 1024 x 1024 grey: 16,384 blocks of 128 bytes = 2 MB of coefficients when progressive.
    const std::string progressive = WriteFile("progressive.jpg", GreyJpeg(1024, true)).string();
    const std::string baseline = WriteFile("baseline.jpg", GreyJpeg(1024, false)).string();
    codec::DecodeLimits tight;
    tight.maxWorkingBytes = 1024 * 1024;
    EXPECT_EQ(DecodeFile(progressive, {}, tight).pixels, DecodeStatus::OverLimit);
    // Also when drawn small: the coefficients are kept at full size whatever the scale.
    EXPECT_EQ(DecodeFile(progressive, {128, 128}, tight).pixels, DecodeStatus::OverLimit);
    // A baseline file streams its rows and needs no such buffer.
    const Decoded streamed = DecodeFile(baseline, {}, tight);
    EXPECT_EQ(streamed.pixels, DecodeStatus::Ok);
    EXPECT_EQ(streamed.raster.width, 1024);
    EXPECT_EQ(DecodeFile(progressive).pixels, DecodeStatus::Ok);
}

TEST_F(JpegMemoryBudget, ProgressiveFileWithoutItsFirstScanIsConvertedInPart) {
    // Cut the DC scan (the first SOS segment and its data) out of a progressive file:
    // the AC scans then refine coefficients no scan began.
    std::string bytes = GreyJpeg(256, true);
    const size_t sos = bytes.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    const size_t length = (static_cast<uint8_t>(bytes[sos + 2]) << 8) | static_cast<uint8_t>(bytes[sos + 3]);
    size_t next = sos + 2 + length;
    while (next + 1 < bytes.size()) {
        const auto marker = static_cast<uint8_t>(bytes[next + 1]);
        const bool stuffedOrRestart = marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7);
        if (static_cast<uint8_t>(bytes[next]) == 0xFF && !stuffedOrRestart) break;
        ++next;
    }
    bytes.erase(sos, next - sos);
    const Decoded d = DecodeFile(WriteFile("no_dc.jpg", bytes).string());
    ASSERT_EQ(d.pixels, DecodeStatus::Partial);
    EXPECT_NE(d.warning.find("the file is damaged"), std::string::npos);
    // The whole file still decodes whole.
    EXPECT_EQ(DecodeFile(WriteFile("whole.jpg", GreyJpeg(256, true)).string()).pixels, DecodeStatus::Ok);
}

}  // namespace
}  // namespace tallowin::test
