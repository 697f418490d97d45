// CPU feature detection and the choice of fast path; see simd.h.
#include "simd.h"

#include <atomic>
#include <initializer_list>

#include "simd_hwy.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

// -1: nothing forced, take the fastest available path.
std::atomic<int> forcedPath{-1};

#if CS_HAVE_HWY && (defined(__x86_64__) || defined(__i386__))
// What the CPU and the operating system support, read once: instruction bits from cpuid, and
// from xgetbv whether the OS saves the wider registers on a context switch.
struct X86Features {
  bool sse4 = false, avx2 = false, avx512 = false;
  X86Features() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19), sse42 = c & (1u << 20);
    const bool pclmul = c & (1u << 1), aes = c & (1u << 25), osxsave = c & (1u << 27);
    const bool avx = c & (1u << 28), fma = c & (1u << 12), f16c = c & (1u << 29);
    sse4 = ssse3 && sse41 && sse42 && pclmul && aes;
    if (!osxsave || !avx) return;
    unsigned xcrLow, xcrHigh;
    __asm__("xgetbv" : "=a"(xcrLow), "=d"(xcrHigh) : "c"(0));
    if ((xcrLow & 0x6u) != 0x6u) return;  // XMM and YMM state
    if (__get_cpuid_max(0, nullptr) < 7) return;
    __cpuid_count(7, 0, a, b, c, d);
    const bool bmi1 = b & (1u << 3), avx2bit = b & (1u << 5), bmi2 = b & (1u << 8);
    avx2 = sse4 && avx2bit && bmi1 && bmi2 && fma && f16c;
    const bool f = b & (1u << 16), dq = b & (1u << 17), bw = b & (1u << 30), vl = b & (1u << 31);
    avx512 = avx2 && f && dq && bw && vl && (xcrLow & 0xE0u) == 0xE0u;  // opmask and ZMM state
  }
};

const X86Features& x86() {
  static const X86Features features;  // thread-safe once; set-up only
  return features;
}
#endif

}  // namespace

const char* simd_path_name(SimdPath path) {
  switch (path) {
    case SimdPath::kPortable:
      return "portable";
    case SimdPath::kSse4:
      return "sse4";
    case SimdPath::kAvx2:
      return "avx2";
    case SimdPath::kAvx512:
      return "avx512";
    case SimdPath::kNeon:
      return "neon";
  }
  return "unknown";
}

bool simd_path_available(SimdPath path) {
  switch (path) {
    case SimdPath::kPortable:
      return true;
#if CS_HAVE_HWY && (defined(__x86_64__) || defined(__i386__))
    case SimdPath::kSse4:
      return (CS_HWY_TARGETS & HWY_SSE4) != 0 && x86().sse4;
    case SimdPath::kAvx2:
      return (CS_HWY_TARGETS & HWY_AVX2) != 0 && x86().avx2;
    case SimdPath::kAvx512:
      return (CS_HWY_TARGETS & HWY_AVX3) != 0 && x86().avx512;
#endif
#if CS_HAVE_HWY && defined(__aarch64__)
    case SimdPath::kNeon:
      return (CS_HWY_TARGETS & HWY_NEON) != 0;  // part of the AArch64 baseline
#endif
    default:
      return false;
  }
}

SimdPath simd_path() {
  const int forced = forcedPath.load(std::memory_order_relaxed);
  if (forced >= 0) return (SimdPath)forced;
  for (SimdPath p : {SimdPath::kAvx512, SimdPath::kAvx2, SimdPath::kSse4, SimdPath::kNeon}) {
    if (simd_path_available(p)) return p;
  }
  return SimdPath::kPortable;
}

bool simd_force_path(SimdPath path) {
  if (!simd_path_available(path)) return false;
  forcedPath.store((int)path, std::memory_order_relaxed);
  return true;
}

void simd_release_path() { forcedPath.store(-1, std::memory_order_relaxed); }
