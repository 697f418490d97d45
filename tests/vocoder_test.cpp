#include "vocoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "eq.h"
#include "fft.h"
#include "simd.h"
#include "support/signals.h"
#include "vocoder_math.h"
#include "vocoder_simd.h"

namespace {

// Every hop a frame hands to the analyser, copied when it is handed over.
struct Push {
  const float* at;
  int size;
  int channel;
  std::vector<float> samples;
};
std::vector<Push> pushes;

void recordPush(float* samples, int size, int channel) {
  pushes.push_back({samples, size, channel, std::vector<float>(samples, samples + size)});
}

void fresh(int n, int step) {
  vocoder_init(n, step);
  vocoder_set_push_sink(recordPush);
  pushes.clear();
}

constexpr float kUntouched = 12345.0f;

// Sines whose periods divide the frame size: no DC, nothing at the Nyquist bin, and a
// windowed frame of each occupies exactly three bins.
struct Partial {
  int bin;
  double amplitude;
  double phase;
};
std::vector<float> partials(int length, int frame, const std::vector<Partial>& parts) {
  std::vector<float> x(length);
  for (int i = 0; i < length; i++) {
    double v = 0.0;
    for (const Partial& p : parts) v += p.amplitude * std::sin(2.0 * M_PI * p.bin * i / frame + p.phase);
    x[i] = (float)v;
  }
  return x;
}

// Feeds one channel in blocks of the given sizes (cycled) and returns everything it emits.
std::vector<float> feed(const std::vector<float>& in, int stepOut, int channel,
                        const std::vector<int>& blocks, int stepIn) {
  std::vector<float> out;
  size_t pos = 0;
  for (size_t b = 0; pos < in.size(); b++) {
    int size = blocks[b % blocks.size()];
    if ((size_t)size > in.size() - pos) size = (int)(in.size() - pos);
    std::vector<float> buffer((size_t)(size / stepIn + 2) * stepOut + 1, kUntouched);
    const size_t before = pushes.size();
    vocoder_process(const_cast<float*>(in.data()) + pos, size, buffer.data(), stepOut, channel);
    const size_t written = (pushes.size() - before) * stepOut;
    out.insert(out.end(), buffer.begin(), buffer.begin() + written);
    pos += size;
  }
  return out;
}

std::vector<float> psiOf(int c) {
  const VocoderState st = vocoder_state();
  return std::vector<float>(st.psis[c], st.psis[c] + st.winHalf);
}

bool allZero(const std::vector<float>& v) {
  for (float x : v)
    if (x != 0.0f) return false;
  return true;
}

// Frequency in cycles per sample from the zero crossings of out[from, end).
double crossingFrequency(const std::vector<float>& out, size_t from) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = from + 1; i < out.size(); i++) {
    if ((out[i - 1] < 0.0f) != (out[i] < 0.0f)) {
      const double t = (double)(i - 1) + out[i - 1] / (double)(out[i - 1] - out[i]);
      if (first < 0.0) first = t;
      last = t;
      crossings++;
    }
  }
  return (crossings - 1) / 2.0 / (last - first);
}

}  // namespace

// The module's state at load; each AtLoad test runs in a process of its own.
TEST(VocoderAtLoad, BeforeSetUpProcessingDoesNothing) {
  vocoder_set_push_sink(recordPush);
  std::vector<float> in(64, 0.25f);
  std::vector<float> out(256, kUntouched);
  vocoder_process(in.data(), 64, out.data(), 16, 0);
  EXPECT_EQ(vocoder_state().initialized, 0);
  EXPECT_EQ(lastStretchFactor, 0.0);
  EXPECT_TRUE(pushes.empty());
  EXPECT_EQ(out, std::vector<float>(256, kUntouched));
}

TEST(VocoderSetUp, RejectedArgumentsKeepTheCurrentSetUpAndQueues) {
  fresh(64, 16);
  std::vector<float> in = noise(20, 1, 0.5f);
  std::vector<float> out(64);
  vocoder_process(in.data(), 20, out.data(), 16, 0);
  const int queued = vocoder_state().inIndexes[0];
  ASSERT_EQ(queued, 48 + 4);
  for (auto [n, step] : {std::pair{48, 12}, {0, 1}, {8192, 2048}, {-64, 16}, {64, 0}, {64, 65}, {64, -16}}) {
    vocoder_init(n, step);
    const VocoderState st = vocoder_state();
    EXPECT_EQ(st.initialized, 1) << n << " " << step;
    EXPECT_EQ(st.winSize, 64) << n << " " << step;
    EXPECT_EQ(st.stepIn, 16) << n << " " << step;
    EXPECT_EQ(st.inIndexes[0], queued) << n << " " << step;
  }
}

TEST(VocoderSetUp, RepeatedSetUpRestartsBothChannelsAndKeepsTheStretchFactor) {
  const std::vector<float> in = noise(300, 2, 0.5f);
  fresh(64, 16);
  const std::vector<float> first0 = feed(in, 20, 0, {37}, 16);
  const std::vector<float> first1 = feed(in, 20, 1, {37}, 16);
  ASSERT_EQ(lastStretchFactor, 1.25);
  vocoder_init(64, 16);
  EXPECT_EQ(lastStretchFactor, 1.25);
  const VocoderState st = vocoder_state();
  EXPECT_EQ(st.inIndexes[0], 0);
  EXPECT_EQ(st.inIndexes[1], 0);
  EXPECT_TRUE(allZero(psiOf(0)));
  EXPECT_TRUE(allZero(psiOf(1)));
  // Same stretch, so no reset on the way in: the restart alone makes the runs identical.
  EXPECT_TRUE(sameBits(feed(in, 20, 0, {37}, 16), first0));
  EXPECT_TRUE(sameBits(feed(in, 20, 1, {37}, 16), first1));
}

TEST(VocoderSetUp, OtherChannelsAreIgnored) {
  fresh(64, 16);
  std::vector<float> in(64, 0.5f);
  std::vector<float> out(256, kUntouched);
  for (int channel : {2, -1}) vocoder_process(in.data(), 64, out.data(), 16, channel);
  EXPECT_TRUE(pushes.empty());
  EXPECT_EQ(vocoder_state().inIndexes[0], 0);
  EXPECT_EQ(vocoder_state().inIndexes[1], 0);
  EXPECT_EQ(out, std::vector<float>(256, kUntouched));
}

