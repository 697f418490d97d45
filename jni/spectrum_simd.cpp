// Vector kernels of the analyser: the Hann windowing of an analysis's samples and the resonator
// bank; see spectrum_simd.h.
//
// The windowing multiplies in double and rounds to float lane by lane, as the plain loop does.
// In the resonator bank each lane keeps one of a band's two running sums and adds the products
// position by position in ascending order, exactly as the plain code does. Each pass covers 3 of
// the 9 streams, and alternate analyses run the passes in opposite orders: the lines the last
// analysis ended with are then still in the cache. Two analyses that fall due in one engine
// block go through the passes together (CorrelatePair): each line loaded serves both, halving
// the table's traffic, and each lane still adds its own buffer's products in the same order.
// Only finite samples of modest size are taken (limit 2^100: no sum can then overflow), so no
// NaN or infinity ever arises here.
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

// The sums of streams [first, first + kStreams) over the whole window, of buffer A and, with
// kPair, of buffer B too: each line loaded serves both. Each line is kSpectrumBlockFloats
// lanes, one or more vectors.
template <size_t kStreams, bool kPair>
HWY_INLINE void Pass(size_t first, const float* HWY_RESTRICT bufferA, const float* HWY_RESTRICT bufferB,
                     const float* HWY_RESTRICT lines, const SpectrumStream* HWY_RESTRICT streams,
                     float* HWY_RESTRICT sumsA, float* HWY_RESTRICT sumsB) {
  const DF d;
  using V = hn::Vec<DF>;
  constexpr size_t kLanes = hn::MaxLanes(DF());
  constexpr size_t kPerLine = kSpectrumBlockFloats / kLanes;  // vectors per line
  constexpr size_t kSums = kStreams * kPerLine;
  V accA[kSums], accB[kPair ? kSums : 1];
  // The sums must live in registers: the loops over them are unrolled for that.
#pragma GCC unroll 16
  for (size_t k = 0; k < kSums; k++) {
    accA[k] = hn::Zero(d);
    if constexpr (kPair) accB[k] = hn::Zero(d);
  }
  size_t p = 0;
  for (int r = 0; r < kSpectrumRanges; r++) {
    const float* line[kStreams];
    size_t step[kStreams];
#pragma GCC unroll 16
    for (size_t s = 0; s < kStreams; s++) {
      line[s] = lines + (size_t)streams[first + s].start[r] * kSpectrumBlockFloats;
      step[s] = (size_t)streams[first + s].stride[r] * kSpectrumBlockFloats;
    }
    for (; p < (size_t)kSpectrumRangeEnd[r]; p++) {
      const V xA = hn::Set(d, bufferA[p]);
      const V xB = hn::Set(d, kPair ? bufferB[p] : 0.0f);
#pragma GCC unroll 16
      for (size_t s = 0; s < kStreams; s++) {
#pragma GCC unroll 16
        for (size_t v = 0; v < kPerLine; v++) {
          const V c = hn::LoadU(d, line[s] + v * kLanes);
          accA[s * kPerLine + v] = hn::Add(accA[s * kPerLine + v], hn::Mul(xA, c));
          if constexpr (kPair) accB[s * kPerLine + v] = hn::Add(accB[s * kPerLine + v], hn::Mul(xB, c));
        }
        line[s] += step[s];
      }
    }
  }
#pragma GCC unroll 16
  for (size_t k = 0; k < kSums; k++) {
    hn::StoreU(accA[k], d, sumsA + first * kSpectrumBlockFloats + k * kLanes);
    if constexpr (kPair) hn::StoreU(accB[k], d, sumsB + first * kSpectrumBlockFloats + k * kLanes);
  }
}

bool Window(const double* HWY_RESTRICT hann, const float* HWY_RESTRICT samples, float* HWY_RESTRICT out) {
  const hn::ScalableTag<double> dd;
  const hn::Rebind<float, decltype(dd)> dh;  // the same positions in float
  const size_t n = hn::Lanes(dd);
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p += n) {
    const auto x = hn::LoadU(dh, samples + p);
    if (!hn::AllTrue(dh, hn::IsFinite(x))) return false;
    hn::StoreU(hn::DemoteTo(dh, hn::Mul(hn::LoadU(dd, hann + p), hn::PromoteTo(dd, x))), dh, out + p);
  }
  return true;
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

// Every pass over the streams, in stream order or (reverse) the opposite one.
template <size_t kStreams, bool kPair>
HWY_INLINE void Passes(const float* HWY_RESTRICT bufferA, const float* HWY_RESTRICT bufferB,
                       const float* HWY_RESTRICT lines, const SpectrumStream* HWY_RESTRICT streams,
                       bool reverse, float* HWY_RESTRICT sumsA, float* HWY_RESTRICT sumsB) {
  static_assert(kSpectrumBlocks % kStreams == 0, "whole passes");
  constexpr size_t kPasses = kSpectrumBlocks / kStreams;
  for (size_t i = 0; i < kPasses; i++) {
    const size_t pass = reverse ? kPasses - 1 - i : i;
    Pass<kStreams, kPair>(pass * kStreams, bufferA, bufferB, lines, streams, sumsA, sumsB);
  }
}

// Streams per pass, so that the sums stay in registers on every target: three for one buffer
// (3, 6 or 12 vectors with one, two or four vectors per line); for two, three while that makes
// at most 12 and one stream a pass with four vectors per line (8 of 16 registers).
constexpr size_t kPassStreams = 3;
constexpr size_t kPairStreams = kSpectrumBlockFloats / hn::MaxLanes(DF()) >= 4 ? 1 : kPassStreams;

bool Correlate(const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT lines,
               const SpectrumStream* HWY_RESTRICT streams, bool reverse, float* HWY_RESTRICT sums) {
  if (!Modest(buffer)) return false;
  Passes<kPassStreams, false>(buffer, nullptr, lines, streams, reverse, sums, nullptr);
  return true;
}

bool CorrelatePair(const float* HWY_RESTRICT bufferA, const float* HWY_RESTRICT bufferB,
                   const float* HWY_RESTRICT lines, const SpectrumStream* HWY_RESTRICT streams, bool reverse,
                   float* HWY_RESTRICT sumsA, float* HWY_RESTRICT sumsB) {
  if (!Modest(bufferA) || !Modest(bufferB)) return false;
  Passes<kPairStreams, true>(bufferA, bufferB, lines, streams, reverse, sumsA, sumsB);
  return true;
}

HWY_MAYBE_UNUSED const SpectrumSimdKernels kKernels = {Window, Correlate, CorrelatePair};

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
