// The engine through its JNI methods, driven by a fake JNIEnv.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "eq.h"
#include "fft.h"
#include "iirfilter.h"
#include "spectrum.h"
#include "support/engine.h"
#include "support/fake_jni.h"
#include "vocoder.h"

namespace {

struct Engine {
  FakeJni jni;
  void init(int frame, int over, int rate, int ch) {
    Java_velmora_chordsmith_NativeInterface_dspInit(jni.env(), nullptr, frame, over, rate, ch);
  }
  void process(std::vector<jshort>& block, int in, int out, float pitch = 0.0f) {
    Java_velmora_chordsmith_NativeInterface_dspProcess(jni.env(), nullptr, jni.shorts(block), in, out, pitch);
  }
  float peak() { return Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(jni.env(), nullptr); }
  void preamp(float g) { Java_velmora_chordsmith_NativeInterface_dspSetPreamp(jni.env(), nullptr, g); }
  void panning(int active, int mono, int level) {
    Java_velmora_chordsmith_NativeInterface_dspPanning(jni.env(), nullptr, active, mono, level);
  }
  void voiceRemoval(int on, float amount) {
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(jni.env(), nullptr, on);
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(jni.env(), nullptr, amount);
  }
  void filter(std::vector<double> a, std::vector<double> b) {
    Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(
        jni.env(), nullptr, jni.doubles(a), jni.doubles(b), (jint)a.size(), (jint)b.size());
  }
  void stereoLink(int on) { Java_velmora_chordsmith_NativeInterface_dspStereoLink(jni.env(), nullptr, on); }
  // Back to the default mixer.
  void reset() {
    preamp(1.0f);
    panning(0, 0, 50);
    voiceRemoval(0, 0.0f);
    stereoLink(0);
    eq_enable(0);
  }
};

std::vector<float> inputStage(int channel, int frames) {
  const DspBuffers b = dsp_buffers();
  const float* p = channel == 0 ? b.inLeft : b.inRight;
  return std::vector<float>(p, p + frames);
}

// An engine whose vocoder will not complete a frame for a while (frame 4096, one frame per
// frame length), with chosen values in the output buffers: the output stage then reads exactly
// those values, divided by an overlap scaling of 0.5 (the hop clamps to the frame size).
std::vector<jshort> outputStageOf(Engine& e, int channels, const std::vector<float>& left,
                                  const std::vector<float>& right = {}) {
  e.init(4096, 1, 44100, channels);
  const int n = (int)left.size();
  std::vector<jshort> block((size_t)n * channels, 0);
  e.process(block, 1, 1);  // creates the buffers if this is the first block
  const DspBuffers b = dsp_buffers();
  EXPECT_GE(b.outCapacity, n);
  for (int i = 0; i < n; i++) {
    b.outLeft[i] = left[i] / 2.0f;
    if (channels == 2) b.outRight[i] = right[i] / 2.0f;
  }
  std::fill(block.begin(), block.end(), 0);
  e.process(block, 1, n);
  return block;
}

// Brings the analyser's running count to 0, whatever it holds: a set-up keeps the count, and
// each analysis takes one interval off it. At a rate of INT_MAX the interval is 67 million, so
// even a count at its limit drains in a few dozen analyses of an empty window.
void settleAnalyserCount(int rate, int channels) {
  std::vector<float> zeros(16384, 0.0f);
  spectrum_init(std::numeric_limits<int>::max(), channels);
  while (spectrum_pending_samples() > 0) {
    const int missing = spectrum_analysis_interval() - spectrum_pending_samples();
    spectrum_push(zeros.data(), missing > 0 ? missing : 0, 1);
  }
  spectrum_init(rate, channels);
}

}  // namespace

