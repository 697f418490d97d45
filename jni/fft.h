// In-place radix-2 decimation-in-time complex FFT of 1 to 4096 points, single precision.
//
// Buffers hold 2N floats, interleaved (re, im), point or bin k at [2k] and [2k + 1], natural
// order in and out.
// sign == kFftInverse (+1) computes the inverse kernel e^(+2*pi*i*nk/N); every other sign,
// kFftForward (-1) among them, the forward kernel e^(-2*pi*i*nk/N). Neither direction scales:
// forward then inverse returns N times the input.
// `channel` is accepted for the caller's bookkeeping and has no effect.
//
// fft_init() builds process-wide tables (the bit-reversal swap list and each stage's twiddles,
// grown by a single-precision rotation recurrence whose rounding is part of the results);
// fft_process() only reads them, so transforms of different buffers may run concurrently,
// but fft_init() must not overlap a transform.
#pragma once

#include "common.h"

constexpr int kFftMaxSize = 4096;      // largest N the tables hold
constexpr int kFftMaxStages = 12;      // log2(kFftMaxSize)
constexpr int kFftStageStride = 4096;  // floats per stage block in a twiddle table

// The transform's direction, fft_process's `sign`.
constexpr int kFftForward = -1;
constexpr int kFftInverse = 1;

// Sizes other than a power of two from 1 to 4096 leave the tables as they were.
CS_EXPORT void fft_init(int fftFrameSize);
CS_EXPORT void fft_process(float* fftBuffer, int sign, int channel);

// True for the sizes fft_init() accepts.
bool fft_size_supported(int n);
// N of the tables as they stand: the size of the last accepted fft_init(), 0 before the first.
int fft_size();

// Read-only view of the tables, for tests and diagnostics.
struct FftTables {
  const int* bitSwapPos;
  int bitSwapLen;
  int logFrame;
  int doubleFrameSize;
  const float* pur;  // kFftInverse, stage k at k * kFftStageStride, entry m at 2m
  const float* pui;
  const float* pur_inv;  // every other sign (kFftForward)
  const float* pui_inv;
};
FftTables fft_tables();
