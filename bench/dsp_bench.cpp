// The whole engine on the tests' song: 44.1 kHz, frame 2048, oversampling 4, speed 0.8 (2048
// frames in, 2560 out per block), spectrum on. Reported as x realtime (seconds of input audio
// per second of processing) and as a ratio to a baseline that only converts the block to float
// and back.
#include <benchmark/benchmark.h>

#include <vector>

#include "dsp_internal.h"
#include "spectrum.h"
#include "support/music.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlockIn = 2048;
constexpr int kBlockOut = 2560;
constexpr int kBlocks = 64;  // distinct blocks cycled through, about 3 s of music

// kBlocks blocks of the tests' song, each with room for the stretched output.
std::vector<std::vector<jshort>> songBlocks(int channels) {
  const std::vector<jshort> song = music::song((long)kBlocks * kBlockIn, channels, kRate);
  std::vector<std::vector<jshort>> blocks(kBlocks);
  for (int b = 0; b < kBlocks; b++) {
    const auto first = song.begin() + (long)b * kBlockIn * channels;
    blocks[b].assign(first, first + (long)kBlockIn * channels);
    blocks[b].resize((size_t)channels * kBlockOut);
  }
  return blocks;
}

void rateCounter(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter((double)state.iterations() * kBlockIn / kRate, benchmark::Counter::kIsRate);
}

// Baseline/<channels>: 16-bit to float and back over one block, the least an engine must do.
void BaselineBlockConvert(benchmark::State& state) {
  const int channels = (int)state.range(0);
  auto blocks = songBlocks(channels);
  std::vector<float> f((size_t)channels * kBlockOut);
  int b = 0;
  for (auto _ : state) {
    std::vector<jshort>& block = blocks[b++ % kBlocks];
    for (size_t i = 0; i < block.size(); i++) f[i] = (float)block[i] * kPcmScale;
    for (size_t i = 0; i < block.size(); i++) block[i] = (jshort)(f[i] * 32767.0f);
    benchmark::DoNotOptimize(block.data());
  }
  rateCounter(state);
}

void EngineBlock(benchmark::State& state) {
  const int channels = (int)state.range(0);
  spectrum_enabled = 1;
  dsp_init(2048, 4, kRate, channels);
  // Blocks are processed in place, so later passes feed the engine its own earlier output:
  // still music-like, and no copy is timed.
  auto blocks = songBlocks(channels);
  int b = 0;
  for (auto _ : state) {
    std::vector<jshort>& block = blocks[b++ % kBlocks];
    dsp_process(block.data(), (long)block.size(), kBlockIn, kBlockOut);
    benchmark::DoNotOptimize(block.data());
  }
  rateCounter(state);
}

BENCHMARK(BaselineBlockConvert)->Arg(1)->Arg(2);
BENCHMARK(EngineBlock)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
