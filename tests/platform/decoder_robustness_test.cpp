// Decoders under hostile input and concurrent use: the progressive scan cap, and
// several threads decoding at once with the same results as one.
#include "decoder_test_support.h"

#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <string>
#include <thread>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

// A 16 x 16 grey progressive JPEG with one scan per coefficient and pass:
// 1 DC scan + 63 first AC scans + 63 refinement scans = 127 scans.
std::string ManyScanJpeg() {
    constexpr int kSide = 16;
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k) scans.push_back({1, {0, 0, 0, 0}, k, k, 0, 1});
    for (int k = 1; k < 64; ++k) scans.push_back({1, {0, 0, 0, 0}, k, k, 1, 0});

    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kSide;
    cinfo.image_height = kSide;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) row[x] = static_cast<JSAMPLE>((x * 37 + y * 11) & 0xFF);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

class DecoderRobustness : public TestWorld {};

TEST_F(DecoderRobustness, ProgressiveFileWithTooManyScansIsRefused) {
    const std::string path = WriteFile("scans.jpg", ManyScanJpeg()).string();
    const Decoded d = DecodeFile(path);
    EXPECT_EQ(d.format, "jpeg");
    EXPECT_EQ(d.header, DecodeStatus::Ok);  // the header alone is harmless
    EXPECT_EQ(d.pixels, DecodeStatus::NotAnImage);
    EXPECT_TRUE(d.raster.pixels.empty());
}

TEST(DecoderThreads, ConcurrentDecodesMatchSequentialOnes) {
    const std::vector<std::string> files = {
        "libjpeg-turbo/testorig.jpg", "generated/jpeg/bad/trunc_50pct_baseline.jpg",
        "pngsuite/basi6a16.png",       "pngsuite/xcsn0g01.png",
        "generated/tiff/tiles_lzw_64.tif", "generated/tiff/bad/strip_offsets_past_eof.tif",
        "generated/gif/interlaced.gif",    "generated/ico/mixed_bmp_png256.ico",
        "bmpsuite/g/pal4rle.bmp",      "bmpsuite/g/rgb16-565.bmp",
    };
    std::vector<Decoded> expected;
    for (const auto& f : files) expected.push_back(DecodeFile(DataFile(f)));

    constexpr int kThreads = 4;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (size_t i = 0; i < files.size(); ++i) {
                    const size_t at = (i + static_cast<size_t>(t)) % files.size();
                    const Decoded d = DecodeFile(DataFile(files[at]));
                    if (d.pixels != expected[at].pixels || d.raster.pixels != expected[at].raster.pixels ||
                        d.warning != expected[at].warning)
                        ++mismatches[t];
                }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace tallowin::test
