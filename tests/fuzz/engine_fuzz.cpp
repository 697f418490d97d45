// libFuzzer target for the whole interface: every native method through the fake JNIEnv (exact
// size element copies, fetches that fail, null arrays) and every exported module function called
// directly, in any order, with arbitrary arguments and allocations that fail.
//
// One input is one session: a set-up from a known state, up to kMaxCalls calls chosen by the
// input, and, when the input asks for it, a recovery in which every setting is made sane again
// and a loud tone must come out. The sanitizers catch any access outside a buffer; the checks
// below catch what they cannot see:
// - no output sample is -32768, and elements past a block's output keep their values;
// - every element a native method obtained is released;
// - an invalid set-up changes nothing;
// - the peak meter is never NaN or negative;
// - after NaN, infinities or extreme settings are replaced by sane ones, a loud tone comes out
//   within a few blocks, and the meter and the spectrum are finite and non-negative.
// A broken check aborts, so that libFuzzer keeps the input that broke it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "common.h"
#include "eq.h"
#include "fft.h"
#include "iirfilter.h"
#include "spectrum.h"
#include "support/engine.h"
#include "support/fake_jni.h"
#include "vocoder.h"

namespace {

constexpr int kMaxCalls = 96;
constexpr int kMaxBlock = 3000;  // frames per fuzzed block, so that a session stays fast

#define CHECK(cond)                                                                   \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

// Allocations succeed while the budget lasts; a negative budget never fails.
long allocationBudget = -1;
void* budgetedAlloc(std::size_t bytes) {
  if (allocationBudget == 0) return nullptr;
  if (allocationBudget > 0) allocationBudget--;
  return std::malloc(bytes);
}

// A surplus in the analyser's count (built by hops longer than its interval, or by one huge
// push) makes it analyse at every hop until the surplus drains, one interval per hop: a session
// of short hops would spend minutes on it. At a rate of INT_MAX the interval is 67 million, so
// an empty window drains any count in a few dozen analyses; then the rate is set back.
void drainAnalyser(int rate, int channels) {
  if (spectrum_pending_samples() < 100000) return;
  static const std::vector<float> zeros(16384, 0.0f);
  const int enabled = spectrum_enabled.load();
  spectrum_enabled = 1;
  spectrum_init(std::numeric_limits<int>::max(), channels);
  while (spectrum_pending_samples() > 0) {
    const int missing = spectrum_analysis_interval() - spectrum_pending_samples();
    spectrum_push(const_cast<float*>(zeros.data()), missing > 0 ? missing : 0, 1);
  }
  spectrum_init(rate, channels);
  spectrum_enabled = enabled;
}

// What the engine was last set up with through dspInit.
struct Geometry {
  int frame = 0, over = 1, rate = 44100, channels = 2;
  bool valid() const { return fft_size_supported(frame) && over >= 1 && over <= frame; }
};

// Everything an invalid set-up must leave as it was.
struct Snapshot {
  VocoderState vocoder;
  int fftSize, fftSwaps, eqBands, spectrumInterval;
  iirFilter left, right;
  static Snapshot take() {
    const FftTables t = fft_tables();
    return {vocoder_state(), fft_size(), t.bitSwapLen, eq_band_count(), spectrum_analysis_interval(),
            iirLeft,         iirRight};
  }
  bool operator==(const Snapshot& o) const {
    const VocoderState &v = vocoder, &w = o.vocoder;  // field by field: the struct has padding
    return v.initialized == w.initialized && v.winSize == w.winSize && v.stepIn == w.stepIn &&
           v.inIndexes[0] == w.inIndexes[0] && v.inIndexes[1] == w.inIndexes[1] && v.psis[0] == w.psis[0] &&
           fftSize == o.fftSize && fftSwaps == o.fftSwaps && eqBands == o.eqBands &&
           spectrumInterval == o.spectrumInterval && std::memcmp(&left, &o.left, sizeof left) == 0 &&
           std::memcmp(&right, &o.right, sizeof right) == 0;
  }
};

float anyFloat(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return NAN;
    case 1:
      return in.ConsumeBool() ? INFINITY : -INFINITY;
    case 2:
      return in.ConsumeBool() ? 3.4028235e38f : -3.4028235e38f;
    case 3:
      return 1e-42f;
    case 4: {
      const uint32_t bits = in.ConsumeIntegral<uint32_t>();
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    default:
      return in.ConsumeFloatingPointInRange(-4.0f, 4.0f);
  }
}

int anyCount(FuzzedDataProvider& in, int usual) {
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0:
      return in.ConsumeIntegral<int>();
    case 1:
      return -in.ConsumeIntegralInRange(0, 8);
    default:
      return in.ConsumeIntegralInRange(0, usual);
  }
}

