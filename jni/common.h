// Small pieces every module shares: the export macro, the constants more than one module
// needs, and relaxed access to plain floats.
//
// CS_EXPORT gives a function or variable C linkage and default visibility; the library is
// built with hidden visibility, and jni/exports.map is the final word on what the shared
// object exports. Internal helpers carry no macro and stay hidden.
#pragma once

#define CS_EXPORT extern "C" __attribute__((visibility("default")))

// Pi and two pi, the doubles nearest them (doubling is exact, so kTwoPi is also 2 * kPi).
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// 2^-15, exact in float and double: one 16-bit unit at the library's float scale, where full
// scale is [-1, 1).
constexpr float kPcmScale = 3.0517578125e-05f;
constexpr double kPcmScaleD = 3.0517578125e-05;

// Values shared between the audio thread and application threads that must stay plain
// 32-bit floats in memory (the exported gain table, the band levels) are read and written
// through these, so that no value is ever torn and ThreadSanitizer sees atomic accesses.
// Relaxed: a reader may see a mix of old and new values, but never half of one.
inline float cs_load_relaxed(const float* p) {
  float v;
  __atomic_load(p, &v, __ATOMIC_RELAXED);
  return v;
}

inline void cs_store_relaxed(float* p, float v) { __atomic_store(p, &v, __ATOMIC_RELAXED); }
