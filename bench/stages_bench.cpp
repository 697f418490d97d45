// Each stage of the engine's work on one channel's frame, against the floor of that frame
// (floor.h) in the same run, so that "StageX/2048 ... x baseline" reads as the share of the
// floor's frame that stage X takes: frame 2048, hop 512 in and 640 out (speed 0.8), on the tests'
// song. StageX runs on the path this CPU gets, StageXPortable on the plain C++ code.
// StageAnalyser is one analysis of the spectrum analyser, which runs once every 1378 output
// samples of a channel pair at 44.1 kHz: about once per 2.2 frames of each channel here.
#include <benchmark/benchmark.h>

#include <vector>

#include "fft.h"
#include "floor.h"
#include "simd.h"
#include "spectrum.h"
#include "support/music.h"
#include "vocoder.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrame = 2048;
constexpr int kStepIn = 512;
constexpr int kStepOut = 640;

// The song's left channel as floats, long enough for a few seconds.
const std::vector<float>& songLeft() {
  static std::vector<float> left;
  if (left.empty()) {
    const std::vector<jshort> s = music::song(4 * kRate, 2, kRate);
    for (size_t i = 0; i < s.size(); i += 2) left.push_back((float)s[i] * kPcmScale);
  }
  return left;
}

void ignorePush(float*, int, int) {}

void BaselineFloorFrame(benchmark::State& state) {
  FloorVocoder floor(kFrame, kStepIn, kStepOut);
  const std::vector<float>& x = songLeft();
  std::vector<float> out(kStepOut);
  size_t pos = 0;
  for (auto _ : state) {
    floor.frame(x.data() + pos, out.data());
    pos = (pos + kStepIn) % (x.size() - kFrame);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BaselineFloorFrame)->Arg(kFrame);

// Sets the vocoder up on `path` and runs two seconds of the song through channel 0, so that its
// buffers hold a real frame's spectrum, phases and peaks.
void primeVocoder(SimdPath path) {
  simd_force_path(path);
  vocoder_init(kFrame, kStepIn);
  simd_release_path();
  vocoder_set_push_sink(ignorePush);
  std::vector<float> x(songLeft().begin(), songLeft().begin() + 2 * kRate);
  std::vector<float> out((size_t)(2 * kRate / kStepIn + 1) * kStepOut);
  vocoder_process(x.data(), (int)x.size(), out.data(), kStepOut, 0);
  vocoder_set_push_sink(nullptr);
}

void transform(benchmark::State& state, SimdPath path) {
  primeVocoder(path);
  std::vector<float> buffer(2 * kFrame);
  const std::vector<float>& x = songLeft();
  for (int i = 0; i < kFrame; i++) buffer[(size_t)(2 * i)] = x[(size_t)i];
  for (auto _ : state) {
    fft_process(buffer.data(), kFftForward, 0);
    fft_process(buffer.data(), kFftInverse, 0);
    for (float& v : buffer) v *= 1.0f / kFrame;  // keep the values from growing
    benchmark::DoNotOptimize(buffer.data());
  }
}

void step(benchmark::State& state, SimdPath path, VocoderStep which) {
  primeVocoder(path);
  for (auto _ : state) {
    vocoder_run_step(which, 0);
    benchmark::ClobberMemory();
  }
}

void analyser(benchmark::State& state, SimdPath path) {
  simd_force_path(path);
  spectrum_enabled = 1;
  spectrum_init(kRate, 1);
  simd_release_path();
  const int interval = spectrum_analysis_interval();
  std::vector<float> hop(songLeft().begin(), songLeft().begin() + interval);
  for (int k = 0; k < 16; k++) spectrum_push(hop.data(), interval, 0);  // fill the window
  for (auto _ : state) {
    spectrum_push(hop.data(), interval, 0);  // exactly one analysis
    benchmark::ClobberMemory();
  }
}

// StageX/2048 on the best path and StageXPortable/2048 on the plain code.
template <class F>
void registerStage(const char* name, F f) {
  const std::string best = std::string("Stage") + name;
  benchmark::RegisterBenchmark(best.c_str(), [f](benchmark::State& s) { f(s, simd_path()); })->Arg(kFrame);
  benchmark::RegisterBenchmark((best + "Portable").c_str(), [f](benchmark::State& s) {
    f(s, SimdPath::kPortable);
  })->Arg(kFrame);
}

const bool registered = [] {
  registerStage("Transform", transform);
  registerStage("MagnitudesPhases",
                [](benchmark::State& s, SimdPath p) { step(s, p, VocoderStep::kMagnitudesPhases); });
  registerStage("PhaseLocking",
                [](benchmark::State& s, SimdPath p) { step(s, p, VocoderStep::kPhaseLocking); });
  registerStage("Resynthesis",
                [](benchmark::State& s, SimdPath p) { step(s, p, VocoderStep::kResynthesis); });
  registerStage("Analyser", analyser);
  return true;
}();

}  // namespace
