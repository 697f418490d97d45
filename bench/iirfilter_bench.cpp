// One filter step through the shared filters, hand-over flags included, against the same
// difference equation on a private filter with no flags at all.
#include <benchmark/benchmark.h>

#include <vector>

#include "iirfilter.h"

namespace {

// Stable coefficients of the given order: the feedback gains sum to well under 1.
void coefficients(int order, std::vector<double>& a, std::vector<double>& b) {
  a.assign(order + 1, 0.0);
  b.assign(order + 1, 0.0);
  a[0] = 1.0;
  for (int j = 0; j <= order; j++) b[j] = 1.0 / (j + 1);
  for (int j = 1; j <= order; j++) a[j] = 0.01 / j;
}

// Baseline: direct form I over private rings, the arithmetic alone.
void BaselineDirectFormI(benchmark::State& state) {
  const int order = (int)state.range(0);
  std::vector<double> a, b;
  coefficients(order, a, b);
  std::vector<double> xs(order + 1, 0.0), ys(order + 1, 0.0);
  int pos = 0;
  double x = 1.0;
  for (auto _ : state) {
    double acc = x * b[0];
    int k = pos;
    for (int j = 1; j <= order; j++) {
      k = k == 0 ? order - 1 : k - 1;
      acc += b[j] * xs[k];
    }
    k = pos;
    for (int j = 1; j <= order; j++) {
      k = k == 0 ? order - 1 : k - 1;
      acc -= a[j] * ys[k];
    }
    if (order > 0) {
      xs[pos] = x;
      ys[pos] = acc;
      pos = pos + 1 == order ? 0 : pos + 1;
    }
    benchmark::DoNotOptimize(acc);
    x = -x;
  }
}

void IirStep(benchmark::State& state) {
  const int order = (int)state.range(0);
  std::vector<double> a, b;
  coefficients(order, a, b);
  iir_init_filters(a.data(), b.data(), order + 1, order + 1);
  double x = 1.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(iir_step(0, x));
    x = -x;
  }
}

BENCHMARK(BaselineDirectFormI)->Arg(0)->Arg(2)->Arg(8)->Arg(32);
BENCHMARK(IirStep)->Arg(0)->Arg(2)->Arg(8)->Arg(32);

}  // namespace