// fft_init() is exported and may be called behind the vocoder's back with another size: the
// frames that complete meanwhile are left silent (never transformed past their buffer), the
// hops still flow, and an fft_init() with the frame size brings the signal back.
TEST(VocoderSetUp, FramesTheTransformIsNotSetUpForAreLeftSilent) {
  fresh(2, 2);
  fft_init(1024);
  std::vector<float> in = noise(16, 3, 0.5f);
  // Exact sizes, so that AddressSanitizer sees any access past them.
  std::unique_ptr<float[]> input(new float[16]), out(new float[8]);
  std::copy(in.begin(), in.end(), input.get());
  vocoder_process(input.get(), 16, out.get(), 1, 0);
  EXPECT_EQ(pushes.size(), 8u);
  EXPECT_TRUE(allZero(std::vector<float>(out.get(), out.get() + 8)));

  fresh(64, 16);
  const std::vector<float> sine = partials(64 * 12, 64, {{4, 0.5, 0.3}});
  const std::vector<float> before = feed(sine, 16, 0, {64}, 16);
  fft_init(32);
  const std::vector<float> during = feed(sine, 16, 0, {64}, 16);
  EXPECT_EQ(during.size(), before.size());
  // The frames before the change fade out of the output queue; after them only silence.
  EXPECT_FALSE(allZero(std::vector<float>(during.begin(), during.begin() + 48)));
  EXPECT_TRUE(allZero(std::vector<float>(during.begin() + 48, during.end())));
  EXPECT_TRUE(allZero(psiOf(0)));
  fft_init(64);
  EXPECT_FALSE(allZero(feed(sine, 16, 0, {64}, 16)));
}

TEST(VocoderFraming, FirstFrameFiresOnTheStepInThSample) {
  fresh(64, 16);
  std::vector<float> in = noise(16, 3, 0.5f);
  std::vector<float> out(64, kUntouched);
  vocoder_process(in.data(), 15, out.data(), 24, 0);
  EXPECT_TRUE(pushes.empty());
  EXPECT_EQ(out, std::vector<float>(64, kUntouched));
  vocoder_process(in.data() + 15, 1, out.data(), 24, 0);
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0].size, 24);
  EXPECT_NE(out[23], kUntouched);
  EXPECT_EQ(out[24], kUntouched);
  EXPECT_EQ(vocoder_state().inIndexes[0], 48);
}

TEST(VocoderFraming, EachCompletedFrameEmitsOneHopAndHandsExactlyThatToTheAnalyser) {
  fresh(64, 16);
  std::vector<float> in = noise(57, 4, 0.5f);
  std::vector<float> out(200, kUntouched);
  vocoder_process(in.data(), 7, out.data(), 24, 1);
  EXPECT_TRUE(pushes.empty());
  // Queue at 48 + 7: another 50 samples complete floor(57 / 16) = 3 frames and leave 9.
  vocoder_process(in.data() + 7, 50, out.data(), 24, 1);
  ASSERT_EQ(pushes.size(), 3u);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(pushes[k].at, out.data() + 24 * k);
    EXPECT_EQ(pushes[k].size, 24);
    EXPECT_EQ(pushes[k].channel, 1);
    EXPECT_TRUE(
        sameBits(pushes[k].samples, std::vector<float>(out.begin() + 24 * k, out.begin() + 24 * k + 24)));
  }
  for (int i = 0; i < 72; i++) EXPECT_NE(out[i], kUntouched) << i;
  for (int i = 72; i < 200; i++) ASSERT_EQ(out[i], kUntouched) << i;
  EXPECT_EQ(vocoder_state().inIndexes[1], 48 + 9);
  EXPECT_EQ(vocoder_state().inIndexes[0], 0);

  // Whole multiples of the hop keep the queue at its start: m frames, m hops.
  fresh(64, 16);
  std::vector<float> longer = noise(160, 5, 0.5f);
  std::vector<float> big(400, kUntouched);
  vocoder_process(longer.data(), 160, big.data(), 40, 0);
  EXPECT_EQ(pushes.size(), 10u);
  EXPECT_NE(big[399], kUntouched);
  EXPECT_EQ(vocoder_state().inIndexes[0], 48);
}

TEST(VocoderFraming, OutputDoesNotDependOnHowTheInputIsSplit) {
  const std::vector<float> left = noise(5000, 6, 0.5f);
  const std::vector<float> right = noise(5000, 7, 0.5f);
  fresh(256, 64);
  const std::vector<float> mono = feed(left, 77, 0, {5000}, 64);
  ASSERT_EQ(mono.size(), (size_t)(5000 / 64) * 77);

  // Stereo as the engine drives it: channel 0 then 1 with the same block sizes.
  fresh(256, 64);
  std::vector<float> split0, split1;
  const std::vector<int> sizes = {1, 0, 63, 64, 200, 3, 129, 1000, 17};
  size_t pos = 0;
  for (size_t b = 0; pos < left.size(); b++) {
    const int size = (int)std::min<size_t>(sizes[b % sizes.size()], left.size() - pos);
    std::vector<float> out0((size / 64 + 2) * 77), out1((size / 64 + 2) * 77);
    size_t before = pushes.size();
    vocoder_process(const_cast<float*>(left.data()) + pos, size, out0.data(), 77, 0);
    split0.insert(split0.end(), out0.begin(), out0.begin() + (pushes.size() - before) * 77);
    before = pushes.size();
    vocoder_process(const_cast<float*>(right.data()) + pos, size, out1.data(), 77, 1);
    split1.insert(split1.end(), out1.begin(), out1.begin() + (pushes.size() - before) * 77);
    pos += size;
  }
  EXPECT_TRUE(sameBits(split0, mono));
  fresh(256, 64);
  EXPECT_TRUE(sameBits(split1, feed(right, 77, 1, {5000}, 64)));
}

TEST(VocoderFraming, EmptyCallStoresTheHopChecksTheStretchAndStartsTheChannel) {
  fresh(64, 16);
  float dummy = kUntouched;
  vocoder_process(&dummy, 0, &dummy, 8, 0);
  vocoder_process(&dummy, -5, &dummy, 8, 1);  // a negative count is no samples
  const VocoderState st = vocoder_state();
  EXPECT_EQ(st.stepOut, 8);
  EXPECT_EQ(lastStretchFactor, 0.5);
  EXPECT_EQ(st.inIndexes[0], 48);
  EXPECT_EQ(st.inIndexes[1], 48);
  EXPECT_EQ(dummy, kUntouched);
  EXPECT_TRUE(pushes.empty());
}