// The engine's state at load; each AtLoad test runs in a process of its own.
TEST(EngineAtLoad, BeforeSetUpBlocksAreLeftAloneAndThePeakIsZero) {
  Engine e;
  EXPECT_EQ(e.peak(), 0.0f);
  std::vector<jshort> block = {1000, -1000, 2000, -2000};
  e.process(block, 2, 2);
  EXPECT_EQ(block, (std::vector<jshort>{1000, -1000, 2000, -2000}));
  EXPECT_EQ(e.jni.elementGets(), 0);
  EXPECT_EQ(dsp_buffers().inLeft, nullptr);
  EXPECT_EQ(e.peak(), 0.0f);
}

// Needs its block to be the process's first.
TEST(EngineAtLoad, TheFirstBlockSizesTheBuffersForGood) {
  Engine e;
  e.init(2048, 4, 44100, 2);
  std::vector<jshort> block(2 * 2048, 0);
  e.process(block, 2048, 2048);
  const DspBuffers first = dsp_buffers();
  ASSERT_NE(first.inLeft, nullptr);
  EXPECT_EQ(first.inCapacity, 4 * 2048);
  EXPECT_EQ(first.outCapacity, 8 * 2048);
  e.init(1024, 2, 48000, 2);
  EXPECT_EQ(dsp_buffers().inLeft, first.inLeft);
  EXPECT_EQ(dsp_buffers().inCapacity, first.inCapacity);
}

TEST(EngineLifecycle, InvalidSetUpsKeepThePreviousOne) {
  Engine e;
  e.init(2048, 4, 44100, 1);
  for (auto [frame, over] : {std::pair{1000, 4}, {2048, 0}, {2048, 4096}, {8192, 4}, {0, 1}, {-2048, 4}}) {
    e.init(frame, over, 44100, 1);
    std::vector<jshort> block(640, 0);
    e.process(block, 512, 640);
    EXPECT_EQ(lastStretchFactor, 1.25) << frame << "/" << over;  // still stepIn 512
  }
}

// The modules' set-ups are exported too. Called behind the engine's back with another geometry
// they must not make a block read or write outside a buffer: frames the transform is not set
// up for stay silent, and the block buffers follow the vocoder's hop, not the engine's.
TEST(EngineLifecycle, ModuleSetUpsWithAnotherGeometryStayWithinTheBuffers) {
  Engine e;
  e.init(64, 4, 44100, 2);
  fft_init(4096);
  std::vector<jshort> block(32, 20000);
  e.process(block, 16, 16);
  EXPECT_EQ(block, std::vector<jshort>(32, 0));

  e.init(64, 4, 44100, 2);
  vocoder_init(4096, 1);  // one frame per sample: 16 frames of the engine's hop of 16
  std::fill(block.begin(), block.end(), 20000);
  e.process(block, 16, 16);
  EXPECT_GE(dsp_buffers().outCapacity, 16 * 16);

  e.init(64, 4, 44100, 2);
  vocoder_init(256, 1);  // one frame per sample, hops of up to 256
  std::vector<jshort> big(2 * 8192, 1000);
  e.process(big, 2048, 8192);  // an engine hop of 64: 2048 frames of 64 samples per channel
  EXPECT_GE(dsp_buffers().outCapacity, 2048 * 64);
  for (jshort v : big) ASSERT_NE(v, -32768);
}

// Every allocation may fail: the vocoder's and the equaliser's at set-up, the block buffers'
// when a block outgrows them. Whichever does, nothing is touched outside a buffer, and once
// memory is back the next set-up plays as usual.
TEST(EngineLifecycle, AnyFailedAllocationLeavesTheEngineSafeAndItRecovers) {
  Engine e;
  e.reset();
  static int allocationsLeft;
  for (int k = 0; k < 30; k++) {
    allocationsLeft = k;
    cs_set_allocator(
        [](std::size_t bytes) -> void* { return allocationsLeft-- > 0 ? std::malloc(bytes) : nullptr; });
    e.init(k % 2 == 0 ? 256 : 512, 4, 44100, 2);
    const int frames = (int)dsp_buffers().inCapacity + 1;  // outgrows the block buffers
    std::vector<jshort> block = sineBlock(frames, 2, 440, 44100, 20000);
    e.process(block, frames, frames);
    cs_set_allocator(nullptr);
    for (jshort v : block) ASSERT_NE(v, -32768) << k;
  }
  e.init(256, 4, 44100, 2);
  std::vector<jshort> block = sineBlock(2048, 2, 440, 44100, 20000);
  e.process(block, 2048, 2048);
  EXPECT_GT(e.peak(), 0.1f);
}

