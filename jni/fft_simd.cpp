// Vector kernels of the radix-2 transform; see fft_simd.h and fft.h for the conventions.
//
// The plain transform permutes into bit-reversed order and then runs stage k over pairs of
// points 2^k apart. A vector holds L floats, L / 2 interleaved complex points, and each lane
// computes its own butterfly's float operations; the lanes of a vector must therefore share a
// stage and lie in one half of a butterfly group:
// - Stages whose pairs are at least L / 2 points apart run after the permutation, as in the
//   plain code, over runs of consecutive points; the twiddles come from tables holding each
//   entry twice, once for the real and once for the imaginary lane.
// - The first stages, whose pairs are closer, run before the permutation instead. A
//   butterfly only reads and writes its own pair, so it may run wherever its two values are
//   stored: in natural order, stage k pairs point j with j + N / 2^(k+1), in runs of that
//   many consecutive points that all share the twiddle of entry reverse_k(j >> (logN - k)).
// Both rules cover every stage when N >= (L / 2)^2, the kernel's smallest size.
#include "fft_simd.h"

#include "fft.h"

#if CS_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fft_simd.cpp"
#include "simd_hwy.h"
// clang-format off
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
// clang-format on
#include "fft_tiny-inl.h"

HWY_BEFORE_NAMESPACE();
namespace cs_fft {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Highway's baseline target (one lane) is built too but never chosen: it gets no kernel.
#if HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128
using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;

// A butterfly's products: plain, or (kTiny) on scaled tiny values as fft_tiny_product().
template <bool kTiny>
HWY_INLINE VF Product(DF d, VF a, VF b) {
  if constexpr (kTiny) {
    return cs_tiny::HWY_NAMESPACE::TinyProduct(d, a, b);
  } else {
    return hn::Mul(a, b);
  }
}

// Butterflies of the L / 2 points in x1 with those in x2, twiddles (ur, ui) per lane:
//   tr = x2r * ur - x2i * ui;  ti = x2r * ui + x2i * ur;  x2 = x1 - t;  x1 = x1 + t.
// a = (x2r * ur, x2i * ur) and b = (x2i * ui, x2r * ui) lane by lane; the real lane takes
// a - b and the imaginary lane b + a, the plain code's operands in its order.
template <bool kTiny>
HWY_INLINE void Butterfly(DF d, VF& x1, VF& x2, VF ur, VF ui) {
  const VF a = Product<kTiny>(d, x2, ur);
  const VF b = Product<kTiny>(d, hn::Reverse2(d, x2), ui);
  const VF t = hn::OddEven(hn::Add(b, a), hn::Sub(a, b));
  x2 = hn::Sub(x1, t);
  x1 = hn::Add(x1, t);
}

// The same on the points stored at p1 and p2.
template <bool kTiny>
HWY_INLINE void Butterfly(DF d, float* p1, float* p2, VF ur, VF ui) {
  VF x1 = hn::LoadU(d, p1);
  VF x2 = hn::LoadU(d, p2);
  Butterfly<kTiny>(d, x1, x2, ur, ui);
  hn::StoreU(x2, d, p2);
  hn::StoreU(x1, d, p1);
}

constexpr int Log2(size_t v) { return v <= 1 ? 0 : 1 + Log2(v / 2); }

// v's lowest `bits` bits (at most 16) in reverse order.
HWY_INLINE unsigned ReverseBits(unsigned v, int bits) {
  static constexpr uint8_t kByte[256] = {
#define CS_R2(n) n, n + 128, n + 64, n + 192
#define CS_R4(n) CS_R2(n), CS_R2(n + 32), CS_R2(n + 16), CS_R2(n + 48)
#define CS_R6(n) CS_R4(n), CS_R4(n + 8), CS_R4(n + 4), CS_R4(n + 12)
      CS_R6(0), CS_R6(2), CS_R6(1), CS_R6(3)
#undef CS_R2
#undef CS_R4
#undef CS_R6
  };
  const unsigned r = ((unsigned)kByte[v & 0xFF] << 8) | kByte[(v >> 8) & 0xFF];
  return r >> (16 - bits);
}

// The bit-reversal permutation, moving whole complex points (64-bit lanes, so a NaN keeps its
// bits). Point j = (a, b, c), with a the top and c the low kPermBits bits, goes to
// (rev c, rev b, rev a). For each b the points of all a and c form a small square: its rows
// (one per a, consecutive c) are loaded, transposed, and stored as rows of consecutive rev a,
// one per c, in the square of rev b; the squares of b and rev b trade places.
using DU = hn::CappedTag<uint64_t, 4>;  // 4 points (AVX2, AVX-512) or 2 (SSE4, NEON)
using DP = hn::Repartition<float, DU>;
using VU = hn::Vec<DU>;
constexpr size_t kPermLanes = hn::MaxLanes(DU());

template <class D>
HWY_INLINE void Transpose(D du, hn::Vec<D>* v) {
  using VU = hn::Vec<D>;
  if constexpr (hn::MaxLanes(D()) == 2) {
    const VU a = hn::InterleaveLower(du, v[0], v[1]);
    const VU b = hn::InterleaveUpper(du, v[0], v[1]);
    v[0] = a;
    v[1] = b;
  } else {
    static_assert(hn::MaxLanes(D()) == 4, "2 or 4 points per vector");
    // Within 128-bit halves first, then the halves.
    const VU t0 = hn::InterleaveLower(du, v[0], v[1]);
    const VU t1 = hn::InterleaveUpper(du, v[0], v[1]);
    const VU t2 = hn::InterleaveLower(du, v[2], v[3]);
    const VU t3 = hn::InterleaveUpper(du, v[2], v[3]);
    v[0] = hn::ConcatLowerLower(du, t2, t0);
    v[1] = hn::ConcatLowerLower(du, t3, t1);
    v[2] = hn::ConcatUpperUpper(du, t2, t0);
    v[3] = hn::ConcatUpperUpper(du, t3, t1);
  }
}

HWY_INLINE void LoadSquare(float* x, size_t first, size_t rowStride, VU* v) {
  const DU du;
  const DP dp;
#pragma GCC unroll 4
  for (size_t i = 0; i < kPermLanes; i++) {
    const size_t row = ReverseBits((unsigned)i, Log2(kPermLanes));
    v[i] = hn::BitCast(du, hn::LoadU(dp, x + 2 * (first + row * rowStride)));
  }
  Transpose(du, v);
}

HWY_INLINE void StoreSquare(const VU* v, float* x, size_t first, size_t rowStride) {
  const DP dp;
#pragma GCC unroll 4
  for (size_t c = 0; c < kPermLanes; c++) {
    const size_t row = ReverseBits((unsigned)c, Log2(kPermLanes));
    hn::StoreU(hn::BitCast(dp, v[c]), dp, x + 2 * (first + row * rowStride));
  }
}

void Permute(float* x, int logN) {
  constexpr int kBits = Log2(kPermLanes);
  const int middle = logN - 2 * kBits;
  const size_t rowStride = (size_t)1 << (logN - kBits);
  for (unsigned b = 0; b < (1u << middle); b++) {
    const unsigned rb = ReverseBits(b, middle);
    if (rb < b) continue;  // done with its partner
    VU square[kPermLanes], partner[kPermLanes];
    LoadSquare(x, (size_t)b << kBits, rowStride, square);
    if (rb != b) LoadSquare(x, (size_t)rb << kBits, rowStride, partner);
    StoreSquare(square, x, (size_t)rb << kBits, rowStride);
    if (rb != b) StoreSquare(partner, x, (size_t)b << kBits, rowStride);
  }
}

constexpr int kEarlyStages = Log2(hn::MaxLanes(DF()) / 2);  // stages run before the permutation

template <bool kTiny>
HWY_INLINE bool Transform(float* x, const FftSimdTables& t) {
  const DF d;
  const size_t L = hn::Lanes(d);
  const int early = kEarlyStages;
  const size_t n = (size_t)1 << t.logN;

  // Only modest finite values: then no stage can overflow (each at most doubles a value, and
  // N <= 2^12), so no infinity or NaN arises. Anything else goes to the plain loops, where a
  // NaN's bits come out of the same code whichever path was chosen.
  const VF limit = hn::Set(d, kFftSimdLimit);
  for (size_t i = 0; i < 2 * n; i += L) {
    if (!hn::AllTrue(d, hn::Le(hn::Abs(hn::LoadU(d, x + i)), limit))) return false;
  }

  for (int k = 0; k < early; k++) {
    const size_t half = 2 * (n >> (k + 1));  // floats between the two points of a pair
    for (size_t g = 0; g < ((size_t)1 << k); g++) {
      const size_t entry = 2 * (size_t)ReverseBits((unsigned)g, k) + (size_t)k * kFftStageStride;
      const VF ur = hn::Set(d, t.re[entry]);
      const VF ui = hn::Set(d, t.im[entry]);
      float* p1 = x + 2 * g * half;
      for (size_t r = 0; r < half; r += L) Butterfly<kTiny>(d, p1 + r, p1 + half + r, ur, ui);
    }
  }

  Permute(x, t.logN);

  // Stages k and k + 1 together over groups of four quarters a, b, c, d of 2^k points: stage k
  // pairs (a, b) and (c, d) with the same twiddles, stage k + 1 pairs (a, c) and (b, d). The
  // butterflies are those of the two stages one after the other, with one load and store of
  // the points instead of two.
  int k = early;
  for (; k + 1 < t.logN; k += 2) {
    const size_t q = (size_t)2 << k;  // floats in a quarter
    const float* wr = t.dupRe + q - 2;
    const float* wi = t.dupIm + q - 2;
    const float* wr2 = t.dupRe + 2 * q - 2;
    const float* wi2 = t.dupIm + 2 * q - 2;
    for (size_t g = 0; g < 2 * n; g += 4 * q) {
      float* a = x + g;
      for (size_t m = 0; m < q; m += L) {
        VF x0 = hn::LoadU(d, a + m);
        VF x1 = hn::LoadU(d, a + q + m);
        VF x2 = hn::LoadU(d, a + 2 * q + m);
        VF x3 = hn::LoadU(d, a + 3 * q + m);
        const VF ur = hn::LoadU(d, wr + m);
        const VF ui = hn::LoadU(d, wi + m);
        Butterfly<kTiny>(d, x0, x1, ur, ui);
        Butterfly<kTiny>(d, x2, x3, ur, ui);
        Butterfly<kTiny>(d, x0, x2, hn::LoadU(d, wr2 + m), hn::LoadU(d, wi2 + m));
        Butterfly<kTiny>(d, x1, x3, hn::LoadU(d, wr2 + q + m), hn::LoadU(d, wi2 + q + m));
        hn::StoreU(x0, d, a + m);
        hn::StoreU(x1, d, a + q + m);
        hn::StoreU(x2, d, a + 2 * q + m);
        hn::StoreU(x3, d, a + 3 * q + m);
      }
    }
  }
  for (; k < t.logN; k++) {
    const size_t half = (size_t)2 << k;  // floats between the two points of a pair
    const float* wr = t.dupRe + half - 2;
    const float* wi = t.dupIm + half - 2;
    for (size_t g = 0; g < 2 * n; g += 2 * half) {
      float* p1 = x + g;
      for (size_t m = 0; m < half; m += L) {
        Butterfly<kTiny>(d, p1 + m, p1 + half + m, hn::LoadU(d, wr + m), hn::LoadU(d, wi + m));
      }
    }
  }
  return true;
}

bool TransformPlain(float* x, const FftSimdTables& t) { return Transform<false>(x, t); }
static_assert(kFftTinyLimit <= kFftSimdLimit, "the input check serves the tiny transform too");
bool TransformTiny(float* x, const FftSimdTables& t) { return Transform<true>(x, t); }

// The butterflies need N >= (L / 2)^2 and the permutation N >= kPermLanes^2 points.
constexpr int kMinLogN = 2 * kEarlyStages > 2 * Log2(kPermLanes) ? 2 * kEarlyStages : 2 * Log2(kPermLanes);
HWY_MAYBE_UNUSED const FftSimdKernels kKernels = {kMinLogN, TransformPlain, TransformTiny};
#else
bool Transform(float*, const FftSimdTables&) { return false; }
HWY_MAYBE_UNUSED const FftSimdKernels kKernels = {64, Transform, Transform};
#endif

}  // namespace HWY_NAMESPACE
}  // namespace cs_fft
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
const FftSimdKernels* fft_simd_kernels(SimdPath path) {
  using namespace cs_fft;
  return CS_HWY_SELECT(path, kKernels);
}
#endif

#else
const FftSimdKernels* fft_simd_kernels(SimdPath) { return nullptr; }
#endif  // CS_HAVE_HWY
