// Separable resampling: each target column and row gets its list of source taps and
// weights once; source rows are filtered horizontally into a small ring of float rows
// as the vertical window slides down, then combined vertically per target row. An axis
// drawn at its own size skips its pass: its single weight of 1 would change nothing.
#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallowin::gdiplus {
namespace {

// Keys' cubic with a = -0.5 (Catmull-Rom): the interpolating "high-quality bicubic".
float Cubic(double t)
{
    t = std::fabs(t);
    if (t < 1.0) {
        return static_cast<float>((1.5 * t - 2.5) * t * t + 1.0);
    }
    if (t < 2.0) {
        return static_cast<float>(((-0.5 * t + 2.5) * t - 4.0) * t + 2.0);
    }
    return 0.0f;
}

// For each output position of one axis: the first source index and `stride` weights
// (unused trailing weights are 0). Source indices are already clamped to [lo, hi].
struct Taps {
    std::vector<int32_t> first;
    std::vector<float> weights;
    int32_t stride = 0;
};

// Output positions [begin, end) of an axis of `outLength` positions that shows source
// span [srcStart, srcStart + srcLength); sources clamp to [lo, hi].
void ComputeTaps(int32_t begin, int32_t end, int32_t outLength, double srcStart, double srcLength, int32_t lo,
                 int32_t hi, ResampleFilter filter, Taps& taps)
{
    const double scale = srcLength / outLength;
    const double filterScale = std::max(scale, 1.0);
    const double support = filter == ResampleFilter::Nearest ? 0.5 : 2.0 * filterScale;
    const int32_t count = end - begin;
    taps.stride = filter == ResampleFilter::Nearest
        ? 1
        : std::min<int32_t>(static_cast<int32_t>(std::ceil(2.0 * support)) + 2, hi - lo + 1);
    taps.first.assign(static_cast<size_t>(count), lo);
    taps.weights.assign(static_cast<size_t>(count) * taps.stride, 0.0f);
    std::vector<double> raw;
    for (int32_t i = 0; i < count; ++i) {
        const double center = srcStart + (begin + i + 0.5) * scale;
        float* w = taps.weights.data() + static_cast<size_t>(i) * taps.stride;
        if (filter == ResampleFilter::Nearest) {
            taps.first[i] = std::clamp(static_cast<int32_t>(std::floor(center)), lo, hi);
            w[0] = 1.0f;
            continue;
        }
        // Source pixel j has its centre at j + 0.5.
        const int32_t jStart = static_cast<int32_t>(std::ceil(center - 0.5 - support));
        const int32_t jEnd = static_cast<int32_t>(std::floor(center - 0.5 + support));
        int32_t first = std::clamp(jStart, lo, hi);
        int32_t last = std::clamp(jEnd, lo, hi);
        if (last - first + 1 > taps.stride) {
            last = first + taps.stride - 1;
        }
        raw.assign(static_cast<size_t>(last - first + 1), 0.0);
        double sum = 0.0;
        for (int32_t j = jStart; j <= jEnd; ++j) {
            const double weight = Cubic((j + 0.5 - center) / filterScale);
            // Taps beyond an edge fall on the edge pixel.
            const int32_t k = std::clamp(j, first, last) - first;
            raw[k] += weight;
            sum += weight;
        }
        // Every position reads `stride` pixels from its first one; near the far edge
        // the window starts earlier, with leading zero weights, to stay inside.
        const int32_t base = std::min(first, hi - taps.stride + 1);
        taps.first[i] = base;
        w += first - base;
        if (std::fabs(sum) < 1e-12) {
            w[0] = 1.0f;
            continue;
        }
        for (size_t k = 0; k < raw.size(); ++k) {
            w[k] = static_cast<float>(raw[k] / sum);
        }
    }
}

#if defined(__SSE2__)
// An opaque BGRA row filtered with a pixel's three colours in the lanes of one register:
// each lane takes the same float multiplications and additions in the same order as
// the scalar loop, so the results are the same bits. The last column is left to the
// caller, as its fourth lane would land past the row.
int32_t FilterOpaqueRowSse2(const uint8_t* row, const Taps& taps, int32_t columns, float* out)
{
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 1 < columns; ++x) {
        const float* w = taps.weights.data() + static_cast<size_t>(x) * taps.stride;
        const uint8_t* p = row + static_cast<size_t>(taps.first[x]) * 4;
        __m128 sum = _mm_setzero_ps();
        for (int32_t k = 0; k < taps.stride; ++k, p += 4) {
            int32_t pixel;
            std::memcpy(&pixel, p, sizeof pixel);
            const __m128i bytes = _mm_cvtsi32_si128(pixel);
            const __m128i lanes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_cvtepi32_ps(lanes)));
        }
        _mm_storeu_ps(out + static_cast<size_t>(x) * 3, sum);  // the fourth lane is the next column's, rewritten next
    }
    return x;
}
#endif

