#include "spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "simd.h"
#include "support/fake_jni.h"
#include "support/signals.h"
#include "velmora_chordsmith_NativeInterface.h"

namespace {

constexpr int kW = kSpectrumWindow;
constexpr int kB = kSpectrumBands;

uint32_t bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

std::vector<float> window() {
  return std::vector<float>(spectrum_window_samples(), spectrum_window_samples() + kW);
}

std::vector<float> levels() {
  std::vector<float> v(kB);
  spectrum_copy_values(v.data(), kB);
  return v;
}

// Sets the analyser up with the count since the last analysis brought back to 0 (the count
// survives set-up, and the tests share the module's state).
void startFresh(int rate, int channels) {
  spectrum_enabled.store(1);
  spectrum_init(44100, 1);
  const int interval = spectrum_analysis_interval();
  std::vector<float> silence(interval);
  while (spectrum_pending_samples() != 0) {
    const int pending = spectrum_pending_samples();
    spectrum_push(silence.data(), pending < interval ? interval - pending : 0, 0);
  }
  spectrum_init(rate, channels);
}

// The analyser written out plainly from its definition: two 72 x 4096 tables, the window moved
// element by element, every sum in ascending order. The module must agree with it to the bit.
struct Reference {
  int rate, channels, interval, count = 0;
  std::vector<float> win = std::vector<float>(kW, 0.0f);
  std::vector<float> values = std::vector<float>(kB, 0.0f);
  std::vector<std::vector<float>> cosT, sinT;

  Reference(int engineRate, int nChannels)
      : rate(engineRate / 4), channels(nChannels), interval(engineRate / 4 / 8) {
    for (int i = 0; i < kB; i++) {
      const float f = 440.0f * (float)std::pow(2.0, (double)((float)(i - 45) / 12.0f));
      std::vector<float> c(kW), s(kW);
      for (int p = 0; p < kW; p++) {
        const float theta = (float)((double)f * kTwoPi * p / rate);
        c[p] = (float)std::cos((double)theta);
        s[p] = (float)(-std::sin((double)theta));
      }
      cosT.push_back(c);
      sinT.push_back(s);
    }
  }

  void push(const float* x, int size, int channel) {
    const int n = std::min(size / 4, kW);
    if (channels == 1 || channel == 0) {
      for (int j = 0; j + n < kW; j++) win[j] = win[j + n];
      for (int j = 0; j < n; j++) win[kW - n + j] = x[4 * j];
      if (channels != 1) return;
    } else {
      for (int j = 0; j < n; j++) win[kW - n + j] = (win[kW - n + j] + x[4 * j]) * 0.5f;
    }
    count += size;
    if (count < interval) return;
    count -= interval;
    std::vector<float> buf(kW);
    for (int i = 0; i < kW; i++)
      buf[i] = (float)((0.5 - 0.5 * std::cos(i * kTwoPi * 0.000244140625)) * win[i]);
    for (int b = 0; b < kB; b++) {
      float sp = 0.0f, cp = 0.0f;
      for (int p = 0; p < kW; p++) {
        sp += buf[p] * sinT[b][p];
        cp += buf[p] * cosT[b][p];
      }
      const float m = (float)(std::sqrt((double)(cp * cp + sp * sp)) / 4096.0);
      values[b] = m + 0.2f * values[b];
    }
  }
};

// A sine at `freq` Hz, amplitude 1, sampled at `rate`, starting at sample `start`.
std::vector<float> sine(double freq, int rate, long start, int n, double phase) {
  std::vector<float> x(n);
  for (int i = 0; i < n; i++) x[i] = (float)std::sin(2.0 * M_PI * freq * (double)(start + i) / rate + phase);
  return x;
}

}  // namespace

// The module's state at load; each AtLoad test runs in a process of its own.
TEST(SpectrumAtLoad, AtLoadTheAnalyserIsOnAndEveryBandReadsZero) {
  EXPECT_EQ(spectrum_enabled.load(), 1);
  EXPECT_EQ(spectrum_size(), 72);
  EXPECT_EQ(spectrum_get(), spectrum_get());
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));
  // Before any set-up there is no rate: pushes fill the window and never analyse.
  std::vector<float> x = noise(20000, 1);
  spectrum_push(x.data(), 20000, 0);
  spectrum_push(x.data(), 20000, 1);
  EXPECT_EQ(spectrum_pending_samples(), 0);
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));
}

