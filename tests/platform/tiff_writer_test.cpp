// The TIFF writer's own LZW and strip layout, read back by libtiff: every stream decodes
// to its input (the code-width changes and table clears included, at the end of a stream
// too), and whole pictures of several strips come back pixel for pixel.
#include "encoder.h"
#include "test_world.h"
#include "tiff_lzw.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::TiffLzwEncoder;

int Silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* Open(const std::string& path, const char* mode)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Silent, nullptr);
    TIFF* tiff = TIFFOpenExt(path.c_str(), mode, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

// A file in memory for libtiff, so the thousand small streams below need no disk.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t at = 0;
};

MemoryFile& Memory(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t MemoryRead(thandle_t handle, void* data, tmsize_t size)
{
    MemoryFile& file = Memory(handle);
    const size_t n = std::min(static_cast<size_t>(size), file.bytes.size() - std::min(file.at, file.bytes.size()));
    std::memcpy(data, file.bytes.data() + file.at, n);
    file.at += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemoryWrite(thandle_t handle, void* data, tmsize_t size)
{
    MemoryFile& file = Memory(handle);
    if (file.bytes.size() < file.at + static_cast<size_t>(size)) file.bytes.resize(file.at + static_cast<size_t>(size));
    std::memcpy(file.bytes.data() + file.at, data, static_cast<size_t>(size));
    file.at += static_cast<size_t>(size);
    return size;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence)
{
    MemoryFile& file = Memory(handle);
    const size_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file.at : file.bytes.size();
    file.at = base + static_cast<size_t>(offset);
    return static_cast<toff_t>(file.at);
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return static_cast<toff_t>(Memory(handle).bytes.size()); }
int MemoryMap(thandle_t, void**, toff_t*) { return 0; }
void MemoryUnmap(thandle_t, void*, toff_t) {}

TIFF* OpenMemory(MemoryFile& file, const char* mode)
{
    file.at = 0;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Silent, nullptr);
    TIFF* tiff = TIFFClientOpenExt("memory", mode, &file, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize,
                                   MemoryMap, MemoryUnmap, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

// Stores `stream` as the one strip of a one-row grey picture `length` wide and decodes it
// with libtiff; empty when libtiff cannot.
std::vector<uint8_t> DecodeWithLibtiff(const std::vector<uint8_t>& stream, size_t streamBytes, size_t length)
{
    MemoryFile file;
    TIFF* out = OpenMemory(file, "w");
    if (out == nullptr) return {};
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(length));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, 1u);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    const bool written = TIFFWriteRawStrip(out, 0, const_cast<uint8_t*>(stream.data()),
                                           static_cast<tmsize_t>(streamBytes)) == static_cast<tmsize_t>(streamBytes);
    TIFFClose(out);
    if (!written) return {};
    TIFF* in = OpenMemory(file, "r");
    if (in == nullptr) return {};
    std::vector<uint8_t> decoded(length);
    const tmsize_t got = TIFFReadEncodedStrip(in, 0, decoded.data(), static_cast<tmsize_t>(length));
    TIFFClose(in);
    if (got != static_cast<tmsize_t>(length)) return {};
    return decoded;
}

class TiffWriter : public TestWorld {};

TEST_F(TiffWriter, EmptyInputIsAClearAndTheEndCode)
{
    TiffLzwEncoder lzw;
    std::vector<uint8_t> out;
    const size_t bytes = lzw.Encode(nullptr, 0, out);
    // 256 and 257 in 9 bits each, most significant bit first, padded with zeros.
    ASSERT_EQ(bytes, 3u);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0x40);
    EXPECT_EQ(out[2], 0x40);
}

