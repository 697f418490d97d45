// Vector kernel of the analyser's resonator bank; see spectrum_simd.h.
//
// Each lane keeps one of a band's two running sums and adds the products position by position in
// ascending order, exactly as the plain code does. The table is 2.36 MB, a little more than a
// core's second-level cache, so each pass covers 3 of the 9 blocks (one third of the table) and
// alternate analyses run the passes in opposite orders: the blocks the last analysis ended with
// are then still in the cache. Only finite samples of modest size are taken (limit 2^100: no sum
// can then overflow), so no NaN or infinity ever arises here.
#include "spectrum_simd.h"

#include "spectrum.h"

#if CS_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "spectrum_simd.cpp"
#include "simd_hwy.h"
// clang-format off
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
// clang-format on

HWY_BEFORE_NAMESPACE();
namespace cs_spectrum {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;

constexpr size_t kPassBlocks = 3;  // blocks per pass: their sums fit in registers on every target

// The sums of blocks [first, first + kPassBlocks) over the whole window. Each line is
// kSpectrumBlockFloats lanes, one or more vectors.
HWY_INLINE void Pass(size_t first, const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT coeffs,
                     float* HWY_RESTRICT sums) {
  const DF d;
  using V = hn::Vec<DF>;
  constexpr size_t kLanes = hn::MaxLanes(DF());
  constexpr size_t kPerLine = kSpectrumBlockFloats / kLanes;  // vectors per line
  constexpr size_t kBlockStride = (size_t)kSpectrumWindow * kSpectrumBlockFloats;
  V acc[kPassBlocks * kPerLine];
  // The sums must live in registers: the loops over them are unrolled for that.
#pragma GCC unroll 16
  for (size_t k = 0; k < kPassBlocks * kPerLine; k++) acc[k] = hn::Zero(d);
  const float* lines = coeffs + first * kBlockStride;
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p++) {
    const V x = hn::Set(d, buffer[p]);
#pragma GCC unroll 16
    for (size_t b = 0; b < kPassBlocks; b++) {
#pragma GCC unroll 16
      for (size_t v = 0; v < kPerLine; v++) {
        const V c = hn::LoadU(d, lines + b * kBlockStride + p * kSpectrumBlockFloats + v * kLanes);
        acc[b * kPerLine + v] = hn::Add(acc[b * kPerLine + v], hn::Mul(x, c));
      }
    }
  }
#pragma GCC unroll 16
  for (size_t k = 0; k < kPassBlocks * kPerLine; k++) {
    hn::StoreU(acc[k], d, sums + first * kSpectrumBlockFloats + k * kLanes);
  }
}

bool Correlate(const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT coeffs, bool reverse,
               float* HWY_RESTRICT sums) {
  const DF d;
  const size_t n = hn::Lanes(d);
  const auto limit = hn::Set(d, kSpectrumSimdLimit);
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p += n) {
    if (!hn::AllTrue(d, hn::Le(hn::Abs(hn::LoadU(d, buffer + p)), limit))) return false;
  }
  static_assert(kSpectrumBlocks % kPassBlocks == 0, "whole passes");
  constexpr size_t kPasses = kSpectrumBlocks / kPassBlocks;
  for (size_t i = 0; i < kPasses; i++) {
    const size_t pass = reverse ? kPasses - 1 - i : i;
    Pass(pass * kPassBlocks, buffer, coeffs, sums);
  }
  return true;
}

HWY_MAYBE_UNUSED const SpectrumSimdKernels kKernels = {Correlate};

}  // namespace HWY_NAMESPACE
}  // namespace cs_spectrum
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath path) {
  using namespace cs_spectrum;
  return CS_HWY_SELECT(path, kKernels);
}
#endif

#else
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath) { return nullptr; }
#endif  // CS_HAVE_HWY
