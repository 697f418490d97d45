// Derives and verifies the vocoder's vector sine, cosine and arctangent (jni/vocoder_math.h).
// Run by hand when the math changes, not in CI: the sine and cosine check takes minutes.
//
//   vocoder_math_check coefficients
//     Fits the three polynomials again (interpolation at Chebyshev nodes in 113-bit arithmetic,
//     then rounded to double), says whether they are the ones in vocoder_math.h, and bounds the
//     approximation error of the header's coefficients rigorously: the error function is
//     evaluated from the functions' Taylor series on a grid of 2^20 points, and between grid
//     points it cannot grow by more than the grid step times a bound of its derivative.
//   vocoder_math_check sincos [--stride N] [--threads T] [--digest-only]
//     Every float x with |x| <= kSinCosDomain (about 2.16e9 values; with --stride every Nth of
//     them), on every vector path this machine has. Reports the largest error against the
//     extended-precision sine and cosine of the C library (sincosl: 64 bits on x86-64, 113 on
//     AArch64), the C library's own double sin and cos against the same reference, the largest
//     difference between ours and the C library, and the rounding guard: how many lanes it keeps
//     and whether every kept lane's float equals the float of the C library's value. Paths must
//     agree bit for bit; a digest of all results lets another machine (NEON under qemu, with
//     --digest-only, which skips the slow reference) show the same bits.
//   vocoder_math_check atan2 [--count N] [--threads T] [--digest-only]
//     Edge cases (quotients at and next to the reduction points' thresholds, equal magnitudes,
//     the smallest and largest floats, every quadrant and sign) and N random pairs of floats
//     (default 2^30; magnitudes spread over the whole float range and a second half of pairs of
//     similar magnitude), reported like sincos, against atan2l.
//
// Errors are in u = 2^-53, relative to the reference value.
#include <algorithm>
#include <array>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "simd.h"
#include "vocoder_math.h"
#include "vocoder_simd.h"

#if defined(__x86_64__)
#include <quadmath.h>
using Wide = __float128;  // 113-bit significand
Wide wideCos(Wide x) { return cosq(x); }
const Wide kWidePi = 4 * atanq(1);
#else
using Wide = long double;  // binary128 on AArch64
Wide wideCos(Wide x) { return cosl(x); }
const Wide kWidePi = 4 * atanl(1);
#endif

