// Small pieces every module shares: the export macro and relaxed access to plain floats.
//
// CS_EXPORT gives a function or variable C linkage and default visibility; the library is
// built with hidden visibility, and jni/exports.map is the final word on what the shared
// object exports. Internal helpers carry no macro and stay hidden.
#pragma once

#define CS_EXPORT extern "C" __attribute__((visibility("default")))

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