TEST(VocoderFraming, HopsOutsideTheFrameAreClamped) {
  fresh(64, 16);
  const std::vector<float> in = noise(64, 8, 0.5f);
  std::vector<float> out(200, kUntouched);
  vocoder_process(const_cast<float*>(in.data()), 32, out.data(), 1000, 0);
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(pushes[0].size, 64);
  EXPECT_EQ(vocoder_state().stepOut, 64);
  EXPECT_EQ(lastStretchFactor, 4.0);
  EXPECT_EQ(out[128], kUntouched);

  vocoder_process(const_cast<float*>(in.data()) + 32, 32, out.data(), -3, 0);
  ASSERT_EQ(pushes.size(), 4u);
  EXPECT_EQ(pushes[2].size, 0);
  EXPECT_EQ(vocoder_state().stepOut, 0);
  EXPECT_EQ(lastStretchFactor, 0.0);
}

TEST(VocoderFraming, ZeroHopAnalysesFramesButEmitsNothing) {
  fresh(64, 16);
  const std::vector<float> in = partials(64, 64, {{5, 0.5, 0.3}});
  float out = kUntouched;
  vocoder_process(const_cast<float*>(in.data()), 64, &out, 0, 0);
  ASSERT_EQ(pushes.size(), 4u);
  for (const Push& p : pushes) {
    EXPECT_EQ(p.size, 0);
    EXPECT_EQ(p.at, &out);
  }
  EXPECT_EQ(out, kUntouched);
  // The frames went through analysis: the synthesis phases moved off zero.
  EXPECT_FALSE(allZero(psiOf(0)));
}

TEST(VocoderPhases, StretchChangeResetsBothChannelsOnce) {
  fresh(64, 16);
  const std::vector<float> in = noise(64, 9, 0.5f);
  std::vector<float> out(256);
  vocoder_process(const_cast<float*>(in.data()), 64, out.data(), 16, 0);
  vocoder_process(const_cast<float*>(in.data()), 64, out.data(), 16, 1);
  ASSERT_FALSE(allZero(psiOf(0)));
  ASSERT_FALSE(allZero(psiOf(1)));

  // The same hop again: no reset.
  const std::vector<float> psi1 = psiOf(1);
  vocoder_process(out.data(), 0, out.data(), 16, 0);
  EXPECT_TRUE(sameBits(psiOf(1), psi1));

  // A new hop: channel 0's call clears both channels before it consumes a sample ...
  vocoder_process(out.data(), 0, out.data(), 20, 0);
  EXPECT_TRUE(allZero(psiOf(0)));
  EXPECT_TRUE(allZero(psiOf(1)));
  EXPECT_TRUE(allZero(std::vector<float>(vocoder_state().phi0s[1], vocoder_state().phi0s[1] + 32)));
  EXPECT_EQ(lastStretchFactor, 1.25);
  vocoder_process(const_cast<float*>(in.data()), 16, out.data(), 20, 0);
  const std::vector<float> psi0 = psiOf(0);
  ASSERT_FALSE(allZero(psi0));
  // ... and channel 1's call with the same hop finds nothing to reset.
  vocoder_process(const_cast<float*>(in.data()), 0, out.data(), 20, 1);
  EXPECT_TRUE(sameBits(psiOf(0), psi0));
  // Queues stay: channel 0 still fires on every 16th sample.
  EXPECT_EQ(vocoder_state().inIndexes[0], 48);
}

TEST(VocoderPhases, SilentFrameHasNoPeakAndKeepsTheSynthesisPhases) {
  fresh(64, 16);
  const std::vector<float> in = noise(64, 10, 0.5f);
  std::vector<float> out(64);
  vocoder_process(const_cast<float*>(in.data()), 64, out.data(), 16, 0);
  std::vector<float> zeros(16, 0.0f);
  // Three more hops of silence leave one hop of signal in the frame; the fourth is all silence.
  for (int i = 0; i < 3; i++) vocoder_process(zeros.data(), 16, out.data(), 16, 0);
  const std::vector<float> psi = psiOf(0);
  ASSERT_FALSE(allZero(psi));
  for (int i = 0; i < 2; i++) {
    vocoder_process(zeros.data(), 16, out.data(), 16, 0);
    EXPECT_TRUE(sameBits(psiOf(0), psi));
    const VocoderState st = vocoder_state();
    // phi0 took the silent frame's phases, atan2 of signed zeros: 0 or pi.
    for (int b = 0; b < 32; b++) {
      const float a = std::fabs(st.phi0s[0][b]);
      EXPECT_TRUE(a == 0.0f || a == (float)M_PI) << b << " " << a;
    }
  }
}

TEST(VocoderPhases, NonFiniteInputDoesNotSilenceTheChannelForEver) {
  for (float bad : {NAN, INFINITY, 3e38f}) {
    fresh(256, 64);
    std::vector<float> in = noise(4096 + 8192, 11);
    in[4096 + 100] = bad;
    const std::vector<float> out = feed(in, 80, 0, {512}, 64);
    ASSERT_EQ(out.size(), (size_t)(in.size() / 64) * 80);
    // Once the sample has left the input queue and the overlap-add queue, output is sound.
    double energy = 0.0;
    for (size_t i = out.size() - 4096; i < out.size(); i++) {
      ASSERT_TRUE(std::isfinite(out[i])) << bad << " at " << i;
      energy += (double)out[i] * out[i];
    }
    EXPECT_GT(energy / 4096, 0.01) << bad;
    for (float p : psiOf(0)) ASSERT_TRUE(std::isfinite(p)) << bad;
  }
}

TEST(Princarg, WrapsIntoPlusMinusPiWithOddQuotientsMovedAwayFromZero) {
  const float pi = (float)M_PI;
  EXPECT_NEAR(princarg(1.5f * pi), -pi / 2, 1e-6);
  EXPECT_NEAR(princarg(-1.5f * pi), pi / 2, 1e-6);
  EXPECT_NEAR(princarg(2.5f * pi), pi / 2, 1e-6);   // quotient 2, even
  EXPECT_NEAR(princarg(3.5f * pi), -pi / 2, 1e-6);  // quotient 3, moved to 4
  EXPECT_NEAR(princarg(-3.5f * pi), pi / 2, 1e-6);
  // Inside (-pi, pi) the angle comes back unchanged, to the bit.
  for (float x : {0.0f, -0.0f, 1.0f, -3.1415925f, 3.1415925f, 1e-30f}) {
    const float y = princarg(x);
    EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << x;
  }
  // The float nearest pi lies just above it: quotient 1, moved to 2.
  EXPECT_EQ(princarg(pi), (float)((double)pi - 2 * M_PI));
}

