// The whole engine as an application runs it: the tests' song, stereo or mono, 44.1 kHz, frame
// 2048, oversampling 4, speed 0.8 (blocks of 2048 frames in, 2560 out), with the equaliser,
// voice removal (stereo) and the spectrum analyser on. Reported as x realtime (seconds of input
// audio per second of processing), as the worst block's share of its real-time budget (2048
// frames, 46.4 ms; the first block, which obtains the buffers, is not timed), and as a ratio
// to the floor of the same blocks (floor.h), whose time the engine should not exceed 0.35 of.
// EnginePortable is the same engine on its plain C++ path, for comparison; EngineStereoLink the
// stereo engine with the stereo link switched on and off.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "dsp_internal.h"
#include "eq.h"
#include "floor.h"
#include "iirfilter.h"
#include "simd.h"
#include "spectrum.h"
#include "support/music.h"
#include "velmora_chordsmith_NativeInterface.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrame = 2048;
constexpr int kOverSampling = 4;
constexpr int kBlockIn = 2048;
constexpr int kBlockOut = 2560;
constexpr int kSongBlocks = 1292;  // 60 s

// The song, made once per channel count.
const std::vector<jshort>& song(int channels) {
  static std::vector<jshort> songs[3];
  if (songs[channels].empty()) songs[channels] = music::song((long)kSongBlocks * kBlockIn, channels, kRate);
  return songs[channels];
}

// Copies block b of the song into `block`, sized for the stretched output.
void nextBlock(int channels, long b, std::vector<jshort>& block) {
  const std::vector<jshort>& s = song(channels);
  block.assign((size_t)channels * kBlockOut, 0);
  std::memcpy(block.data(), s.data() + (b % kSongBlocks) * kBlockIn * channels,
              sizeof(jshort) * (size_t)kBlockIn * channels);
}

void rateCounter(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter((double)state.iterations() * kBlockIn / kRate, benchmark::Counter::kIsRate);
}

// Every feature on, as a practice app with voice removal, an equaliser curve and the spectrum.
void everyFeature(int channels) {
  spectrum_enabled = 1;
  dsp_init(kFrame, kOverSampling, kRate, channels);
  std::vector<double> a = {1.0, -2.9171, 3.2312, -1.6321, 0.3183};
  std::vector<double> b = {0.2045, 0.0, -0.4090, 0.0, 0.2045};
  iir_init_filters(a.data(), b.data(), 5, 5);
  std::vector<float> gains(kFrame / 2);
  for (int i = 0; i < kFrame / 2; i++) gains[(size_t)i] = 0.5f + (float)(i % 37) / 36.0f;
  eq_setbands(gains.data());
  eq_enable(1);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(nullptr, nullptr, 1);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(nullptr, nullptr, 0.8f);
  Java_velmora_chordsmith_NativeInterface_dspStereoLink(nullptr, nullptr, 0);
}

