// The analyser's vector kernel (spectrum_simd.cpp), for spectrum.cpp only.
#pragma once

#include "simd.h"

// Windowed samples beyond this magnitude (or not finite) are left to the plain code.
constexpr float kSpectrumSimdLimit = 0x1p100f;

struct SpectrumSimdKernels {
  // For every band b of kSpectrumBands: sinPart[b] = sum over p of buffer[p] * sinRows[p][b]
  // and likewise cosPart, each a float sum in ascending p, as the plain code forms them; the
  // rows are position-major, kSpectrumBands floats per position. Bands run across the lanes.
  // False, writing nothing, when a buffer value is not finite or above kSpectrumSimdLimit.
  bool (*correlate)(const float* buffer, const float* sinRows, const float* cosRows, float* sinPart,
                    float* cosPart);
};

// Null when the path has no kernel (the portable path, or a build without vector code).
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath path);