// The vector paths wrap as the plain princarg does (through the region rotation, by 0): angles
// whose quotient by pi lies within 2^-50 of an integer (found by search over all floats, one
// exactly on it) or beyond 2^30 take a division, the rest a product with 1 / pi; then the
// neighbours of multiples of pi, angles in (-pi, pi), huge and non-finite ones.
TEST(Princarg, EveryPathWrapsAsThePlainPrincarg) {
  std::vector<float> angles = {0x1.4665d2p+26f,
                               0x1.08ecc2p+29f,
                               0x1.d46074p+29f,
                               0x1.184b06p+31f,
                               0x1.37078ep+31f,
                               0x1.83dee2p+31f,
                               3.3731e9f,
                               3.3732e9f,
                               1e10f,
                               3.4e38f,
                               0.0f,
                               1e-30f,
                               INFINITY,
                               NAN};
  for (int m = 1; m < 3000; m += 7) {
    const float x = (float)(m * M_PI);
    angles.insert(angles.end(), {x, std::nextafter(x, 0.0f), std::nextafter(x, 1e30f), x / 2});
  }
  std::mt19937 random(3);
  for (int i = 0; i < 2000; i++)
    angles.push_back(std::ldexp((float)random() / 4294967296.0f, (int)(random() % 40) - 8));
  for (size_t i = 0, n = angles.size(); i < n; i++) angles.push_back(-angles[i]);

  const int half = (int)angles.size();
  const std::vector<int> valleys = {0, half};
  const float rotation = 0.0f;
  std::vector<float> spread(half + kVocoderSimdSlack), psi(half);
  for (int p = 0; p < kSimdPathCount; p++) {
    const VocoderSimdKernels* k = vocoder_simd_kernels((SimdPath)p);
    if (k == nullptr || !simd_path_available((SimdPath)p)) continue;
    k->rotateRegions(angles.data(), valleys.data(), &rotation, 1, half, spread.data(), psi.data());
    for (int i = 0; i < half; i++) {
      const float expected = princarg(angles[i] + 0.0f);
      ASSERT_EQ(std::memcmp(&psi[i], &expected, sizeof expected), 0)
          << simd_path_name((SimdPath)p) << " at " << angles[i] << ": " << psi[i] << " for " << expected;
    }
  }
}

TEST(Princarg, NonFiniteGivesNaNAndHugeAnglesStayInRange) {
  EXPECT_TRUE(std::isnan(princarg(NAN)));
  EXPECT_TRUE(std::isnan(princarg(INFINITY)));
  EXPECT_TRUE(std::isnan(princarg(-INFINITY)));
  for (float x : {1e10f, -1e10f, 3.4e38f, -3.4e38f, 6.7465e9f}) {
    const float y = princarg(x);
    EXPECT_LE(std::fabs(y), (float)M_PI) << x;
  }
}

TEST(PeakSearch, PeaksMustExceedTwoNeighboursOnEachSide) {
  std::vector<float> mag = {0, 1, 5, 1, 0, 2, 3, 2, 0, 0, 0, 0};  // H = 10, two spare
  std::vector<int> peaks(10), valleys(10);
  ASSERT_EQ(findPeaks(mag.data(), 10, peaks.data(), valleys.data()), 2);
  EXPECT_EQ(peaks[0], 2);
  EXPECT_EQ(peaks[1], 6);
  EXPECT_EQ(valleys[0], 0);
  EXPECT_EQ(valleys[1], 4);
  EXPECT_EQ(valleys[2], 10);
  EXPECT_EQ(mag[10], 1.1754944e-38f);
  EXPECT_EQ(mag[11], 1.1754944e-38f);

  // Bin 3 beats its immediate neighbours but not bin 1, two away.
  mag = {0, 4, 1, 3, 1, 0, 0};
  ASSERT_EQ(findPeaks(mag.data(), 5, peaks.data(), valleys.data()), 1);
  EXPECT_EQ(peaks[0], 1);
}

TEST(PeakSearch, PlateausAndNaNsAreNoPeaks) {
  std::vector<float> mag = {0, 1, 3, 3, 1, 0, 0, 0};
  std::vector<int> peaks(8), valleys(8);
  EXPECT_EQ(findPeaks(mag.data(), 6, peaks.data(), valleys.data()), 0);
  EXPECT_EQ(valleys[0], 6);  // one region closing at H, no peak to rotate it
  mag = {0, 1, 3, NAN, 1, 0, 0, 0};
  EXPECT_EQ(findPeaks(mag.data(), 6, peaks.data(), valleys.data()), 0);
  EXPECT_EQ(valleys[0], 6);
}

TEST(PeakSearch, EdgeBinsCompeteAgainstTheSmallestNormalFloat) {
  std::vector<int> peaks(4), valleys(4);
  std::vector<float> mag = {0, 0, 0, 0, 0, 0};
  EXPECT_EQ(findPeaks(mag.data(), 4, peaks.data(), valleys.data()), 0);  // silence
  mag = {1e-40f, 0, 0, 0, 0, 0};                                         // below the floor
  EXPECT_EQ(findPeaks(mag.data(), 4, peaks.data(), valleys.data()), 0);
  mag = {2e-38f, 0, 0, 0, 0, 0};
  ASSERT_EQ(findPeaks(mag.data(), 4, peaks.data(), valleys.data()), 1);
  EXPECT_EQ(peaks[0], 0);
  mag = {0, 0, 0, 2e-38f, 0, 0};  // the last bin against the boundary at H and H + 1
  ASSERT_EQ(findPeaks(mag.data(), 4, peaks.data(), valleys.data()), 1);
  EXPECT_EQ(peaks[0], 3);
  EXPECT_EQ(valleys[0], 0);
  EXPECT_EQ(valleys[1], 4);
  mag = {0, 0, 0, 1e-40f, 0, 0};
  EXPECT_EQ(findPeaks(mag.data(), 4, peaks.data(), valleys.data()), 0);
  // Half zero: no scan, only the boundary and the closing valley are written.
  mag = {7, 7};
  EXPECT_EQ(findPeaks(mag.data(), 0, peaks.data(), valleys.data()), 0);
  EXPECT_EQ(valleys[0], 0);
}

TEST(PeakSearch, EqualMinimaPutTheValleyAtTheLowestBin) {
  std::vector<float> mag = {0, 9, 2, 1, 1, 3, 1, 12, 2, 0, 0, 0};
  std::vector<int> peaks(10), valleys(10);
  ASSERT_EQ(findPeaks(mag.data(), 10, peaks.data(), valleys.data()), 2);
  EXPECT_EQ(peaks[1], 7);
  EXPECT_EQ(valleys[1], 3);
}

