#include "iirfilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "support/fake_jni.h"
#include "velmora_chordsmith_NativeInterface.h"

namespace {

using Coeffs = std::vector<double>;

void setUp(Coeffs a, Coeffs b) { iir_init_filters(a.data(), b.data(), (int)a.size(), (int)b.size()); }

std::vector<double> run(int channel, const std::vector<double>& in) {
  std::vector<double> out;
  for (double x : in) out.push_back(iir_step(channel, x));
  return out;
}

uint64_t bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

void expectSameBits(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) EXPECT_EQ(bits(got[i]), bits(want[i])) << "sample " << i;
}

// The difference equation written out plainly over whole signals, same order of summation.
std::vector<double> reference(const Coeffs& a, const Coeffs& b, const std::vector<double>& x) {
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); n++) {
    double acc = x[n] * b[0];
    for (size_t j = 1; j < b.size(); j++) acc += b[j] * (n >= j ? x[n - j] : 0.0);
    for (size_t j = 1; j < a.size(); j++) acc -= a[j] * (n >= j ? y[n - j] : 0.0);
    y[n] = acc;
  }
  return y;
}

std::vector<double> signal(int n, int seed) {
  std::vector<double> x(n);
  for (int i = 0; i < n; i++) x[i] = (double)(((i + seed) * 7919) % 65536 - 32768) * 0.37;
  return x;
}

bool unconfigured(const iirFilter& f) {
  return f.n1 == 0 && f.n2 == 0 && f.a == nullptr && f.b == nullptr && f.buf1 == nullptr &&
         f.buf2 == nullptr && f.pos1 == 0 && f.pos2 == 0;
}

bool sameFields(const iirFilter& f, const iirFilter& g) { return std::memcmp(&f, &g, sizeof f) == 0; }

void loadNative(FakeJni& jni, std::vector<double>& a, std::vector<double>& b, int sizeA, int sizeB) {
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(jni.env(), nullptr, jni.doubles(a),
                                                                jni.doubles(b), sizeA, sizeB);
}

}  // namespace

// The module's state at load; each AtLoad test runs in a process of its own.
TEST(IirFilterAtLoad, PassesInputThroughUntilSetUpAndKeepsEarlyCoefficientsAcrossEngineSetUps) {
  EXPECT_TRUE(unconfigured(iirLeft));
  EXPECT_TRUE(unconfigured(iirRight));
  expectSameBits(run(0, {1.5, -40000.0, -0.0}), {1.5, -40000.0, -0.0});
  expectSameBits(run(1, {7.0}), {7.0});
  iir_init();
  EXPECT_TRUE(unconfigured(iirLeft));
  EXPECT_EQ(iir_step(0, 3.0), 3.0);

  // Loaded after one engine set-up and before another: the later set-ups leave it alone,
  // history included.
  setUp({1, -0.5}, {2});
  EXPECT_EQ(iir_step(0, 1.0), 2.0);
  iir_init();
  iir_init();
  expectSameBits(run(0, {0.0, 0.0}), {1.0, 0.5});
  EXPECT_EQ(inFilterProcess[0].load(), 0);
  EXPECT_EQ(inFilterSetup.load(), 0);
}

TEST(IirFilter, WorkedExamplesGiveExactOutputs) {
  setUp({1}, {0.5, 0.5});
  expectSameBits(run(0, {100, 200, 0}), {50, 150, 100});
  setUp({1, -0.5}, {1});
  expectSameBits(run(1, {1, 0, 0}), {1, 0.5, 0.25});
}

TEST(IirFilter, PlainGainHoldsNoHistory) {
  setUp({1}, {-0.75});
  for (const iirFilter* f : {&iirLeft, &iirRight}) {
    EXPECT_EQ(f->n1, 0);
    EXPECT_EQ(f->n2, 0);
    EXPECT_EQ(f->buf1, nullptr);
    EXPECT_EQ(f->buf2, nullptr);
  }
  expectSameBits(run(0, {4, -32768, 0, 1e-300}), {-3, 24576, -0.0, -0.75e-300});
}

