// Which vector code the library runs: the per-CPU fast paths and their selection.
//
// Every module with a fast path keeps its plain C++ code as the portable path and may add
// kernels built with Highway (portable SIMD; optional, see simd_hwy.h) for the instruction
// sets below. All paths give the same bits: each vector lane performs exactly the float and
// double operations of the plain code, in the same order, never fused, and transcendentals
// from the vector library are accepted only where a rounding guard proves them equal to the C
// library's after rounding to float (vocoder_simd.cpp).
//
// Selection happens at set-up, never on the audio path: fft_init(), vocoder_init() and
// spectrum_init() each take the kernels of simd_path() and keep them until their next call.
// The CPU is examined once, with cpuid / xgetbv on x86-64 (no system call, no allocation);
// the baseline of each architecture (SSE2, NEON) needs no check.
#pragma once

enum class SimdPath : int {
  kPortable = 0,  // plain C++ (what the compiler makes of it at the architecture's baseline)
  kSse4 = 1,      // x86-64 SSE4.2 (with SSSE3, AES, CLMUL)
  kAvx2 = 2,      // x86-64 AVX2 (with BMI2, F16C; FMA is enabled for the vector math only)
  kAvx512 = 3,    // x86-64 AVX-512 F/VL/DQ/BW
  kNeon = 4,      // AArch64 Advanced SIMD
};
constexpr int kSimdPathCount = 5;

// "portable", "sse4", "avx2", "avx512" or "neon".
const char* simd_path_name(SimdPath path);

// True when the path's kernels were built into this library and this CPU can run them.
// kPortable is always available.
bool simd_path_available(SimdPath path);

// The path set-ups take: the fastest available one, unless a test forced another.
SimdPath simd_path();

// Tests and benchmarks: makes the following set-ups take `path` (false, changing nothing, when
// it is not available). simd_release_path() returns to the fastest path. Call it between
// set-ups only, never while a block is being processed.
bool simd_force_path(SimdPath path);
void simd_release_path();
