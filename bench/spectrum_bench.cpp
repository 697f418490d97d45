// One analysis of the spectrum analyser (72 bands over a 4096-sample window) against a plain pass
// of the same number of multiply-adds as one band's resonator.
#include <benchmark/benchmark.h>

#include <vector>

#include "spectrum.h"
#include "support/signals.h"

namespace {

constexpr int kRate = 44100;

std::vector<float> signal(int n) { return noise(n, (unsigned)n); }

// Baseline: 2 x 4096 single-precision multiply-adds over two coefficient rows, what one band
// of an analysis costs at the least; an analysis is 72 of these plus the window.
void BaselineWindowPass(benchmark::State& state) {
  std::vector<float> buffer = signal(kSpectrumWindow), rowA = signal(kSpectrumWindow + 3),
                     rowB = signal(kSpectrumWindow + 5);
  for (auto _ : state) {
    float a = 0.0f, b = 0.0f;
    for (int p = 0; p < kSpectrumWindow; p++) {
      a += buffer[p] * rowA[p];
      b += buffer[p] * rowB[p];
    }
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::ClobberMemory();
  }
}

// Each iteration pushes exactly one analysis interval of mono output, so it runs exactly one
// analysis (whatever the carried count, it stays below the interval between iterations).
void SpectrumAnalysis(benchmark::State& state) {
  spectrum_enabled.store(1);
  spectrum_init(kRate, 1);
  const int interval = spectrum_analysis_interval();
  std::vector<float> hop = signal(interval);
  for (int k = 0; k < 16; k++) spectrum_push(hop.data(), interval, 0);  // fill the window
  for (auto _ : state) {
    spectrum_push(hop.data(), interval, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BaselineWindowPass);
BENCHMARK(SpectrumAnalysis);

}  // namespace