TEST(Spectrum, BandFrequenciesAreSemitonesAroundA440RoundedInTheStatedPrecision) {
  spectrum_init(44100, 1);
  const float* f = spectrum_band_frequencies();
  EXPECT_EQ(bits(f[0]), bits(32.703194f));
  EXPECT_EQ(bits(f[9]), bits(55.0f));
  EXPECT_EQ(bits(f[36]), bits(261.62555f));
  EXPECT_EQ(bits(f[45]), bits(440.0f));
  EXPECT_EQ(bits(f[57]), bits(880.0f));
  EXPECT_EQ(bits(f[71]), bits(1975.5334f));
  for (int i = 1; i < kB; i++) EXPECT_NEAR(f[i] / f[i - 1], std::pow(2.0, 1.0 / 12.0), 1e-6) << i;
}

TEST(Spectrum, CoefficientTablesHoldTheRoundedPhasesForTheRateOfTheLastSetUp) {
  for (int rate : {44100, 48000}) {
    spectrum_init(rate, 2);
    const Reference ref(rate, 2);
    for (int b = 0; b < kB; b++) {
      EXPECT_EQ(bits(spectrum_coeff_cos(b, 0)), bits(1.0f));
      EXPECT_EQ(bits(spectrum_coeff_sin(b, 0)), bits(-0.0f));
      for (int p = 0; p < kW; p++) {
        ASSERT_EQ(bits(spectrum_coeff_cos(b, p)), bits(ref.cosT[b][p])) << rate << " " << b << " " << p;
        ASSERT_EQ(bits(spectrum_coeff_sin(b, p)), bits(ref.sinT[b][p])) << rate << " " << b << " " << p;
      }
    }
  }
  EXPECT_EQ(spectrum_analysis_interval(), 1500);
  spectrum_init(44100, 1);
  EXPECT_EQ(spectrum_analysis_interval(), 1378);
  // Octaves whose centres are exact doubles share lines: at most 1.7 MB instead of 2.36, which
  // a core's 2 MB cache holds beside the engine's other data. Any mismatch would unshare them.
  EXPECT_LE(spectrum_table_lines(), 26624);
  spectrum_share_octaves(false);
  spectrum_init(44100, 1);
  EXPECT_EQ(spectrum_table_lines(), 36864);
  spectrum_share_octaves(true);
}

TEST(Spectrum, A440SineReadsAQuarterInItsBandWhateverItsPhaseAndSettlesAt0_3125) {
  // Hops of 1380, a multiple of the decimation, keep the kept samples evenly spaced across
  // calls; each hop runs one analysis. 12 hops fill the window.
  const int hop = 1380;
  for (double phase : {0.0, 1.0, 2.5}) {
    startFresh(44100, 1);
    long t = 0;
    std::vector<float> before, after;
    for (int k = 0; k < 16; k++, t += hop) {
      std::vector<float> x = sine(440.0, 44100, t, hop, phase);
      before = levels();
      spectrum_push(x.data(), hop, 0);
      after = levels();
    }
    EXPECT_NEAR(after[45] - 0.2f * before[45], 0.25f, 1e-4) << phase;  // one analysis
    EXPECT_NEAR(after[45], 0.3125f, 1e-4) << phase;
    EXPECT_LT(after[44], 1e-4f) << phase;
    EXPECT_LT(after[46], 1e-4f) << phase;
    for (int b = 0; b < kB; b++) EXPECT_LE(after[b], after[45]) << b;
  }
}

TEST(Spectrum, AnalysesAgreeWithThePlainArithmeticToTheBit) {
  // Mono with hops that run zero, one analysis or carry a surplus; then a stereo stream.
  startFresh(44100, 1);
  Reference mono(44100, 1);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> hopSize(0, 3000);
  int analyses = 0;
  for (int k = 0; k < 40; k++) {
    const int n = hopSize(rng);
    std::vector<float> x = noise(n, 100 + k, 0.8f);
    const int before = spectrum_pending_samples();
    spectrum_push(x.data(), n, 0);
    mono.push(x.data(), n, 0);
    if (before + n >= 1378) analyses++;
    ASSERT_TRUE(sameBits(window(), mono.win)) << k;
    ASSERT_TRUE(sameBits(levels(), mono.values)) << k;
    ASSERT_EQ(spectrum_pending_samples(), mono.count) << k;
  }
  EXPECT_GE(analyses, 10);

  startFresh(48000, 2);
  Reference stereo(48000, 2);
  for (int k = 0; k < 30; k++) {
    const int n = 512 + 256 * (k % 5);
    std::vector<float> left = noise(n, 200 + k), right = noise(n, 300 + k, 0.5f);
    spectrum_push(left.data(), n, 0);
    stereo.push(left.data(), n, 0);
    spectrum_push(right.data(), n, 1);
    stereo.push(right.data(), n, 1);
    ASSERT_TRUE(sameBits(window(), stereo.win)) << k;
    ASSERT_TRUE(sameBits(levels(), stereo.values)) << k;
  }
  EXPECT_NE(levels(), std::vector<float>(kB, 0.0f));
}