TEST(EngineHop, StepOutIsTheSinglePrecisionQuotientTimesStepInTruncated) {
  Engine e;
  e.init(2048, 3, 44100, 1);  // stepIn 682
  std::vector<jshort> block(720, 0);
  e.process(block, 682, 720);
  EXPECT_EQ(lastStretchFactor, (double)(719.0f / 682.0f));  // not 720
  e.init(2048, 4, 44100, 1);
  std::vector<jshort> big(2400, 0);
  e.process(big, 2048, 2400);
  EXPECT_EQ(lastStretchFactor, (double)(600.0f / 512.0f));
}

TEST(EngineInput, MonoIsScaledAndIgnoresTheMixer) {
  Engine e;
  e.init(1024, 4, 44100, 1);
  e.panning(1, 1, 0);
  e.filter({1}, {1});
  e.voiceRemoval(1, 1.0f);
  const int pos = iirLeft.pos1;
  std::vector<jshort> block = {32767, -32768, 1, -1, 0, 12345};
  e.process(block, 6, 6);
  EXPECT_EQ(inputStage(0, 6),
            (std::vector<float>{32767 * kPcmScale, -1.0f, kPcmScale, -kPcmScale, 0.0f, 12345 * kPcmScale}));
  EXPECT_EQ(iirLeft.pos1, pos);
  e.reset();
}

TEST(EngineInput, BalanceMovesOneSideTowardTheOther) {
  Engine e;
  e.init(1024, 4, 44100, 2);
  struct Case {
    int level;
    float left, right;  // for the input frame (1000, 3000)
  } cases[] = {{0, 3000, 3000},  {25, 2000, 3000},  {50, 1000, 3000},
               {75, 1000, 2000}, {100, 1000, 1000}, {150, 1000, -1000}};
  for (const Case& c : cases) {
    e.panning(1, 0, c.level);
    std::vector<jshort> block = {1000, 3000};
    e.process(block, 1, 1);
    EXPECT_EQ(inputStage(0, 1)[0], c.left * kPcmScale) << c.level;
    EXPECT_EQ(inputStage(1, 1)[0], c.right * kPcmScale) << c.level;
  }
  e.panning(0, 1, 0);  // the mono switch alone changes nothing
  std::vector<jshort> block = {1000, 3000};
  e.process(block, 1, 1);
  EXPECT_EQ(inputStage(0, 1)[0], 1000 * kPcmScale);
  EXPECT_EQ(inputStage(1, 1)[0], 3000 * kPcmScale);
  e.panning(1, 1, 0);  // the mono fold, whatever the balance
  block = {1000, 3000};
  e.process(block, 1, 1);
  EXPECT_EQ(inputStage(0, 1)[0], 2000 * kPcmScale);
  EXPECT_EQ(inputStage(1, 1)[0], 2000 * kPcmScale);
  e.reset();
}

TEST(EngineInput, VoiceRemovalSubtractsTheFilteredOppositeSideInDouble) {
  Engine e;
  e.init(1024, 4, 44100, 2);
  e.filter({1}, {0.5});  // a plain gain of one half
  e.voiceRemoval(1, 0.3f);
  std::vector<jshort> block = {1000, 3001, -7, 20000};
  e.process(block, 2, 2);
  const double amount = (double)0.3f;
  EXPECT_EQ(inputStage(0, 2), (std::vector<float>{(float)((1000.0 - amount * 1500.5) * kPcmScaleD),
                                                  (float)((-7.0 - amount * 10000.0) * kPcmScaleD)}));
  EXPECT_EQ(inputStage(1, 2), (std::vector<float>{(float)((3001.0 - amount * 500.0) * kPcmScaleD),
                                                  (float)((20000.0 - amount * -3.5) * kPcmScaleD)}));

  // The filters hear the opposite sides: a one-sample delay shows which input each one saw.
  e.filter({1}, {0, 1});
  std::vector<jshort> next = {10, 20, 30, 40};
  e.process(next, 2, 2);
  EXPECT_EQ(inputStage(0, 2)[1], (float)((30.0 - amount * 20.0) * kPcmScaleD));
  EXPECT_EQ(inputStage(1, 2)[1], (float)((40.0 - amount * 10.0) * kPcmScaleD));
  e.reset();
}