// Between peaks 1, 8 and 16: the valley skips NaNs (the lowest bin follows a NaN) and takes
// the first of equal minima (-0 before +0).
TEST(PeakSearch, ValleysSkipNaNsAndTakeTheFirstOfEqualMinima) {
  const float nan = NAN;
  std::vector<float> mag = {0,    9, 5, 4,  nan, 1, 3, 2, 10, 4, -0.0f, 0.0f, nan,
                            0.0f, 6, 1, 11, 0,   0, 0, 0, 0,  0, 0,     0,    0};
  std::vector<int> peaks(24), valleys(24);
  ASSERT_EQ(findPeaks(mag.data(), 24, peaks.data(), valleys.data()), 3);
  EXPECT_EQ(std::vector<int>(peaks.begin(), peaks.begin() + 3), (std::vector<int>{1, 8, 16}));
  EXPECT_EQ(std::vector<int>(valleys.begin(), valleys.begin() + 4), (std::vector<int>{0, 5, 10, 24}));
}

TEST(PeakSearch, InfiniteCandidatesStillPutTheValleyBetweenThePeaks) {
  const float inf = INFINITY, big = 3.4028235e+38f;
  std::vector<float> mag = {0, 0, inf, big, big, big, big, inf, 0, 0, 0, 0, 0, 0};
  std::vector<int> peaks(12), valleys(12);
  ASSERT_EQ(findPeaks(mag.data(), 12, peaks.data(), valleys.data()), 2);
  EXPECT_EQ(peaks[0], 2);
  EXPECT_EQ(peaks[1], 7);
  EXPECT_EQ(valleys[1], 3);  // the first of the equal minima since the previous peak
  EXPECT_EQ(valleys[2], 12);
}

TEST(PeakSearch, RegionsTileTheHalfSpectrumAndHoldTheirPeaks) {
  const int half = 512;
  std::vector<float> mag = noise(half + 2, 12, 1.0f);
  for (float& m : mag) m = std::fabs(m);
  std::vector<int> peaks(half), valleys(half);
  const int n = findPeaks(mag.data(), half, peaks.data(), valleys.data());
  ASSERT_GT(n, 50);
  EXPECT_EQ(valleys[0], 0);
  EXPECT_EQ(valleys[n], half);
  for (int p = 0; p < n; p++) {
    EXPECT_LE(valleys[p], peaks[p]);
    EXPECT_LT(peaks[p], valleys[p + 1]);
  }
}

// The vector paths' valley search against the plain one: regions from 1 to 40 bins (one or
// several vectors), with NaNs, equal minima (-0 and +0 among them), infinite regions behind an
// infinite peak, and regions reaching the end of an array of exactly half + 2 floats.
TEST(PeakSearch, EveryPathFindsThePlainValleys) {
  std::mt19937 random(5);
  const float values[] = {0.0f, -0.0f, 1.0f, 2.0f, 0.5f, INFINITY, NAN};
  for (int trial = 0; trial < 300; trial++) {
    std::vector<int> peaks;
    for (int bin = (int)(random() % 3); bin < 400; bin += 1 + (int)(random() % (trial % 2 ? 40 : 12)))
      peaks.push_back(bin);
    const int half = peaks.back() + 1 + (int)(random() % 3);
    std::vector<float> mag(half + 2);
    for (float& m : mag) m = values[random() % 7];
    for (int k : peaks) mag[k] = trial % 5 == 0 ? INFINITY : 3.0f;
    const int n = (int)peaks.size();
    std::vector<int> expected(n + 1), valleys(n + 1);
    findValleys(mag.data(), half, peaks.data(), n, expected.data());
    for (int p = 0; p < kSimdPathCount; p++) {
      const VocoderSimdKernels* k = vocoder_simd_kernels((SimdPath)p);
      if (k == nullptr || !simd_path_available((SimdPath)p)) continue;
      k->findValleys(mag.data(), half, peaks.data(), n, valleys.data());
      ASSERT_EQ(valleys, expected) << simd_path_name((SimdPath)p) << ", trial " << trial;
    }
  }
}

TEST(VocoderSignal, UnitStretchReproducesTheInputDelayedAtTheOverlapGain) {
  const int n = 1024, step = 256;
  const int length = 40 * step;
  const std::vector<float> in = partials(
      length, n, {{7, 0.2, 0.1}, {40, 0.3, 1.0}, {41, 0.1, 2.0}, {133, 0.15, -0.4}, {400, 0.05, 3.0}});
  fresh(n, step);
  const std::vector<float> out = feed(in, step, 0, {700}, step);
  ASSERT_EQ(out.size(), (size_t)length);
  // Squared periodic Hann windows four to a frame sum to 3/8 * 4 = 1.5; the first frame
  // is padded with N - stepIn zeros, which is the delay. Frames that hold the signal's onset
  // are not sums of whole-period partials (their DC and Nyquist bins are not resynthesised),
  // so the comparison starts after them. The remaining error is the single-precision
  // rounding of the phase advances, which grows slowly from frame to frame.
  const float gain = 1.5f;
  const int delay = n - step;
  double worst = 0.0;
  for (int i = delay + n; i < length; i++)
    worst = std::max(worst, (double)std::fabs(out[i] - gain * in[i - delay]));
  EXPECT_LT(worst, 1e-4);
}

TEST(VocoderSignal, StretchedSineKeepsItsFrequency) {
  for (int stepOut : {320, 160}) {  // 1.25 and 0.625
    const int n = 1024, step = 256;
    const double f = 0.03713;  // cycles per sample, between bins 38 and 39
    std::vector<float> in(60000);
    for (size_t i = 0; i < in.size(); i++) in[i] = (float)(0.5 * std::sin(2.0 * M_PI * f * (double)i));
    fresh(n, step);
    const std::vector<float> out = feed(in, stepOut, 0, {2048}, step);
    EXPECT_NEAR(crossingFrequency(out, 4 * n), f, f * 1e-3) << stepOut;
  }
}

TEST(VocoderEqualiser, AllGainsOneIsBitIdenticalToOff) {
  const std::vector<float> in = noise(4000, 13, 0.5f);
  eq_init(256);
  eq_enable(0);
  fresh(512, 128);
  const std::vector<float> off = feed(in, 150, 0, {1024}, 128);
  eq_enable(1);
  fresh(512, 128);
  EXPECT_TRUE(sameBits(feed(in, 150, 0, {1024}, 128), off));
  // Fewer gains than bins (set up for another frame size): the bins past them keep their
  // magnitudes, and nothing is read beyond the gains.
  eq_init(16);
  fresh(512, 128);
  EXPECT_TRUE(sameBits(feed(in, 150, 0, {1024}, 128), off));
  eq_enable(0);
}