// Baseline/<channels>: the floor's frames over the same blocks, 16-bit in and out.
void BaselineFloor(benchmark::State& state) {
  const int channels = (int)state.range(0);
  const int stepIn = kFrame / kOverSampling;
  const int stepOut = stepIn * kBlockOut / kBlockIn;
  std::vector<std::unique_ptr<FloorVocoder>> vocoders;
  std::vector<std::vector<float>> frames(channels, std::vector<float>(kFrame, 0.0f));
  std::vector<std::vector<float>> outputs(channels, std::vector<float>(kBlockOut));
  for (int c = 0; c < channels; c++)
    vocoders.push_back(std::make_unique<FloorVocoder>(kFrame, stepIn, stepOut));
  std::vector<jshort> block;
  nextBlock(channels, 0, block);  // makes the song before the clock runs
  long b = 0;
  for (auto _ : state) {
    nextBlock(channels, b++, block);
    for (int c = 0; c < channels; c++) {
      std::vector<float>& frame = frames[c];
      for (int hop = 0; hop < kBlockIn / stepIn; hop++) {
        std::memmove(frame.data(), frame.data() + stepIn, sizeof(float) * (size_t)(kFrame - stepIn));
        for (int i = 0; i < stepIn; i++) {
          frame[(size_t)(kFrame - stepIn + i)] =
              (float)block[(size_t)((hop * stepIn + i) * channels + c)] * kPcmScale;
        }
        vocoders[c]->frame(frame.data(), outputs[c].data() + hop * stepOut);
      }
    }
    for (int i = 0; i < kBlockOut; i++) {
      for (int c = 0; c < channels; c++) {
        const float v = std::clamp(outputs[c][(size_t)i], -1.0f, 1.0f);
        block[(size_t)(i * channels + c)] = (jshort)(v * 32767.0f);
      }
    }
    benchmark::DoNotOptimize(block.data());
  }
  rateCounter(state);
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

void runEngine(benchmark::State& state, int channels) {
  everyFeature(channels);
  std::vector<jshort> block;
  nextBlock(channels, 0, block);
  dsp_process(block.data(), (long)block.size(), kBlockIn, kBlockOut);  // obtains the buffers
  // The worst block twice: in wall-clock time, which includes whatever else the machine did
  // meanwhile (another process taking the core), and in this thread's CPU time, which is the
  // engine's own work and what a real-time audio thread at high priority would see.
  // Each block of the song also keeps its least CPU time over the passes through the song: a
  // block's own cost, without the rare interruptions that other work on the machine (another
  // virtual machine's, too) adds to single measurements.
  double worst = 0.0, worstCpu = 0.0;
  std::vector<double> leastCpu(kSongBlocks, 1e9);
  long b = 1;
  for (auto _ : state) {
    nextBlock(channels, b, block);
    const double cpuStart = threadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    dsp_process(block.data(), (long)block.size(), kBlockIn, kBlockOut);
    worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const double cpu = threadCpuSeconds() - cpuStart;
    worstCpu = std::max(worstCpu, cpu);
    double& least = leastCpu[(size_t)(b % kSongBlocks)];
    least = std::min(least, cpu);
    b++;
    benchmark::DoNotOptimize(block.data());
  }
  rateCounter(state);
  const double budget = (double)kBlockIn / kRate;
  state.counters["worst_block_of_budget"] = worst / budget;
  state.counters["worst_block_cpu_of_budget"] = worstCpu / budget;
  // Only once every block has been played at least twice (--benchmark_min_time=3 or more).
  if (b > 2 * kSongBlocks) {
    state.counters["worst_block_least_cpu_of_budget"] =
        *std::max_element(leastCpu.begin(), leastCpu.end()) / budget;
  }
}

void EngineBlock(benchmark::State& state) { runEngine(state, (int)state.range(0)); }

void EnginePortable(benchmark::State& state) {
  simd_force_path(SimdPath::kPortable);
  runEngine(state, (int)state.range(0));
  simd_release_path();
}

// The stereo link's cost: the stereo engine of EngineBlock/2 with its blocks alternately
// unlinked and linked, eight at a time (each switch restarts the phases, as in an app), every
// block timed. "link_on_over_off" is the mean time of a linked block over that of an unlinked
// one; measured side by side, the two share whatever load the machine has.
void EngineStereoLink(benchmark::State& state) {
  everyFeature(2);
  std::vector<jshort> block;
  nextBlock(2, 0, block);
  dsp_process(block.data(), (long)block.size(), kBlockIn, kBlockOut);  // obtains the buffers
  double seconds[2] = {0.0, 0.0};
  long blocks[2] = {0, 0};
  long b = 1;
  for (auto _ : state) {
    const int link = (int)((b / 8) % 2);
    Java_velmora_chordsmith_NativeInterface_dspStereoLink(nullptr, nullptr, link);
    nextBlock(2, b++, block);
    const auto start = std::chrono::steady_clock::now();
    dsp_process(block.data(), (long)block.size(), kBlockIn, kBlockOut);
    seconds[link] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    blocks[link]++;
    benchmark::DoNotOptimize(block.data());
  }
  Java_velmora_chordsmith_NativeInterface_dspStereoLink(nullptr, nullptr, 0);
  rateCounter(state);
  if (blocks[0] > 0 && blocks[1] > 0)
    state.counters["link_on_over_off"] = (seconds[1] / (double)blocks[1]) / (seconds[0] / (double)blocks[0]);
}

BENCHMARK(BaselineFloor)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(EngineBlock)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(EnginePortable)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(EngineStereoLink)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