namespace {

constexpr double kU = 0x1p-53;

// ---- Coefficients --------------------------------------------------------------------------

// A function of z whose polynomial approximation we fit: its Taylor coefficients, and the
// weight that turns an error of the polynomial into a relative error of the function.
struct Fit {
  const char* name;
  const double* header;   // the coefficients in vocoder_math.h
  double reach;           // |argument| <= reach, z = argument^2
  Wide (*taylor)(int k);  // coefficient of z^k
  // Upper bound of |function error| / |polynomial error| for z in [0, zMax].
  Wide (*weight)(Wide zMax);
};

Wide factorial(int n) {
  Wide f = 1;
  for (int i = 2; i <= n; i++) f *= i;
  return f;
}
// (sin r - r) / r^3 = sum (-1)^(k+1) z^k / (2k + 3)!
Wide sinTaylor(int k) { return (k % 2 == 0 ? -1 : 1) / factorial(2 * k + 3); }
// (cos r - 1 + r^2/2) / r^4 = sum (-1)^k z^k / (2k + 4)!
Wide cosTaylor(int k) { return (k % 2 == 0 ? 1 : -1) / factorial(2 * k + 4); }
// (atan w - w) / w^3 = sum (-1)^(k+1) z^k / (2k + 3)
Wide atanTaylor(int k) { return (Wide)(k % 2 == 0 ? -1 : 1) / (2 * k + 3); }
// sin r = r (1 + z S): a polynomial error g moves sin r by r^3 g, relative z g / (sin r / r),
// and sin r / r >= 1 - z/6. Likewise cos r >= 1 - z/2 and atan w / w >= 1 - z/3.
Wide sinWeight(Wide z) { return z / (1 - z / 6); }
Wide cosWeight(Wide z) { return z * z / (1 - z / 2); }
Wide atanWeight(Wide z) { return z / (1 - z / 3); }

constexpr int kTaylorTerms = 40;  // far past 2^-150 for every z used here

// The function from its Taylor series; `t` holds the first kTaylorTerms coefficients.
Wide function(const std::vector<Wide>& t, Wide z) {
  Wide s = 0;
  for (int k = kTaylorTerms - 1; k >= 0; k--) s = s * z + t[(size_t)k];
  return s;
}

std::vector<Wide> taylorCoefficients(const Fit& f) {
  std::vector<Wide> t(kTaylorTerms);
  for (int k = 0; k < kTaylorTerms; k++) t[(size_t)k] = f.taylor(k);
  return t;
}

template <class T>
Wide polynomial(const T* c, int terms, Wide z) {
  Wide p = 0;
  for (int k = terms - 1; k >= 0; k--) p = p * z + (Wide)c[k];
  return p;
}

// Interpolation at `terms` Chebyshev nodes of [0, zMax], solved in Wide, rounded to double.
std::vector<double> fitCoefficients(const Fit& f, int terms) {
  const Wide zMax = (Wide)f.reach * (Wide)f.reach;
  const std::vector<Wide> taylor = taylorCoefficients(f);
  std::vector<std::vector<Wide>> a((size_t)terms, std::vector<Wide>((size_t)terms + 1));
  for (int i = 0; i < terms; i++) {
    const Wide node = zMax / 2 * (1 - wideCos(kWidePi * (2 * i + 1) / (2 * terms)));
    Wide power = 1;
    for (int j = 0; j < terms; j++, power *= node) a[(size_t)i][(size_t)j] = power;
    a[(size_t)i][(size_t)terms] = function(taylor, node);
  }
  for (int col = 0; col < terms; col++) {  // Gaussian elimination, partial pivoting
    int pivot = col;
    for (int r = col + 1; r < terms; r++) {
      if ((a[(size_t)r][(size_t)col] < 0 ? -a[(size_t)r][(size_t)col] : a[(size_t)r][(size_t)col]) >
          (a[(size_t)pivot][(size_t)col] < 0 ? -a[(size_t)pivot][(size_t)col]
                                             : a[(size_t)pivot][(size_t)col]))
        pivot = r;
    }
    std::swap(a[(size_t)col], a[(size_t)pivot]);
    for (int r = col + 1; r < terms; r++) {
      const Wide m = a[(size_t)r][(size_t)col] / a[(size_t)col][(size_t)col];
      for (int j = col; j <= terms; j++) a[(size_t)r][(size_t)j] -= m * a[(size_t)col][(size_t)j];
    }
  }
  std::vector<double> c((size_t)terms);
  std::vector<Wide> x((size_t)terms);
  for (int r = terms - 1; r >= 0; r--) {
    Wide s = a[(size_t)r][(size_t)terms];
    for (int j = r + 1; j < terms; j++) s -= a[(size_t)r][(size_t)j] * x[(size_t)j];
    x[(size_t)r] = s / a[(size_t)r][(size_t)r];
    c[(size_t)r] = (double)x[(size_t)r];
  }
  return c;
}

// Rigorous bound of the relative error of the function that the header's polynomial gives.
double approximationBound(const Fit& f, int terms) {
  const Wide zMax = (Wide)f.reach * (Wide)f.reach;
  const std::vector<Wide> taylor = taylorCoefficients(f);
  // |g'| <= sum over k of k |p_k - t_k| zMax^(k-1), p_k = 0 beyond the polynomial.
  Wide slope = 0;
  for (int k = 1; k < kTaylorTerms; k++) {
    Wide d = (k < terms ? (Wide)f.header[k] : 0) - taylor[(size_t)k];
    if (d < 0) d = -d;
    Wide power = 1;
    for (int i = 1; i < k; i++) power *= zMax;
    slope += k * d * power;
  }
  constexpr int kGrid = 1 << 20;
  const Wide step = zMax / kGrid;
  Wide worst = 0;
  Wide previous = 0;
  for (int j = 0; j <= kGrid; j++) {
    const Wide z = zMax * j / kGrid;
    Wide g = polynomial(f.header, terms, z) - function(taylor, z);
    if (g < 0) g = -g;
    if (j > 0) {
      const Wide between = (g > previous ? g : previous) + slope * step / 2;
      const Wide relative = f.weight(z) * between;
      if (relative > worst) worst = relative;
    }
    previous = g;
  }
  // The Taylor tails beyond kTaylorTerms and the 113-bit arithmetic add far less than 2^-100.
  return (double)worst + 0x1p-100;
}

int coefficients() {
  const Fit fits[] = {
      {"sin", kSinCoefficients, kSinCosReach, sinTaylor, sinWeight},
      {"cos", kCosCoefficients, kSinCosReach, cosTaylor, cosWeight},
      {"atan", kAtanCoefficients, kAtanReach, atanTaylor, atanWeight},
  };
  const int terms[] = {kSinCosTerms, kSinCosTerms, kAtanTerms};
  bool same = true;
  for (int i = 0; i < 3; i++) {
    const Fit& f = fits[i];
    const std::vector<double> c = fitCoefficients(f, terms[i]);
    std::printf("%s, %d terms over |argument| <= %g:\n", f.name, terms[i], f.reach);
    for (int k = 0; k < terms[i]; k++) {
      const bool match = c[(size_t)k] == f.header[k];
      same = same && match;
      std::printf("  %-24a %s\n", c[(size_t)k],
                  match ? "as in vocoder_math.h" : "DIFFERS from vocoder_math.h");
    }
    const double bound = approximationBound(f, terms[i]);
    std::printf("  approximation error of the function <= %.3g relative (2^%.2f, %.3f u)\n", bound,
                std::log2(bound), bound / kU);
  }
  return same ? 0 : 1;
}

// ---- Sweeps --------------------------------------------------------------------------------

struct Options {
  long stride = 1;
  long count = 1L << 30;
  int threads = 0;
  bool digestOnly = false;
};

std::vector<const VocoderSimdKernels*> availableKernels(std::vector<const char*>& names) {
  std::vector<const VocoderSimdKernels*> kernels;
  for (int p = 0; p < kSimdPathCount; p++) {
    const VocoderSimdKernels* k = vocoder_simd_kernels((SimdPath)p);
    if (k != nullptr && simd_path_available((SimdPath)p)) {
      kernels.push_back(k);
      names.push_back(simd_path_name((SimdPath)p));
    }
  }
  return kernels;
}

int noVectorPath() {
  std::fprintf(stderr, "vocoder_math_check: no vector path on this machine\n");
  return 2;
}

// The largest error of one function, and where.
struct Worst {
  double error = 0;
  double at = 0, at2 = 0;
  void take(double e, double x, double x2 = 0) {
    if (e > error) {
      error = e;
      at = x;
      at2 = x2;
    }
  }
};

struct Tally {
  Worst ours, library, apart;
  long values = 0, kept = 0, keptWrong = 0, pathsDiffer = 0;
  uint64_t digest = 0;  // sum of per-chunk hashes: the same whatever the threads' order
  void merge(const Tally& t) {
    ours.take(t.ours.error, t.ours.at, t.ours.at2);
    library.take(t.library.error, t.library.at, t.library.at2);
    apart.take(t.apart.error, t.apart.at, t.apart.at2);
    values += t.values;
    kept += t.kept;
    keptWrong += t.keptWrong;
    pathsDiffer += t.pathsDiffer;
    digest += t.digest;
  }
};

uint64_t hashDoubles(const double* v, size_t n, uint64_t seed) {
  uint64_t h = 1469598103934665603ull ^ seed;
  for (size_t i = 0; i < n; i++) {
    uint64_t bits;
    std::memcpy(&bits, &v[i], 8);
    for (int b = 0; b < 8; b++) {
      h ^= (uint8_t)(bits >> (8 * b));
      h *= 1099511628211ull;
    }
  }
  return h;
}

// |v - reference| / |reference| in u.
double errorOf(double v, long double reference) {
  if (reference == 0) return v == 0 ? 0 : INFINITY;
  const long double e = ((long double)v - reference) / reference;
  return (double)((e < 0 ? -e : e) / (long double)kU);
}

// The vocoder's rounding guard (vocoder_simd.cpp) for v alone: does it keep the lane?
bool guardKeeps(double v) {
  const double av = std::fabs(v);
  const double d = av * 0x1p-44;
  return av >= 0x1p-1000 && av <= 0x1p1000 && (float)(v - d) == (float)(v + d);
}

// One value of ours against the reference and the C library's value L.
void account(Tally& t, double v, long double reference, double library, double x, double x2 = 0) {
  t.values++;
  t.ours.take(errorOf(v, reference), x, x2);
  t.library.take(errorOf(library, reference), x, x2);
  t.apart.take(v == library ? 0 : std::fabs(v - library) / std::fabs(v) / kU, x, x2);
  if (guardKeeps(v)) {
    t.kept++;
    if ((float)v != (float)library) t.keptWrong++;
  }
}

// Runs work(chunk, tallies) for every chunk on `threads` threads; two tallies per thread (sine
// and cosine), merged at the end.
template <class Work>
std::array<Tally, 2> runChunks(long chunks, int threads, Work work) {
  std::atomic<long> next{0};
  std::mutex lock;
  std::array<Tally, 2> total;
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; i++) {
    pool.emplace_back([&] {
      std::array<Tally, 2> mine;
      for (long c; (c = next.fetch_add(1)) < chunks;) work(c, mine.data());
      std::lock_guard<std::mutex> hold(lock);
      for (int k = 0; k < 2; k++) total[(size_t)k].merge(mine[(size_t)k]);
    });
  }
  for (auto& th : pool) th.join();
  return total;
}