// The engine brackets each block: analyses that fall due inside wait, and run at its end, in
// pairs through one pass over the table where a vector path offers it. Blocks with none to
// six analyses (more than wait at most, so some run early), on every path: at each block's end
// the levels are those of analyses run at once, and inside a block they have not moved yet.
// Octaves sharing coefficient lines or not, the levels are the same.
TEST(Spectrum, AnalysesWaitingForTheBlocksEndGiveTheLevelsOfAnalysesRunAtOnce) {
  for (int q = 0; q < 2 * kSimdPathCount; q++) {
    const int p = q % kSimdPathCount;
    if (!simd_path_available((SimdPath)p)) continue;
    simd_force_path((SimdPath)p);
    spectrum_share_octaves(q < kSimdPathCount);
    startFresh(44100, 1);
    spectrum_share_octaves(true);
    Reference reference(44100, 1);
    long start = 0;
    for (int block = 0; block < 12; block++) {
      const int analysesInBlock = block % 7;
      spectrum_begin_block();
      const std::vector<float> before = levels();
      for (int k = 0; k < analysesInBlock; k++) {
        const int n = 1378 - spectrum_pending_samples();
        std::vector<float> x = noise(n, 400 + (int)start, 0.7f);
        spectrum_push(x.data(), n, 0);
        reference.push(x.data(), n, 0);
        start += n;
        if (k < 3) {
          ASSERT_TRUE(sameBits(levels(), before)) << simd_path_name((SimdPath)p) << " block " << block;
        }
      }
      spectrum_end_block();
      ASSERT_TRUE(sameBits(levels(), reference.values)) << simd_path_name((SimdPath)p) << " block " << block;
    }
    EXPECT_NE(levels(), std::vector<float>(kB, 0.0f));
    simd_release_path();
  }
}

TEST(Spectrum, CountRulesForShortEmptyAndOversizedCalls) {
  startFresh(44100, 1);
  std::vector<float> x = noise(20000, 3);
  spectrum_push(x.data(), 16, 0);
  const std::vector<float> start = window();

  // Size 0: nothing moves, nothing counts.
  spectrum_push(x.data(), 0, 0);
  EXPECT_EQ(window(), start);
  EXPECT_EQ(spectrum_pending_samples(), 16);

  // Below 4: nothing enters the window, but the samples count.
  spectrum_push(x.data(), 3, 0);
  EXPECT_EQ(window(), start);
  EXPECT_EQ(spectrum_pending_samples(), 19);

  // Size 10: samples 0 and 4 enter, the window moves by two.
  std::vector<float> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  spectrum_push(ten.data(), 10, 0);
  std::vector<float> w = window();
  EXPECT_TRUE(std::equal(start.begin() + 2, start.end(), w.begin()));
  EXPECT_EQ(w[kW - 2], 1.0f);
  EXPECT_EQ(w[kW - 1], 5.0f);
  EXPECT_EQ(spectrum_pending_samples(), 29);
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));

  // Above 16384: only the first 4096 kept samples, but the whole size counts; one analysis.
  spectrum_push(x.data(), 20000, 0);
  w = window();
  for (int j = 0; j < kW; j++) ASSERT_EQ(bits(w[j]), bits(x[4 * j])) << j;
  EXPECT_EQ(spectrum_pending_samples(), 29 + 20000 - 1378);
  const std::vector<float> once = levels();
  EXPECT_GT(once[0], 0.0f);

  // The surplus carries over: a call of size 0 analyses once more and leaves the rest.
  spectrum_push(x.data(), 0, 0);
  EXPECT_EQ(spectrum_pending_samples(), 29 + 20000 - 2 * 1378);
  EXPECT_NE(levels(), once);

  // A negative size does nothing at all.
  const std::vector<float> held = window(), heldLevels = levels();
  spectrum_push(x.data(), -8, 0);
  EXPECT_EQ(window(), held);
  EXPECT_EQ(levels(), heldLevels);
  EXPECT_EQ(spectrum_pending_samples(), 29 + 20000 - 2 * 1378);
}