// Filters one source row horizontally into `channels` floats per visible target column;
// with alpha, colours are premultiplied so transparent pixels add no colour.
template <int SourceBytes, bool Alpha>
void FilterRow(const uint8_t* row, const Taps& taps, int32_t columns, float* out)
{
    constexpr int Channels = Alpha ? 4 : 3;
    int32_t x = 0;
#if defined(__SSE2__)
    if constexpr (SourceBytes == 4 && !Alpha) {
        x = FilterOpaqueRowSse2(row, taps, columns, out);
    }
#endif
    for (; x < columns; ++x) {
        const float* w = taps.weights.data() + static_cast<size_t>(x) * taps.stride;
        const uint8_t* p = row + static_cast<size_t>(taps.first[x]) * SourceBytes;
        float b = 0, g = 0, r = 0, a = 0;
        for (int32_t k = 0; k < taps.stride; ++k, p += SourceBytes) {
            const float wk = w[k];
            if constexpr (Alpha) {
                const float wa = wk * p[3] * (1.0f / 255.0f);
                b += wa * p[0];
                g += wa * p[1];
                r += wa * p[2];
                a += wk * p[3];
            } else {
                b += wk * p[0];
                g += wk * p[1];
                r += wk * p[2];
            }
        }
        out[x * Channels + 0] = b;
        out[x * Channels + 1] = g;
        out[x * Channels + 2] = r;
        if constexpr (Alpha) {
            out[x * Channels + 3] = a;
        }
    }
}

// One source pixel as FilterRow gives it when its weight is 1 and all others are 0:
// the same float operations, so both routes produce the same bits.
template <int SourceBytes, bool Alpha>
void ConvertPixel(const uint8_t* p, float* out)
{
    if constexpr (Alpha) {
        const float wa = p[3] * (1.0f / 255.0f);
        out[0] = wa * p[0];
        out[1] = wa * p[1];
        out[2] = wa * p[2];
        out[3] = p[3];
    } else {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
    }
}

// A row whose columns are drawn at their own size: `row` points at the first visible one.
template <int SourceBytes, bool Alpha>
void ConvertRow(const uint8_t* row, int32_t columns, float* out)
{
    constexpr int Channels = Alpha ? 4 : 3;
    for (int32_t x = 0; x < columns; ++x, row += SourceBytes, out += Channels) {
        ConvertPixel<SourceBytes, Alpha>(row, out);
    }
}

uint8_t ToByte(float v)
{
    return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

template <int TargetBytes, bool Alpha>
void StorePixel(const float* v, uint8_t* out)
{
    if constexpr (Alpha) {
        const float coverage = std::clamp(v[3] * (1.0f / 255.0f), 0.0f, 1.0f);
        const float keep = 1.0f - coverage;
        out[0] = ToByte(v[0] + out[0] * keep);
        out[1] = ToByte(v[1] + out[1] * keep);
        out[2] = ToByte(v[2] + out[2] * keep);
        if constexpr (TargetBytes == 4) {
            out[3] = ToByte(v[3] + out[3] * keep);
        }
    } else {
        out[0] = ToByte(v[0]);
        out[1] = ToByte(v[1]);
        out[2] = ToByte(v[2]);
        if constexpr (TargetBytes == 4) {
            out[3] = 255;
        }
    }
}

#if defined(__SSE2__)
// Opaque colours to 3-byte pixels, ToByte's rounding and clamping lane by lane (the
// truncating conversion of a clamped value is the cast's). The last column is left to
// the caller: its fourth lane and byte would land past the row.
int32_t StoreOpaqueRowSse2(const float* acc, int32_t columns, uint8_t* out)
{
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 low = _mm_setzero_ps();
    const __m128 high = _mm_set1_ps(255.0f);
    int32_t x = 0;
    for (; x + 1 < columns; ++x, out += 3) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_loadu_ps(acc + static_cast<size_t>(x) * 3), half), low), high);
        const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(v), _mm_setzero_si128());
        const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        std::memcpy(out, &bytes, sizeof bytes);  // the fourth byte is the next pixel's, rewritten next
    }
    return x;
}
#endif

template <int TargetBytes, bool Alpha>
void StoreRow(const float* acc, int32_t columns, uint8_t* out)
{
    constexpr int Channels = Alpha ? 4 : 3;
    int32_t x = 0;
#if defined(__SSE2__)
    if constexpr (TargetBytes == 3 && !Alpha) {
        x = StoreOpaqueRowSse2(acc, columns, out);
        out += static_cast<size_t>(x) * 3;
    }
#endif
    for (; x < columns; ++x, out += TargetBytes) {
        StorePixel<TargetBytes, Alpha>(acc + x * Channels, out);
    }
}