TEST(EngineInput, VoiceRemovalWithoutAPositiveAmountLeavesTheFilterAlone) {
  Engine e;
  e.init(1024, 4, 44100, 2);
  e.filter({1}, {1, 1});
  for (float amount : {0.0f, -0.5f}) {
    e.voiceRemoval(1, amount);
    std::vector<jshort> block = {100, 200};
    e.process(block, 1, 1);
    EXPECT_EQ(iirLeft.pos1, 0);
    EXPECT_EQ(inputStage(0, 1)[0], 100 * kPcmScale);
  }
  e.reset();
}

TEST(EngineOutput, LimiterAndQuantisationInMono) {
  Engine e;
  const std::vector<float> levels = {0.5f, 0.95f, 1.0f, -1.0f, 2.0f, -2.0f, 100.5f / 32767.0f, -1.5f};
  const std::vector<jshort> out = outputStageOf(e, 1, levels);
  EXPECT_EQ(out[0], (jshort)(0.5f * 32767.0f));
  EXPECT_EQ(out[1], (jshort)(0.95f * 32767.0f));  // the knee itself is not limited
  const float factor = 1.0f - (1.0f - 0.95f) * 0.25f;
  EXPECT_NEAR(factor, 0.9875f, 1e-6f);
  EXPECT_EQ(out[2], (jshort)(factor * 32767.0f));
  EXPECT_EQ(out[3], (jshort)(-factor * 32767.0f));
  EXPECT_EQ(out[4], 32767);   // 2.0 limits to 1.475, still above full scale
  EXPECT_EQ(out[5], -32767);  // never -32768
  EXPECT_EQ(out[6], 100);     // truncated toward zero
  EXPECT_EQ(out[7], -32767);
  EXPECT_EQ(e.peak(), 2.0f);  // measured before the limiter
}

TEST(EngineOutput, StereoLimitsWithHalfTheSlopeAndPeaksOverBothSides) {
  Engine e;
  const std::vector<jshort> out = outputStageOf(e, 2, {1.0f, 0.25f}, {-0.5f, 1.25f});
  const float factor = 1.0f - (1.0f - 0.95f) * 0.125f;
  EXPECT_NEAR(factor, 0.99375f, 1e-6f);
  EXPECT_EQ(out[0], (jshort)(factor * 32767.0f));
  EXPECT_EQ(out[1], (jshort)(-0.5f * 32767.0f));
  EXPECT_EQ(out[2], (jshort)(0.25f * 32767.0f));
  EXPECT_EQ(out[3], 32767);  // 1.25 limits to 1.2125
  EXPECT_EQ(e.peak(), 1.25f);
}

TEST(EngineOutput, LoudSamplesNeverFoldBackToTheOtherSign) {
  const float inf = std::numeric_limits<float>::infinity();
  for (int channels : {1, 2}) {
    Engine e;
    const std::vector<float> loud = {3.0f, -6.0f, 10.0f, 1e30f, inf, -inf};
    const std::vector<jshort> out = outputStageOf(e, channels, loud, loud);
    for (size_t i = 0; i < loud.size(); i++) {
      EXPECT_EQ(out[i * channels], loud[i] > 0 ? 32767 : -32767) << channels << " " << loud[i];
    }
  }
}

TEST(EngineOutput, NonFiniteSamplesQuantiseToSilenceAndLeaveThePeakAlone) {
  Engine e;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<jshort> out = outputStageOf(e, 1, {0.5f, nan, -0.25f});
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(e.peak(), 0.5f);
}

