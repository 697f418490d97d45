// A deterministic stand-in for a real recording, the same bits on every compiler and target.
//
// Only IEEE-exact operations are used (+, -, *, / and rounding to integers, no libm), so the
// 16-bit samples do not depend on the platform's sin or on fused multiply-adds (the build turns
// contraction off). Left: piano-like chords with decaying harmonics; right: a bass line; centre:
// a sung line with vibrato and phrase gaps; both: noise-burst drums, a second of silence every
// 12 s, and a short full-scale square to drive the limiter.
#pragma once

#include <jni.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "common.h"

namespace music {

// sin(x) from a reduced argument and a Taylor polynomial: accurate to about 1e-9, and exactly
// reproducible because it uses nothing but IEEE-exact arithmetic.
inline double detSin(double x) {
  const double turns = std::nearbyint(x / (2.0 * kPi));
  double r = x - turns * (2.0 * kPi);  // [-pi, pi]
  if (r > kPi / 2) r = kPi - r;
  if (r < -kPi / 2) r = -kPi - r;  // [-pi/2, pi/2]
  const double r2 = r * r;
  double p = 1.0 / 6227020800.0;  // 1/13!
  p = p * r2 - 1.0 / 39916800.0;
  p = p * r2 + 1.0 / 362880.0;
  p = p * r2 - 1.0 / 5040.0;
  p = p * r2 + 1.0 / 120.0;
  p = p * r2 - 1.0 / 6.0;
  p = p * r2 + 1.0;
  return p * r;
}

// xorshift32: the same stream everywhere.
struct Noise {
  uint32_t state;
  explicit Noise(uint32_t seed) : state(seed ? seed : 1u) {}
  double next() {  // [-1, 1)
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return (double)state / 2147483648.0 - 1.0;
  }
};

inline jshort clip16(double v) {
  const double r = std::nearbyint(v);
  if (r > 32767.0) return 32767;
  if (r < -32768.0) return -32768;
  return (jshort)r;
}

// `frames` frames of `channels` (1 or 2) interleaved 16-bit samples at `rate` Hz. Mono is the
// average of the two sides.
inline std::vector<jshort> song(long frames, int channels, int rate, uint32_t seed = 7) {
  static const double kChords[4][3] = {{261.63, 329.63, 392.00},   // C
                                       {220.00, 261.63, 329.63},   // Am
                                       {174.61, 220.00, 261.63},   // F
                                       {196.00, 246.94, 293.66}};  // G
  static const double kBass[4] = {65.41, 55.00, 87.31, 98.00};
  static const double kTune[8] = {392.0, 440.0, 392.0, 329.63, 349.23, 392.0, 293.66, 261.63};
  Noise noise(seed);
  std::vector<jshort> out((size_t)frames * channels);
  double drum = 0.0;
  double voicePhase = 0.0;
  for (long n = 0; n < frames; n++) {
    const double t = (double)n / rate;
    const long beat = (long)(t * 2.0);  // 120 bpm
    const double inBeat = t * 2.0 - (double)beat;
    const long bar = beat / 4;
    double left = 0.0, right = 0.0, centre = 0.0;

    const double decay = 1.0 / (1.0 + 6.0 * inBeat);  // a struck note fading over the beat
    for (int k = 0; k < 3; k++) {
      const double f = kChords[bar % 4][k];
      for (int h = 1; h <= 4; h++) left += 1800.0 * decay / (h * h) * detSin(2.0 * kPi * f * h * t);
    }
    const double bf = kBass[bar % 4];
    right += 5000.0 * detSin(2.0 * kPi * bf * t) + 1500.0 * detSin(2.0 * kPi * 2.0 * bf * t);

    const bool sung = (beat % 8) != 7;  // a breath every two bars
    const double vf = kTune[beat % 8] * (1.0 + 0.006 * detSin(2.0 * kPi * 5.5 * t));
    voicePhase += 2.0 * kPi * vf / rate;
    if (voicePhase > 2.0 * kPi) voicePhase -= 2.0 * kPi;
    if (sung) {
      for (int h = 1; h <= 6; h++) centre += 2500.0 / h * detSin(h * voicePhase);
    }

    if (inBeat * 2.0 - std::floor(inBeat * 2.0) < 1.0 / rate * 2.0 * 2.0) drum = 1.0;  // on the eighths
    const double hit = drum * 3000.0 * noise.next();
    drum *= 0.9993;

    double l = left + centre + hit;
    double r = right + centre + hit * 0.7;
    const long second = (long)t;
    if (second % 12 == 11) l = r = 0.0;  // a second of silence
    if (second % 12 == 5 && t - (double)second < 0.2) l = r = (n / 50) % 2 ? 32767.0 : -32768.0;  // square
    if (channels == 1) {
      out[(size_t)n] = clip16((l + r) * 0.5);
    } else {
      out[(size_t)n * 2] = clip16(l);
      out[(size_t)n * 2 + 1] = clip16(r);
    }
  }
  return out;
}

}  // namespace music
