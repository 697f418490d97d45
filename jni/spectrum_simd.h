// The analyser's vector kernel (spectrum_simd.cpp), for spectrum.cpp only.
#pragma once

#include "simd.h"

// The coefficient layout both share: bands in blocks of 8; per block and window position one
// line of 16 floats, the 8 bands' -sin theta, then their cos theta. The sums use the same
// layout, one line per block.
constexpr int kSpectrumBlockBands = 8;
constexpr int kSpectrumBlockFloats = 2 * kSpectrumBlockBands;
constexpr int kSpectrumBlocks = 9;  // 72 bands

// Windowed samples beyond this magnitude (or not finite) are left to the plain code.
constexpr float kSpectrumSimdLimit = 0x1p100f;

struct SpectrumSimdKernels {
  // out[p] = (float)(hann[p] * (double)samples[p]) for every window position: the product in
  // double, rounded to float. False when a sample is not finite (`out` is then partly written
  // and the caller writes it with the plain loop).
  bool (*window)(const double* hann, const float* samples, float* out);
  // For every block, position p in ascending order and lane j of the line:
  //   sums[block][j] += buffer[p] * coeffs[block][p][j],
  // starting from 0: each band's two float sums in the plain code's order. `reverse` runs the
  // passes over the blocks in the opposite order (the sums are the same either way: each lane
  // is its own sum), so that alternate analyses start with the blocks the previous one left in
  // the cache. False, writing nothing, when a buffer value is not finite or above
  // kSpectrumSimdLimit.
  bool (*correlate)(const float* buffer, const float* coeffs, bool reverse, float* sums);
  // correlate() of two buffers at once, into their own sums, with one pass over the table:
  // every lane of either is the same sum correlate() gives. False, writing nothing, when a
  // value of either buffer is not finite or above kSpectrumSimdLimit.
  bool (*correlatePair)(const float* first, const float* second, const float* coeffs, bool reverse,
                        float* firstSums, float* secondSums);
};

// Null when the path has no kernel (the portable path, or a build without vector code).
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath path);
