// Vector kernels of the vocoder's frame steps; see vocoder_simd.h.
//
// Lanes are bins. A lane performs the plain code's float and double operations in its order,
// except for sine, cosine and arctangent, which come from the vocoder's own vector math
// (vocoder_math-inl.h, separate multiplies and adds only): within 3 u for sine and cosine and
// 8.6 u for atan2, u = 2^-53, relative to the true value (vocoder_math.h has the proofs).
//
// The rounding guard. With v the vector result (or the double product that is rounded to
// float), L the C library's value (or the product the plain code forms from it) and
// d = |v| * 2^-44: ours is within 8.6 u, the C library within 8 ulp (16 u; glibc documents
// less than 1 ulp for these functions) and each side's product adds u, so |v - L| < 27 u |v|
// < 2^-48 |v|; the computed v - d and v + d are off by at most 2^-52 |v|, so they still enclose
// L. Rounding to float never decreases, so when v - d and v + d round to the same float, L
// rounds to it too. Otherwise (fewer than 1 lane in a million) the lane is recomputed with the C
// library. The guard's premise needs v to be a normal double well away from overflow (2^-1000
// <= |v| <= 2^1000) and the arguments within the bounds' domains, so every other lane also
// takes the C library: zero or non-finite arguments of the arctangent (whose quadrant and
// signed zeros must follow the C library's rules), and sines and cosines of angles beyond
// float pi (the vocoder's phases are wrapped to [-pi, pi]). Exact cases are kept: sin(+-0) is
// +-0 and cos(+-0) is 1 by the C standard, and a zero magnitude times a cosine or sine that the
// bound proves nonzero gives a zero with the C library's sign.
#include "vocoder_simd.h"

#include <cmath>

#include "vocoder.h"

#if CS_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "vocoder_simd.cpp"
#include "simd_hwy.h"
// clang-format off
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
// clang-format on
#include "fft_tiny-inl.h"
#include "vocoder_math-inl.h"

