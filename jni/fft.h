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

#include <cmath>

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

// Frames of tiny values. Float products of values below about 2^-100 round on the subnormal
// grid, which x86 processors handle in microcode a hundred times slower than other arithmetic;
// a frame of a decaying filter tail can cost a whole block's budget that way. Scaled by 2^149,
// so that the smallest subnormal becomes 1, such values are plain floats, and float arithmetic
// on them gives the unscaled results exactly, times 2^149, provided that:
// - every sum or difference is formed in float: a sum that lands on the subnormal grid is exact
//   anyway, any other rounds to 24 bits in both scales;
// - every product is formed exactly in double and rounded by fft_tiny_round(): to an integer
//   below 2^24 (the grid of the subnormals and of the smallest binade of normal floats, in
//   units of 2^-149), to float above, ties to even and a zero keeping the product's sign, as
//   gradual underflow rounds.
constexpr double kFftTinyUnit = 0x1p-149;  // the smallest subnormal: a scaled 1
// Scaled transform inputs at most this large stay finite through every stage.
constexpr float kFftTinyLimit = 0x1p64f;

// v, an exact product in units of 2^-149, rounded as float arithmetic rounds it unscaled.
inline float fft_tiny_round(double v) {
  // nearbyint keeps the sign of a zero and rounds ties to even (the library never changes the
  // rounding mode).
  return std::fabs(v) < 0x1p24 ? (float)std::nearbyint(v) : (float)v;
}
// The product of a scaled value and a plain factor (a twiddle, a window value), rounded so.
inline float fft_tiny_product(float scaled, float factor) {
  return fft_tiny_round((double)scaled * (double)factor);
}

// fft_process() of a buffer of scaled values, each within kFftTinyLimit: the result is the
// plain transform of the unscaled values, times 2^149, to the bit, and no subnormal float
// arises. Products go through fft_tiny_product(), in the plain transform's order.
void fft_process_tiny(float* fftBuffer, int sign);

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