TEST(Spectrum, TheCountSurvivesSetUpWhileWindowAndLevelsAreCleared) {
  startFresh(44100, 1);
  std::vector<float> x = noise(2000, 4);
  spectrum_push(x.data(), 1378, 0);  // exactly one analysis
  spectrum_push(x.data(), 1000, 0);
  EXPECT_EQ(spectrum_pending_samples(), 1000);
  EXPECT_NE(levels(), std::vector<float>(kB, 0.0f));
  spectrum_init(48000, 1);
  EXPECT_EQ(window(), std::vector<float>(kW, 0.0f));
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));
  EXPECT_EQ(spectrum_pending_samples(), 1000);
  spectrum_push(x.data(), 499, 0);  // 1499 of 1500
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));
  spectrum_push(x.data(), 1, 0);
  EXPECT_EQ(spectrum_pending_samples(), 0);
}

TEST(Spectrum, StereoLeftMovesTheWindowAndRightAveragesIntoItAndCounts) {
  startFresh(44100, 2);
  std::vector<float> left(1400, 0.5f), right(1400, -0.25f);
  left[0] = 1.0f;
  right[0] = 3.0f;

  // A left call alone never counts nor analyses, however long.
  spectrum_push(left.data(), 1400, 0);
  spectrum_push(left.data(), 1400, 0);
  EXPECT_EQ(spectrum_pending_samples(), 0);
  EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f));
  std::vector<float> w = window();
  EXPECT_EQ(w[kW - 700], 1.0f);
  EXPECT_EQ(w[kW - 350], 1.0f);
  EXPECT_EQ(w[kW - 349], 0.5f);
  EXPECT_EQ(w[kW - 701], 0.0f);

  // Each right call averages into the newest positions, as many as it keeps, one call after
  // another: the last of them were written by the last left call.
  spectrum_push(right.data(), 8, 1);  // two kept samples
  w = window();
  EXPECT_EQ(w[kW - 2], (0.5f + 3.0f) * 0.5f);
  EXPECT_EQ(w[kW - 1], (0.5f - 0.25f) * 0.5f);
  EXPECT_EQ(w[kW - 3], 0.5f);
  EXPECT_EQ(spectrum_pending_samples(), 8);
  spectrum_push(right.data(), 1400, 1);
  w = window();
  EXPECT_EQ(w[kW - 350], (1.0f + 3.0f) * 0.5f);
  EXPECT_EQ(w[kW - 349], (0.5f - 0.25f) * 0.5f);
  EXPECT_EQ(w[kW - 2], (1.75f - 0.25f) * 0.5f);
  EXPECT_EQ(w[kW - 1], (0.125f - 0.25f) * 0.5f);
  EXPECT_EQ(w[kW - 351], 0.5f);  // the earlier left call's positions stay as they were
  EXPECT_EQ(spectrum_pending_samples(), 1408 - 1378);
  EXPECT_NE(levels(), std::vector<float>(kB, 0.0f));

  // Channel counts other than 1 run as stereo; any channel but 0 is the right one.
  spectrum_init(44100, 6);
  const int pending = spectrum_pending_samples();
  spectrum_push(left.data(), 1400, 0);
  EXPECT_EQ(spectrum_pending_samples(), pending);
  spectrum_push(right.data(), 4, 3);
  EXPECT_EQ(window()[kW - 1], (0.5f + 3.0f) * 0.5f);
  EXPECT_EQ(spectrum_pending_samples(), pending + 4);
}

TEST(Spectrum, SwitchedOffTheAnalyserFreezesWindowCountAndLevels) {
  FakeJni jni;
  startFresh(44100, 1);
  std::vector<float> x = noise(3000, 5);
  spectrum_push(x.data(), 1378, 0);
  spectrum_push(x.data(), 700, 0);
  const std::vector<float> w = window(), v = levels();

  Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(jni.env(), nullptr, 0);
  EXPECT_EQ(spectrum_enabled.load(), 0);
  spectrum_push(x.data(), 3000, 0);
  EXPECT_EQ(window(), w);
  EXPECT_EQ(levels(), v);
  EXPECT_EQ(spectrum_pending_samples(), 700);

  // Any nonzero value switches it on, and is stored as given.
  Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(jni.env(), nullptr, 5);
  EXPECT_EQ(spectrum_enabled.load(), 5);
  spectrum_push(x.data(), 678, 0);
  EXPECT_EQ(spectrum_pending_samples(), 0);
  EXPECT_NE(levels(), v);
  Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(jni.env(), nullptr, 1);
}

