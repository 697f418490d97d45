#include "eq.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/fake_jni.h"
#include "velmora_chordsmith_NativeInterface.h"

namespace {

std::vector<float> gains() { return std::vector<float>(eqBands, eqBands + eq_band_count()); }

void setBands(FakeJni& jni, std::vector<float>& levels) {
  Java_velmora_chordsmith_NativeInterface_dspEQSetBands(jni.env(), nullptr, jni.floats(levels));
}

}  // namespace

// The module's state at load; each AtLoad test runs in a process of its own.
TEST(EqualiserAtLoad, BeforeSetUpHasNoGainsAndIgnoresNewOnes) {
  EXPECT_EQ(eqBands, nullptr);
  EXPECT_EQ(eq_band_count(), 0);
  FakeJni jni;
  std::vector<float> levels(8, 3.0f);
  setBands(jni, levels);
  EXPECT_EQ(eq_band_count(), 0);
  EXPECT_EQ(jni.outstanding(), 0);
  // The switch set before set-up survives it.
  Java_velmora_chordsmith_NativeInterface_dspEQEnable(jni.env(), nullptr, 1);
  eq_init(4);
  EXPECT_EQ(eq_is_enabled(), 1);
  EXPECT_EQ(gains(), std::vector<float>(4, 1.0f));
  eq_enable(0);
}

TEST(Equaliser, SwitchReducesAnyNonZeroValueToOne) {
  for (int v : {5, -1, 1}) {
    eq_enable(v);
    EXPECT_EQ(eq_is_enabled(), 1) << v;
  }
  eq_enable(0);
  EXPECT_EQ(eq_is_enabled(), 0);
}

TEST(Equaliser, SetUpWithTheSameCountKeepsGainsAndSwitch) {
  eq_init(1);
  eq_init(1024);  // fresh gains of 1.0, whatever ran before
  EXPECT_EQ(gains(), std::vector<float>(1024, 1.0f));
  std::vector<float> mine(1024);
  for (int i = 0; i < 1024; i++) mine[i] = 0.5f * i - 3.0f;
  eq_setbands(mine.data());
  eq_enable(7);
  eq_init(1024);
  EXPECT_EQ(gains(), mine);
  EXPECT_EQ(eq_is_enabled(), 1);
  eq_enable(0);
}

TEST(Equaliser, SetUpWithAnotherCountStartsFreshGainsAndKeepsTheSwitch) {
  eq_init(1024);
  std::vector<float> mine(1024, 0.25f);
  eq_setbands(mine.data());
  eq_enable(1);
  eq_init(2048);
  EXPECT_EQ(eq_band_count(), 2048);
  EXPECT_EQ(gains(), std::vector<float>(2048, 1.0f));
  EXPECT_EQ(eq_is_enabled(), 1);
  eq_init(0);
  EXPECT_EQ(eq_band_count(), 0);
  eq_enable(0);
}

TEST(Equaliser, NativeSetBandsCopiesNoMoreThanTheArrayAndTheCountAllow) {
  FakeJni jni;
  eq_init(4);
  eq_init(8);  // fresh gains of 1.0

  std::vector<float> longer = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  setBands(jni, longer);
  EXPECT_EQ(gains(), (std::vector<float>{2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(longer.size(), 10u);

  std::vector<float> shorter = {-1, 0};
  setBands(jni, shorter);
  EXPECT_EQ(gains(), (std::vector<float>{-1, 0, 4, 5, 6, 7, 8, 9}));

  std::vector<float> empty;
  setBands(jni, empty);
  EXPECT_EQ(gains(), (std::vector<float>{-1, 0, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(jni.outstanding(), 0);
}

TEST(Equaliser, NativeSetBandsReturnsAtOnceWhenTheArrayIsUnavailable) {
  FakeJni jni;
  eq_init(4);
  eq_init(3);
  std::vector<float> levels = {0, 0, 0};
  jni.failElements = true;
  setBands(jni, levels);
  EXPECT_EQ(jni.elementGets(), 1);
  EXPECT_EQ(gains(), std::vector<float>(3, 1.0f));
  Java_velmora_chordsmith_NativeInterface_dspEQSetBands(jni.env(), nullptr, nullptr);
  EXPECT_EQ(jni.elementGets(), 1);
  EXPECT_EQ(gains(), std::vector<float>(3, 1.0f));
}

TEST(Equaliser, GainsChangeWhileAnotherThreadReadsThem) {
  eq_init(16);
  eq_init(256);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) {
      const int n = eq_band_count();
      for (int i = 0; i < n; i++) {
        const float g = cs_load_relaxed(&eqBands[i]);
        ASSERT_TRUE(g == 1.0f || g == 2.0f || g == 3.0f);
      }
      (void)eq_is_enabled();
    }
  });
  std::vector<float> two(256, 2.0f), three(256, 3.0f);
  for (int round = 0; round < 500; round++) {
    eq_setbands(round % 2 ? two.data() : three.data());
    eq_enable(round % 2);
  }
  stop = true;
  reader.join();
  eq_enable(0);
}