TEST(IirFilter, FirstFeedbackCoefficientIsNeverRead) {
  const std::vector<double> x = signal(40, 3);
  setUp({1, -0.5}, {0.25, 0.5});
  const std::vector<double> normalised = run(0, x);
  for (double a0 : {2.0, 0.0, -1.0, (double)NAN}) {
    setUp({a0, -0.5}, {0.25, 0.5});
    expectSameBits(run(0, x), normalised);
  }
  // With a single feedback coefficient the filter is purely feed-forward.
  setUp({NAN}, {1, 1});
  expectSameBits(run(1, {1, 2, 3}), {1, 3, 5});
}

TEST(IirFilter, SumsInDoubleInTheStatedOrderAcrossRingWraps) {
  // b[0] * x[n] first, then the past newest first: 1 + 1e16 rounds to 1e16 before -1e16 cancels
  // it, so the output is 0; summing the oldest term first would give 1.
  setUp({1}, {1, 1e16, -1e16});
  expectSameBits(run(0, {1, 1, 1}), {1, 1e16, 0});
  // Feedback terms come after the whole feed-forward sum: 1e16 + 1 - 1e16 is 0 here, not 1.
  setUp({1, 1e16}, {1, 1e16});
  expectSameBits(run(0, {1, 1, 0}), {1, 0, 1e16});

  // Unequal orders, long enough for each ring to wrap many times; each channel on its own.
  const Coeffs a = {1, -0.6, 0.21, 0.1, -0.05}, b = {0.3, -0.2, 0.7};
  const std::vector<double> x0 = signal(200, 1), x1 = signal(200, 50);
  setUp(a, b);
  std::vector<double> y0, y1;
  for (int i = 0; i < 200; i++) {
    y1.push_back(iir_step(1, x1[i]));
    y0.push_back(iir_step(0, x0[i]));
  }
  expectSameBits(y0, reference(a, b, x0));
  expectSameBits(y1, reference(a, b, x1));
  // Any channel other than 0 is the right one.
  setUp(a, b);
  expectSameBits({iir_step(5, x1[0]), iir_step(-1, x1[1]), iir_step(1, x1[2])},
                 reference(a, b, {x1[0], x1[1], x1[2]}));
  EXPECT_EQ(iirLeft.pos1, 0);
}

TEST(IirFilter, OutputsBeyondSixteenBitsAreKeptAndFedBack) {
  setUp({1, -0.5}, {1});
  expectSameBits(run(0, {40000, 0, 0}), {40000, 20000, 10000});
  setUp({1}, {2});
  EXPECT_EQ(iir_step(1, 30000), 60000);
}

TEST(IirFilter, EverySetUpCopiesTheCoefficientsAndStartsFromSilence) {
  Coeffs a = {1, 0.9, -0.2}, b = {0.5, 0.25, 0.125, 1};
  setUp(a, b);
  run(0, signal(17, 2));
  run(1, signal(5, 9));
  iir_init_filters(a.data(), b.data(), 3, 4);
  a[1] = 100;  // the caller's arrays are not kept
  b[0] = 100;
  for (const iirFilter* f : {&iirLeft, &iirRight}) {
    EXPECT_EQ(f->n1, 3);
    EXPECT_EQ(f->n2, 2);
    EXPECT_EQ(f->pos1, 0);
    EXPECT_EQ(f->pos2, 0);
    EXPECT_EQ(std::vector<double>(f->a, f->a + 3), (Coeffs{1, 0.9, -0.2}));
    EXPECT_EQ(std::vector<double>(f->b, f->b + 4), (Coeffs{0.5, 0.25, 0.125, 1}));
    EXPECT_EQ(std::vector<double>(f->buf1, f->buf1 + 3), Coeffs(3, 0.0));
    EXPECT_EQ(std::vector<double>(f->buf2, f->buf2 + 2), Coeffs(2, 0.0));
  }
  EXPECT_NE(iirLeft.a, iirRight.a);
  EXPECT_NE(iirLeft.buf1, iirRight.buf1);
  EXPECT_EQ(iir_step(0, 8.0), 4.0);
  EXPECT_EQ(iir_step(1, -8.0), -4.0);
}

