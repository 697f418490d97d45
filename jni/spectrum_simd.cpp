// Vector kernel of the analyser's resonator bank; see spectrum_simd.h.
//
// Each lane keeps one of a band's two running sums and adds the products position by position in
// ascending order, exactly as the plain code does. The table is 2.36 MB, a little more than a
// core's second-level cache, so each pass covers 3 of the 9 blocks (one third of the table) and
// alternate analyses run the passes in opposite orders: the blocks the last analysis ended with
// are then still in the cache. Two analyses that fall due in one engine block go through the
// passes together (CorrelatePair): each line loaded serves both, halving the table's traffic,
// and each lane still adds its own buffer's products in the same order. Only finite samples of
// modest size are taken (limit 2^100: no sum can then overflow), so no NaN or infinity ever
// arises here.
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

// Pass() for two buffers: each line loaded once serves both. Blocks [first, first + blocks).
template <size_t kBlocks>
HWY_INLINE void PassPair(size_t first, const float* HWY_RESTRICT bufferA, const float* HWY_RESTRICT bufferB,
                         const float* HWY_RESTRICT coeffs, float* HWY_RESTRICT sumsA,
                         float* HWY_RESTRICT sumsB) {
  const DF d;
  using V = hn::Vec<DF>;
  constexpr size_t kLanes = hn::MaxLanes(DF());
  constexpr size_t kPerLine = kSpectrumBlockFloats / kLanes;
  constexpr size_t kBlockStride = (size_t)kSpectrumWindow * kSpectrumBlockFloats;
  V accA[kBlocks * kPerLine], accB[kBlocks * kPerLine];
#pragma GCC unroll 16
  for (size_t k = 0; k < kBlocks * kPerLine; k++) accA[k] = accB[k] = hn::Zero(d);
  const float* lines = coeffs + first * kBlockStride;
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p++) {
    const V xA = hn::Set(d, bufferA[p]);
    const V xB = hn::Set(d, bufferB[p]);
#pragma GCC unroll 16
    for (size_t b = 0; b < kBlocks; b++) {
#pragma GCC unroll 16
      for (size_t v = 0; v < kPerLine; v++) {
        const V c = hn::LoadU(d, lines + b * kBlockStride + p * kSpectrumBlockFloats + v * kLanes);
        accA[b * kPerLine + v] = hn::Add(accA[b * kPerLine + v], hn::Mul(xA, c));
        accB[b * kPerLine + v] = hn::Add(accB[b * kPerLine + v], hn::Mul(xB, c));
      }
    }
  }
#pragma GCC unroll 16
  for (size_t k = 0; k < kBlocks * kPerLine; k++) {
    hn::StoreU(accA[k], d, sumsA + first * kSpectrumBlockFloats + k * kLanes);
    hn::StoreU(accB[k], d, sumsB + first * kSpectrumBlockFloats + k * kLanes);
  }
}

// True when every value of the buffer is finite and within kSpectrumSimdLimit.
HWY_INLINE bool Modest(const float* HWY_RESTRICT buffer) {
  const DF d;
  const size_t n = hn::Lanes(d);
  const auto limit = hn::Set(d, kSpectrumSimdLimit);
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p += n) {
    if (!hn::AllTrue(d, hn::Le(hn::Abs(hn::LoadU(d, buffer + p)), limit))) return false;
  }
  return true;
}

bool CorrelatePair(const float* HWY_RESTRICT bufferA, const float* HWY_RESTRICT bufferB,
                   const float* HWY_RESTRICT coeffs, bool reverse, float* HWY_RESTRICT sumsA,
                   float* HWY_RESTRICT sumsB) {
  if (!Modest(bufferA) || !Modest(bufferB)) return false;
  // Twice the sums of a single pass: three blocks while they fit in registers (one or two
  // vectors per line: 6 or 12), one block a pass with four vectors per line (8 of 16).
  constexpr size_t kPairBlocks = kSpectrumBlockFloats / hn::MaxLanes(DF()) >= 4 ? 1 : kPassBlocks;
  static_assert(kSpectrumBlocks % kPairBlocks == 0, "whole passes");
  constexpr size_t kPasses = kSpectrumBlocks / kPairBlocks;
  for (size_t i = 0; i < kPasses; i++) {
    const size_t pass = reverse ? kPasses - 1 - i : i;
    PassPair<kPairBlocks>(pass * kPairBlocks, bufferA, bufferB, coeffs, sumsA, sumsB);
  }
  return true;
}

bool Correlate(const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT coeffs, bool reverse,
               float* HWY_RESTRICT sums) {
  if (!Modest(buffer)) return false;
  static_assert(kSpectrumBlocks % kPassBlocks == 0, "whole passes");
  constexpr size_t kPasses = kSpectrumBlocks / kPassBlocks;
  for (size_t i = 0; i < kPasses; i++) {
    const size_t pass = reverse ? kPasses - 1 - i : i;
    Pass(pass * kPassBlocks, buffer, coeffs, sums);
  }
  return true;
}

HWY_MAYBE_UNUSED const SpectrumSimdKernels kKernels = {Correlate, CorrelatePair};

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
