// Signal generators and comparisons shared by the native tests.
#pragma once

#include <jni.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

// n floats uniformly distributed in [-amplitude, amplitude), the same for the same seed.
inline std::vector<float> noise(int n, unsigned seed, float amplitude = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> x(n);
  for (float& v : x) v = dist(rng);
  return x;
}

// Equal to the bit (NaNs compare by their bit patterns too).
inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// A 16-bit sine, `frames` frames of `channels` interleaved channels, the right channel (if any)
// at `rightGain` times the left.
inline std::vector<jshort> sineBlock(int frames, int channels, double hz, double rate, double amplitude,
                                     long startFrame = 0, double rightGain = 1.0) {
  std::vector<jshort> block((size_t)frames * channels);
  for (int i = 0; i < frames; i++) {
    const double v = amplitude * std::sin(2.0 * M_PI * hz * (double)(startFrame + i) / rate);
    block[(size_t)i * channels] = (jshort)std::lround(v);
    if (channels == 2) block[(size_t)i * 2 + 1] = (jshort)std::lround(v * rightGain);
  }
  return block;
}