TEST(IirFilter, StepDuringSetUpReturnsItsInputAndTouchesNothing) {
  const Coeffs a = {1, -0.25}, b = {0.5, 0.5};
  const std::vector<double> x = signal(6, 4);
  setUp(a, b);
  std::vector<double> y = run(0, {x[0], x[1], x[2]});
  const iirFilter before = iirLeft;
  inFilterSetup.store(1);
  expectSameBits(run(0, {-0.0, 12345.5, NAN}), {-0.0, 12345.5, NAN});
  EXPECT_EQ(iir_step(1, 3.0), 3.0);
  const double in0[2] = {7.5, -0.0}, in1[2] = {NAN, 1e300};
  double out0[2], out1[2];
  iir_step_frames(in0, out0, in1, out1, 2);  // a whole stretch passes through
  expectSameBits({out0[0], out0[1], out1[0], out1[1]}, {7.5, -0.0, NAN, 1e300});
  EXPECT_EQ(inFilterProcess[0].load(), 0);
  EXPECT_EQ(inFilterProcess[1].load(), 0);
  inFilterSetup.store(0);
  EXPECT_TRUE(sameFields(iirLeft, before));
  for (int i = 3; i < 6; i++) y.push_back(iir_step(0, x[i]));
  expectSameBits(y, reference(a, b, x));
}

TEST(IirFilter, InvalidCountsOrArraysLeaveBothFiltersAsTheyWere) {
  setUp({1, -0.5}, {3, 1});
  iir_step(0, 2.0);
  const iirFilter left = iirLeft, right = iirRight;
  Coeffs a = {1, 2}, b = {1, 2};
  for (auto [sizeA, sizeB] : std::vector<std::pair<int, int>>{{0, 2}, {2, 0}, {-1, 2}, {2, -5}, {0, 0}}) {
    iir_init_filters(a.data(), b.data(), sizeA, sizeB);
    iir_init_filter(&iirRight, a.data(), b.data(), sizeA, sizeB);
  }
  iir_init_filters(nullptr, b.data(), 2, 2);
  iir_init_filters(a.data(), nullptr, 2, 2);
  iir_init_filter(nullptr, a.data(), b.data(), 2, 2);
  EXPECT_TRUE(sameFields(iirLeft, left));
  EXPECT_TRUE(sameFields(iirRight, right));
  EXPECT_EQ(iir_step(0, 0.0), 2.0 + 3.0);  // b[1] * x[n-1] - a[1] * y[n-1] = 2 + 3
}

TEST(IirFilter, RunningOutOfMemoryLeavesBothFiltersPassingThrough) {
  // Each filter obtains four arrays: the k-th allocation of a set-up fails.
  static int allocationsLeft;
  auto failing = [](std::size_t bytes) -> void* {
    return allocationsLeft-- > 0 ? std::malloc(bytes) : nullptr;
  };
  for (int k = 0; k < 8; k++) {
    setUp({1, 0.5}, {2, 1});
    allocationsLeft = k;
    cs_set_allocator(failing);
    setUp({1, 0.25, 0.5}, {4, 1, 1});
    cs_set_allocator(nullptr);
    EXPECT_TRUE(unconfigured(iirLeft)) << k;
    EXPECT_TRUE(unconfigured(iirRight)) << k;
    EXPECT_EQ(iir_step(0, 5.0), 5.0);
    EXPECT_EQ(iir_step(1, -5.0), -5.0);
    EXPECT_EQ(inFilterSetup.load(), 0);
  }
  // One filter alone: cleared, not half built.
  setUp({1}, {2});
  allocationsLeft = 1;
  cs_set_allocator(failing);
  Coeffs a = {1, 0.5}, b = {1, 1};
  iir_init_filter(&iirLeft, a.data(), b.data(), 2, 2);
  cs_set_allocator(nullptr);
  EXPECT_TRUE(unconfigured(iirLeft));
  EXPECT_EQ(iir_step(1, 5.0), 10.0);
  // Memory back: the next set-up works as usual.
  setUp({1}, {3});
  EXPECT_EQ(iir_step(0, 5.0), 15.0);
}

