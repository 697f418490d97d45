// Small pieces every module shares: the export macro, the constants more than one module
// needs, the allocator seam and relaxed access to plain floats.
//
// CS_EXPORT gives a function or variable C linkage and default visibility; the library is
// built with hidden visibility, and jni/exports.map is the final word on what the shared
// object exports. Internal helpers carry no macro and stay hidden.
#pragma once

#include <cstddef>
#include <cstdlib>

#define CS_EXPORT extern "C" __attribute__((visibility("default")))

// Pi and two pi, the doubles nearest them (doubling is exact, so kTwoPi is also 2 * kPi).
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// 2^-15, exact in float and double: one 16-bit unit at the library's float scale, where full
// scale is [-1, 1).
constexpr float kPcmScale = 3.0517578125e-05f;
constexpr double kPcmScaleD = 3.0517578125e-05;

// Every heap block the library obtains (module set-ups, the engine's block buffers on the first
// block, filter coefficients) comes from cs_alloc and goes back with std::free. Tests and the
// fuzzer replace the allocator to make any allocation fail; the default is std::malloc. The
// audio path never allocates after its first block, so the indirection costs it nothing.
// Replace the allocator only while no other thread is inside the library.
using CsAllocator = void* (*)(std::size_t bytes);
inline void* csMalloc(std::size_t bytes) { return std::malloc(bytes); }
inline CsAllocator csAllocator = &csMalloc;
inline void* cs_alloc(std::size_t bytes) { return csAllocator(bytes); }
// Null restores std::malloc.
inline void cs_set_allocator(CsAllocator allocator) {
  csAllocator = allocator != nullptr ? allocator : &csMalloc;
}

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