TEST(EngineOutput, PreampActsBeforeThePeakIsTaken) {
  Engine e;
  e.preamp(4.0f);
  outputStageOf(e, 1, {0.5f, -0.125f});
  EXPECT_EQ(e.peak(), 2.0f);
  e.reset();
}

TEST(EngineBlocks, ElementsPastTheOutputKeepTheirInput) {
  Engine e;
  e.init(2048, 4, 44100, 2);
  std::vector<jshort> block = sineBlock(2048, 2, 440, 44100, 8000);
  const std::vector<jshort> input = block;
  e.process(block, 2048, 1000);
  EXPECT_TRUE(std::equal(block.begin() + 2000, block.end(), input.begin() + 2000));

  std::vector<jshort> again = input;
  e.process(again, 2048, 0);
  EXPECT_EQ(again, input);
  EXPECT_EQ(e.peak(), 0.0f);
}

TEST(EngineBlocks, CountsAreBoundedByTheArray) {
  Engine e;
  e.init(512, 4, 44100, 2);
  std::vector<jshort> block = sineBlock(100, 2, 440, 44100, 8000);
  e.process(block, 1000, 5000);  // the exact-size copy would overflow if the counts were trusted
  std::vector<jshort> odd(7, 100);
  e.process(odd, 4, 4);  // three whole frames and a lone left sample, which is never touched
  EXPECT_EQ(odd[6], 100);
  EXPECT_EQ(e.jni.outstanding(), 0);
}

TEST(EngineBlocks, EmptyOrUnavailableBlocksWriteNothing) {
  Engine e;
  e.init(512, 4, 44100, 1);
  std::vector<jshort> block(64, 5);
  for (int in : {0, -3}) {
    e.process(block, in, 64);
    EXPECT_EQ(block, std::vector<jshort>(64, 5));
    EXPECT_EQ(e.peak(), 0.0f);
  }
  e.jni.failElements = true;
  e.process(block, 64, 64);
  EXPECT_EQ(e.peak(), 0.0f);
  Java_velmora_chordsmith_NativeInterface_dspProcess(e.jni.env(), nullptr, nullptr, 64, 64, 0.0f);
  EXPECT_EQ(e.jni.outstanding(), 0);
}

TEST(EngineBlocks, PitchShiftAmountHasNoEffect) {
  Engine e;
  std::vector<std::vector<jshort>> runs;
  for (float pitch : {0.0f, 3.7f}) {
    e.init(1024, 4, 44100, 2);
    std::vector<jshort> out;
    for (int b = 0; b < 4; b++) {
      std::vector<jshort> block = sineBlock(1024, 2, 330, 44100, 9000, b * 1024L, 0.5);
      block.resize(2 * 1280);
      e.process(block, 1024, 1280, pitch);
      out.insert(out.end(), block.begin(), block.end());
    }
    runs.push_back(out);
  }
  EXPECT_EQ(runs[0], runs[1]);
}

TEST(EngineBlocks, AGrowingBlockGivesTheResultsOfLargeBuffers) {
  // Sized by a tiny first block, the buffers must grow for the big one; a second run over the
  // same blocks then starts with buffers that are large enough. Both must agree to the bit.
  Engine e;
  std::vector<std::vector<jshort>> runs;
  for (int run = 0; run < 2; run++) {
    e.init(1024, 4, 44100, 1);  // stepIn 256
    std::vector<jshort> tiny(256, 0);
    e.process(tiny, 256, 256);
    std::vector<jshort> big = sineBlock(16384, 1, 440, 44100, 12000);
    big.resize(24576);
    e.process(big, 16384, 24576);  // stretch 1.5: 64 frames of 384
    runs.push_back(big);
  }
  EXPECT_EQ(runs[0], runs[1]);
  EXPECT_GE(dsp_buffers().outCapacity, 24576);
}