TEST(IirFilter, NativeMethodLoadsBothFiltersWithinTheArraysBounds) {
  FakeJni jni;
  std::vector<double> a = {1, -0.5, 0.25}, b = {2, 1, 0.5, 0.125};
  loadNative(jni, a, b, 3, 4);
  EXPECT_EQ(jni.outstanding(), 0);
  EXPECT_EQ(a, (Coeffs{1, -0.5, 0.25}));
  for (const iirFilter* f : {&iirLeft, &iirRight}) {
    EXPECT_EQ(f->n1, 3);
    EXPECT_EQ(f->n2, 2);
  }
  expectSameBits(run(1, signal(20, 7)), reference(a, b, signal(20, 7)));

  // Counts past the arrays' ends are cut to their lengths; smaller counts are used as given.
  loadNative(jni, a, b, 1000, 2);
  EXPECT_EQ(iirLeft.n2, 2);
  EXPECT_EQ(iirRight.n1, 1);
  expectSameBits(run(0, signal(20, 7)), reference(a, {2, 1}, signal(20, 7)));
  // The same array as both numerator and denominator.
  loadNative(jni, b, b, 1, 1);
  EXPECT_EQ(iir_step(0, 3.0), 6.0);
  EXPECT_EQ(jni.outstanding(), 0);
}

TEST(IirFilter, NativeMethodIgnoresNullEmptyOrUnobtainableArrays) {
  setUp({1}, {-1});
  const iirFilter left = iirLeft, right = iirRight;
  FakeJni jni;
  std::vector<double> a = {1, 0.5}, b = {1, 1}, empty;
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(jni.env(), nullptr, nullptr, jni.doubles(b),
                                                                2, 2);
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(jni.env(), nullptr, jni.doubles(a), nullptr,
                                                                2, 2);
  loadNative(jni, a, b, 0, 2);
  loadNative(jni, a, b, 2, -3);
  loadNative(jni, empty, b, 5, 2);
  loadNative(jni, a, empty, 2, 5);
  EXPECT_EQ(jni.elementGets(), 0);

  jni.failElements = true;
  loadNative(jni, a, b, 2, 2);
  EXPECT_EQ(jni.elementGets(), 1);  // returned at once, without asking for the second

  // The second array cannot be obtained: the first is handed back.
  jni.failElements = false;
  struct FailSecond {
    JNIEnv env;
    JNINativeInterface_ table;
    JNIEnv* inner;
    int gets;
  } wrapper{};
  wrapper.inner = jni.env();
  wrapper.table = *jni.env()->functions;
  wrapper.env.functions = &wrapper.table;
  wrapper.table.GetArrayLength = [](JNIEnv* e, jarray arr) {
    JNIEnv* in = reinterpret_cast<FailSecond*>(e)->inner;
    return in->GetArrayLength(arr);
  };
  wrapper.table.GetDoubleArrayElements = [](JNIEnv* e, jdoubleArray arr, jboolean* copy) -> jdouble* {
    FailSecond* w = reinterpret_cast<FailSecond*>(e);
    return ++w->gets == 2 ? nullptr : w->inner->GetDoubleArrayElements(arr, copy);
  };
  wrapper.table.ReleaseDoubleArrayElements = [](JNIEnv* e, jdoubleArray arr, jdouble* p, jint mode) {
    reinterpret_cast<FailSecond*>(e)->inner->ReleaseDoubleArrayElements(arr, p, mode);
  };
  Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(&wrapper.env, nullptr, jni.doubles(a),
                                                                jni.doubles(b), 2, 2);
  EXPECT_EQ(wrapper.gets, 2);
  EXPECT_EQ(jni.outstanding(), 0);
  EXPECT_EQ(a, (Coeffs{1, 0.5}));

  EXPECT_TRUE(sameFields(iirLeft, left));
  EXPECT_TRUE(sameFields(iirRight, right));
}