// Where a largest error was found: x, or the pair (y, x).
std::string place(const Worst& w, bool pair) {
  char s[80];
  if (pair) {
    std::snprintf(s, sizeof s, "y = %a, x = %a", w.at, w.at2);
  } else {
    std::snprintf(s, sizeof s, "x = %a", w.at);
  }
  return s;
}

void report(const char* what, const Tally& t, bool digestOnly, const std::vector<const char*>& names,
            bool pair) {
  std::printf("%s: %ld values on", what, t.values);
  for (const char* n : names) std::printf(" %s", n);
  std::printf(": %s; digest %016" PRIx64 "\n",
              t.pathsDiffer == 0 ? "every path the same bits" : "PATHS DIFFER", t.digest);
  if (digestOnly) return;
  std::printf("  ours against the reference:    largest %.3f u at %s\n", t.ours.error,
              place(t.ours, pair).c_str());
  std::printf("  the C library, likewise:       largest %.3f u at %s\n", t.library.error,
              place(t.library, pair).c_str());
  std::printf("  ours against the C library:    largest %.3f u at %s\n", t.apart.error,
              place(t.apart, pair).c_str());
  std::printf("  the guard keeps %ld (%.6f%%), of which %ld round to another float than the C library's\n",
              t.kept, 100.0 * (double)t.kept / (double)t.values, t.keptWrong);
}