TEST(EngineThroughModules, EqualiserZeroGainsSilenceTheOutput) {
  Engine e;
  e.init(1024, 4, 44100, 1);
  std::vector<float> zeros(512, 0.0f);
  eq_setbands(zeros.data());
  eq_enable(1);
  for (int b = 0; b < 8; b++) {
    std::vector<jshort> block = sineBlock(1024, 1, 1000, 44100, 16000, b * 1024L);
    e.process(block, 1024, 1024);
    EXPECT_EQ(block, std::vector<jshort>(1024, 0));
  }
  std::vector<float> ones(512, 1.0f);
  eq_setbands(ones.data());
  e.reset();
}

TEST(EngineThroughModules, SpectrumSeesTheStretchedOutput) {
  Engine e;
  spectrum_enabled = 1;
  e.init(2048, 4, 44100, 2);
  for (int b = 0; b < 40; b++) {
    std::vector<jshort> block = sineBlock(2048, 2, 440, 44100, 16000, b * 2048L);
    block.resize(2 * 2560);
    e.process(block, 2048, 2560);
  }
  const float* bands = spectrum_get();
  int loudest = 0;
  for (int i = 1; i < spectrum_size(); i++)
    if (bands[i] > bands[loudest]) loudest = i;
  EXPECT_EQ(loudest, 45);  // A4: slowed down, not transposed
}

// The link switch takes effect at the next block, where both channels' phases restart from
// zero: nothing of the phases before it survives. Two sessions that switch it on at the same
// block from different histories give the same bits once the frames from before the switch
// have left the overlap-add queue; a session that kept it on all along does not.
TEST(EngineStereoLink, SwitchingRestartsThePhasesAndMonoIgnoresTheSwitch) {
  auto session = [](int channels, auto linkAt) {
    Engine e;
    e.reset();
    e.init(1024, 4, 44100, channels);
    e.filter({1, -0.5}, {0.5, 0.25});
    e.voiceRemoval(1, 0.5f);
    std::vector<jshort> out;
    for (int b = 0; b < 16; b++) {
      e.stereoLink(linkAt(b));
      std::vector<jshort> block = sineBlock(2048, channels, 440, 44100, 9000, b * 2048L, -0.6);
      const std::vector<jshort> noisy = sineBlock(2048, channels, 1234.5, 44100, 5000, b * 2048L, 0.3);
      for (size_t i = 0; i < block.size(); i++) block[i] = (jshort)(block[i] + noisy[i]);
      block.resize((size_t)channels * 2560);
      e.process(block, 2048, 2560);  // hops of 256 in, 320 out
      out.insert(out.end(), block.begin(), block.end());
    }
    e.reset();
    return out;
  };
  // A frame leaves the output queue of 1024 samples within four hops of 320: the blocks from
  // the one after the switch on hold only frames made since.
  const size_t fromBlock11 = 11 * 2 * 2560;
  const std::vector<jshort> offThenOn = session(2, [](int b) { return b >= 10; });
  const std::vector<jshort> onOffOn = session(2, [](int b) { return b != 9; });
  const std::vector<jshort> alwaysOn = session(2, [](int) { return 1; });
  EXPECT_TRUE(std::equal(offThenOn.begin() + fromBlock11, offThenOn.end(), onOffOn.begin() + fromBlock11));
  EXPECT_FALSE(std::equal(offThenOn.begin() + fromBlock11, offThenOn.end(), alwaysOn.begin() + fromBlock11));
  EXPECT_NE(offThenOn, onOffOn);

  EXPECT_EQ(session(1, [](int b) { return b % 3 == 0; }), session(1, [](int) { return 0; }));
}

