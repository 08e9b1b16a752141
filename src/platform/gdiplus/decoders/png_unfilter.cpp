// One pixel at a time in SSE2 registers, its channels as 16-bit lanes (where Paeth's sums
// and differences cannot overflow) in R, G, B, A order. The filtered bytes are read from
// their own buffer and the results go to the BGRA row, so no load waits on a store just
// made; the row above is read back from its BGRA form. For RGB the fourth lane carries
// whatever byte follows the pixel: lanes never mix, and it is replaced by 255 on output.
#include "png_unfilter.h"

#include <emmintrin.h>

#include <cstring>

namespace tallowin::codec::detail {
namespace {

enum : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

inline __m128i Load32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(value)), _mm_setzero_si128());
}

// B, G, R, A and R, G, B, A differ by swapping lanes 0 and 2.
inline __m128i SwapRedBlue(__m128i lanes) { return _mm_shufflelo_epi16(lanes, _MM_SHUFFLE(3, 0, 1, 2)); }

template <int Bpp> inline void StoreBgra(uint8_t* p, __m128i rgba)
{
    __m128i bgra = SwapRedBlue(rgba);
    if constexpr (Bpp == 3) bgra = _mm_or_si128(bgra, _mm_setr_epi16(0, 0, 0, 0xFF, 0, 0, 0, 0));
    const uint32_t value = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(bgra, bgra)));
    std::memcpy(p, &value, sizeof value);
}

// Bytes modulo 256 in 16-bit lanes.
inline __m128i Wrap(__m128i lanes) { return _mm_and_si128(lanes, _mm_set1_epi16(0xFF)); }

inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

inline __m128i Select(__m128i mask, __m128i ifSet, __m128i otherwise)
{
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

struct PredictNone {
    __m128i operator()(__m128i, __m128i, __m128i) const { return _mm_setzero_si128(); }
};
struct PredictSub {
    __m128i operator()(__m128i a, __m128i, __m128i) const { return a; }
};
struct PredictUp {
    __m128i operator()(__m128i, __m128i b, __m128i) const { return b; }
};
struct PredictAverage {
    __m128i operator()(__m128i a, __m128i b, __m128i) const { return _mm_srli_epi16(_mm_add_epi16(a, b), 1); }
};
// Of a, b and c the one nearest p = a + b - c, ties going to a, then b; |p - a| is
// |b - c|, |p - b| is |a - c| and |p - c| is |(b - c) + (a - c)|.
struct PredictPaeth {
    __m128i operator()(__m128i a, __m128i b, __m128i c) const
    {
        const __m128i toA = _mm_sub_epi16(b, c);
        const __m128i toB = _mm_sub_epi16(a, c);
        const __m128i pa = Abs16(toA);
        const __m128i pb = Abs16(toB);
        const __m128i pc = Abs16(_mm_add_epi16(toA, toB));
        const __m128i nearest = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
        return Select(_mm_cmpeq_epi16(pa, nearest), a, Select(_mm_cmpeq_epi16(pb, nearest), b, c));
    }
};

template <int Bpp, class Predict>
void Unfilter(const uint8_t* raw, const uint8_t* prior, uint8_t* out, int32_t width, Predict predict)
{
    __m128i a = _mm_setzero_si128();
    __m128i c = _mm_setzero_si128();
    for (int32_t x = 0; x < width; ++x, raw += Bpp, out += 4) {
        const __m128i b = prior != nullptr ? SwapRedBlue(Load32(prior + 4 * x)) : _mm_setzero_si128();
        a = Wrap(_mm_add_epi16(Load32(raw), predict(a, b, c)));
        c = b;
        StoreBgra<Bpp>(out, a);
    }
}

// The second row's b is the first row's pixel just made, its c the one before.
template <int Bpp>
void PaethPair(const uint8_t* rawA, const uint8_t* rawB, const uint8_t* prior, uint8_t* outA, uint8_t* outB,
               int32_t width)
{
    const PredictPaeth paeth;
    __m128i aA = _mm_setzero_si128(), cA = _mm_setzero_si128();
    __m128i aB = _mm_setzero_si128(), cB = _mm_setzero_si128();
    for (int32_t x = 0; x < width; ++x, rawA += Bpp, rawB += Bpp, outA += 4, outB += 4) {
        const __m128i bA = prior != nullptr ? SwapRedBlue(Load32(prior + 4 * x)) : _mm_setzero_si128();
        aA = Wrap(_mm_add_epi16(Load32(rawA), paeth(aA, bA, cA)));
        cA = bA;
        StoreBgra<Bpp>(outA, aA);
        aB = Wrap(_mm_add_epi16(Load32(rawB), paeth(aB, aA, cB)));
        cB = aA;
        StoreBgra<Bpp>(outB, aB);
    }
}

template <int Bpp> bool UnfilterAs(uint8_t filter, const uint8_t* raw, const uint8_t* prior, uint8_t* out, int32_t width)
{
    switch (filter) {
    case kNone: Unfilter<Bpp>(raw, prior, out, width, PredictNone{}); return true;
    case kSub: Unfilter<Bpp>(raw, prior, out, width, PredictSub{}); return true;
    case kUp: Unfilter<Bpp>(raw, prior, out, width, PredictUp{}); return true;
    case kAverage: Unfilter<Bpp>(raw, prior, out, width, PredictAverage{}); return true;
    case kPaeth: Unfilter<Bpp>(raw, prior, out, width, PredictPaeth{}); return true;
    default: return false;
    }
}

template <int Bpp>
bool UnfilterPairAs(uint8_t filterA, const uint8_t* rawA, uint8_t filterB, const uint8_t* rawB, const uint8_t* prior,
                    uint8_t* outA, uint8_t* outB, int32_t width)
{
    if (filterA == kPaeth && filterB == kPaeth) {
        PaethPair<Bpp>(rawA, rawB, prior, outA, outB, width);
        return true;
    }
    if (filterA > kPaeth || filterB > kPaeth) return false;
    return UnfilterAs<Bpp>(filterA, rawA, prior, outA, width) && UnfilterAs<Bpp>(filterB, rawB, outA, outB, width);
}

}  // namespace

bool UnfilterRows(uint8_t firstFilter, const uint8_t* firstRaw, uint8_t secondFilter, const uint8_t* secondRaw,
                  const uint8_t* priorBgra, uint8_t* firstBgra, uint8_t* secondBgra, int32_t width, int bytesPerPixel)
{
    return bytesPerPixel == 4 ? UnfilterPairAs<4>(firstFilter, firstRaw, secondFilter, secondRaw, priorBgra, firstBgra,
                                                  secondBgra, width)
                              : UnfilterPairAs<3>(firstFilter, firstRaw, secondFilter, secondRaw, priorBgra, firstBgra,
                                                  secondBgra, width);
}

bool UnfilterRow(uint8_t filter, const uint8_t* raw, const uint8_t* priorBgra, uint8_t* bgra, int32_t width,
                 int bytesPerPixel)
{
    return bytesPerPixel == 4 ? UnfilterAs<4>(filter, raw, priorBgra, bgra, width)
                              : UnfilterAs<3>(filter, raw, priorBgra, bgra, width);
}

}  // namespace tallowin::codec::detail