int sincos(const Options& o) {
  std::vector<const char*> names;
  const auto kernels = availableKernels(names);
  if (kernels.empty()) return noVectorPath();
  float top = (float)kSinCosDomain;
  uint32_t last;
  std::memcpy(&last, &top, 4);
  // Positive floats 0 .. last by bit pattern, every stride-th; each also negated.
  const long positives = (long)last / o.stride + 1;
  constexpr long kChunk = 4096;
  const long chunks = (positives + kChunk - 1) / kChunk;
  auto both = [&](long chunk, Tally* tallies) {
    float x[2 * kChunk];
    const long first = chunk * kChunk;
    const long n = std::min(kChunk, positives - first);
    for (long i = 0; i < n; i++) {
      const uint32_t bits = (uint32_t)((first + i) * o.stride);
      std::memcpy(&x[i], &bits, 4);
      x[n + i] = -x[i];
    }
    static thread_local std::vector<double> s[2], c[2];
    for (auto* v : {&s[0], &s[1], &c[0], &c[1]}) v->resize((size_t)(2 * n));
    for (size_t p = 0; p < kernels.size(); p++) {
      const int slot = p == 0 ? 0 : 1;
      kernels[p]->sinCos(x, (int)(2 * n), s[slot].data(), c[slot].data());
      if (p > 0 && (s[0] != s[1] || c[0] != c[1])) tallies[0].pathsDiffer++;
    }
    tallies[0].digest += hashDoubles(s[0].data(), (size_t)(2 * n), (uint64_t)chunk);
    tallies[1].digest += hashDoubles(c[0].data(), (size_t)(2 * n), (uint64_t)chunk);
    if (o.digestOnly) {
      tallies[0].values += 2 * n;
      tallies[1].values += 2 * n;
      return;
    }
    for (long i = 0; i < n; i++) {
      long double rs, rc;
      sincosl((long double)x[i], &rs, &rc);
      for (int neg = 0; neg < 2; neg++) {
        const long j = i + neg * n;
        const double xd = (double)x[j];
        account(tallies[0], s[0][(size_t)j], neg ? -rs : rs, std::sin(xd), xd);
        account(tallies[1], c[0][(size_t)j], rc, std::cos(xd), xd);
      }
    }
  };
  const auto total = runChunks(chunks, o.threads, both);
  std::printf("Every %ld%s float x with |x| <= %.9g, against sincosl\n", o.stride,
              o.stride == 1 ? "st" : "th", kSinCosDomain);
  report("sin", total[0], o.digestOnly, names, false);
  report("cos", total[1], o.digestOnly, names, false);
  const bool sound = total[0].keptWrong == 0 && total[1].keptWrong == 0 && total[0].pathsDiffer == 0;
  return sound ? 0 : 1;
}

