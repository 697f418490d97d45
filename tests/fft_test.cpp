#include "fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "simd.h"
#include "support/signals.h"

namespace {

// Direct DFT in double: the reference the transform must approximate.
std::vector<double> dft(const std::vector<float>& x, int n, int sign) {
  std::vector<double> out(2 * n);
  for (int k = 0; k < n; k++) {
    double re = 0, im = 0;
    for (int t = 0; t < n; t++) {
      const double a = sign * 2.0 * M_PI * (double)((long long)t * k % n) / n;
      re += x[2 * t] * std::cos(a) - x[2 * t + 1] * std::sin(a);
      im += x[2 * t] * std::sin(a) + x[2 * t + 1] * std::cos(a);
    }
    out[2 * k] = re;
    out[2 * k + 1] = im;
  }
  return out;
}

}  // namespace

TEST(FftTables, EightPointsSwapTwoPairsInThreeStages) {
  fft_init(8);
  const FftTables t = fft_tables();
  ASSERT_EQ(t.bitSwapLen, 4);
  EXPECT_EQ(t.bitSwapPos[0], 2);
  EXPECT_EQ(t.bitSwapPos[1], 8);
  EXPECT_EQ(t.bitSwapPos[2], 6);
  EXPECT_EQ(t.bitSwapPos[3], 12);
  EXPECT_EQ(t.logFrame, 3);
  EXPECT_EQ(t.doubleFrameSize, 16);
}

TEST(FftTables, LargestSizeFillsTwelveStages) {
  fft_init(4096);
  const FftTables t = fft_tables();
  EXPECT_EQ(t.bitSwapLen, 4032);
  EXPECT_EQ(t.logFrame, 12);
  // Stage 11 uses positions 45056, 45058, ..., 49150: entry 0 is (1, 0), the last one is the
  // recurrence's approximation of e^(i*pi*2047/2048) after 2047 rotations in float.
  EXPECT_EQ(t.pur[45056], 1.0f);
  EXPECT_EQ(t.pui[45056], 0.0f);
  EXPECT_NEAR(t.pur[49150], std::cos(M_PI * 2047 / 2048), 1e-4);
  EXPECT_NEAR(t.pui[49150], std::sin(M_PI * 2047 / 2048), 1e-4);
}

TEST(FftTables, TwiddlesComeFromTheSinglePrecisionRecurrence) {
  fft_init(4096);
  const FftTables t = fft_tables();
  const int stage2 = 2 * kFftStageStride;
  EXPECT_EQ(t.pur[stage2 + 2], 0.70710677f);
  EXPECT_EQ(t.pui[stage2 + 2], 0.70710677f);
  EXPECT_EQ(t.pur[stage2 + 4], 0.0f);
  EXPECT_EQ(t.pui[stage2 + 4], 0.99999994f);  // not 1: the rotation's rounding is kept
}

TEST(FftTables, ForwardTablesAreExactConjugatesAtEveryPositionInUse) {
  fft_init(4096);
  const FftTables t = fft_tables();
  for (int k = 0; k < t.logFrame; k++) {
    for (int j = 0; j < (2 << k); j += 2) {
      const int i = k * kFftStageStride + j;
      ASSERT_EQ(t.pur_inv[i], t.pur[i]) << "stage " << k << " entry " << j / 2;
      ASSERT_EQ(t.pui_inv[i], -t.pui[i]) << "stage " << k << " entry " << j / 2;
    }
  }
}

TEST(FftTables, UnsupportedSizesLeaveTheTablesAlone) {
  fft_init(16);
  const FftTables before = fft_tables();
  const std::vector<int> swaps(before.bitSwapPos, before.bitSwapPos + before.bitSwapLen);
  for (int bad : {0, -8, 3, 12, 4095, 8192}) {
    fft_init(bad);
    const FftTables t = fft_tables();
    EXPECT_EQ(t.bitSwapLen, before.bitSwapLen) << bad;
    EXPECT_EQ(t.logFrame, before.logFrame) << bad;
    EXPECT_EQ(t.doubleFrameSize, before.doubleFrameSize) << bad;
    EXPECT_EQ(std::vector<int>(t.bitSwapPos, t.bitSwapPos + t.bitSwapLen), swaps) << bad;
  }
  EXPECT_FALSE(fft_size_supported(0));
  EXPECT_TRUE(fft_size_supported(1));
  EXPECT_TRUE(fft_size_supported(4096));
}

TEST(FftTables, TinySizes) {
  fft_init(2);
  EXPECT_EQ(fft_tables().bitSwapLen, 0);
  EXPECT_EQ(fft_tables().logFrame, 1);
  fft_init(1);
  EXPECT_EQ(fft_tables().logFrame, 0);
  std::vector<float> x = {0.25f, -3.0f};
  fft_process(x.data(), kFftForward, 0);
  EXPECT_EQ(x, (std::vector<float>{0.25f, -3.0f}));
}

