// The transform, forward plus inverse, against a plain pass over the same buffer.
#include <benchmark/benchmark.h>

#include <vector>

#include "fft.h"
#include "support/signals.h"

namespace {

std::vector<float> frame(int n) { return noise(2 * n, 1); }

// Baseline: one scaling pass over the 2N floats, the cheapest thing a frame can cost.
void BaselineFramePass(benchmark::State& state) {
  const int n = (int)state.range(0);
  std::vector<float> x = frame(n);
  for (auto _ : state) {
    for (float& v : x) v *= 0.999f;
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
}

void FftForwardInverse(benchmark::State& state) {
  const int n = (int)state.range(0);
  fft_init(n);
  std::vector<float> x = frame(n);
  const float scale = 1.0f / (float)n;
  for (auto _ : state) {
    fft_process(x.data(), kFftForward, 0);
    fft_process(x.data(), kFftInverse, 0);
    for (float& v : x) v *= scale;  // keep the values bounded across iterations
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * 2);
}

BENCHMARK(BaselineFramePass)->RangeMultiplier(2)->Range(256, 4096);
BENCHMARK(FftForwardInverse)->RangeMultiplier(2)->Range(256, 4096);

}  // namespace