// A small deterministic generator (splitmix64), so every run sweeps the same pairs.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
};

float floatOfBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Finite nonzero floats: any magnitude, or (second half) within a factor 2^8 of `partner`.
float randomFloat(Random& r, float partner, bool near) {
  for (;;) {
    const uint64_t v = r.next();
    float f;
    if (near) {
      int e;
      std::frexp(partner, &e);
      f = std::ldexp((float)((v >> 40) | 1) / (float)(1ull << 24), e + (int)((v >> 8) % 17) - 8);
      if (v & 1) f = -f;
    } else {
      f = floatOfBits((uint32_t)v);
    }
    if (std::isfinite(f) && f != 0) return f;
  }
}

// Pairs at and around the edges of the reduction: quotients next to each threshold (2j+1)/8
// and each reduction point, equal magnitudes, extreme floats, every sign.
std::vector<std::pair<float, float>> edgePairs() {
  std::vector<std::pair<float, float>> pairs;
  const float bases[] = {1.0f, 0.75f, 1.5f, 1e-30f, 3e30f, 1.17549435e-38f, 1.4e-45f, 3.40282347e38f, 0.1f};
  for (float b : bases) {
    for (int num = 0; num <= 8; num++) {
      const float a = b * (float)num / 8.0f;
      float lo = a, hi = a;
      for (int step = 0; step < 64; step++) {
        for (float q : {lo, hi}) {
          if (q == 0 || !std::isfinite(q) || q > b) continue;
          for (int quadrant = 0; quadrant < 8; quadrant++) {
            const float y = (quadrant & 1) ? -q : q, x = (quadrant & 2) ? -b : b;
            pairs.push_back(quadrant & 4 ? std::make_pair(x, y) : std::make_pair(y, x));
          }
        }
        lo = std::nextafter(lo, 0.0f);
        hi = std::nextafter(hi, INFINITY);
      }
    }
  }
  const float extremes[] = {1.4e-45f, 1.17549435e-38f, 1.0f, 3.40282347e38f};
  for (float y : extremes) {
    for (float x : extremes) {
      for (int s = 0; s < 4; s++) pairs.push_back({(s & 1) ? -y : y, (s & 2) ? -x : x});
    }
  }
  return pairs;
}

