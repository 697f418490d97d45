// The vocoder's vector kernels (vocoder_simd.cpp), for vocoder.cpp only.
//
// Each kernel computes what the plain frame steps in vocoder.cpp compute, to the bit. The
// double-precision sines, cosines and arctangents come from the vocoder's own vector math
// (vocoder_math.h); a lane is kept only when a rounding guard proves that its float result
// equals the float of the C library's value, and is otherwise recomputed with the C library. Kernels that
// return false have written nothing: the step then runs on the plain code (NaN and infinite values always do,
// so that their bits never depend on the path).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "fft.h"
#include "simd.h"

// Floats a kernel may write past the end of its scratch room (at most one vector).
constexpr int kVocoderSimdSlack = 16;

// Frames of tiny samples (fft.h): below 2^-85, scaled by 2^149 they stay within the tiny
// transform's kFftTinyLimit.
constexpr uint32_t kTinySampleBits = (127u - 85u) << 23;  // the float bits of 2^-85

// A finite sample below 2^-85 times 2^149, exactly, from its bits: a subnormal's (or zero's)
// significand is the integer it scales to; a normal float gains 149 in its exponent.
inline float vocoder_tiny_scaled(float sample) {
  uint32_t bits;
  std::memcpy(&bits, &sample, 4);
  const uint32_t magnitude = bits & 0x7fffffffu;
  if (magnitude < 0x00800000u) {
    const float units = (float)(int32_t)magnitude;
    uint32_t scaled;
    std::memcpy(&scaled, &units, 4);
    bits = scaled | (bits & 0x80000000u);
  } else {
    bits += 149u << 23;
  }
  float scaled;
  std::memcpy(&scaled, &bits, 4);
  return scaled;
}

// The largest magnitude's float bits among samples [from, n), at least `largest`.
inline uint32_t vocoder_largest_magnitude(const float* samples, int from, int n, uint32_t largest) {
  for (int i = from; i < n; i++) {
    uint32_t bits;
    std::memcpy(&bits, samples + i, 4);
    if ((bits & 0x7fffffffu) > largest) largest = bits & 0x7fffffffu;
  }
  return largest;
}

// Bin i's magnitude and phase from a transform of scaled tiny values, exactly as the plain
// code forms them from the unscaled ones: each square rounded on the subnormal grid and the
// two summed in float, the root and the arctangent in double of the unscaled values (which
// doubles hold exactly).
inline void vocoder_tiny_bin(const float* spectrum, int i, float* mag, float* phi) {
  const double re = (double)spectrum[2 * i];
  const double im = (double)spectrum[2 * i + 1];
  const float power = fft_tiny_round(re * re * kFftTinyUnit) + fft_tiny_round(im * im * kFftTinyUnit);
  mag[i] = (float)std::sqrt((double)power * kFftTinyUnit);
  phi[i] = (float)std::atan2(im * kFftTinyUnit, re * kFftTinyUnit);
}

struct VocoderSimdKernels {
  // spectrum[2i] = input[i] * window[i] and spectrum[2i + 1] = 0 for i in [0, n).
  void (*applyWindow)(const float* input, const float* window, int n, float* spectrum);
  // wave[i] = spectrum[2i] * windowOut[i] + wave[i] for i in [0, n). False, adding nothing,
  // when a real part is not finite.
  bool (*overlapAdd)(const float* spectrum, const float* windowOut, int n, float* wave);
  // mag[i] = (float)sqrt((double)(re * re + im * im)) and phi[i] = (float)atan2(im, re) for
  // bins [0, half) of an interleaved spectrum. False when a value is not finite.
  bool (*analyze)(const float* spectrum, int half, float* mag, float* phi);
  // The largest of the n samples' magnitudes, as float bits (a NaN's are above infinity's).
  uint32_t (*largestMagnitude)(const float* input, int n);
  // Frames of tiny samples, each below 2^-85: applyWindow() and analyze() on values scaled by
  // 2^149 (fft.h), spectrum[2i] = fft_tiny_product(vocoder_tiny_scaled(input[i]), window[i]);
  // and mag and phi as vocoder_tiny_bin() gives them. analyzeTiny returns false as analyze.
  void (*applyWindowTiny)(const float* input, const float* window, int n, float* spectrum);
  bool (*analyzeTiny)(const float* spectrum, int half, float* mag, float* phi);
  // The bins of [0, half) whose magnitude is strictly greater than those two bins to either
  // side, ascending; mag[half] and mag[half + 1] hold the edge value and bins -2 and -1 count
  // as holding it too (`edge`). Returns how many.
  int (*findPeakBins)(const float* mag, int half, float edge, int* peaks);
  // The regions' bounds, as findValleys() (vocoder.h) gives them: valleys[0] = 0, valleys[p] the
  // first of the lowest bins in [peaks[p - 1], peaks[p]) (NaNs never count), valleys[nPeaks] =
  // half. mag holds half + 2 floats.
  void (*findValleys)(const float* mag, int half, const int* peaks, int nPeaks, int* valleys);
  // For each of nPeaks peaks k = peaks[p], rotations[p] = princarg(princarg((princarg((phi[k] -
  // phi0[k]) - omega[k]) + omega[k]) * s + psi[k]) - phi[k]): the phase locking's rotation,
  // every argument formed in float in that order.
  void (*peakRotations)(const int* peaks, int nPeaks, const float* phi, const float* phi0, const float* omega,
                        const float* psi, float s, float* rotations);
  // psi[b] = princarg(phi[b] + rotations[p]) for every bin b of region p, [valleys[p],
  // valleys[p + 1]), of the nPeaks regions, which cover [0, half); the sum in float. `spread`
  // is room for half + kVocoderSimdSlack floats.
  void (*rotateRegions)(const float* phi, const int* valleys, const float* rotations, int nPeaks, int half,
                        float* spread, float* psi);
  // spectrum[2i] = (float)(cos(psi[i]) * mag[i]), spectrum[2i + 1] = (float)(mag[i] *
  // sin(psi[i])) for bins [0, half), in double. False when a value is not finite.
  bool (*synthesize)(const float* mag, const float* psi, int half, float* spectrum);

  // The vector math itself, without the guard, for the checks of its error bounds
  // (vocoder_math.h): sine[i] and cosine[i] of x[i], meaningful for |x[i]| <= kSinCosDomain;
  // angle[i] = atan2(y[i], x[i]), meaningful for finite nonzero y[i] and x[i].
  void (*sinCos)(const float* x, int n, double* sine, double* cosine);
  void (*atan2)(const float* y, const float* x, int n, double* angle);
};

// Null when the path has no kernels (the portable path, or a build without vector code).
const VocoderSimdKernels* vocoder_simd_kernels(SimdPath path);