TEST(FftTransform, UnitImpulseGivesOneInEveryBin) {
  for (int n : {2, 8, 64, 4096}) {
    fft_init(n);
    std::vector<float> x(2 * n, 0.0f);
    x[0] = 1.0f;
    fft_process(x.data(), kFftForward, 0);
    for (int k = 0; k < n; k++) {
      ASSERT_EQ(x[2 * k], 1.0f) << "n " << n << " bin " << k;
      ASSERT_EQ(x[2 * k + 1], 0.0f) << "n " << n << " bin " << k;
    }
  }
}

TEST(FftTransform, MatchesTheDirectTransformInBothDirections) {
  for (int n : {4, 16, 256}) {
    fft_init(n);
    for (int sign : {kFftForward, kFftInverse}) {
      std::vector<float> x = noise(2 * n, 7u + n);
      const std::vector<double> ref = dft(x, n, sign);
      fft_process(x.data(), sign, 0);
      for (int i = 0; i < 2 * n; i++) ASSERT_NEAR(x[i], ref[i], 1e-5 * n) << "n " << n << " sign " << sign;
    }
  }
}

TEST(FftTransform, ForwardThenInverseScalesByN) {
  for (int n : {8, 1024, 4096}) {
    fft_init(n);
    const std::vector<float> input = noise(2 * n, 3u);
    std::vector<float> x = input;
    fft_process(x.data(), kFftForward, 0);
    fft_process(x.data(), kFftInverse, 1);
    for (int i = 0; i < 2 * n; i++) ASSERT_NEAR(x[i], n * input[i], 1e-4 * n) << "n " << n << " at " << i;
  }
}

TEST(FftTransform, EverySignButOneIsForwardAndTheChannelIsIgnored) {
  fft_init(512);
  const std::vector<float> input = noise(2 * 512, 11u);
  std::vector<float> forward = input;
  fft_process(forward.data(), kFftForward, 0);
  for (int sign : {0, 2, -7}) {
    for (int channel : {0, 1}) {
      std::vector<float> x = input;
      fft_process(x.data(), sign, channel);
      EXPECT_TRUE(sameBits(x, forward)) << "sign " << sign << " channel " << channel;
    }
  }
  std::vector<float> inverse = input;
  fft_process(inverse.data(), kFftInverse, 0);
  EXPECT_FALSE(sameBits(inverse, forward));
}

TEST(FftTransform, ShrinkingTheSizeIgnoresLeftoverStages) {
  const std::vector<float> input = noise(2 * 1024, 5u);
  fft_init(1024);
  std::vector<float> fresh = input;
  fft_process(fresh.data(), kFftForward, 0);

  fft_init(4096);
  fft_init(1024);
  std::vector<float> reused = input;
  fft_process(reused.data(), kFftForward, 0);
  EXPECT_TRUE(sameBits(reused, fresh));
}

// Tiny values, scaled by 2^149, go through the transform as if unscaled: on every path, both
// directions, the scaled transform gives the plain transform's result times 2^149 to the bit,
// although the plain one rounds products on the subnormal grid (some to signed zeros). Frames
// from the smallest subnormal up to 2^-141 (whose results are subnormal) and up to 2^-89.
TEST(FftTransform, ScaledTinyFramesGiveThePlainTransformsBits) {
  std::mt19937 rng(11);
  for (int p = 0; p < kSimdPathCount; p++) {
    if (!simd_path_available((SimdPath)p)) continue;
    simd_force_path((SimdPath)p);
    for (int n : {64, 4096}) {
      fft_init(n);
      for (int sign : {kFftForward, kFftInverse}) {
        int subnormal = 0;
        for (int maxBits : {8, 60}) {
          std::vector<float> x(2 * (size_t)n), scaled(x.size());
          for (size_t i = 0; i < x.size(); i++) {
            // Up to 24 significant bits, below 2^bits units of 2^-149.
            const int bits = (int)(rng() % (unsigned)(maxBits + 1));
            const int kept = bits < 24 ? bits : 24;
            const double units = std::ldexp((double)(rng() % (1u << kept)), bits - kept);
            x[i] = (float)std::ldexp(rng() % 2 ? -units : units, -149);
            scaled[i] = std::signbit(x[i]) ? -(float)units : (float)units;
          }
          fft_process(x.data(), sign, 0);
          fft_process_tiny(scaled.data(), sign);
          for (size_t i = 0; i < x.size(); i++) {
            ASSERT_TRUE(sameBits({std::ldexp(x[i], 149)}, {scaled[i]}))
                << simd_path_name((SimdPath)p) << " n=" << n << " i=" << i;
            if (x[i] != 0.0f && std::fabs(x[i]) < 0x1p-126f) subnormal++;
          }
        }
        EXPECT_GT(subnormal, 0);
      }
    }
  }
  simd_release_path();
}
