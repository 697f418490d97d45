// Radix-2 complex FFT over precomputed tables; see fft.h for the conventions.
#include "fft.h"

#include <cmath>
#include <utility>

#include "fft_simd.h"

namespace {

constexpr double kLn2 = 0.6931471805599453;

int doubleFrameSize = 0;                     // 2N: floats in a frame buffer
int logFrame = 0;                            // butterfly stages, log2 N
int bitSwapPos[kFftMaxSize];                 // pairs of float indices (i, j), i < j
int bitSwapLen = 0;                          // entries in use: twice the number of pairs
float pur[kFftMaxStages * kFftStageStride];  // twiddles for kFftInverse
float pui[kFftMaxStages * kFftStageStride];
float pur_inv[kFftMaxStages * kFftStageStride];  // conjugates, for every other sign
float pui_inv[kFftMaxStages * kFftStageStride];

// For the vector kernels: the twiddles of every stage in use, each entry twice in a row,
// stage k from 2 * (2^k - 1); [0] for kFftInverse, [1] for every other sign. Same values as above.
constexpr int kDupFloats = 2 * kFftMaxSize;
float dupRe[2][kDupFloats];
float dupIm[2][kDupFloats];
// The vector kernel chosen by the last fft_init (null: the plain loops below).
const FftSimdKernels* kernels = nullptr;

// Stage k's twiddles e^(+-i*pi*m/2^k), m = 0 .. 2^k - 1, by repeated rotation in float.
void buildStage(int k, float* re, float* im, float wr, float wi) {
  const int le2 = 1 << (k + 1);
  float ur = 1.0f;
  float ui = 0.0f;
  for (int j = 0; j < le2; j += 2) {
    re[k * kFftStageStride + j] = ur;
    im[k * kFftStageStride + j] = ui;
    const float t = ur * wr - ui * wi;
    ui = ui * wr + ur * wi;
    ur = t;
  }
}

}  // namespace

bool fft_size_supported(int n) { return n >= 1 && n <= kFftMaxSize && (n & (n - 1)) == 0; }

int fft_size() { return doubleFrameSize / 2; }

void fft_init(int fftFrameSize) {
  // Any other size would make the swap list and the butterflies address past the tables
  // and past a 2N buffer.
  if (!fft_size_supported(fftFrameSize)) return;

  doubleFrameSize = 2 * fftFrameSize;
  bitSwapLen = 0;
  for (int i = 2; i < doubleFrameSize - 2; i += 2) {
    int j = 0;
    for (int bitm = 2; bitm < doubleFrameSize; bitm <<= 1) {
      if (i & bitm) j++;
      j <<= 1;
    }
    if (i < j) {
      bitSwapPos[bitSwapLen++] = i;
      bitSwapPos[bitSwapLen++] = j;
    }
  }

  logFrame = (int)(std::log((double)fftFrameSize) / kLn2 + 0.5);

  for (int k = 0; k < logFrame; k++) {
    // The step angle is rounded to float first; its cosine and sine are taken in double.
    const float arg = (float)(kPi / (double)(1 << k));
    const float wr = (float)std::cos((double)arg);
    const float wi = (float)std::sin((double)arg);
    buildStage(k, pur, pui, wr, wi);
    buildStage(k, pur_inv, pui_inv, wr, -wi);
  }

  for (int k = 0; k < logFrame; k++) {
    const int from = 2 * ((1 << k) - 1);
    for (int m = 0; m < (1 << k); m++) {
      const int at = k * kFftStageStride + 2 * m;
      dupRe[0][from + 2 * m] = dupRe[0][from + 2 * m + 1] = pur[at];
      dupIm[0][from + 2 * m] = dupIm[0][from + 2 * m + 1] = pui[at];
      dupRe[1][from + 2 * m] = dupRe[1][from + 2 * m + 1] = pur_inv[at];
      dupIm[1][from + 2 * m] = dupIm[1][from + 2 * m + 1] = pui_inv[at];
    }
  }
  kernels = fft_simd_kernels(simd_path());
}

namespace {

// The plain transform, each butterfly's two products formed by `product`.
template <class Product>
void plainTransform(float* x, int sign, Product product) {
  for (int p = 0; p < bitSwapLen; p += 2) {
    const int i = bitSwapPos[p];
    const int j = bitSwapPos[p + 1];
    std::swap(x[i], x[j]);
    std::swap(x[i + 1], x[j + 1]);
  }

  for (int k = 0; k < logFrame; k++) {
    const int le = 1 << (k + 2);
    const int le2 = le >> 1;
    const int base = k * kFftStageStride;
    const float* cur = (sign == kFftInverse ? pur : pur_inv) + base;
    const float* cui = (sign == kFftInverse ? pui : pui_inv) + base;
    for (int j = 0; j < le2; j += 2) {
      const float ur = cur[j];
      const float ui = cui[j];
      for (int p1 = j; p1 < doubleFrameSize; p1 += le) {
        const int p2 = p1 + le2;
        const float tr = product(x[p2], ur) - product(x[p2 + 1], ui);
        const float ti = product(x[p2], ui) + product(x[p2 + 1], ur);
        x[p2] = x[p1] - tr;
        x[p2 + 1] = x[p1 + 1] - ti;
        x[p1] = x[p1] + tr;
        x[p1 + 1] = x[p1 + 1] + ti;
      }
    }
  }
}

// The vector kernel's transform (or its tiny variant) when it takes the frame.
bool vectorTransform(float* x, int sign, bool tiny) {
  if (kernels == nullptr || logFrame < kernels->minLogN) return false;
  const int dir = sign == kFftInverse ? 0 : 1;
  const FftSimdTables tables = {logFrame,
                                bitSwapPos,
                                bitSwapLen,
                                sign == kFftInverse ? pur : pur_inv,
                                sign == kFftInverse ? pui : pui_inv,
                                dupRe[dir],
                                dupIm[dir]};
  return tiny ? kernels->transformTiny(x, tables) : kernels->transform(x, tables);
}

}  // namespace

void fft_process(float* fftBuffer, int sign, int /*channel*/) {
  if (vectorTransform(fftBuffer, sign, false)) return;
  plainTransform(fftBuffer, sign, [](float a, float b) { return a * b; });
}

void fft_process_tiny(float* fftBuffer, int sign) {
  if (vectorTransform(fftBuffer, sign, true)) return;
  plainTransform(fftBuffer, sign, fft_tiny_product);
}

FftTables fft_tables() {
  return {bitSwapPos, bitSwapLen, logFrame, doubleFrameSize, pur, pui, pur_inv, pui_inv};
}
