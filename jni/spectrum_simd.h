// The analyser's vector kernel (spectrum_simd.cpp), for spectrum.cpp only.
#pragma once

#include "simd.h"

// The coefficient layout both share (spectrum.cpp builds it). Lines of 16 floats, each 8
// bands' -sin theta, then their cos theta, one band per lane. A stream is one set of 8 bands
// and reads one line per window position; there are always 9 streams (72 bands). Streams may
// share lines: a band exactly an octave above another has, at position p, the coefficients of
// the lower one at position 2p, so its stream reads the lower stream's lines at twice the rate.
// Stream s's line for position p is lines + (start[r] + (p - begin of range r) * stride[r]) *
// 16, r the range holding p: positions [0, 512), [512, 1024), [1024, 2048), [2048, 4096), where
// the strides of streams up to three octaves above their lines change. The sums come out per
// stream, 16 floats each, in the lanes of its lines.
constexpr int kSpectrumBlockBands = 8;
constexpr int kSpectrumBlockFloats = 2 * kSpectrumBlockBands;
constexpr int kSpectrumBlocks = 9;  // streams: 72 bands
constexpr int kSpectrumRanges = 4;
constexpr int kSpectrumRangeEnd[kSpectrumRanges] = {512, 1024, 2048, 4096};

struct SpectrumStream {
  int start[kSpectrumRanges];   // in lines
  int stride[kSpectrumRanges];  // in lines per position
};

// Windowed samples beyond this magnitude (or not finite) are left to the plain code.
constexpr float kSpectrumSimdLimit = 0x1p100f;

struct SpectrumSimdKernels {
  // out[p] = (float)(hann[p] * (double)samples[p]) for every window position: the product in
  // double, rounded to float. False when a sample is not finite (`out` is then partly written
  // and the caller writes it with the plain loop).
  bool (*window)(const double* hann, const float* samples, float* out);
  // For every stream s, position p in ascending order and lane j of its line L(s, p):
  //   sums[s][j] += buffer[p] * L(s, p)[j],
  // starting from 0: each band's two float sums in the plain code's order. `reverse` runs the
  // passes over the streams in the opposite order (the sums are the same either way: each lane
  // is its own sum), so that alternate analyses start with the lines the previous one left in
  // the cache. False, writing nothing, when a buffer value is not finite or above
  // kSpectrumSimdLimit.
  bool (*correlate)(const float* buffer, const float* lines, const SpectrumStream* streams, bool reverse,
                    float* sums);
  // correlate() of two buffers at once, into their own sums, with one pass over the lines:
  // every lane of either is the same sum correlate() gives. False, writing nothing, when a
  // value of either buffer is not finite or above kSpectrumSimdLimit.
  bool (*correlatePair)(const float* first, const float* second, const float* lines,
                        const SpectrumStream* streams, bool reverse, float* firstSums, float* secondSums);
};

// Null when the path has no kernel (the portable path, or a build without vector code).
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath path);