// A row drawn at its own size on both axes. Opaque pixels are copied and fully
// transparent ones leave the target alone, which is exactly what the float path gives
// them; partly transparent pixels take the float path's own arithmetic.
template <int SourceBytes, int TargetBytes, bool Alpha>
void CopyRow(const uint8_t* in, int32_t columns, uint8_t* out)
{
    if constexpr (!Alpha && SourceBytes == 3 && TargetBytes == 3) {
        std::memcpy(out, in, static_cast<size_t>(columns) * 3);
    } else {
        int32_t x = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        if constexpr (!Alpha && SourceBytes == 4 && TargetBytes == 3) {
            // Four pixels a step, through two 64-bit words: each word's pixels lose
            // their fourth byte, and the twelve bytes left go out as a word and a half.
            constexpr uint64_t low = 0xFFFFFF;
            constexpr uint64_t high = 0xFFFFFF000000;
            for (; x + 4 <= columns; x += 4, in += 16, out += 12) {
                uint64_t first, second;
                std::memcpy(&first, in, 8);
                std::memcpy(&second, in + 8, 8);
                first = (first & low) | ((first >> 8) & high);
                second = (second & low) | ((second >> 8) & high);
                const uint64_t head = first | (second << 48);
                const auto tail = static_cast<uint32_t>(second >> 16);
                std::memcpy(out, &head, 8);
                std::memcpy(out + 8, &tail, 4);
            }
        }
#endif
        for (; x < columns; ++x, in += SourceBytes, out += TargetBytes) {
            if constexpr (Alpha) {
                if (in[3] == 0) {
                    continue;
                }
                if (in[3] != 255) {
                    float v[4];
                    ConvertPixel<SourceBytes, true>(in, v);
                    StorePixel<TargetBytes, true>(v, out);
                    continue;
                }
            }
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if constexpr (TargetBytes == 4) {
                out[3] = 255;
            }
        }
    }
}

// How one axis is drawn: through its weights, or at its own size from `first` on.
struct Axis {
    Taps taps;
    bool copied = false;
    int32_t first = 0;
};

template <int SourceBytes, bool Alpha>
void HorizontalPass(const PixelBuffer& source, int32_t sourceRow, const Axis& columns, int32_t visibleColumns,
                    float* out)
{
    const uint8_t* row = source.Row(sourceRow);
    if (columns.copied) {
        ConvertRow<SourceBytes, Alpha>(row + static_cast<int64_t>(columns.first) * SourceBytes, visibleColumns, out);
    } else {
        FilterRow<SourceBytes, Alpha>(row, columns.taps, visibleColumns, out);
    }
}