TEST_F(TiffWriter, LzwStreamsDecodeToTheirInput)
{
    std::mt19937 random(13);
    std::vector<uint8_t> noise(5000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    TiffLzwEncoder lzw;  // one encoder for every stream, as for the strips of a picture
    std::vector<uint8_t> stream;
    // Every length where noise takes the code width to 10, 11 and 12 bits and fills the
    // table: the last code and the end code meet each change.
    std::vector<size_t> lengths;
    for (size_t n = 1; n <= 2400; n += (n < 560 ? 1 : 7)) lengths.push_back(n);
    for (size_t n = 3800; n <= 4600; ++n) lengths.push_back(n);
    for (const size_t n : lengths) {
        const std::vector<uint8_t> input(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(n));
        const size_t bytes = lzw.Encode(input.data(), n, stream);
        ASSERT_LE(bytes, TiffLzwEncoder::Bound(n));
        ASSERT_EQ(DecodeWithLibtiff(stream, bytes, n), input) << n << " bytes of noise";
    }
    // Long strings (one byte repeated; a slow ramp) and several table clears in one stream.
    std::vector<uint8_t> runs(300000, 7);
    for (size_t i = 100000; i < runs.size(); ++i) runs[i] = static_cast<uint8_t>(i / 1000);
    std::vector<uint8_t> mixed(200000);
    for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<uint8_t>(i % 3 == 0 ? random() : i / 64);
    for (const auto* input : {&runs, &mixed}) {
        const size_t bytes = lzw.Encode(input->data(), input->size(), stream);
        ASSERT_LE(bytes, TiffLzwEncoder::Bound(input->size()));
        EXPECT_EQ(DecodeWithLibtiff(stream, bytes, input->size()), *input);
    }
}

// Strips compressed side by side come out exactly as each compressed alone, whatever
// their neighbours hold: noise that fills the table at different moments in each lane,
// long runs, a strip of one byte repeated, and noise in two bands. Each kind of strip
// takes every lane in turn.
TEST_F(TiffWriter, StripsCompressedTogetherMatchEachAlone)
{
    std::mt19937 random(29);
    constexpr size_t kSize = 70000;
    constexpr int kKinds = 4;
    std::vector<std::vector<uint8_t>> inputs(kKinds, std::vector<uint8_t>(kSize));
    for (size_t i = 0; i < kSize; ++i) {
        inputs[0][i] = static_cast<uint8_t>(random());
        inputs[1][i] = static_cast<uint8_t>(i % 5 == 0 ? random() & 7 : i / 300);
        inputs[2][i] = 42;
        inputs[3][i] = static_cast<uint8_t>((random() & 3) + (i % 97 < 50 ? 0 : 128));
    }
    TiffLzwEncoder alone;
    TiffLzwEncoder together;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{511}, size_t{4000}, kSize}) {
        for (int count = 1; count <= TiffLzwEncoder::kLanes; ++count) {
            for (int firstKind = 0; firstKind < kKinds; ++firstKind) {
                SCOPED_TRACE(std::to_string(count) + " strips of " + std::to_string(size) + " bytes from kind " +
                             std::to_string(firstKind));
                const uint8_t* data[TiffLzwEncoder::kLanes] = {};
                for (int k = 0; k < count; ++k) data[k] = inputs[static_cast<size_t>((firstKind + k) % kKinds)].data();
                std::vector<uint8_t> streams[TiffLzwEncoder::kLanes];
                size_t lengths[TiffLzwEncoder::kLanes] = {};
                together.EncodeStrips(data, count, size, streams, lengths);
                for (int k = 0; k < count; ++k) {
                    std::vector<uint8_t> single;
                    const size_t bytes = alone.Encode(data[k], size, single);
                    ASSERT_EQ(lengths[k], bytes) << "strip " << k;
                    ASSERT_TRUE(std::equal(single.begin(), single.begin() + static_cast<std::ptrdiff_t>(bytes),
                                           streams[k].begin()))
                        << "strip " << k;
                }
                if (size > 0) {
                    ASSERT_EQ(DecodeWithLibtiff(streams[count - 1], lengths[count - 1], size),
                              std::vector<uint8_t>(data[count - 1], data[count - 1] + size));
                }
            }
        }
    }
}

// A picture of noise over gradients, `bytesPerPixel` 3 or 4 (with alpha varying).
std::vector<uint8_t> Picture(int32_t width, int32_t height, int bytesPerPixel)
{
    std::mt19937 random(7);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * bytesPerPixel);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = pixels.data() + (static_cast<size_t>(y) * width + x) * bytesPerPixel;
            p[0] = static_cast<uint8_t>(x + (random() & 3));
            p[1] = static_cast<uint8_t>(y * 3);
            p[2] = static_cast<uint8_t>(random());
            if (bytesPerPixel == 4) p[3] = static_cast<uint8_t>(x * y);
        }
    }
    return pixels;
}

TEST_F(TiffWriter, PicturesOfSeveralStripsReadBackExactly)
{
    struct Case {
        int32_t width, height;
        int bytesPerPixel;
        bool alpha;
    };
    // Strips hold about 256 KiB: these take 1 row, several rows and the last strip short,
    // and the last one has more full strips than the compressor takes at once. Rows of
    // three-byte pixels go four pixels a step and end pixel by pixel: 5 pixels take no
    // step, 6 and 17 one and four steps with what is left over.
    for (const Case c : {Case{300, 700, 3, false}, Case{301, 500, 4, true}, Case{90000, 3, 3, false},
                         Case{1, 2000, 4, false}, Case{5, 1, 3, false}, Case{6, 3, 3, false},
                         Case{17, 40, 3, false}, Case{100, 5000, 3, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (c.alpha ? " alpha" : ""));
        const std::vector<uint8_t> pixels = Picture(c.width, c.height, c.bytesPerPixel);
        codec::EncodeSource source;
        source.width = c.width;
        source.height = c.height;
        source.bytesPerPixel = c.bytesPerPixel;
        source.stride = static_cast<int64_t>(c.width) * c.bytesPerPixel;
        source.data = pixels.data();
        source.hasAlpha = c.alpha;
        const std::string path = Path("picture.tif").string();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const codec::EncodeStatus status = codec::WriteTiff(source, file);
        std::fclose(file);
        ASSERT_EQ(status, codec::EncodeStatus::Ok);

        TIFF* tiff = Open(path, "r");
        ASSERT_NE(tiff, nullptr);
        uint16_t compression = 0, predictor = 0, samples = 0;
        uint32_t rowsPerStrip = 0;
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tiff, TIFFTAG_PREDICTOR, &predictor);
        TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        EXPECT_EQ(compression, COMPRESSION_LZW);
        EXPECT_EQ(predictor, PREDICTOR_HORIZONTAL);
        const int want = c.alpha ? 4 : 3;
        EXPECT_EQ(samples, want);
        EXPECT_LE(static_cast<int64_t>(rowsPerStrip) * c.width * want, std::max<int64_t>(256 * 1024, c.width * want));
        std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tiff)));
        bool same = row.size() == static_cast<size_t>(c.width) * want;
        for (int32_t y = 0; same && y < c.height; ++y) {
            same = TIFFReadScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
            for (int32_t x = 0; same && x < c.width; ++x) {
                const uint8_t* in = source.Row(y) + static_cast<size_t>(x) * c.bytesPerPixel;
                const uint8_t* out = row.data() + static_cast<size_t>(x) * want;
                same = out[0] == in[2] && out[1] == in[1] && out[2] == in[0] && (!c.alpha || out[3] == in[3]);
                if (!same) ADD_FAILURE() << "pixel " << x << "," << y;
            }
        }
        EXPECT_TRUE(same);
        TIFFClose(tiff);
    }
}

}  // namespace
}  // namespace tallowin::test
