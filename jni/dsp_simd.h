// The engine's vector kernel (dsp_simd.cpp), for dsp.cpp only.
#pragma once

#include <cmath>
#include <cstdint>

#include "simd.h"

// The output stage's settings for one block.
struct OutputSettings {
  float overlapScaling;  // the output is divided by this first,
  float gain;            // then multiplied by the preamp
  float knee;            // levels below it pass unchanged
  float slope;           // above it the gain falls by slope per unit of level
  float curveTop;        // levels above it are held at the curve's peak
};

// The output stage of one sample, the plain code whose float operations every vector lane
// repeats in this order: the level before limiting goes into `peak` (a NaN level leaves it
// alone), then the limiter and the quantisation to +-32767.
inline int16_t outputSample(float value, const OutputSettings& o, float& peak) {
  float output = value / o.overlapScaling * o.gain;
  const float level = std::fabs(output);
  if (level > peak) peak = level;
  if (level > o.curveTop) {
    output = std::copysign(o.curveTop * (1.0f - (o.curveTop - o.knee) * o.slope), output);
  } else {
    const float factor = level < o.knee ? 1.0f : 1.0f - (level - o.knee) * o.slope;
    output = output * factor;
  }
  if (output < -1.0f) return -32767;
  if (output > 1.0f) return 32767;
  if (std::isnan(output)) return 0;  // converting NaN to an integer is undefined
  return (int16_t)(output * 32767.0f);
}

struct DspSimdKernels {
  // For i < n: the plain output stage of left[i] (and right[i] when right is not null) into
  // samples[i] (mono) or samples[2i], samples[2i + 1] (stereo), each lane with the plain
  // code's float operations in its order. Returns the largest level before the limiter, 0 when
  // there is none (NaN levels do not count), as the plain code's running peak gives it.
  float (*outputStage)(const float* left, const float* right, int n, const OutputSettings& settings,
                       int16_t* samples);
};

// Null when the path has no kernel (the portable path, or a build without vector code).
const DspSimdKernels* dsp_simd_kernels(SimdPath path);
