// The separable resampler against a plain, direct two-dimensional evaluation of the
// same filter, its compositing over the target, and its shortcuts for axes drawn at
// their own size against the weighted passes they skip.
#include "resampler.h"

#include "decoder.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace tallowin::gdiplus;

namespace {

double Keys(double t)
{
    t = std::abs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}

PixelBuffer Buffer(int32_t width, int32_t height, int bpp)
{
    PixelBuffer buffer;
    EXPECT_EQ(AllocatePixels(width, height, bpp, buffer), Ok);
    return buffer;
}

PixelBuffer Noise(int32_t width, int32_t height, int bpp, unsigned seed)
{
    PixelBuffer buffer = Buffer(width, height, bpp);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width * bpp; ++x) {
            buffer.Row(y)[x] = static_cast<uint8_t>(random() & 0xFF);
        }
    }
    return buffer;
}

// Every target pixel straight from the definition: the weight of source pixel (i, j)
// is K(dx / sx) * K(dy / sy) over all source pixels, with pixels outside the source
// rectangle taken from its nearest edge; weights are normalised.
uint8_t Reference(const PixelBuffer& source, const SourceRect& from, const TargetRect& to, int32_t tx, int32_t ty,
                  int channel)
{
    const double scaleX = from.width / to.width;
    const double scaleY = from.height / to.height;
    const double fx = std::max(1.0, scaleX);
    const double fy = std::max(1.0, scaleY);
    const double cx = from.x + (tx + 0.5) * scaleX;
    const double cy = from.y + (ty + 0.5) * scaleY;
    double sum = 0;
    double weights = 0;
    for (int j = static_cast<int>(std::floor(cy - 2 * fy)) - 1; j <= static_cast<int>(std::ceil(cy + 2 * fy)) + 1; ++j) {
        for (int i = static_cast<int>(std::floor(cx - 2 * fx)) - 1; i <= static_cast<int>(std::ceil(cx + 2 * fx)) + 1;
             ++i) {
            const double w = Keys((i + 0.5 - cx) / fx) * Keys((j + 0.5 - cy) / fy);
            const int si = std::clamp(i, static_cast<int>(from.x), static_cast<int>(from.x + from.width) - 1);
            const int sj = std::clamp(j, static_cast<int>(from.y), static_cast<int>(from.y + from.height) - 1);
            sum += w * source.Row(sj)[si * source.bytesPerPixel + channel];
            weights += w;
        }
    }
    return static_cast<uint8_t>(std::clamp(std::lround(sum / weights), 0L, 255L));
}

void ExpectMatchesReference(int32_t sw, int32_t sh, const SourceRect& from, int32_t dw, int32_t dh)
{
    const PixelBuffer source = Noise(sw, sh, 3, static_cast<unsigned>(sw * 31 + dw));
    PixelBuffer target = Buffer(dw, dh, 3);
    const TargetRect to{0, 0, dw, dh};
    ASSERT_EQ(DrawResampled(source, false, from, target, to, ResampleFilter::Bicubic), Ok);
    int worst = 0;
    for (int32_t y = 0; y < dh; ++y) {
        for (int32_t x = 0; x < dw; ++x) {
            for (int c = 0; c < 3; ++c) {
                worst = std::max(worst, std::abs(int(target.Row(y)[x * 3 + c]) - int(Reference(source, from, to, x, y, c))));
            }
        }
    }
    EXPECT_LE(worst, 1) << sw << "x" << sh << " -> " << dw << "x" << dh;
}

}  // namespace

TEST(Resampler, MatchesTheDirectFilterWhenShrinkingEnlargingAndCropping)
{
    ExpectMatchesReference(40, 30, {0, 0, 40, 30}, 13, 9);     // shrink, factor ~3
    ExpectMatchesReference(40, 30, {0, 0, 40, 30}, 29, 22);    // shrink, fractional
    ExpectMatchesReference(7, 5, {0, 0, 7, 5}, 23, 17);        // enlarge
    ExpectMatchesReference(9, 30, {0, 0, 9, 30}, 20, 6);       // wider, flatter
    ExpectMatchesReference(40, 30, {10, 5, 20, 15}, 11, 7);    // a part of the source, edges clamp to it
    ExpectMatchesReference(1, 1, {0, 0, 1, 1}, 5, 4);          // a single pixel
}