TEST(EngineThreads, SettersAndReadersRaceWithBlocks) {
  Engine e;
  e.init(1024, 4, 44100, 2);
  e.filter({1, -0.5}, {0.5, 0.5});
  std::atomic<bool> stop{false};
  std::thread app([&] {
    FakeJni jni;
    std::vector<float> levels(512, 1.0f), spectrum(72);
    for (int i = 0; !stop.load(); i++) {
      Java_velmora_chordsmith_NativeInterface_dspSetPreamp(jni.env(), nullptr, 0.5f + (i % 3));
      Java_velmora_chordsmith_NativeInterface_dspPanning(jni.env(), nullptr, i % 2, (i / 2) % 2, i % 101);
      Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(jni.env(), nullptr, i % 2);
      Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(jni.env(), nullptr, 0.25f * (i % 5));
      Java_velmora_chordsmith_NativeInterface_dspEQEnable(jni.env(), nullptr, i % 2);
      Java_velmora_chordsmith_NativeInterface_dspEQSetBands(jni.env(), nullptr, jni.floats(levels));
      Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(jni.env(), nullptr, (i / 3) % 2);
      Java_velmora_chordsmith_NativeInterface_dspStereoLink(jni.env(), nullptr, (i / 5) % 2);
      Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(jni.env(), nullptr, jni.floats(spectrum), 72);
      (void)Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(jni.env(), nullptr);
      if (i % 50 == 0) {
        std::vector<double> a = {1, -0.25 * (i % 3)}, b = {0.5, 0.5};
        Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalFilter(jni.env(), nullptr, jni.doubles(a),
                                                                      jni.doubles(b), 2, 2);
      }
    }
  });
  for (int b = 0; b < 200; b++) {
    std::vector<jshort> block = sineBlock(256, 2, 440, 44100, 12000, b * 256L, -0.5);
    block.resize(2 * 320);
    e.process(block, 256, 320);
  }
  stop = true;
  app.join();
  e.reset();
  spectrum_enabled = 1;
}

// An app plays for hours. Nothing in the engine counts samples from the start of a session: the
// input and output queues, the filter rings and the block buffers hold positions within a frame,
// a ring or a block, and every synthesis phase is wrapped into [-pi, pi] at every frame. The one
// running count is the analyser's samples since its last analysis; it grows without bound only
// while every hop is longer than the analysis interval, and then saturates at INT_MAX (13.5 hours
// of such hops at 44.1 kHz). Started just below that limit, a session with such hops gives every
// bit it gives from a count of 0.
TEST(EngineLongSessions, TheAnalysersCountAtItsLimitChangesNoOutputBit) {
  std::vector<float> zeros(16384, 0.0f);
  auto session = [&](bool nearLimit) {
    Engine e;
    e.reset();
    e.init(4096, 8, 44100, 2);  // hops of 512 in
    settleAnalyserCount(44100, 2);
    if (nearLimit) spectrum_push(zeros.data(), std::numeric_limits<int>::max() - 4000, 1);
    e.filter({1, -0.5}, {0.5, 0.25});
    e.voiceRemoval(1, 0.5f);
    std::vector<float> gains(2048);
    for (int i = 0; i < 2048; i++) gains[(size_t)i] = 0.5f + (float)(i % 5) * 0.25f;
    eq_setbands(gains.data());
    eq_enable(1);
    std::vector<float> bits;
    for (int b = 0; b < 24; b++) {
      std::vector<jshort> block = sineBlock(2048, 2, 440, 44100, 16000, b * 2048L, 0.5);
      block.resize(2 * 8192);
      e.process(block, 2048, 8192);  // speed 0.25: hops of 2048 out, longer than the interval
      for (jshort v : block) bits.push_back((float)v);
      bits.push_back(e.peak());
      const float* bands = spectrum_get();
      bits.insert(bits.end(), bands, bands + 72);
      const VocoderState st = vocoder_state();
      for (int c = 0; c < 2; c++)
        for (int i = 0; i < st.winHalf; i++) EXPECT_LE(std::fabs(st.psis[c][i]), (float)M_PI);
    }
    e.reset();
    return bits;
  };
  const std::vector<float> fromZero = session(false);
  const std::vector<float> fromLimit = session(true);
  EXPECT_EQ(spectrum_pending_samples(), std::numeric_limits<int>::max() - 1378);  // saturated
  EXPECT_TRUE(sameBits(fromZero, fromLimit));
  settleAnalyserCount(44100, 2);  // no surplus left for other tests
}