class Session {
 public:
  explicit Session(FuzzedDataProvider& in) : in_(in) {}

  void run() {
    begin();
    const int calls = in_.ConsumeIntegralInRange(1, kMaxCalls);
    for (int i = 0; i < calls && in_.remaining_bytes() > 0; i++) call();
    const bool recover = in_.ConsumeBool();
    allocationBudget = -1;
    cs_set_allocator(nullptr);
    jni_.failElements = false;
    if (recover) recovery();
  }

 private:
  // A known state to start from, whatever earlier sessions left in the process-wide engine.
  void begin() {
    allocationBudget = -1;
    cs_set_allocator(&budgetedAlloc);
    JNIEnv* env = jni_.env();
    Java_velmora_chordsmith_NativeInterface_dspSetPreamp(env, nullptr, 1.0f);
    Java_velmora_chordsmith_NativeInterface_dspPanning(env, nullptr, 0, 0, 50);
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr, 0);
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr, 0.0f);
    Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(env, nullptr, 1);
    Java_velmora_chordsmith_NativeInterface_dspStereoLink(env, nullptr, 0);
    eq_enable(0);
    double one = 1.0;
    iir_init_filters(&one, &one, 1, 1);
    static const int kRates[] = {8000, 16000, 22050, 44100, 48000, 96000};
    geometry_.frame = 1 << in_.ConsumeIntegralInRange(0, 12);
    geometry_.over = 1 << in_.ConsumeIntegralInRange(0, 5);
    if (geometry_.over > geometry_.frame) geometry_.over = geometry_.frame;
    geometry_.rate = kRates[in_.ConsumeIntegralInRange(0, 5)];
    geometry_.channels = in_.ConsumeIntegralInRange(1, 3);
    CHECK(dsp_init(geometry_.frame, geometry_.over, geometry_.rate, geometry_.channels));
    drainAnalyser(geometry_.rate, geometry_.channels);
    consistent_ = true;
  }

  void call() {
    JNIEnv* env = jni_.env();
    jni_.failElements = in_.ConsumeIntegralInRange(0, 15) == 0;
    switch (in_.ConsumeIntegralInRange(0, 19)) {
      case 0:
        setUp();
        break;
      case 1:
      case 2:
      case 3:
        block();
        break;
      case 4:
        Java_velmora_chordsmith_NativeInterface_dspSetPreamp(env, nullptr, anyFloat(in_));
        break;
      case 5:
        Java_velmora_chordsmith_NativeInterface_dspPanning(
            env, nullptr, in_.ConsumeIntegral<int>() % 2, in_.ConsumeIntegral<int>() % 2, anyCount(in_, 100));
        break;
      case 6:
        Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr,
                                                                      in_.ConsumeIntegral<int>());
        Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr, anyFloat(in_));
        break;
      case 7:
        equaliserBands();
        break;
      case 8:
        Java_velmora_chordsmith_NativeInterface_dspEQEnable(env, nullptr, in_.ConsumeIntegral<int>());
        break;
      case 9:
        voiceFilter();
        break;
      case 10:
        Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(env, nullptr,
                                                                  in_.ConsumeIntegralInRange(-1, 2));
        break;
      case 11:
        readSpectrum();
        break;
      case 12:
        vocoderDirect();
        break;
      case 13:
        fftDirect();
        break;
      case 14:
        equaliserDirect();
        break;
      case 15:
        filterDirect();
        break;
      case 16:
        spectrumDirect();
        break;
      case 17:  // the next allocations succeed while the budget lasts
        allocationBudget = in_.ConsumeIntegralInRange(-1, 40);
        break;
      case 18:
        Java_velmora_chordsmith_NativeInterface_dspStereoLink(env, nullptr,
                                                              in_.ConsumeIntegralInRange(-1, 2));
        break;
      default:
        break;
    }
    CHECK(jni_.outstanding() == 0);
    const float peak = Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(env, nullptr);
    CHECK(!std::isnan(peak) && peak >= 0.0f);
  }

  void setUp() {
    Geometry g;
    g.frame = in_.ConsumeBool() ? 1 << in_.ConsumeIntegralInRange(0, 13) : anyCount(in_, 5000);
    g.over = anyCount(in_, 64);
    g.rate = in_.ConsumeBool() ? 44100 : in_.ConsumeIntegral<int>();
    g.channels = in_.ConsumeIntegralInRange(-1, 3);
    const Snapshot before = Snapshot::take();
    Java_velmora_chordsmith_NativeInterface_dspInit(jni_.env(), nullptr, g.frame, g.over, g.rate, g.channels);
    if (!g.valid()) {
      CHECK(Snapshot::take() == before);
      return;
    }
    geometry_ = g;
    consistent_ = true;
  }

  // One block through the JNI method: the array may be shorter or longer than the counts say,
  // null, or unobtainable.
  void block() {
    const int frames = in_.ConsumeIntegralInRange(0, kMaxBlock);
    const bool mono = geometry_.channels == 1;
    size_t length = (size_t)frames * (mono ? 1 : 2) + in_.ConsumeIntegralInRange(0, 1);
    std::vector<jshort> samples(length);
    const int period = in_.ConsumeIntegralInRange(2, 400);
    const int amplitude = in_.ConsumeIntegralInRange(0, 32767);
    for (size_t i = 0; i < length; i++) {
      const int v = in_.ConsumeBool() ? in_.ConsumeIntegral<int16_t>()
                                      : (int)(i % period) * 2 * amplitude / period - amplitude;
      samples[i] = (jshort)(v == -32768 ? -32767 : v);  // so that any -32768 afterwards is output
    }
    int samplesIn = in_.ConsumeBool() ? frames : anyCount(in_, kMaxBlock);
    int samplesOut = in_.ConsumeBool() ? frames : anyCount(in_, 2 * kMaxBlock);
    const std::vector<jshort> input = samples;
    const bool null = in_.ConsumeIntegralInRange(0, 20) == 0;
    Java_velmora_chordsmith_NativeInterface_dspProcess(
        jni_.env(), nullptr, null ? nullptr : jni_.shorts(samples), samplesIn, samplesOut, anyFloat(in_));
    const long perChannel = mono ? (long)length : (long)length / 2;
    long out = samplesOut < 0 ? 0 : samplesOut;
    if (out > perChannel) out = perChannel;
    const size_t written = (size_t)out * (mono ? 1 : 2);
    for (size_t i = 0; i < length; i++) {
      CHECK(samples[i] != -32768);
      if (i >= written) CHECK(samples[i] == input[i]);
    }
  }

  void equaliserBands() {
    std::vector<jfloat> gains((size_t)in_.ConsumeIntegralInRange(0, 2100), 1.0f);
    for (float& g : gains)
      if (in_.ConsumeIntegralInRange(0, 7) == 0) g = anyFloat(in_);
    const int count = eq_band_count();
    Java_velmora_chordsmith_NativeInterface_dspEQSetBands(
        jni_.env(), nullptr, in_.ConsumeIntegralInRange(0, 20) == 0 ? nullptr : jni_.floats(gains));
    CHECK(eq_band_count() == count);
  }

  void voiceFilter() {
    std::vector<jdouble> a((size_t)in_.ConsumeIntegralInRange(0, 12)),
        b((size_t)in_.ConsumeIntegralInRange(0, 12));
    for (double& v : a)
      v = in_.ConsumeBool() ? (double)anyFloat(in_) : in_.ConsumeFloatingPointInRange(-1.0, 1.0);
    for (double& v : b)
      v = in_.ConsumeBool() ? (double)anyFloat(in_) : in_.ConsumeFloatingPointInRange(-1.0, 1.0);
    if (!a.empty()) a[0] = 1.0;
    const int sizeA = anyCount(in_, 14), sizeB = anyCount(in_, 14);
    const bool nullA = in_.ConsumeIntegralInRange(0, 15) == 0, nullB = in_.ConsumeIntegralInRange(0, 15) == 0;
    const Snapshot before = Snapshot::take();
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(
        jni_.env(), nullptr, nullA ? nullptr : jni_.doubles(a), nullB ? nullptr : jni_.doubles(b), sizeA,
        sizeB);
    const int countA = sizeA < (int)a.size() ? sizeA : (int)a.size();
    const int countB = sizeB < (int)b.size() ? sizeB : (int)b.size();
    if (nullA || nullB || countA < 1 || countB < 1 || jni_.failElements) {
      CHECK(Snapshot::take() == before);
    } else {
      CHECK(iirLeft.n1 == iirRight.n1 && iirLeft.n2 == iirRight.n2);  // both or neither
    }
    CHECK(inFilterSetup.load() == 0);
  }

  void readSpectrum() {
    std::vector<jfloat> values((size_t)in_.ConsumeIntegralInRange(0, 100), -7.0f);
    const int size = anyCount(in_, 100);
    Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(
        jni_.env(), nullptr, in_.ConsumeIntegralInRange(0, 20) == 0 ? nullptr : jni_.floats(values), size);
    int copied = size < 72 ? size : 72;
    if (copied > (int)values.size()) copied = (int)values.size();
    for (int i = copied < 0 ? 0 : copied; i < (int)values.size(); i++) CHECK(values[(size_t)i] == -7.0f);
  }

  // The vocoder on its own, with buffers of exactly the size its geometry needs.
  void vocoderDirect() {
    if (in_.ConsumeBool()) {
      const int n = in_.ConsumeBool() ? 1 << in_.ConsumeIntegralInRange(0, 13) : anyCount(in_, 5000);
      const int step = anyCount(in_, n > 0 ? n : 1);
      const Snapshot before = Snapshot::take();
      vocoder_init(n, step);
      if (!fft_size_supported(n) || step < 1 || step > n) CHECK(Snapshot::take() == before);
      consistent_ = false;
      return;
    }
    const VocoderState st = vocoder_state();
    const int inSize = in_.ConsumeIntegralInRange(-4, 3000);  // the output room grows with it
    int hop = anyCount(in_, 2 * (st.winSize > 0 ? st.winSize : 1));
    const int channel = in_.ConsumeIntegralInRange(-1, 2);
    std::vector<float> input((size_t)(inSize > 0 ? inSize : 0));
    for (float& v : input) v = in_.ConsumeBool() ? anyFloat(in_) : 0.5f;
    long room = 1;
    if (st.initialized && inSize > 0) {
      const long clamped = hop < 0 ? 0 : hop > st.winSize ? st.winSize : hop;
      room = ((long)inSize / st.stepIn + 1) * clamped;
      if (room < 1) room = 1;
    }
    std::vector<float> output((size_t)room);
    vocoder_process(input.empty() ? nullptr : input.data(), inSize, output.data(), hop, channel);
  }

  void fftDirect() {
    if (in_.ConsumeBool()) {
      const int n = in_.ConsumeBool() ? 1 << in_.ConsumeIntegralInRange(0, 13) : anyCount(in_, 5000);
      const Snapshot before = Snapshot::take();
      fft_init(n);
      if (!fft_size_supported(n)) CHECK(Snapshot::take() == before);
      consistent_ = false;
      return;
    }
    std::vector<float> buffer((size_t)(2 * (fft_size() > 0 ? fft_size() : 1)));
    for (float& v : buffer) v = in_.ConsumeBool() ? anyFloat(in_) : 0.25f;
    fft_process(buffer.data(), in_.ConsumeIntegralInRange(-2, 2), in_.ConsumeIntegralInRange(0, 1));
  }

  void equaliserDirect() {
    switch (in_.ConsumeIntegralInRange(0, 2)) {
      case 0:
        eq_init(in_.ConsumeIntegralInRange(-4, 2100));  // a huge count only measures malloc
        break;
      case 1: {
        std::vector<float> gains((size_t)(eq_band_count() > 0 ? eq_band_count() : 1));
        for (float& g : gains) g = in_.ConsumeBool() ? anyFloat(in_) : 1.0f;
        eq_setbands(gains.data());
        break;
      }
      default:
        eq_enable(in_.ConsumeIntegral<int>());
        break;
    }
  }

  void filterDirect() {
    std::vector<double> a((size_t)in_.ConsumeIntegralInRange(1, 8)),
        b((size_t)in_.ConsumeIntegralInRange(1, 8));
    for (double& v : a) v = in_.ConsumeFloatingPointInRange(-1.0, 1.0);
    for (double& v : b)
      v = in_.ConsumeBool() ? (double)anyFloat(in_) : in_.ConsumeFloatingPointInRange(-1.0, 1.0);
    const int sizeA = in_.ConsumeIntegralInRange(-1, (int)a.size()),
              sizeB = in_.ConsumeIntegralInRange(-1, (int)b.size());
    const Snapshot before = Snapshot::take();
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        iir_init();
        break;
      case 1:
        iir_init_filter(in_.ConsumeBool() ? &iirLeft : &iirRight, a.data(), b.data(), sizeA, sizeB);
        break;
      case 2:
        iir_init_filters(a.data(), b.data(), sizeA, sizeB);
        break;
      default: {
        const double y =
            iir_step(in_.ConsumeIntegralInRange(-1, 2), in_.ConsumeFloatingPointInRange(-40000.0, 40000.0));
        (void)y;
        return;
      }
    }
    if (sizeA < 1 || sizeB < 1) CHECK(Snapshot::take() == before);
    CHECK(inFilterSetup.load() == 0);
  }

  void spectrumDirect() {
    switch (in_.ConsumeIntegralInRange(0, 2)) {
      case 0:
        spectrum_init(in_.ConsumeBool() ? 44100 : in_.ConsumeIntegral<int>(),
                      in_.ConsumeIntegralInRange(-1, 3));
        consistent_ = false;
        break;
      case 1: {
        // The analyser reads every 4th sample up to 4096 of them: room for exactly that.
        const int size = anyCount(in_, 20000);
        const int kept = size / 4 < 4096 ? size / 4 : 4096;
        std::vector<float> samples((size_t)(kept > 0 ? 4 * (kept - 1) + 1 : 1));
        for (float& v : samples) v = in_.ConsumeBool() ? anyFloat(in_) : 0.5f;
        spectrum_push(samples.data(), size, in_.ConsumeIntegralInRange(-1, 2));
        break;
      }
      default: {
        CHECK(spectrum_size() == kSpectrumBands);
        const float* values = spectrum_get();
        for (int i = 0; i < kSpectrumBands; i++) (void)cs_load_relaxed(&values[i]);
      }
    }
  }

  // Sane settings again, then a loud tone in the documented use: every block a whole number of
  // analysis hops at speed 1, so that every output sample read is fresh. The tone must come out
  // within a few blocks, and the meter and (once the analyser's window has been refilled) the
  // spectrum must be finite and non-negative.
  void recovery() {
    JNIEnv* env = jni_.env();
    const VocoderState st = vocoder_state();
    Geometry g = geometry_;
    // Module set-ups behind the engine's back, failed allocations, or a geometry whose hop is
    // too short to test quickly: set the engine up again (filter, gains and mixer survive it).
    if (g.frame < 4 || g.frame / g.over < g.frame / 8)
      g = {g.frame < 64 ? 64 : g.frame, 4, g.rate, g.channels};
    if (!consistent_ || !st.initialized || fft_size() != st.winSize || eq_band_count() != g.frame / 2 ||
        g.frame != geometry_.frame || g.over != geometry_.over) {
      CHECK(dsp_init(g.frame, g.over, g.rate, g.channels));
    }
    drainAnalyser(g.rate, g.channels);
    Java_velmora_chordsmith_NativeInterface_dspSetPreamp(env, nullptr,
                                                         in_.ConsumeFloatingPointInRange(0.5f, 2.0f));
    Java_velmora_chordsmith_NativeInterface_dspPanning(env, nullptr, in_.ConsumeBool(), in_.ConsumeBool(),
                                                       in_.ConsumeIntegralInRange(10, 90));
    std::vector<jfloat> ones((size_t)eq_band_count(), 1.0f);
    Java_velmora_chordsmith_NativeInterface_dspEQSetBands(env, nullptr, jni_.floats(ones));
    Java_velmora_chordsmith_NativeInterface_dspEQEnable(env, nullptr, in_.ConsumeBool());
    std::vector<jdouble> a = {1.0, -0.5}, b = {0.5, 0.25};
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(env, nullptr, jni_.doubles(a),
                                                                  jni_.doubles(b), 2, 2);
    const bool removeVoice = in_.ConsumeBool();
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(env, nullptr, removeVoice);
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(env, nullptr, 0.8f);
    Java_velmora_chordsmith_NativeInterface_dspStereoLink(env, nullptr, in_.ConsumeBool());
    const bool spectrum = in_.ConsumeIntegralInRange(0, 3) == 0;
    Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(env, nullptr, spectrum);

    const int stepIn = g.frame / g.over;
    const int hops = (1024 + stepIn - 1) / stepIn;
    const int frames = hops * stepIn;
    const int channels = g.channels == 1 ? 1 : 2;
    const int bin = g.frame >= 8 ? g.frame / 8 : 1;  // a tone on a bin the vocoder resynthesises
    const int interval = spectrum_analysis_interval();
    const bool checkSpectrum = spectrum && interval > 0 && interval <= 4096;
    // Two frames' worth flushes the queues; the tone must be out in the blocks after them.
    const long flushed = 2L * g.frame;
    const long needed = flushed + 2L * frames + (checkSpectrum ? 16384 + 2L * interval : 0);
    float loudest = 0.0f;
    long played = 0;
    while (played < needed) {
      std::vector<jshort> samples((size_t)frames * channels);
      for (int i = 0; i < frames; i++) {
        const double v = 20000.0 * std::sin(2.0 * M_PI * bin * (double)(played + i) / g.frame);
        samples[(size_t)i * channels] = (jshort)v;
        if (channels == 2) samples[(size_t)i * 2 + 1] = (jshort)(v * 0.25);
      }
      Java_velmora_chordsmith_NativeInterface_dspProcess(env, nullptr, jni_.shorts(samples), frames, frames,
                                                         0.0f);
      const float peak = Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(env, nullptr);
      CHECK(std::isfinite(peak) && peak >= 0.0f);
      if (played >= flushed) loudest = peak > loudest ? peak : loudest;
      played += frames;
    }
    CHECK(loudest > 0.01f);
    if (checkSpectrum) {
      std::vector<jfloat> values(72);
      Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(env, nullptr, jni_.floats(values), 72);
      for (float v : values) CHECK(std::isfinite(v) && v >= 0.0f);
    }
    CHECK(jni_.outstanding() == 0);
  }

  FuzzedDataProvider& in_;
  FakeJni jni_;
  Geometry geometry_;
  bool consistent_ = true;  // no module set up behind the engine's back since its set-up
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Session(in).run();
  return 0;
}