TEST(VocoderEqualiser, ZeroGainsRemoveTheirBins) {
  const int n = 1024, step = 256, length = 30 * step;
  const std::vector<float> keep = partials(length, n, {{40, 0.3, 1.0}});
  const std::vector<float> both = partials(length, n, {{40, 0.3, 1.0}, {100, 0.4, 0.2}});
  eq_init(n / 2);
  std::vector<float> gains(n / 2, 1.0f);
  gains[99] = gains[100] = gains[101] = 0.0f;
  eq_setbands(gains.data());
  eq_enable(1);
  fresh(n, step);
  const std::vector<float> out = feed(both, step, 0, {1024}, step);
  // After the onset's frames (see UnitStretchReproduces...), only the kept partial remains.
  const int delay = n - step;
  double worst = 0.0;
  for (int i = delay + n; i < length; i++)
    worst = std::max(worst, (double)std::fabs(out[i] - 1.5f * keep[i - delay]));
  EXPECT_LT(worst, 1e-4);

  // Every gain zero: exact silence.
  std::fill(gains.begin(), gains.end(), 0.0f);
  eq_setbands(gains.data());
  fresh(n, step);
  for (float v : feed(both, step, 0, {1024}, step)) ASSERT_EQ(v, 0.0f);
  eq_enable(0);
  eq_init(n / 2 + 1);  // fresh gains of 1.0 for whoever runs next
}

TEST(VocoderEqualiser, GainsMayChangeOnAnotherThreadWhileFramesRun) {
  // Under ThreadSanitizer this fails on any plain read of a gain the application writes.
  eq_init(128);
  eq_enable(1);
  fresh(256, 64);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    std::vector<float> gains(128);
    for (int round = 0; !done.load(); round++) {
      std::fill(gains.begin(), gains.end(), (float)(round % 3) * 0.5f);
      eq_setbands(gains.data());
    }
  });
  const std::vector<float> out = feed(noise(64 * 200, 15), 80, 0, {256}, 64);
  done = true;
  writer.join();
  for (float v : out) ASSERT_TRUE(std::isfinite(v));
  eq_enable(0);
}

TEST(VocoderTinyFrames, FrameSizesOneAndTwoStayInBounds) {
  for (auto [n, step] : {std::pair{1, 1}, {2, 1}, {2, 2}, {4, 1}}) {
    for (int stepOut : {0, 1, n, n + 3}) {
      fresh(n, step);
      const std::vector<float> in = noise(37, 14, 0.5f);
      size_t pos = 0;
      while (pos < in.size()) {
        const int size = (int)std::min<size_t>(5, in.size() - pos);
        const int frames = size / step + 1;
        const int hop = std::min(stepOut, n);
        // Exactly the room the frames need, so that AddressSanitizer sees any overrun.
        std::unique_ptr<float[]> out(new float[std::max(1, frames * hop)]);
        vocoder_process(const_cast<float*>(in.data()) + pos, size, out.get(), stepOut, 0);
        pos += size;
      }
      EXPECT_EQ(pushes.size(), in.size() / step) << n << " " << step << " " << stepOut;
    }
  }
}

// The vector sine, cosine and arctangent behind the rounding guard keep the error bounds the
// guard's proof assumes (vocoder_math.h), on every path this machine has: a spread of angles
// and the points where the reduction changes quadrant, quotients on and next to the
// arctangent's thresholds, every sign, against the extended-precision C functions.
// A filter's tail decaying from 2^-80 through the subnormal range, then music at once: the
// squares of the first frames' bins underflow, the later frames are analysed on scaled values
// or (the deepest) leave their phases waiting until a peak needs them. On every path, scaled or
// not, one channel alone and linked with a channel that plays throughout (whose peaks turn the
// tail's bins too), every output sample, magnitude and the phases the music ends with are those
// of the plain arithmetic on the portable path, to the bit.
TEST(VocoderTinyFrames, TailsGiveThePlainArithmeticsBitsOnEveryPath) {
  constexpr int kN = 2048, kHop = 512, kHopOut = 640, kTail = 6 * kN;
  std::vector<float> left = partials(kTail + 2 * kN, kN, {{40, 0.3, 0.0}, {97, 0.2, 1.0}, {151, 0.1, 2.0}});
  const std::vector<float> right = partials(kTail + 2 * kN, kN, {{23, 0.2, 0.5}, {130, 0.1, 0.0}});
  for (int i = 0; i < kTail; i++) {
    const double decay = std::ldexp(1.0, -80 - 72 * i / kTail);
    left[(size_t)i] = (float)(decay * std::sin(0.05 * i) * (1.0 + 0.5 * std::sin(0.0031 * i)));
  }
  // Every hop's output and magnitudes, then the last phases.
  auto run = [&](SimdPath path, bool scaled, bool linked) {
    simd_force_path(path);
    fresh(kN, kHop);
    vocoder_set_tiny_frames(scaled);
    std::vector<float> outLeft(kHopOut), outRight(kHopOut), r;
    for (size_t pos = 0; pos < left.size(); pos += kHop) {
      if (linked) {
        vocoder_process_linked(left.data() + pos, const_cast<float*>(right.data()) + pos, kHop,
                               outLeft.data(), outRight.data(), kHopOut);
      } else {
        vocoder_process(left.data() + pos, kHop, outLeft.data(), kHopOut, 0);
      }
      r.insert(r.end(), outLeft.begin(), outLeft.end());
      r.insert(r.end(), outRight.begin(), outRight.end());
      r.insert(r.end(), vocoder_state().mags[0], vocoder_state().mags[0] + kN / 2);
    }
    r.insert(r.end(), vocoder_state().phi0s[0], vocoder_state().phi0s[0] + kN / 2);
    return r;
  };
  for (bool linked : {false, true}) {
    const std::vector<float> plain = run(SimdPath::kPortable, false, linked);
    for (int p = 0; p < kSimdPathCount; p++) {
      if (!simd_path_available((SimdPath)p)) continue;
      EXPECT_TRUE(sameBits(run((SimdPath)p, true, linked), plain))
          << simd_path_name((SimdPath)p) << (linked ? " linked" : "");
      if (p != (int)SimdPath::kPortable) {
        EXPECT_TRUE(sameBits(run((SimdPath)p, false, linked), plain)) << simd_path_name((SimdPath)p);
      }
    }
  }
  vocoder_set_tiny_frames(true);
  simd_release_path();
}