// One audio thread steps both channels without pause while two application threads replace the
// coefficients thousands of times with different orders. Every set is a plain gain g in
// 2 .. 14 padded with zero coefficients, so each output must be exactly g * x for one g, or x
// itself during a set-up; a step that read a half-built or released filter would show up here
// or in the sanitizers. After each set-up a setter lets the audio thread run a few frames, so
// that filtered outputs are checked too and not only pass-through ones.
TEST(IirFilter, StretchesOfFramesGiveTheStepsOwnOutputs) {
  // Unequal orders, and equal ones (the engine's usual design, which takes unrolled code).
  for (const auto& [a, b] : {std::pair<Coeffs, Coeffs>{{1, -1.2, 0.5, -0.1}, {0.3, -0.2, 0.1}},
                             std::pair<Coeffs, Coeffs>{{1, -2.9, 3.2, -1.6, 0.3}, {0.2, 0, -0.4, 0, 0.2}}}) {
    const std::vector<double> left = signal(700, 11), right = signal(700, 12);
    setUp(a, b);
    std::vector<double> out0(left.size()), out1(right.size());
    const size_t stretched = 650;  // the rest by single steps, which carry on from the rings
    for (size_t start = 0; start < stretched; start += 256) {  // wraps the rings mid-stretch
      const int n = (int)std::min<size_t>(256, stretched - start);
      iir_step_frames(&left[start], &out0[start], &right[start], &out1[start], n);
    }
    for (size_t i = stretched; i < left.size(); i++) {
      out0[i] = iir_step(0, left[i]);
      out1[i] = iir_step(1, right[i]);
    }
    expectSameBits(out0, reference(a, b, left));
    expectSameBits(out1, reference(a, b, right));
    EXPECT_EQ(inFilterProcess[0].load(), 0);
    EXPECT_EQ(inFilterProcess[1].load(), 0);
  }
}

TEST(IirFilter, SetUpsRacingWithStepsNeverExposeAHalfBuiltFilter) {
  constexpr int kSetUpsPerThread = 1500;
  std::atomic<bool> running{true};
  std::atomic<long> frames{0};
  std::atomic<unsigned> gainsSeen{0};  // bit g set once an output of gain g was checked
  std::atomic<int> bad{0};
  std::atomic<double> firstBad{0};
  setUp({1}, {2});  // a gain of the checked kind from the first frame on

  std::thread audio([&] {
    long n = 0;
    unsigned seen = 0;
    auto check = [&](double x, double y) {
      const double g = y / x;
      const bool gain = g == std::floor(g) && g >= 2 && g <= 14 && g * x == y;
      if (gain) seen |= 1u << (int)g;
      if (y != x && !gain && bad.fetch_add(1) == 0) firstBad.store(y);
    };
    while (running.load(std::memory_order_relaxed)) {
      if (n % 2 == 0) {  // single steps, then a stretch of four frames, as the engine runs them
        for (int channel = 1; channel >= 0; channel--) {
          const double x = (double)(1 + (n * 37 + channel) % 1000);
          check(x, iir_step(channel, x));
        }
      } else {
        double in[2][4], out[2][4];
        for (int j = 0; j < 4; j++) {
          for (int channel = 0; channel < 2; channel++)
            in[channel][j] = (double)(1 + (n * 41 + j * 7 + channel) % 1000);
        }
        iir_step_frames(in[0], out[0], in[1], out[1], 4);
        for (int j = 0; j < 4; j++) {
          for (int channel = 0; channel < 2; channel++) check(in[channel][j], out[channel][j]);
        }
      }
      frames.store(++n, std::memory_order_relaxed);
    }
    gainsSeen.store(seen);
  });
  auto setter = [&](int first) {
    for (int k = first; k < first + kSetUpsPerThread; k++) {
      const int sizeA = 1 + k % 5, sizeB = 1 + (k / 5) % 7;
      Coeffs a(sizeA, 0.0), b(sizeB, 0.0);
      a[0] = 1;
      b[0] = 2 + k % 13;
      iir_init_filters(a.data(), b.data(), sizeA, sizeB);
      const long until = frames.load(std::memory_order_relaxed) + 3;
      while (frames.load(std::memory_order_relaxed) < until) std::this_thread::yield();
    }
  };
  while (frames.load(std::memory_order_relaxed) == 0) std::this_thread::yield();
  std::thread app1(setter, 0), app2(setter, kSetUpsPerThread);
  app1.join();
  app2.join();
  running.store(false);
  audio.join();

  EXPECT_EQ(bad.load(), 0) << "first bad output " << firstBad.load();
  EXPECT_GT(__builtin_popcount(gainsSeen.load()), 1);
  // The set-ups did not interleave: both filters hold the last one complete.
  EXPECT_EQ(iirLeft.n1, iirRight.n1);
  EXPECT_EQ(iirLeft.n2, iirRight.n2);
  EXPECT_EQ(iirLeft.b[0], iirRight.b[0]);
  EXPECT_EQ(inFilterSetup.load(), 0);
  EXPECT_EQ(iir_step(0, 10.0), 10.0 * iirLeft.b[0]);
}
