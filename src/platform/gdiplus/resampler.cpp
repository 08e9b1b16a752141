// Separable resampling: each target column and row gets its list of source taps and
// weights once; source rows are filtered horizontally into a small ring of float rows
// as the vertical window slides down, then combined vertically per target row.
#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

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

// Filters one source row horizontally into `channels` floats per visible target column;
// with alpha, colours are premultiplied so transparent pixels add no colour.
template <int SourceBytes, bool Alpha>
void FilterRow(const uint8_t* row, const Taps& taps, int32_t columns, float* out)
{
    constexpr int Channels = Alpha ? 4 : 3;
    for (int32_t x = 0; x < columns; ++x) {
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

uint8_t ToByte(float v)
{
    return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

template <int TargetBytes, bool Alpha>
void StoreRow(const float* acc, int32_t columns, uint8_t* out)
{
    constexpr int Channels = Alpha ? 4 : 3;
    for (int32_t x = 0; x < columns; ++x, out += TargetBytes) {
        const float* v = acc + x * Channels;
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
}

template <int SourceBytes, int TargetBytes, bool Alpha>
GpStatus Run(const PixelBuffer& source, const Taps& columns, const Taps& rows, int32_t visibleColumns,
             int32_t visibleRows, PixelBuffer& target, int32_t targetX, int32_t targetY)
{
    constexpr int Channels = Alpha ? 4 : 3;
    const size_t rowFloats = static_cast<size_t>(visibleColumns) * Channels;
    const int32_t ringSize = rows.stride;
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
        const float* w = rows.weights.data() + static_cast<size_t>(y) * rows.stride;
        for (int32_t k = 0; k < rows.stride; ++k) {
            const float wk = w[k];
            if (wk == 0.0f) {
                continue;
            }
            const int32_t sourceRow = rows.first[y] + k;
            // The vertical window only moves down and is never wider than the ring,
            // so a slot holds the row it is asked for or one that is no longer needed.
            const int32_t slot = sourceRow % ringSize;
            float* filtered = ring.data() + static_cast<size_t>(slot) * rowFloats;
            if (ringRow[slot] != sourceRow) {
                FilterRow<SourceBytes, Alpha>(source.Row(sourceRow), columns, visibleColumns, filtered);
                ringRow[slot] = sourceRow;
            }
            for (size_t i = 0; i < rowFloats; ++i) {
                acc[i] += wk * filtered[i];
            }
        }
        StoreRow<TargetBytes, Alpha>(acc.data(), visibleColumns,
                                     target.Row(targetY + y) + static_cast<int64_t>(targetX) * TargetBytes);
    }
    return Ok;
}

}  // namespace

GpStatus DrawResampled(const PixelBuffer& source, bool sourceAlpha, const SourceRect& from, PixelBuffer& target,
                       const TargetRect& to, ResampleFilter filter)
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
    Taps columns;
    Taps rows;
    try {
        ComputeTaps(static_cast<int32_t>(beginX), static_cast<int32_t>(endX), to.width, from.x, from.width, loX, hiX,
                    filter, columns);
        ComputeTaps(static_cast<int32_t>(beginY), static_cast<int32_t>(endY), to.height, from.y, from.height, loY,
                    hiY, filter, rows);
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

}  // namespace tallowin::gdiplus