TEST(VocoderVectorMath, SineCosineAndArctangentKeepTheirProvenBounds) {
  constexpr long double kU = 0x1p-53L;
  auto within = [](double v, long double reference, long double bound) {
    return std::fabs((long double)v - reference) <= bound * kU * std::fabs(reference);
  };
  std::vector<float> angles = {0.0f, -0.0f, 1e-30f, 1.4e-45f, (float)kSinCosDomain, -(float)kSinCosDomain};
  for (float edge : {(float)(M_PI / 4), (float)(M_PI / 2), (float)(3 * M_PI / 4), (float)M_PI}) {
    float lo = edge, hi = edge;
    for (int i = 0; i < 64; i++, lo = std::nextafter(lo, 0.0f), hi = std::nextafter(hi, 4.0f)) {
      for (float a : {lo, -lo, hi, -hi}) {
        if (std::fabs(a) <= (float)kSinCosDomain) angles.push_back(a);
      }
    }
  }
  for (uint32_t bits = 1; bits < 0x40490fdbu; bits += 40009) {
    float a;
    std::memcpy(&a, &bits, 4);
    angles.push_back(a);
    angles.push_back(-a);
  }
  std::vector<float> ys, xs;
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (float scale : {1.0f, 3e-39f, 1e30f}) {
    for (int num = 1; num <= 8; num++) {
      float a = scale * (float)num / 8.0f;
      for (int i = 0; i < 8; i++, a = std::nextafter(a, 0.0f)) {
        for (int q = 0; q < 4; q++) {
          ys.push_back(q & 1 ? -a : a);
          xs.push_back(q & 2 ? -scale : scale);
          ys.push_back(q & 2 ? -scale : scale);
          xs.push_back(q & 1 ? -a : a);
        }
      }
    }
  }
  for (int i = 0; i < 20000; i++) {  // any sign and ratio, steep or not
    float small = std::ldexp(unit(random), (int)(random() % 60) - 30);
    if (small == 0.0f) small = 1.0f;
    const float big = unit(random) + 2.0f;
    ys.push_back(i % 2 ? big : small);
    xs.push_back(i % 2 ? small : big);
  }

  for (int p = 0; p < kSimdPathCount; p++) {
    const VocoderSimdKernels* k = vocoder_simd_kernels((SimdPath)p);
    if (k == nullptr || !simd_path_available((SimdPath)p)) continue;
    const char* path = simd_path_name((SimdPath)p);
    std::vector<double> s(angles.size()), c(angles.size());
    k->sinCos(angles.data(), (int)angles.size(), s.data(), c.data());
    for (size_t i = 0; i < angles.size(); i++) {
      const long double x = angles[i];
      ASSERT_TRUE(within(s[i], sinl(x), 3) && within(c[i], cosl(x), 3)) << path << " at " << angles[i];
    }
    EXPECT_TRUE(s[0] == 0.0 && !std::signbit(s[0]) && s[1] == 0.0 && std::signbit(s[1])) << path;
    EXPECT_TRUE(c[0] == 1.0 && c[1] == 1.0) << path;

    std::vector<double> a(ys.size());
    k->atan2(ys.data(), xs.data(), (int)ys.size(), a.data());
    for (size_t i = 0; i < ys.size(); i++) {
      ASSERT_TRUE(within(a[i], atan2l(ys[i], xs[i]), 8.6L)) << path << " at " << ys[i] << ", " << xs[i];
    }
  }
}

namespace {

// Feeds a stereo pair through the linked path in blocks of the given sizes (cycled) and returns
// everything each channel emits.
std::pair<std::vector<float>, std::vector<float>> feedLinked(const std::vector<float>& left,
                                                             const std::vector<float>& right, int stepOut,
                                                             const std::vector<int>& blocks, int stepIn) {
  std::vector<float> outLeft, outRight;
  size_t pos = 0;
  for (size_t b = 0; pos < left.size(); b++) {
    int size = blocks[b % blocks.size()];
    if ((size_t)size > left.size() - pos) size = (int)(left.size() - pos);
    const size_t room = (size_t)(size / stepIn + 2) * stepOut + 1;
    std::vector<float> l(room, kUntouched), r(room, kUntouched);
    const size_t before = pushes.size();
    vocoder_process_linked(const_cast<float*>(left.data()) + pos, const_cast<float*>(right.data()) + pos,
                           size, l.data(), r.data(), stepOut);
    const size_t written = (pushes.size() - before) / 2 * stepOut;
    outLeft.insert(outLeft.end(), l.begin(), l.begin() + written);
    outRight.insert(outRight.end(), r.begin(), r.begin() + written);
    pos += size;
  }
  return {outLeft, outRight};
}

// Phase of x[from, end) at `cycles` per sample (a DFT bin at that frequency), in radians.
double phaseAt(const std::vector<float>& x, size_t from, double cycles) {
  double re = 0.0, im = 0.0;
  for (size_t i = from; i < x.size(); i++) {
    re += x[i] * std::cos(2.0 * M_PI * cycles * (double)i);
    im -= x[i] * std::sin(2.0 * M_PI * cycles * (double)i);
  }
  return std::atan2(im, re);
}

double wrapped(double a) { return std::remainder(a, 2.0 * M_PI); }

// Two tones between bins, each with its own phase difference between the channels; the first
// is louder on the left, the second on the right.
struct StereoTones {
  std::vector<float> left, right;
  static constexpr double kLow = 0.03713, kHigh = 0.09377;  // cycles per sample
  static constexpr double kLowShift = 1.0, kHighShift = -2.0;
  explicit StereoTones(int length) : left(length), right(length) {
    for (int i = 0; i < length; i++) {
      const double a = 2.0 * M_PI * kLow * i, b = 2.0 * M_PI * kHigh * i;
      left[i] = (float)(0.4 * std::sin(a) + 0.1 * std::sin(b));
      right[i] = (float)(0.2 * std::sin(a - kLowShift) + 0.3 * std::sin(b - kHighShift));
    }
  }
};

}  // namespace

TEST(VocoderLink, IdenticalChannelsGiveEachTheUnlinkedChannelsBits) {
  // Summed magnitudes are twice each channel's, exactly, so they have the same peaks and
  // regions; equal peaks take the left channel's rotation, which is the unlinked one.
  const std::vector<float> in = noise(9000, 16, 0.5f);
  eq_init(128);
  std::vector<float> gains = noise(128, 17, 1.0f);
  eq_setbands(gains.data());
  eq_enable(1);
  fresh(256, 64);
  const std::vector<float> alone = feed(in, 80, 0, {1000}, 64);
  fresh(256, 64);
  const auto [left, right] = feedLinked(in, in, 80, {1000, 37, 300}, 64);
  eq_enable(0);
  EXPECT_TRUE(sameBits(left, alone));
  EXPECT_TRUE(sameBits(right, alone));
}

