// The phase vocoder: one frame, and a stereo stream of blocks as the engine drives it, each
// against the two transforms per frame that no vocoder can avoid. "x_realtime" is seconds of
// 44.1 kHz audio (per channel) processed per second. The analyser's feed is replaced by a sink
// that does nothing, so that only the vocoder is measured.
#include <benchmark/benchmark.h>

#include <vector>

#include "fft.h"
#include "support/signals.h"
#include "vocoder.h"

namespace {

constexpr double kRate = 44100.0;

constexpr float kLevel = 0.5f;  // amplitude of the test noise, half of full scale

void ignorePush(float*, int, int) {}

void setRealtimeCounter(benchmark::State& state, double samplesPerIteration) {
  state.counters["x_realtime"] = benchmark::Counter(samplesPerIteration * (double)state.iterations() / kRate,
                                                    benchmark::Counter::kIsRate);
}

// Window, forward transform, inverse transform: the floor under one frame.
void transformFrame(float* buffer, const float* input, int n) {
  for (int i = 0; i < n; i++) {
    buffer[2 * i] = input[i] * 0.5f;
    buffer[2 * i + 1] = 0.0f;
  }
  fft_process(buffer, kFftForward, 0);
  fft_process(buffer, kFftInverse, 0);
}

// Args: frame size, analysis hop.
void BaselineVocoderFrameTransforms(benchmark::State& state) {
  const int n = (int)state.range(0);
  fft_init(n);
  const std::vector<float> input = noise(n, 1, kLevel);
  std::vector<float> buffer(2 * n);
  for (auto _ : state) {
    transformFrame(buffer.data(), input.data(), n);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  setRealtimeCounter(state, (double)state.range(1));
}

void VocoderFrame(benchmark::State& state) {
  const int n = (int)state.range(0);
  const int step = (int)state.range(1);
  vocoder_init(n, step);
  vocoder_set_push_sink(ignorePush);
  const std::vector<float> input = noise(64 * (size_t)step, 2, kLevel);
  std::vector<float> out(step);
  size_t pos = 0;  // the queue starts a hop short of a frame: every hop completes one frame
  for (auto _ : state) {
    vocoder_process(const_cast<float*>(input.data()) + pos, step, out.data(), step, 0);
    pos = (pos + step) % input.size();
    benchmark::DoNotOptimize(out.data());
  }
  vocoder_set_push_sink(nullptr);
  setRealtimeCounter(state, step);
}

// Args: frame size, oversampling, synthesis hop; blocks of 2048 stereo frames.
constexpr int kBlock = 2048;

void BaselineVocoderStreamTransforms(benchmark::State& state) {
  const int n = (int)state.range(0);
  const int framesPerBlock = kBlock / (n / (int)state.range(1));
  fft_init(n);
  const std::vector<float> input = noise(n, 3, kLevel);
  std::vector<float> buffer(2 * n);
  for (auto _ : state) {
    for (int k = 0; k < 2 * framesPerBlock; k++) transformFrame(buffer.data(), input.data(), n);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  setRealtimeCounter(state, kBlock);
}

void VocoderStream(benchmark::State& state) {
  const int n = (int)state.range(0);
  const int step = n / (int)state.range(1);
  const int stepOut = (int)state.range(2);
  vocoder_init(n, step);
  vocoder_set_push_sink(ignorePush);
  const std::vector<float> left = noise(32 * kBlock, 4, kLevel);
  const std::vector<float> right = noise(32 * kBlock, 5, kLevel);
  std::vector<float> outLeft((size_t)(kBlock / step + 1) * stepOut);
  std::vector<float> outRight(outLeft.size());
  size_t pos = 0;
  for (auto _ : state) {
    vocoder_process(const_cast<float*>(left.data()) + pos, kBlock, outLeft.data(), stepOut, 0);
    vocoder_process(const_cast<float*>(right.data()) + pos, kBlock, outRight.data(), stepOut, 1);
    pos = (pos + kBlock) % left.size();
    benchmark::DoNotOptimize(outLeft.data());
    benchmark::DoNotOptimize(outRight.data());
  }
  vocoder_set_push_sink(nullptr);
  setRealtimeCounter(state, kBlock);
}

BENCHMARK(BaselineVocoderFrameTransforms)->Args({2048, 512});
BENCHMARK(VocoderFrame)->Args({2048, 512});
// Stretch 1.25: hop 512 in, 640 out.
BENCHMARK(BaselineVocoderStreamTransforms)->Args({2048, 4, 640});
BENCHMARK(VocoderStream)->Args({2048, 4, 640});

}  // namespace
