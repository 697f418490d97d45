// Highway configuration shared by the fast-path files (*_simd.cpp) and the path selection.
//
// Highway is used header-only: its vector types and operations are inlined into this library,
// so libchordsmith.so needs no Highway library at run time; the choice among the compiled
// targets is ours (simd.cpp), not Highway's dispatcher. CS_HAVE_HWY is set by the build when
// the headers are found; without them only the portable path exists.
//
// Targets built: SSE4, AVX2 and AVX-512 (F/VL/DQ/BW) on x86-64, NEON on AArch64, besides
// Highway's own baseline target, which the library never selects (its portable path is the
// plain C++ code). SVE is left out: its lane count is only known at run time, and NEON serves
// the same CPUs.
#pragma once

#ifndef CS_HAVE_HWY
#define CS_HAVE_HWY 0
#endif

#if CS_HAVE_HWY
// Never reference the Highway library's own functions (its assertion handler): release
// checks stay off in every build, sanitizer builds included.
#ifndef HWY_IS_DEBUG_BUILD
#define HWY_IS_DEBUG_BUILD 0
#endif
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_AVX3_DL | HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#endif
#include <hwy/detect_targets.h>
#define CS_HWY_TARGETS HWY_TARGETS

// In a *_simd.cpp's HWY_ONCE section: a pointer to `name` in the namespace of a target, or
// null when that target is not built.
#if (HWY_TARGETS & HWY_AVX3)
#define CS_HWY_AVX512(name) (&N_AVX3::name)
#else
#define CS_HWY_AVX512(name) nullptr
#endif
#if (HWY_TARGETS & HWY_AVX2)
#define CS_HWY_AVX2(name) (&N_AVX2::name)
#else
#define CS_HWY_AVX2(name) nullptr
#endif
#if (HWY_TARGETS & HWY_SSE4)
#define CS_HWY_SSE4(name) (&N_SSE4::name)
#else
#define CS_HWY_SSE4(name) nullptr
#endif
#if (HWY_TARGETS & HWY_NEON)
#define CS_HWY_NEON(name) (&N_NEON::name)
#else
#define CS_HWY_NEON(name) nullptr
#endif

// The kernels of `name` for a path, in a *_simd.cpp's HWY_ONCE section.
#define CS_HWY_SELECT(path, name)                    \
  ((path) == SimdPath::kAvx512 ? CS_HWY_AVX512(name) \
   : (path) == SimdPath::kAvx2 ? CS_HWY_AVX2(name)   \
   : (path) == SimdPath::kSse4 ? CS_HWY_SSE4(name)   \
   : (path) == SimdPath::kNeon ? CS_HWY_NEON(name)   \
                               : nullptr)
#endif  // CS_HAVE_HWY