int atan2Sweep(const Options& o) {
  std::vector<const char*> names;
  const auto kernels = availableKernels(names);
  if (kernels.empty()) return noVectorPath();
  const auto edges = edgePairs();
  constexpr long kChunk = 4096;
  const long randomChunks = (o.count + kChunk - 1) / kChunk;
  const long edgeChunks = ((long)edges.size() + kChunk - 1) / kChunk;
  const auto totals = runChunks(edgeChunks + randomChunks, o.threads, [&](long chunk, Tally* tallies) {
    Tally& t = tallies[0];
    float y[kChunk], x[kChunk];
    long n;
    if (chunk < edgeChunks) {
      n = std::min(kChunk, (long)edges.size() - chunk * kChunk);
      for (long i = 0; i < n; i++) {
        y[i] = edges[(size_t)(chunk * kChunk + i)].first;
        x[i] = edges[(size_t)(chunk * kChunk + i)].second;
      }
    } else {
      const long first = (chunk - edgeChunks) * kChunk;
      n = std::min(kChunk, o.count - first);
      Random r{0x5eed0000ull + (uint64_t)chunk};
      for (long i = 0; i < n; i++) {
        x[i] = randomFloat(r, 1.0f, false);
        y[i] = randomFloat(r, x[i], (first + i) % 2 == 1);
      }
    }
    double a[2][kChunk];
    for (size_t p = 0; p < kernels.size(); p++) {
      const int slot = p == 0 ? 0 : 1;
      kernels[p]->atan2(y, x, (int)n, a[slot]);
      if (p > 0 && std::memcmp(a[0], a[1], sizeof(double) * (size_t)n) != 0) t.pathsDiffer++;
    }
    t.digest += hashDoubles(a[0], (size_t)n, (uint64_t)chunk);
    if (o.digestOnly) {
      t.values += n;
      return;
    }
    for (long i = 0; i < n; i++) {
      const long double reference = atan2l((long double)y[i], (long double)x[i]);
      account(t, a[0][i], reference, std::atan2((double)y[i], (double)x[i]), (double)y[i], (double)x[i]);
    }
  });
  const Tally& total = totals[0];
  std::printf("atan2(y, x) of %zu edge pairs and %ld random pairs of floats, against atan2l\n", edges.size(),
              o.count);
  report("atan2", total, o.digestOnly, names, true);
  return total.keptWrong == 0 && total.pathsDiffer == 0 ? 0 : 1;
}

int usage() {
  std::fprintf(stderr,
               "usage: vocoder_math_check coefficients\n"
               "       vocoder_math_check sincos [--stride N] [--threads T] [--digest-only]\n"
               "       vocoder_math_check atan2 [--count N] [--threads T] [--digest-only]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string mode = argv[1];
  Options o;
  o.threads = (int)std::max(1u, std::thread::hardware_concurrency());
  for (int i = 2; i < argc; i++) {
    const std::string arg = argv[i];
    if (arg == "--digest-only") {
      o.digestOnly = true;
    } else if (i + 1 < argc && (arg == "--stride" || arg == "--count" || arg == "--threads")) {
      const long v = std::atol(argv[++i]);
      if (v < 1) return usage();
      if (arg == "--stride") o.stride = v;
      if (arg == "--count") o.count = v;
      if (arg == "--threads") o.threads = (int)v;
    } else {
      return usage();
    }
  }
  if (mode == "coefficients") return coefficients();
  if (mode == "sincos") return sincos(o);
  if (mode == "atan2") return atan2Sweep(o);
  return usage();
}