TEST(Resampler, KeepsFlatColourAndCopiesAtEqualSize)
{
    PixelBuffer flat = Buffer(50, 50, 3);
    for (int32_t y = 0; y < 50; ++y) {
        for (int32_t x = 0; x < 50; ++x) {
            flat.Row(y)[x * 3] = 10;
            flat.Row(y)[x * 3 + 1] = 128;
            flat.Row(y)[x * 3 + 2] = 250;
        }
    }
    PixelBuffer small = Buffer(7, 3, 3);
    ASSERT_EQ(DrawResampled(flat, false, {0, 0, 50, 50}, small, {0, 0, 7, 3}, ResampleFilter::Bicubic), Ok);
    for (int32_t x = 0; x < 7; ++x) {
        EXPECT_EQ(small.Row(2)[x * 3 + 2], 250);
        EXPECT_EQ(small.Row(0)[x * 3 + 1], 128);
    }
    const PixelBuffer noise = Noise(17, 11, 3, 5);
    PixelBuffer copy = Buffer(17, 11, 3);
    ASSERT_EQ(DrawResampled(noise, false, {0, 0, 17, 11}, copy, {0, 0, 17, 11}, ResampleFilter::Bicubic), Ok);
    for (int32_t y = 0; y < 11; ++y) {
        EXPECT_TRUE(std::equal(noise.Row(y), noise.Row(y) + 17 * 3, copy.Row(y)));
    }
}

// Opaque 4-byte sources and 3-byte targets take vector routes, 3-byte sources and
// 4-byte targets the plain ones: the same colours drawn every way give the same bytes.
TEST(Resampler, EveryPixelLayoutGivesTheSameColours)
{
    struct Case {
        int32_t sw, sh, dw, dh;
    };
    for (const Case c : {Case{40, 30, 13, 9}, Case{7, 5, 23, 17}, Case{300, 4, 97, 3}, Case{9, 9, 1, 1}, Case{9, 9, 2, 5},
                         Case{1, 6, 3, 4}}) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " -> " + std::to_string(c.dw) + "x" +
                     std::to_string(c.dh));
        const PixelBuffer three = Noise(c.sw, c.sh, 3, static_cast<unsigned>(c.sw * 7 + c.dw));
        PixelBuffer four = Buffer(c.sw, c.sh, 4);
        for (int32_t y = 0; y < c.sh; ++y) {
            for (int32_t x = 0; x < c.sw; ++x) {
                std::copy_n(three.Row(y) + x * 3, 3, four.Row(y) + x * 4);
                four.Row(y)[x * 4 + 3] = 255;
            }
        }
        const SourceRect from{0, 0, static_cast<double>(c.sw), static_cast<double>(c.sh)};
        const TargetRect to{0, 0, c.dw, c.dh};
        std::vector<std::vector<uint8_t>> results;
        for (const PixelBuffer* source : {&three, static_cast<const PixelBuffer*>(&four)}) {
            for (const int bpp : {3, 4}) {
                PixelBuffer target = Buffer(c.dw, c.dh, bpp);
                ASSERT_EQ(DrawResampled(*source, false, from, target, to, ResampleFilter::Bicubic), Ok);
                std::vector<uint8_t> colours;
                for (int32_t y = 0; y < c.dh; ++y) {
                    for (int32_t x = 0; x < c.dw; ++x) colours.insert(colours.end(), target.Row(y) + x * bpp, target.Row(y) + x * bpp + 3);
                }
                results.push_back(colours);
            }
        }
        for (size_t i = 1; i < results.size(); ++i) EXPECT_EQ(results[i], results[0]) << "layout " << i;
    }
}

TEST(Resampler, CompositesTransparentPixelsOverTheTarget)
{
    // Left half opaque red, right half fully transparent green.
    PixelBuffer source = Buffer(20, 4, 4);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            uint8_t* p = source.Row(y) + x * 4;
            p[0] = 0;
            p[1] = x < 10 ? 0 : 255;
            p[2] = x < 10 ? 255 : 0;
            p[3] = x < 10 ? 255 : 0;
        }
    }
    PixelBuffer white = Buffer(20, 4, 3);
    std::fill(white.owned.begin(), white.owned.end(), 255);
    ASSERT_EQ(DrawResampled(source, true, {0, 0, 20, 4}, white, {0, 0, 20, 4}, ResampleFilter::Bicubic), Ok);
    const uint8_t* row = white.Row(1);
    EXPECT_EQ(row[0 * 3 + 2], 255);
    EXPECT_EQ(row[0 * 3 + 1], 0);   // red
    // The transparent green never shows: white stays white.
    EXPECT_EQ(row[19 * 3 + 0], 255);
    EXPECT_EQ(row[19 * 3 + 1], 255);
    EXPECT_EQ(row[19 * 3 + 2], 255);
}

TEST(Resampler, ClipsToTheTargetAndRefusesEmptyRectangles)
{
    const PixelBuffer source = Noise(10, 10, 3, 9);
    PixelBuffer target = Buffer(8, 8, 3);
    // Reaches past every edge of the target: only the visible part is drawn, nothing outside.
    EXPECT_EQ(DrawResampled(source, false, {0, 0, 10, 10}, target, {-5, -5, 20, 20}, ResampleFilter::Bicubic), Ok);
    EXPECT_EQ(DrawResampled(source, false, {0, 0, 10, 10}, target, {100, 0, 5, 5}, ResampleFilter::Bicubic), Ok);
    EXPECT_EQ(DrawResampled(source, false, {0, 0, 0, 10}, target, {0, 0, 5, 5}, ResampleFilter::Bicubic),
              InvalidParameter);
    EXPECT_EQ(DrawResampled(source, false, {20, 0, 5, 5}, target, {0, 0, 5, 5}, ResampleFilter::Bicubic),
              InvalidParameter);
}