TEST(Spectrum, RatesBelow32HzLeaveTheAnalyserIdle) {
  for (int rate : {0, 3, 4, 31, -44100}) {
    startFresh(44100, 1);
    std::vector<float> x = noise(2000, 6);
    spectrum_push(x.data(), 1000, 0);
    spectrum_init(rate, 1);
    EXPECT_EQ(spectrum_analysis_interval(), 0) << rate;
    for (int k = 0; k < 5; k++) spectrum_push(x.data(), 2000, 0);
    EXPECT_EQ(window()[kW - 1], x[4 * 499]) << rate;  // the window still fills
    EXPECT_EQ(spectrum_pending_samples(), 1000) << rate;
    EXPECT_EQ(levels(), std::vector<float>(kB, 0.0f)) << rate;
    for (int b = 0; b < kB; b++) EXPECT_TRUE(std::isfinite(spectrum_coeff_sin(b, kW - 1))) << rate;
  }
  // 32 Hz is the lowest working rate: 8 Hz analysis, one counted sample per analysis.
  startFresh(32, 1);
  EXPECT_EQ(spectrum_analysis_interval(), 1);
  std::vector<float> one = {0.5f, 0.5f, 0.5f, 0.5f};
  spectrum_push(one.data(), 4, 0);
  EXPECT_EQ(spectrum_pending_samples(), 3);
  EXPECT_GT(levels()[0], 0.0f);
}

TEST(Spectrum, LevelsRecoverOnceNonFiniteSamplesHaveLeftTheWindow) {
  startFresh(44100, 1);
  const int hop = 1380;  // 345 kept samples a call
  std::vector<float> bad(hop, std::numeric_limits<float>::quiet_NaN());
  bad[4] = std::numeric_limits<float>::infinity();
  spectrum_push(bad.data(), hop, 0);
  for (float v : levels()) EXPECT_TRUE(std::isnan(v));
  long t = 0;
  for (int k = 0; k < 12; k++, t += hop) {  // 4140 kept samples push the burst out
    std::vector<float> x = sine(440.0, 44100, t, hop, 0.3);
    spectrum_push(x.data(), hop, 0);
  }
  for (float v : levels()) EXPECT_TRUE(std::isfinite(v));
  EXPECT_NEAR(levels()[45], 0.25f, 1e-3);  // the first clean analysis starts from 0
}

TEST(Spectrum, NativeGetSpectrumCopiesNoMoreThanTheBandsTheCountAndTheArrayAllow) {
  FakeJni jni;
  startFresh(44100, 1);
  std::vector<float> x = noise(1378, 8);
  spectrum_push(x.data(), 1378, 0);
  const std::vector<float> v = levels();
  auto get = [&](std::vector<float>& out, int size) {
    Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(jni.env(), nullptr, jni.floats(out), size);
  };

  std::vector<float> ten(72, -1.0f);
  get(ten, 10);
  for (int i = 0; i < 72; i++) EXPECT_EQ(ten[i], i < 10 ? v[i] : -1.0f) << i;

  std::vector<float> hundred(100, -1.0f);
  get(hundred, 100);
  for (int i = 0; i < 100; i++) EXPECT_EQ(hundred[i], i < 72 ? v[i] : -1.0f) << i;

  std::vector<float> shortArray(5, -1.0f);  // an overrun would show under AddressSanitizer
  get(shortArray, 72);
  EXPECT_EQ(shortArray, std::vector<float>(v.begin(), v.begin() + 5));

  for (int size : {0, -3}) {
    std::vector<float> untouched(72, -1.0f);
    get(untouched, size);
    EXPECT_EQ(untouched, std::vector<float>(72, -1.0f));
  }
  std::vector<float> empty;
  get(empty, 72);
  EXPECT_EQ(jni.outstanding(), 0);

  const int gets = jni.elementGets();
  Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(jni.env(), nullptr, nullptr, 72);
  EXPECT_EQ(jni.elementGets(), gets);
  jni.failElements = true;
  std::vector<float> unavailable(72, -1.0f);
  get(unavailable, 72);
  EXPECT_EQ(jni.elementGets(), gets + 1);
  EXPECT_EQ(unavailable, std::vector<float>(72, -1.0f));
  EXPECT_EQ(jni.outstanding(), 0);
}

TEST(Spectrum, LevelsAndSwitchChangeWhileAnotherThreadReadsThem) {
  startFresh(44100, 2);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    FakeJni jni;
    std::vector<float> out(72);
    while (!stop.load()) {
      Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(jni.env(), nullptr, jni.floats(out), 72);
      for (float v : out) ASSERT_TRUE(v >= 0.0f && v < 10.0f);
      Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(jni.env(), nullptr, 1);
    }
  });
  std::vector<float> x = noise(2048, 9);
  for (int k = 0; k < 40; k++) {
    spectrum_push(x.data(), 1024, 0);
    spectrum_push(x.data() + 1024, 1024, 1);
  }
  stop = true;
  reader.join();
  EXPECT_NE(levels(), std::vector<float>(kB, 0.0f));
}
