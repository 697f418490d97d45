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

HWY_BEFORE_NAMESPACE();
namespace cs_fft {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;

// Butterflies of the L / 2 points at p1 with those at p2, twiddles (ur, ui) per lane:
//   tr = x2r * ur - x2i * ui;  ti = x2r * ui + x2i * ur;  x2 = x1 - t;  x1 = x1 + t.
// a = (x2r * ur, x2i * ur) and b = (x2i * ui, x2r * ui) lane by lane; the real lane takes
// a - b and the imaginary lane b + a, the plain code's operands in its order.
HWY_INLINE void Butterfly(DF d, float* HWY_RESTRICT p1, float* HWY_RESTRICT p2, VF ur, VF ui) {
  const VF x1 = hn::LoadU(d, p1);
  const VF x2 = hn::LoadU(d, p2);
  const VF a = hn::Mul(x2, ur);
  const VF b = hn::Mul(hn::Reverse2(d, x2), ui);
  const VF t = hn::OddEven(hn::Add(b, a), hn::Sub(a, b));
  hn::StoreU(hn::Sub(x1, t), d, p2);
  hn::StoreU(hn::Add(x1, t), d, p1);
}

unsigned ReverseBits(unsigned v, int bits) {
  unsigned r = 0;
  for (int b = 0; b < bits; b++) r = (r << 1) | ((v >> b) & 1u);
  return r;
}

constexpr int Log2(size_t v) { return v <= 1 ? 0 : 1 + Log2(v / 2); }
constexpr int kEarlyStages = Log2(hn::MaxLanes(DF()) / 2);  // stages run before the permutation

bool Transform(float* HWY_RESTRICT x, const FftSimdTables& t) {
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
      for (size_t r = 0; r < half; r += L) Butterfly(d, p1 + r, p1 + half + r, ur, ui);
    }
  }

  for (int p = 0; p < t.bitSwapLen; p += 2) {
    float* a = x + t.bitSwapPos[p];
    float* b = x + t.bitSwapPos[p + 1];
    const float ar = a[0], ai = a[1];
    a[0] = b[0];
    a[1] = b[1];
    b[0] = ar;
    b[1] = ai;
  }

  for (int k = early; k < t.logN; k++) {
    const size_t half = (size_t)2 << k;  // floats between the two points of a pair
    const float* wr = t.dupRe + half - 2;
    const float* wi = t.dupIm + half - 2;
    for (size_t g = 0; g < 2 * n; g += 2 * half) {
      float* p1 = x + g;
      for (size_t m = 0; m < half; m += L) {
        Butterfly(d, p1 + m, p1 + half + m, hn::LoadU(d, wr + m), hn::LoadU(d, wi + m));
      }
    }
  }
  return true;
}

const FftSimdKernels kKernels = {2 * kEarlyStages, Transform};

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