HWY_BEFORE_NAMESPACE();
namespace cs_vocoder {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DD = hn::ScalableTag<double>;  // one lane per bin in double
using VD = hn::Vec<DD>;
using MD = hn::Mask<DD>;
using DH = hn::Rebind<float, DD>;  // the same bins in float
using VH = hn::Vec<DH>;
using DF = hn::ScalableTag<float>;  // full float vectors, for the peak search

constexpr double kMaxQuotient = 2147483647.0;  // princarg's int conversion bound
constexpr double kInvPi = 1.0 / kPi;           // rounded to the nearest double
constexpr double kTiny = 0x1p-1000;            // the guard's range of v
constexpr double kHuge = 0x1p1000;

// True where the float of v is the float of the C library's value (see the file comment).
HWY_INLINE MD Guard(DD dd, VD v) {
  const DH dh;
  const VD av = hn::Abs(v);
  const VD dev = hn::Mul(av, hn::Set(dd, 0x1p-44));
  const VD lo = hn::PromoteTo(dd, hn::DemoteTo(dh, hn::Sub(v, dev)));
  const VD hi = hn::PromoteTo(dd, hn::DemoteTo(dh, hn::Add(v, dev)));
  const MD inRange = hn::And(hn::Ge(av, hn::Set(dd, kTiny)), hn::Le(av, hn::Set(dd, kHuge)));
  return hn::And(inRange, hn::Eq(lo, hi));
}

// The mask as bits, lane 0 lowest (at most 16 lanes here).
template <class D>
HWY_INLINE uint64_t MaskBits(D d, hn::Mask<D> mask) {
  uint8_t bytes[8] = {0};
  hn::StoreMaskBits(d, mask, bytes);
  return (uint64_t)bytes[0] | ((uint64_t)bytes[1] << 8);
}

// Calls f(lane) for every lane where `redo` is true.
template <class F>
HWY_INLINE void ForLanes(DD dd, MD redo, F f) {
  if (hn::AllFalse(dd, redo)) return;
  for (uint64_t bits = MaskBits(dd, redo); bits != 0; bits &= bits - 1) f((size_t)__builtin_ctzll(bits));
}

float Atan2Lane(const float* spectrum, size_t i) {
  return (float)std::atan2((double)spectrum[2 * i + 1], (double)spectrum[2 * i]);
}

using cs_tiny::HWY_NAMESPACE::TinyProduct;
using cs_tiny::HWY_NAMESPACE::TinyRound;

// Lanes whose float square would be subnormal or round to zero (below 2^-63, not zero).
HWY_INLINE MD Underflows(DD dd, VD v) {
  const VD a = hn::Abs(v);
  return hn::And(hn::Lt(a, hn::Set(dd, 0x1p-63)), hn::Ne(a, hn::Zero(dd)));
}

// The float magnitude of bins whose float squares would underflow, from their parts in double,
// without a subnormal float anywhere (x86 processors take microcode assists for those): each
// square is exact in double and rounded as float arithmetic would round it, to the subnormal
// grid below 2^-125 and to float above; the sum of two floats rounded to float is the double
// sum rounded to float (a double's 53 bits make the double rounding harmless) and on the grid
// it is exact; the root is in double, as in the plain code.
HWY_INLINE VH ExactMagnitude(DD dd, VD x, VD y) {
  const DH dh;
  const VD grid = hn::Set(dd, 0x1p-125);
  // v rounded to float, kept in double: below 2^-125 on the subnormal grid (a sum of grid
  // values is already there), above it by a float conversion of a normal value.
  auto asFloat = [&](VD v, bool onGrid) {
    const VD normal = hn::PromoteTo(dd, hn::DemoteTo(dh, hn::Max(v, grid)));
    const VD small = onGrid ? v : hn::Mul(hn::Round(hn::Mul(v, hn::Set(dd, 0x1p149))), hn::Set(dd, 0x1p-149));
    return hn::IfThenElse(hn::Lt(v, grid), small, normal);
  };
  const VD power = asFloat(hn::Add(asFloat(hn::Mul(x, x), false), asFloat(hn::Mul(y, y), false)), true);
  return hn::DemoteTo(dh, hn::Sqrt(power));
}

// Magnitudes and phases, of plain values or (kTiny) of scaled tiny ones: then the squares are
// rounded on the subnormal grid and the root and arctangent take the unscaled doubles.
template <bool kTiny>
HWY_INLINE bool AnalyzeBins(const float* HWY_RESTRICT spectrum, int half, float* HWY_RESTRICT mag,
                            float* HWY_RESTRICT phi) {
  const DD dd;
  const DH dh;
  const size_t n = hn::Lanes(dd);
  const size_t h = (size_t)half;
  const VD unit = hn::Set(dd, kFftTinyUnit);
  size_t i = 0;
  for (; i + n <= h; i += n) {
    VH re, im;
    hn::LoadInterleaved2(dh, spectrum + 2 * i, re, im);
    if (!hn::AllTrue(dh, hn::And(hn::IsFinite(re), hn::IsFinite(im)))) return false;
    VD x = hn::PromoteTo(dd, re);
    VD y = hn::PromoteTo(dd, im);
    if constexpr (kTiny) {
      const VH power = hn::Add(hn::DemoteTo(dh, TinyRound(dd, hn::Mul(hn::Mul(x, x), unit))),
                               hn::DemoteTo(dh, TinyRound(dd, hn::Mul(hn::Mul(y, y), unit))));
      hn::StoreU(hn::DemoteTo(dh, hn::Sqrt(hn::Mul(hn::PromoteTo(dd, power), unit))), dh, mag + i);
      x = hn::Mul(x, unit);
      y = hn::Mul(y, unit);
    } else if (hn::AllFalse(dd, hn::Or(Underflows(dd, x), Underflows(dd, y)))) {
      // A float square root of a float equals the double one rounded to float: a double holds
      // more than twice a float's precision, so the second rounding cannot change the result.
      hn::StoreU(hn::Sqrt(hn::Add(hn::Mul(re, re), hn::Mul(im, im))), dh, mag + i);
    } else {
      hn::StoreU(ExactMagnitude(dd, x, y), dh, mag + i);
    }
    const VD v = Atan2(dd, y, x);
    hn::StoreU(hn::DemoteTo(dh, v), dh, phi + i);
    const MD nonzero = hn::And(hn::Ne(x, hn::Zero(dd)), hn::Ne(y, hn::Zero(dd)));
    ForLanes(dd, hn::Not(hn::And(nonzero, Guard(dd, v))), [&](size_t j) {
      if constexpr (kTiny) {
        vocoder_tiny_bin(spectrum, (int)(i + j), mag, phi);
      } else {
        phi[i + j] = Atan2Lane(spectrum, i + j);
      }
    });
  }
  for (; i < h; i++) {
    const float re = spectrum[2 * i];
    const float im = spectrum[2 * i + 1];
    if (!std::isfinite(re) || !std::isfinite(im)) return false;
    if constexpr (kTiny) {
      vocoder_tiny_bin(spectrum, (int)i, mag, phi);
    } else {
      mag[i] = (float)std::sqrt((double)(re * re + im * im));
      phi[i] = Atan2Lane(spectrum, i);
    }
  }
  return true;
}

bool Analyze(const float* HWY_RESTRICT spectrum, int half, float* HWY_RESTRICT mag, float* HWY_RESTRICT phi) {
  return AnalyzeBins<false>(spectrum, half, mag, phi);
}

bool AnalyzeTiny(const float* HWY_RESTRICT spectrum, int half, float* HWY_RESTRICT mag,
                 float* HWY_RESTRICT phi) {
  return AnalyzeBins<true>(spectrum, half, mag, phi);
}

int FindPeakBins(const float* HWY_RESTRICT mag, int half, float edge, int* HWY_RESTRICT peaks) {
  int count = 0;
  auto bin = [&](int b) {
    const float m = mag[b];
    const float left2 = b >= 2 ? mag[b - 2] : edge;
    const float left1 = b >= 1 ? mag[b - 1] : edge;
    if (m > left2 && m > left1 && m > mag[b + 1] && m > mag[b + 2]) peaks[count++] = b;
  };
  int b = 0;
  for (; b < 2 && b < half; b++) bin(b);
  const DF df;
  const int n = (int)hn::Lanes(df);
  for (; b + n <= half; b += n) {
    const auto m = hn::LoadU(df, mag + b);
    const auto peak =
        hn::And(hn::And(hn::Gt(m, hn::LoadU(df, mag + b - 2)), hn::Gt(m, hn::LoadU(df, mag + b - 1))),
                hn::And(hn::Gt(m, hn::LoadU(df, mag + b + 1)), hn::Gt(m, hn::LoadU(df, mag + b + 2))));
    if (hn::AllFalse(df, peak)) continue;
    for (uint64_t bits = MaskBits(df, peak); bits != 0; bits &= bits - 1) {
      peaks[count++] = b + __builtin_ctzll(bits);
    }
  }
  for (; b < half; b++) bin(b);
  return count;
}

// Each region's valley, the lowest bin from its peak up to the next peak, found a vector of bins
// at a time: every lane keeps the first of its own lowest values (strictly lower replaces),
// then the region's valley is the lowest bin among the lanes holding the lowest value. That is
// the first of the region's equal minima, as the plain scan finds it. NaN bins and lanes past
// the region hold +infinity, which never replaces: they cannot win unless the region's lowest
// value is infinite, and then the peak, the region's first bin (never NaN), holds it too.
void FindValleys(const float* HWY_RESTRICT mag, int half, const int* HWY_RESTRICT peaks, int nPeaks,
                 int* HWY_RESTRICT valleys) {
  const DF df;
  const hn::RebindToSigned<DF> di;
  const int n = (int)hn::Lanes(df);
  const auto inf = hn::Set(df, HUGE_VALF);
  const auto iota = hn::Iota(di, 0);
  valleys[0] = 0;
  for (int p = 1; p < nPeaks; p++) {
    const int first = peaks[p - 1], end = peaks[p];
    auto lowest = inf;
    auto at = hn::Set(di, first);
    for (int i = first; i < end; i += n) {
      const int count = end - i < n ? end - i : n;
      hn::Vec<DF> v;
      if (i + n <= half + 2) {
        v = hn::LoadU(df, mag + i);  // within mag, whose room is half + 2 floats
      } else {
        HWY_ALIGN float tail[hn::MaxLanes(DF())];
        for (int j = 0; j < n; j++) tail[j] = j < count ? mag[i + j] : 0.0f;
        v = hn::Load(df, tail);
      }
      v = hn::IfThenElse(hn::AndNot(hn::IsNaN(v), hn::FirstN(df, (size_t)count)), v, inf);
      // The first vector's lanes take their bins as they stand (bin `first`, the peak, among
      // them); later ones only where strictly lower.
      const auto lower = i == first ? hn::FirstN(df, (size_t)n) : hn::Lt(v, lowest);
      lowest = hn::IfThenElse(lower, v, lowest);
      at = hn::IfThenElse(hn::RebindMask(di, lower), hn::Add(iota, hn::Set(di, i)), at);
    }
    const auto holdsLowest = hn::Eq(lowest, hn::MinOfLanes(df, lowest));
    const auto candidates = hn::IfThenElse(hn::RebindMask(di, holdsLowest), at, hn::Set(di, INT32_MAX));
    valleys[p] = hn::GetLane(hn::MinOfLanes(di, candidates));
  }
  valleys[nPeaks] = half;
}

// princarg of float lanes, as the plain princarg computes it: the quotient by pi in double
// truncated toward zero, an odd one moved one step further from zero (integers below 2^31,
// exact in double as in the plain code's int), times pi subtracted in double. `ok` is false
// where the quotient is out of the int's range or the angle not finite: those lanes take the
// plain princarg.
//
// Only the truncated quotient matters, and the product with 1 / pi (rounded) serves for it: it
// lies within |q| * 3 * 2^-53 of the rounded quotient x / pi (three roundings of relative size
// 2^-53 apart), so both truncate alike unless an integer is that close. Vectors with a lane
// within |q| * 2^-50 of a nonzero integer, or of 2^30 or more (near the int bound, infinite),
// divide as the plain code does; NaN lanes stay NaN either way.
HWY_INLINE VH Princarg(DD dd, VH angle, MD& ok) {
  const DH dh;
  const VD pi = hn::Set(dd, kPi);
  const VD x = hn::PromoteTo(dd, angle);
  VD q = hn::Mul(x, hn::Set(dd, kInvPi));
  const VD size = hn::Abs(q);
  const MD nearInteger =
      hn::And(hn::Le(hn::Abs(hn::Sub(q, hn::Round(q))), hn::Mul(size, hn::Set(dd, 0x1p-50))),
              hn::Ne(q, hn::Zero(dd)));
  if (!hn::AllFalse(dd, hn::Or(nearInteger, hn::Ge(size, hn::Set(dd, 0x1p30))))) q = hn::Div(x, pi);
  ok = hn::And(ok, hn::Lt(hn::Abs(q), hn::Set(dd, kMaxQuotient)));  // false for NaN
  const VD t = hn::Trunc(q);
  const VD halfT = hn::Mul(t, hn::Set(dd, 0.5));
  const MD odd = hn::Ne(hn::Trunc(halfT), halfT);
  const VD quotient = hn::Add(t, hn::IfThenElseZero(odd, hn::CopySign(hn::Set(dd, 1.0), t)));
  return hn::DemoteTo(dh, hn::Sub(x, hn::Mul(quotient, pi)));
}

float PeakRotation(int k, const float* phi, const float* phi0, const float* omega, const float* psi,
                   float s) {
  const float pomega = omega[k];
  const float peakDeltaPhi = princarg((phi[k] - phi0[k]) - pomega);
  const float peakTargetPhase = princarg((peakDeltaPhi + pomega) * s + psi[k]);
  return princarg(peakTargetPhase - phi[k]);
}

void PeakRotations(const int* HWY_RESTRICT peaks, int nPeaks, const float* HWY_RESTRICT phi,
                   const float* HWY_RESTRICT phi0, const float* HWY_RESTRICT omega,
                   const float* HWY_RESTRICT psi, float s, float* HWY_RESTRICT rotations) {
  const DD dd;
  const DH dh;
  const hn::Rebind<int32_t, DD> di;
  const size_t n = hn::Lanes(dd);
  const size_t count = (size_t)nPeaks;
  const VH stretch = hn::Set(dh, s);
  size_t p = 0;
  for (; p + n <= count; p += n) {
    const auto k = hn::LoadU(di, peaks + p);
    const VH ph = hn::GatherIndex(dh, phi, k);
    const VH pomega = hn::GatherIndex(dh, omega, k);
    MD ok = hn::FirstN(dd, n);
    const VH delta = Princarg(dd, hn::Sub(hn::Sub(ph, hn::GatherIndex(dh, phi0, k)), pomega), ok);
    const VH target =
        Princarg(dd, hn::Add(hn::Mul(hn::Add(delta, pomega), stretch), hn::GatherIndex(dh, psi, k)), ok);
    hn::StoreU(Princarg(dd, hn::Sub(target, ph), ok), dh, rotations + p);
    ForLanes(dd, hn::Not(ok),
             [&](size_t j) { rotations[p + j] = PeakRotation(peaks[p + j], phi, phi0, omega, psi, s); });
  }
  for (; p < count; p++) rotations[p] = PeakRotation(peaks[p], phi, phi0, omega, psi, s);
}

void RotateRegions(const float* HWY_RESTRICT phi, const int* HWY_RESTRICT valleys,
                   const float* HWY_RESTRICT rotations, int nPeaks, int half, float* HWY_RESTRICT spread,
                   float* HWY_RESTRICT psi) {
  // Each region's rotation spread over its bins, a vector at a time: the last vector of a
  // region may run into the next region, whose own stores follow, or past the last one into
  // the slack.
  const DF df;
  const int lanes = (int)hn::Lanes(df);
  for (int p = 0; p < nPeaks; p++) {
    const auto r = hn::Set(df, rotations[p]);
    for (int b = valleys[p]; b < valleys[p + 1]; b += lanes) hn::StoreU(r, df, spread + b);
  }
  const DD dd;
  const DH dh;
  const size_t n = hn::Lanes(dd);
  const size_t h = (size_t)half;
  size_t i = 0;
  for (; i + n <= h; i += n) {
    MD ok = hn::FirstN(dd, n);
    const VH turned = Princarg(dd, hn::Add(hn::LoadU(dh, phi + i), hn::LoadU(dh, spread + i)), ok);
    hn::StoreU(turned, dh, psi + i);
    ForLanes(dd, hn::Not(ok), [&](size_t j) { psi[i + j] = princarg(phi[i + j] + spread[i + j]); });
  }
  for (; i < h; i++) psi[i] = princarg(phi[i] + spread[i]);
}

void SynthesizeLane(const float* mag, const float* psi, size_t i, float* spectrum) {
  const double psiTmp = (double)psi[i];
  spectrum[2 * i] = (float)(std::cos(psiTmp) * (double)mag[i]);
  spectrum[2 * i + 1] = (float)((double)mag[i] * std::sin(psiTmp));
}

bool Synthesize(const float* HWY_RESTRICT mag, const float* HWY_RESTRICT psi, int half,
                float* HWY_RESTRICT spectrum) {
  const DD dd;
  const DH dh;
  const size_t n = hn::Lanes(dd);
  const size_t h = (size_t)half;
  const VD tiny = hn::Set(dd, kTiny);
  size_t i = 0;
  for (; i + n <= h; i += n) {
    const VH magF = hn::LoadU(dh, mag + i);
    const VH psiF = hn::LoadU(dh, psi + i);
    if (!hn::AllTrue(dh, hn::And(hn::IsFinite(magF), hn::IsFinite(psiF)))) return false;
    const VD m = hn::PromoteTo(dd, magF);
    const VD angle = hn::PromoteTo(dd, psiF);
    const MD zeroAngle = hn::Eq(angle, hn::Zero(dd));
    VD s, c;
    SinCos(dd, angle, s, c);  // exact at +-0: +-0 and 1
    const VD re = hn::Mul(c, m);
    const VD im = hn::Mul(m, s);
    hn::StoreInterleaved2(hn::DemoteTo(dh, re), hn::DemoteTo(dh, im), dh, spectrum + 2 * i);
    const MD inDomain = hn::Le(hn::Abs(angle), hn::Set(dd, kSinCosDomain));
    const MD zeroMag = hn::Eq(m, hn::Zero(dd));
    const MD reExact = hn::Or(zeroAngle, hn::And(zeroMag, hn::Ge(hn::Abs(c), tiny)));
    const MD imExact = hn::Or(zeroAngle, hn::And(zeroMag, hn::Ge(hn::Abs(s), tiny)));
    const MD good =
        hn::And(inDomain, hn::And(hn::Or(reExact, Guard(dd, re)), hn::Or(imExact, Guard(dd, im))));
    ForLanes(dd, hn::Not(good), [&](size_t j) { SynthesizeLane(mag, psi, i + j, spectrum); });
  }
  for (; i < h; i++) {
    if (!std::isfinite(mag[i]) || !std::isfinite(psi[i])) return false;
    SynthesizeLane(mag, psi, i, spectrum);
  }
  return true;
}

void ApplyWindow(const float* HWY_RESTRICT input, const float* HWY_RESTRICT window, int n,
                 float* HWY_RESTRICT spectrum) {
  const DF df;
  const int lanes = (int)hn::Lanes(df);
  const auto zero = hn::Zero(df);
  int i = 0;
  for (; i + lanes <= n; i += lanes) {
    // A NaN sample stays the one NaN of its product: its bits do not depend on the path.
    hn::StoreInterleaved2(hn::Mul(hn::LoadU(df, input + i), hn::LoadU(df, window + i)), zero, df,
                          spectrum + 2 * i);
  }
  for (; i < n; i++) {
    spectrum[2 * i] = input[i] * window[i];
    spectrum[2 * i + 1] = 0.0f;
  }
}

uint32_t LargestMagnitude(const float* HWY_RESTRICT input, int n) {
  const DF df;
  const hn::RebindToUnsigned<DF> du;
  const int lanes = (int)hn::Lanes(df);
  const auto magnitude = hn::Set(du, 0x7fffffffu);
  auto largest = hn::Zero(du);
  int i = 0;
  for (; i + lanes <= n; i += lanes)
    largest = hn::Max(largest, hn::And(hn::BitCast(du, hn::LoadU(df, input + i)), magnitude));
  return vocoder_largest_magnitude(input, i, n, hn::GetLane(hn::MaxOfLanes(du, largest)));
}

void ApplyWindowTiny(const float* HWY_RESTRICT input, const float* HWY_RESTRICT window, int n,
                     float* HWY_RESTRICT spectrum) {
  const DF df;
  const hn::RebindToUnsigned<DF> du;
  const hn::RebindToSigned<DF> di;
  const int lanes = (int)hn::Lanes(df);
  const auto zero = hn::Zero(df);
  const auto sign = hn::Set(du, 0x80000000u);
  int i = 0;
  for (; i + lanes <= n; i += lanes) {
    // vocoder_tiny_scaled(), lane by lane, in integer operations only.
    const auto bits = hn::BitCast(du, hn::LoadU(df, input + i));
    const auto magnitude = hn::AndNot(sign, bits);
    const auto units = hn::BitCast(du, hn::ConvertTo(df, hn::BitCast(di, magnitude)));
    const auto scaled =
        hn::IfThenElse(hn::Lt(magnitude, hn::Set(du, 0x00800000u)), hn::Or(units, hn::And(bits, sign)),
                       hn::Add(bits, hn::Set(du, 149u << 23)));
    hn::StoreInterleaved2(TinyProduct(df, hn::BitCast(df, scaled), hn::LoadU(df, window + i)), zero, df,
                          spectrum + 2 * i);
  }
  for (; i < n; i++) {
    spectrum[2 * i] = fft_tiny_product(vocoder_tiny_scaled(input[i]), window[i]);
    spectrum[2 * i + 1] = 0.0f;
  }
}

bool OverlapAdd(const float* HWY_RESTRICT spectrum, const float* HWY_RESTRICT windowOut, int n,
                float* HWY_RESTRICT wave) {
  const DF df;
  const int lanes = (int)hn::Lanes(df);
  // The whole frame is checked before anything is added. With a finite frame, a NaN in the
  // queue is the only NaN of its sum, so its bits do not depend on the path.
  int i = 0;
  for (; i + lanes <= n; i += lanes) {
    hn::Vec<DF> re, im;
    hn::LoadInterleaved2(df, spectrum + 2 * i, re, im);
    if (!hn::AllTrue(df, hn::IsFinite(re))) return false;
  }
  for (; i < n; i++) {
    if (!std::isfinite(spectrum[2 * i])) return false;
  }
  for (i = 0; i + lanes <= n; i += lanes) {
    hn::Vec<DF> re, im;
    hn::LoadInterleaved2(df, spectrum + 2 * i, re, im);
    hn::StoreU(hn::Add(hn::Mul(re, hn::LoadU(df, windowOut + i)), hn::LoadU(df, wave + i)), df, wave + i);
  }
  for (; i < n; i++) wave[i] = spectrum[2 * i] * windowOut[i] + wave[i];
  return true;
}

// The vector math alone, for the checks of its bounds: whole vectors, the tail through a
// zero-padded copy.
template <class F>
HWY_INLINE void ForVectors(int n, F f) {
  const DD dd;
  const size_t lanes = hn::Lanes(dd);
  size_t i = 0;
  for (; i + lanes <= (size_t)n; i += lanes) f(i, lanes);
  if (i < (size_t)n) f(i, (size_t)n - i);
}

void SinCosOf(const float* HWY_RESTRICT x, int n, double* HWY_RESTRICT sine, double* HWY_RESTRICT cosine) {
  const DD dd;
  ForVectors(n, [&](size_t i, size_t count) {
    float in[kVocoderSimdSlack] = {0};
    double s[kVocoderSimdSlack], c[kVocoderSimdSlack];
    for (size_t j = 0; j < count; j++) in[j] = x[i + j];
    VD vs, vc;
    SinCos(dd, hn::PromoteTo(dd, hn::LoadU(DH(), in)), vs, vc);
    hn::StoreU(vs, dd, s);
    hn::StoreU(vc, dd, c);
    for (size_t j = 0; j < count; j++) {
      sine[i + j] = s[j];
      cosine[i + j] = c[j];
    }
  });
}

void Atan2Of(const float* HWY_RESTRICT y, const float* HWY_RESTRICT x, int n, double* HWY_RESTRICT angle) {
  const DD dd;
  ForVectors(n, [&](size_t i, size_t count) {
    float inY[kVocoderSimdSlack] = {0}, inX[kVocoderSimdSlack] = {0};
    double a[kVocoderSimdSlack];
    for (size_t j = 0; j < count; j++) {
      inY[j] = y[i + j];
      inX[j] = x[i + j];
    }
    const DH dh;
    hn::StoreU(Atan2(dd, hn::PromoteTo(dd, hn::LoadU(dh, inY)), hn::PromoteTo(dd, hn::LoadU(dh, inX))), dd,
               a);
    for (size_t j = 0; j < count; j++) angle[i + j] = a[j];
  });
}

HWY_MAYBE_UNUSED const VocoderSimdKernels kKernels = {
    ApplyWindow, OverlapAdd,    Analyze,       LargestMagnitude, ApplyWindowTiny, AnalyzeTiny, FindPeakBins,
    FindValleys, PeakRotations, RotateRegions, Synthesize,       SinCosOf,        Atan2Of};

}  // namespace HWY_NAMESPACE
}  // namespace cs_vocoder
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
const VocoderSimdKernels* vocoder_simd_kernels(SimdPath path) {
  using namespace cs_vocoder;
  return CS_HWY_SELECT(path, kKernels);
}
#endif

#else
const VocoderSimdKernels* vocoder_simd_kernels(SimdPath) { return nullptr; }
#endif  // CS_HAVE_HWY
