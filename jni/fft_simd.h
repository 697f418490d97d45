// The transform's vector kernels (fft_simd.cpp), for fft.cpp only.
//
// A kernel performs exactly the butterflies of the plain transform, each with the same float
// operations in the same order, so it gives the same bits; only the order in which independent
// butterflies run differs. Natural order in and out, as fft_process().
#pragma once

#include "simd.h"

// The tables of one direction, as fft_init() built them.
struct FftSimdTables {
  int logN;               // stages; N = 2^logN
  const int* bitSwapPos;  // the swap list, pairs of float indices
  int bitSwapLen;
  const float* re;  // twiddles of the direction: stage k at k * kFftStageStride, entry m at 2m
  const float* im;
  const float* dupRe;  // the same twiddles with each entry twice in a row (m at 2m and 2m + 1),
  const float* dupIm;  // stage k starting at 2 * (2^k - 1)
};

// Inputs of larger magnitude (or not finite) are left to the plain transform.
constexpr float kFftSimdLimit = 0x1p64f;

struct FftSimdKernels {
  int minLogN;  // the kernel takes N = 2^minLogN points and more; smaller sizes stay plain
  // False, leaving x untouched, when an input is NaN, infinite or above kFftSimdLimit.
  bool (*transform)(float* x, const FftSimdTables& tables);
  // fft_process_tiny(): the same butterflies on scaled tiny values, each product rounded as
  // fft_tiny_product() rounds it. False, leaving x untouched, when a value exceeds kFftTinyLimit.
  bool (*transformTiny)(float* x, const FftSimdTables& tables);
};

// Null when the path has no kernel (the portable path, or a build without vector code).
const FftSimdKernels* fft_simd_kernels(SimdPath path);