template <int SourceBytes, int TargetBytes, bool Alpha>
GpStatus Run(const PixelBuffer& source, const Axis& columns, const Axis& rows, int32_t visibleColumns,
             int32_t visibleRows, PixelBuffer& target, int32_t targetX, int32_t targetY)
{
    const auto targetRow = [&](int32_t y) {
        return target.Row(targetY + y) + static_cast<int64_t>(targetX) * TargetBytes;
    };
    if (columns.copied && rows.copied) {
        for (int32_t y = 0; y < visibleRows; ++y) {
            CopyRow<SourceBytes, TargetBytes, Alpha>(
                source.Row(rows.first + y) + static_cast<int64_t>(columns.first) * SourceBytes, visibleColumns,
                targetRow(y));
        }
        return Ok;
    }
    constexpr int Channels = Alpha ? 4 : 3;
    const size_t rowFloats = static_cast<size_t>(visibleColumns) * Channels;
    if (rows.copied) {
        std::vector<float> filtered;
        try {
            filtered.resize(rowFloats);
        } catch (const std::bad_alloc&) {
            return OutOfMemory;
        }
        for (int32_t y = 0; y < visibleRows; ++y) {
            HorizontalPass<SourceBytes, Alpha>(source, rows.first + y, columns, visibleColumns, filtered.data());
            StoreRow<TargetBytes, Alpha>(filtered.data(), visibleColumns, targetRow(y));
        }
        return Ok;
    }
    const int32_t ringSize = rows.taps.stride;
    std::vector<float> ring;
    std::vector<int32_t> ringRow;
    std::vector<float> acc;
    try {
        ring.resize(rowFloats * ringSize);
        ringRow.assign(static_cast<size_t>(ringSize), -1);
        acc.resize(rowFloats);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    for (int32_t y = 0; y < visibleRows; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        const float* w = rows.taps.weights.data() + static_cast<size_t>(y) * rows.taps.stride;
        for (int32_t k = 0; k < rows.taps.stride; ++k) {
            const float wk = w[k];
            if (wk == 0.0f) {
                continue;
            }
            const int32_t sourceRow = rows.taps.first[y] + k;
            // The vertical window only moves down and is never wider than the ring,
            // so a slot holds the row it is asked for or one that is no longer needed.
            const int32_t slot = sourceRow % ringSize;
            float* filtered = ring.data() + static_cast<size_t>(slot) * rowFloats;
            if (ringRow[slot] != sourceRow) {
                HorizontalPass<SourceBytes, Alpha>(source, sourceRow, columns, visibleColumns, filtered);
                ringRow[slot] = sourceRow;
            }
            for (size_t i = 0; i < rowFloats; ++i) {
                acc[i] += wk * filtered[i];
            }
        }
        StoreRow<TargetBytes, Alpha>(acc.data(), visibleColumns, targetRow(y));
    }
    return Ok;
}

// Plans one axis: visible target positions [begin, end) of `outLength` that show source
// span [srcStart, srcStart + srcLength), sources clamped to [lo, hi]. With `shortcut`,
// an axis at its own size that needs no clamping is copied instead of weighted.
void PlanAxis(int32_t begin, int32_t end, int32_t outLength, double srcStart, double srcLength, int32_t lo,
              int32_t hi, ResampleFilter filter, bool shortcut, Axis& axis)
{
    const bool ownSize = srcLength == static_cast<double>(outLength) && srcStart == std::floor(srcStart)
        && srcStart + begin >= lo && srcStart + end - 1 <= hi;
    if (shortcut && ownSize) {
        axis.copied = true;
        axis.first = static_cast<int32_t>(srcStart) + begin;
        return;
    }
    ComputeTaps(begin, end, outLength, srcStart, srcLength, lo, hi, filter, axis.taps);
}

GpStatus Draw(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from, PixelBuffer& target,
              const TargetRect& to, ResampleFilter filter, bool shortcuts)
{
    if (source.Empty() || target.Empty() || to.width <= 0 || to.height <= 0 || !(from.width > 0)
        || !(from.height > 0)) {
        return InvalidParameter;
    }
    if (sourceAlpha && source.bytesPerPixel != 4) {
        return InvalidParameter;
    }
    // Source pixels the rectangle touches; drawing clamps to them.
    const int32_t loX = std::max(0, static_cast<int32_t>(std::floor(from.x)));
    const int32_t hiX = std::min(source.width - 1, static_cast<int32_t>(std::ceil(from.x + from.width)) - 1);
    const int32_t loY = std::max(0, static_cast<int32_t>(std::floor(from.y)));
    const int32_t hiY = std::min(source.height - 1, static_cast<int32_t>(std::ceil(from.y + from.height)) - 1);
    if (loX > hiX || loY > hiY) {
        return InvalidParameter;
    }
    // The visible part of the target rectangle.
    const int64_t beginX = std::max<int64_t>(0, -static_cast<int64_t>(to.x));
    const int64_t endX = std::min<int64_t>(to.width, static_cast<int64_t>(target.width) - to.x);
    const int64_t beginY = std::max<int64_t>(0, -static_cast<int64_t>(to.y));
    const int64_t endY = std::min<int64_t>(to.height, static_cast<int64_t>(target.height) - to.y);
    if (beginX >= endX || beginY >= endY) {
        return Ok;
    }
    Axis columns;
    Axis rows;
    try {
        PlanAxis(static_cast<int32_t>(beginX), static_cast<int32_t>(endX), to.width, from.x, from.width, loX, hiX,
                 filter, shortcuts, columns);
        PlanAxis(static_cast<int32_t>(beginY), static_cast<int32_t>(endY), to.height, from.y, from.height, loY, hiY,
                 filter, shortcuts, rows);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    const auto visibleColumns = static_cast<int32_t>(endX - beginX);
    const auto visibleRows = static_cast<int32_t>(endY - beginY);
    const auto targetX = static_cast<int32_t>(to.x + beginX);
    const auto targetY = static_cast<int32_t>(to.y + beginY);
    const int s = source.bytesPerPixel;
    const int t = target.bytesPerPixel;
    if (sourceAlpha) {
        return t == 3 ? Run<4, 3, true>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY)
                      : Run<4, 4, true>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY);
    }
    if (s == 3) {
        return t == 3 ? Run<3, 3, false>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY)
                      : Run<3, 4, false>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY);
    }
    return t == 3 ? Run<4, 3, false>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY)
                  : Run<4, 4, false>(source, columns, rows, visibleColumns, visibleRows, target, targetX, targetY);
}

}  // namespace

GpStatus DrawResampled(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from, PixelBuffer& target,
                       const TargetRect& to, ResampleFilter filter)
{
    return Draw(source, sourceAlpha, from, target, to, filter, true);
}

GpStatus DrawFiltered(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from, PixelBuffer& target,
                      const TargetRect& to, ResampleFilter filter)
{
    return Draw(source, sourceAlpha, from, target, to, filter, false);
}

}  // namespace tallowin::gdiplus