namespace {

// A decoded file as the service holds it: 4 bytes per pixel with straight alpha.
PixelBuffer Decoded(const std::string& relative)
{
    namespace codec = tallowin::codec;
    const std::string path = (tallowin::test::DataDir() / relative).string();
    const codec::Decoder* format = nullptr;
    EXPECT_EQ(codec::SniffFile(path, format), codec::DecodeStatus::Ok) << path;
    codec::Raster raster;
    std::string warning;
    if (format != nullptr) {
        EXPECT_EQ(codec::DecodePixels(*format, path, codec::DecodeRequest{}, codec::DecodeLimits{}, raster, warning),
                  codec::DecodeStatus::Ok)
            << path;
    }
    PixelBuffer buffer;
    AdoptRaster(std::move(raster), buffer);
    return buffer;
}

// Opaque, transparent and every level between, in a pattern no row or column repeats.
PixelBuffer NoiseWithAlpha(int32_t width, int32_t height, unsigned seed)
{
    PixelBuffer buffer = Noise(width, height, 4, seed);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t& alpha = buffer.Row(y)[x * 4 + 3];
            alpha = (x + y) % 5 == 0 ? 0 : (x + 2 * y) % 7 == 0 ? 255 : alpha;
        }
    }
    return buffer;
}

// Draws `from` into `to` once through DrawResampled and once through the weighted
// passes alone, each on its own copy of a noisy target, and expects the same bytes.
void ExpectSameAsWeighted(const PixelBuffer& source, bool alpha, const SourceRect& from, int32_t targetBytes,
                          const TargetRect& to, ResampleFilter filter)
{
    const PixelBuffer background = Noise(to.width + 6, to.height + 4, targetBytes, 77);
    PixelBuffer quick = Buffer(background.width, background.height, targetBytes);
    PixelBuffer weighted = Buffer(background.width, background.height, targetBytes);
    quick.owned = background.owned;
    weighted.owned = background.owned;
    ASSERT_EQ(DrawResampled(source, alpha, from, quick, to, filter), Ok);
    ASSERT_EQ(DrawFiltered(source, alpha, from, weighted, to, filter), Ok);
    int32_t differing = 0;
    for (int32_t y = 0; y < quick.height; ++y) {
        differing += !std::equal(quick.Row(y), quick.Row(y) + quick.width * targetBytes, weighted.Row(y));
    }
    EXPECT_EQ(differing, 0) << "rows differ: source " << source.width << "x" << source.height << " alpha " << alpha
                            << " rect " << from.x << "," << from.y << " " << from.width << "x" << from.height
                            << " into " << to.x << "," << to.y << " " << to.width << "x" << to.height << ", "
                            << targetBytes << " bytes";
}

// Both axes at their own size, then one at a time, each also offset in the source and
// clipped by the target's edge, into 3- and 4-byte targets, with both filters.
void ExpectShortcutsExact(const PixelBuffer& source, bool alpha)
{
    const int32_t w = source.width;
    const int32_t h = source.height;
    for (const ResampleFilter filter : {ResampleFilter::Bicubic, ResampleFilter::Nearest}) {
        for (const int32_t bytes : {3, 4}) {
            ExpectSameAsWeighted(source, alpha, {0, 0, double(w), double(h)}, bytes, {0, 0, w, h}, filter);
            ExpectSameAsWeighted(source, alpha, {3, 2, double(w - 5), double(h - 4)}, bytes, {-4, 5, w - 5, h - 4},
                                 filter);
            ExpectSameAsWeighted(source, alpha, {0, 0, double(w), double(h)}, bytes, {0, 0, w, h * 2 / 3}, filter);
            ExpectSameAsWeighted(source, alpha, {0, 0, double(w), double(h)}, bytes, {2, -3, w, h * 3 / 2}, filter);
            ExpectSameAsWeighted(source, alpha, {0, 0, double(w), double(h)}, bytes, {0, 0, w / 3, h}, filter);
            ExpectSameAsWeighted(source, alpha, {1, 4, double(w - 1), double(h - 4)}, bytes, {0, 1, w + 9, h - 4},
                                 filter);
        }
    }
}

}  // namespace

TEST(ResamplerShortcuts, OwnSizeAxesGiveTheWeightedResultOnAPhoto)
{
    const PixelBuffer photo = Decoded("libjpeg-turbo/testorig.jpg");
    ASSERT_FALSE(photo.Empty());
    ExpectShortcutsExact(photo, false);
}

TEST(ResamplerShortcuts, OwnSizeAxesGiveTheWeightedResultWithAlpha)
{
    const PixelBuffer png = Decoded("pngsuite/basn6a08.png");
    ASSERT_FALSE(png.Empty());
    ExpectShortcutsExact(png, true);
    ExpectShortcutsExact(NoiseWithAlpha(61, 37, 3), true);
}