TEST(VocoderLink, KeepsEachTonesPhaseDifferenceBetweenTheChannels) {
  const int n = 1024, step = 256;
  const StereoTones tones(80000);
  for (int stepOut : {128, 192, 384}) {  // speeds 2, 1.33 and 0.67
    fresh(n, step);
    const auto [left, right] = feedLinked(tones.left, tones.right, stepOut, {2048}, step);
    const size_t from = left.size() / 4;
    for (auto [cycles, shift] : {std::pair{StereoTones::kLow, StereoTones::kLowShift},
                                 {StereoTones::kHigh, StereoTones::kHighShift}}) {
      const double kept = wrapped(phaseAt(left, from, cycles) - phaseAt(right, from, cycles));
      EXPECT_NEAR(kept, shift, 0.01) << stepOut << " " << cycles;
    }
    // The probe is sharp: stretched apart, the channels lose the difference.
    fresh(n, step);
    const std::vector<float> apartLeft = feed(tones.left, stepOut, 0, {2048}, step);
    const std::vector<float> apartRight = feed(tones.right, stepOut, 1, {2048}, step);
    const double lost =
        wrapped(phaseAt(apartLeft, from, StereoTones::kLow) - phaseAt(apartRight, from, StereoTones::kLow));
    EXPECT_GT(std::fabs(lost - StereoTones::kLowShift), 0.1) << stepOut;
  }
}

TEST(VocoderLink, EachRegionTurnsByTheChannelThatIsLouderAtItsPeak) {
  // A tone on the left only and another on the right only: each tone's region must follow its
  // own channel's phases, so each channel comes out as it does stretched alone (the bins of
  // the other tone's region hold only rounding noise there).
  const int n = 1024, step = 256, stepOut = 336;
  const std::vector<float> left = partials(60000, n, {{40, 0.4, 0.3}});
  const std::vector<float> right = partials(60000, n, {{150, 0.4, 2.0}});
  fresh(n, step);
  const auto [linkedLeft, linkedRight] = feedLinked(left, right, stepOut, {4096}, step);
  fresh(n, step);
  const std::vector<float> aloneLeft = feed(left, stepOut, 0, {4096}, step);
  const std::vector<float> aloneRight = feed(right, stepOut, 1, {4096}, step);
  double worst = 0.0;
  for (size_t i = 4 * n; i < aloneLeft.size(); i++) {
    worst = std::max(worst, (double)std::fabs(linkedLeft[i] - aloneLeft[i]));
    worst = std::max(worst, (double)std::fabs(linkedRight[i] - aloneRight[i]));
  }
  EXPECT_LT(worst, 1e-4);
}

TEST(VocoderLink, SwitchingBetweenLinkedAndUnlinkedRestartsBothChannelsOnce) {
  fresh(64, 16);
  const std::vector<float> left = noise(64, 18, 0.5f), right = noise(64, 19, 0.5f);
  std::vector<float> outLeft(256), outRight(256);
  float* l = const_cast<float*>(left.data());
  float* r = const_cast<float*>(right.data());
  vocoder_process_linked(l, r, 64, outLeft.data(), outRight.data(), 16);
  const std::vector<float> psi0 = psiOf(0), psi1 = psiOf(1);
  ASSERT_FALSE(allZero(psi0));
  ASSERT_FALSE(allZero(psi1));
  vocoder_process_linked(l, r, 0, outLeft.data(), outRight.data(), 16);  // same path and hop
  EXPECT_TRUE(sameBits(psiOf(0), psi0));
  EXPECT_TRUE(sameBits(psiOf(1), psi1));

  // Unlinked now: the first call clears both channels, the second finds nothing to clear.
  vocoder_process(l, 0, outLeft.data(), 16, 0);
  EXPECT_TRUE(allZero(psiOf(0)));
  EXPECT_TRUE(allZero(psiOf(1)));
  vocoder_process(l, 64, outLeft.data(), 16, 0);
  const std::vector<float> unlinked0 = psiOf(0);
  vocoder_process(r, 0, outRight.data(), 16, 1);
  EXPECT_TRUE(sameBits(psiOf(0), unlinked0));

  // And back: cleared again, queues untouched.
  const VocoderState before = vocoder_state();
  vocoder_process_linked(l, r, 0, outLeft.data(), outRight.data(), 16);
  EXPECT_TRUE(allZero(psiOf(0)));
  EXPECT_TRUE(allZero(std::vector<float>(vocoder_state().phi0s[1], vocoder_state().phi0s[1] + 32)));
  EXPECT_EQ(vocoder_state().inIndexes[0], before.inIndexes[0]);
}

TEST(VocoderLink, TheAnalyserGetsTheBlocksLeftHopsThenItsRightHops) {
  fresh(64, 16);
  const std::vector<float> in = noise(64, 20, 0.5f);
  float* x = const_cast<float*>(in.data());
  std::vector<float> outLeft(100, kUntouched), outRight(100, kUntouched);
  // Queues at 48 + 40: frames complete at the 16th and 32nd samples, 8 wait.
  vocoder_process_linked(x, x, 40, outLeft.data(), outRight.data(), 24);
  ASSERT_EQ(pushes.size(), 4u);
  const float* expected[] = {outLeft.data(), outLeft.data() + 24, outRight.data(), outRight.data() + 24};
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(pushes[k].at, expected[k]);
    EXPECT_EQ(pushes[k].channel, k / 2);
    EXPECT_EQ(pushes[k].size, 24);
  }
  EXPECT_EQ(outLeft[48], kUntouched);
  EXPECT_EQ(vocoder_state().inIndexes[1], 56);

  // Channels fed apart through vocoder_process are out of step: each goes on by itself.
  vocoder_process(x, 3, outLeft.data(), 24, 0);
  pushes.clear();
  vocoder_process_linked(x, x, 6, outLeft.data(), outRight.data(), 24);
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0].channel, 0);
  EXPECT_EQ(vocoder_state().inIndexes[0], 48 + 1);
  EXPECT_EQ(vocoder_state().inIndexes[1], 62);
}

TEST(VocoderLink, NonFiniteInputOnOneSideLeavesTheOtherSound) {
  for (float bad : {NAN, INFINITY, 3e38f}) {
    fresh(256, 64);
    std::vector<float> left = noise(4096 + 8192, 21);
    const std::vector<float> right = noise(4096 + 8192, 22);
    left[4096 + 100] = bad;
    const auto [outLeft, outRight] = feedLinked(left, right, 80, {512}, 64);
    for (float v : outRight) ASSERT_TRUE(std::isfinite(v)) << bad;
    // Once the sample has left the queues, the left side is back too.
    double energy = 0.0;
    for (size_t i = outLeft.size() - 4096; i < outLeft.size(); i++) {
      ASSERT_TRUE(std::isfinite(outLeft[i])) << bad << " at " << i;
      energy += (double)outLeft[i] * outLeft[i];
    }
    EXPECT_GT(energy / 4096, 0.01) << bad;
  }
}
