// The engine: set-up, block processing and the mixer, behind the JNI methods of
// velmora.chordsmith.NativeInterface.
//
// One engine per loaded library. The application calls dspInit, then dspProcess block by block
// from its audio thread; the setters and dspGetMaxLevel come from any thread at any time.
//
// A block's road: the Java short[] (mono, or interleaved stereo) is read in 16-bit units;
// stereo frames go through the balance mix or the mono fold and, when voice removal is on,
// lose the weighted output of the filter run over the opposite side (double precision, 16-bit
// scale); everything is then scaled by 2^-15 into float (full scale [-1, 1)). Each channel goes
// through the vocoder with the synthesis hop derived from samplesOut / samplesIn: on its own,
// or, with the stereo link on, both together with their phases linked, which keeps the stereo
// image and the mono sum through any stretch (the link has no effect in mono). The output
// stage divides by the overlap-add gain, applies the preamp, measures the peak, soft-limits
// above 0.95 and quantises to +-32767 back into the same Java array. A block that cannot run
// (the engine not set up, nothing to consume, no memory) is skipped and the meter reads 0.
//
// The block buffers are obtained on the first block (4x its frame count for input, 8x for
// output) and kept for ever; a later, larger block grows them once. Nothing else obtains
// memory, takes a lock or makes a system call on the audio path.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common.h"
#include "dsp_internal.h"
#include "dsp_simd.h"
#include "eq.h"
#include "fft.h"
#include "iirfilter.h"
#include "spectrum.h"
#include "velmora_chordsmith_NativeInterface.h"
#include "vocoder.h"

namespace {

constexpr float kKnee = 0.95f;       // the limiter leaves levels below this alone
constexpr float kSlopeMono = 0.25f;  // limiter slope above the knee
constexpr float kSlopeStereo = 0.125f;
// Above the level where level * (1 - (level - knee) * slope) peaks, the curve would fall
// again (and turn negative further up); the limiter holds its peak there instead. The peak is
// above full scale in both cases, so such samples quantise to full scale with their own sign.
constexpr float kCurveTopMono = 2.475f;  // (1 + knee * slope) / (2 * slope)
constexpr float kCurveTopStereo = 4.475f;
constexpr int kInputCapacityFactor = 4;  // block buffers, times the first block's frames
constexpr int kOutputCapacityFactor = 8;

// Set-up, written by dspInit only (which never overlaps a block).
int frameSize = 0;
int overSampling = 0;
int sampleRate = 0;
int channels = 0;
// The output stage's vector kernel chosen by the last set-up (null: the plain loop).
const DspSimdKernels* simd = nullptr;

// Mixer settings: written by application threads, read once per block.
std::atomic<float> preamp{1.0f};
std::atomic<int> panningActive{0};
std::atomic<int> monoActive{0};
std::atomic<int> panningLevel{0};
std::atomic<bool> voiceRemovalEnabled{false};
std::atomic<float> voiceRemovalAmount{0.0f};
std::atomic<double> maxLevelAcum{0.0};
// Off by default: the channels are stretched independently, as they always were.
std::atomic<bool> stereoLink{false};

// Block buffers, per channel. Never freed: the audio thread may still be in a block while the
// process exits.
float* in_left = nullptr;
float* in_right = nullptr;
float* out_left = nullptr;
float* out_right = nullptr;
long inCapacity = 0;   // floats in each in_ buffer
long outCapacity = 0;  // floats in each out_ buffer

// Grows one buffer to `count` floats, keeping its contents and zero-filling the rest.
bool growBuffer(float*& buffer, long oldCount, long count) {
  float* grown = static_cast<float*>(cs_alloc(sizeof(float) * (size_t)count));
  if (grown == nullptr) return false;
  if (oldCount > 0) std::memcpy(grown, buffer, sizeof(float) * (size_t)oldCount);
  std::memset(grown + oldCount, 0, sizeof(float) * (size_t)(count - oldCount));
  std::free(buffer);
  buffer = grown;
  return true;
}

// Makes room for `in` input and `out` output floats per channel. The first call fixes the
// capacity at 4 and 8 times `firstFrames`; later calls grow only when a block needs more.
bool ensureBuffers(long firstFrames, long in, long out) {
  long wantIn = inCapacity, wantOut = outCapacity;
  if (in_left == nullptr) {
    wantIn = kInputCapacityFactor * firstFrames;
    wantOut = kOutputCapacityFactor * firstFrames;
  }
  if (in > wantIn) wantIn = in;
  if (out > wantOut) wantOut = out;
  if (wantIn > inCapacity) {
    if (!growBuffer(in_left, inCapacity, wantIn) || !growBuffer(in_right, inCapacity, wantIn)) return false;
    inCapacity = wantIn;
  }
  if (wantOut > outCapacity) {
    if (!growBuffer(out_left, outCapacity, wantOut) || !growBuffer(out_right, outCapacity, wantOut))
      return false;
    outCapacity = wantOut;
  }
  return true;
}

struct Balance {
  float leftLevelLeft, leftLevelRight, rightLevelLeft, rightLevelRight;
};

// Balance moves one side toward the other: 0 puts the right input on both sides, 50 leaves
// both alone, 100 puts the left input on both. Outside 0..100 the formulas extrapolate. The
// differences are taken in float so that no level can overflow an int.
Balance balanceFor(int p) {
  Balance b;
  b.leftLevelLeft = (float)(p < 50 ? p : 50) / 50.0f;
  if (p < 50) {
    b.leftLevelRight = (50.0f - (float)p) / 50.0f;
    b.rightLevelLeft = 0.0f;
    b.rightLevelRight = 1.0f;
  } else {
    b.leftLevelRight = 0.0f;
    b.rightLevelLeft = ((float)p - 50.0f) / 50.0f;
    b.rightLevelRight = (100.0f - (float)p) / 50.0f;
  }
  return b;
}

void monoInput(const jshort* samples, int frames) {
  for (int i = 0; i < frames; i++) in_left[i] = (float)samples[i] * kPcmScale;
}

void stereoInput(const jshort* samples, int frames) {
  const bool panning = panningActive.load(std::memory_order_relaxed) != 0;
  const bool mono = monoActive.load(std::memory_order_relaxed) != 0;
  const Balance bal = balanceFor(panningLevel.load(std::memory_order_relaxed));
  const float amount = voiceRemovalAmount.load(std::memory_order_relaxed);
  const bool removeVoice = voiceRemovalEnabled.load(std::memory_order_relaxed) && amount > 0.0f;

  // In stretches of kFilterStretch frames: the balance or fold first, then the voice-removal
  // filters over the stretch with one hand-over, then the subtraction.
  constexpr int kFilterStretch = 256;
  float lefts[kFilterStretch], rights[kFilterStretch];
  double fromRight[kFilterStretch], fromLeft[kFilterStretch], toFilter0[kFilterStretch],
      toFilter1[kFilterStretch];
  for (int start = 0; start < frames; start += kFilterStretch) {
    const int n = frames - start < kFilterStretch ? frames - start : kFilterStretch;
    for (int j = 0; j < n; j++) {
      const int i = start + j;
      float left = (float)samples[2 * i];
      float right = (float)samples[2 * i + 1];
      if (panning) {
        if (mono) {
          const float center = (left + right) * 0.5f;
          left = center;
          right = center;
        } else {
          const float newLeft = left * bal.leftLevelLeft + right * bal.leftLevelRight;
          const float newRight = right * bal.rightLevelRight + left * bal.rightLevelLeft;
          left = newLeft;
          right = newRight;
        }
      }
      lefts[j] = left;
      rights[j] = right;
    }
    if (removeVoice) {
      // Each side loses the filtered opposite side; the filter of channel 0 always hears the
      // right input and that of channel 1 the left, so each sees one continuous signal.
      for (int j = 0; j < n; j++) {
        toFilter0[j] = (double)rights[j];
        toFilter1[j] = (double)lefts[j];
      }
      iir_step_frames(toFilter0, fromRight, toFilter1, fromLeft, n);
      for (int j = 0; j < n; j++) {
        in_left[start + j] = (float)(((double)lefts[j] - (double)amount * fromRight[j]) * kPcmScaleD);
        in_right[start + j] = (float)(((double)rights[j] - (double)amount * fromLeft[j]) * kPcmScaleD);
      }
    } else {
      for (int j = 0; j < n; j++) {
        in_left[start + j] = lefts[j] * kPcmScale;
        in_right[start + j] = rights[j] * kPcmScale;
      }
    }
  }
}

// Synthesis hop: the requested-to-supplied ratio in float, times the analysis hop, truncated.
// Clamped first: an out-of-range float converted to int is undefined.
int outputHop(int samplesIn, int samplesOut, int stepIn) {
  const float hop = ((float)samplesOut / (float)samplesIn) * (float)stepIn;
  if (!(hop >= 0.0f)) return 0;
  if (hop > (float)frameSize) return frameSize;
  return (int)hop;
}

// One block's frame counts, bounded by what the array holds, and its synthesis hop.
struct Block {
  int in;
  int out;
  int stepOut;
};

// Bounds the counts by the `length` shorts the array holds, derives the hop and makes room in
// the block buffers. False when the block must be skipped: the engine is not set up, there is
// nothing to consume, or memory cannot be had.
bool planBlock(long length, int samplesIn, int samplesOut, Block& block) {
  const long perChannel = channels == 1 ? length : length / 2;
  if (samplesIn > perChannel) samplesIn = (int)perChannel;
  if (samplesOut > perChannel) samplesOut = (int)perChannel;
  if (samplesOut < 0) samplesOut = 0;
  if (frameSize == 0 || samplesIn <= 0) return false;

  const int stepIn = frameSize / overSampling;
  const int stepOut = outputHop(samplesIn, samplesOut, stepIn);
  // The vocoder completes at most samplesIn / its hop + 1 frames in this block, each writing
  // stepOut samples (clamped to its frame). vocoder_init() is exported, so the vocoder may have
  // been set up behind the engine's back for another geometry: the buffers are sized from the
  // one it actually has, and the block's output follows it.
  const VocoderState vocoder = vocoder_state();
  const long frames = vocoder.initialized ? (long)samplesIn / vocoder.stepIn + 1 : 0;
  const long produced = frames * (stepOut < vocoder.winSize ? stepOut : vocoder.winSize);
  if (!ensureBuffers(samplesIn, samplesIn, produced > samplesOut ? produced : samplesOut)) return false;
  block = {samplesIn, samplesOut, stepOut};
  return true;
}

// Writes the block's output frames back into `samples` and returns their peak. Reads block.out
// values from the start of the output buffers, whatever the vocoder wrote this block: unwritten
// positions still hold an earlier block's output.
float outputStage(jshort* samples, const Block& block, bool mono) {
  const float overlapScaling = (float)frameSize / (2.0f * (float)block.stepOut);
  const float gain = preamp.load(std::memory_order_relaxed);
  const float slope = mono ? kSlopeMono : kSlopeStereo;
  const float curveTop = mono ? kCurveTopMono : kCurveTopStereo;
  const OutputSettings settings = {overlapScaling, gain, kKnee, slope, curveTop};
  if (simd != nullptr)
    return simd->outputStage(out_left, mono ? nullptr : out_right, block.out, settings, samples);
  float peak = 0.0f;
  if (mono) {
    for (int i = 0; i < block.out; i++) samples[i] = outputSample(out_left[i], settings, peak);
  } else {
    for (int i = 0; i < block.out; i++) {
      samples[2 * i] = outputSample(out_left[i], settings, peak);
      samples[2 * i + 1] = outputSample(out_right[i], settings, peak);
    }
  }
  return peak;
}

}  // namespace

bool dsp_init(int jFrameSize, int jOverSampling, int jSampleRate, int nChannels) {
  if (!fft_size_supported(jFrameSize) || jOverSampling < 1 || jOverSampling > jFrameSize) return false;
  frameSize = jFrameSize;
  overSampling = jOverSampling;
  channels = nChannels;
  sampleRate = jSampleRate;
  simd = dsp_simd_kernels(simd_path());
  iir_init();
  spectrum_init(jSampleRate, channels);
  eq_init(jFrameSize / 2);
  vocoder_init(jFrameSize, jFrameSize / jOverSampling);
  return true;
}

void dsp_process(jshort* samples, long length, int samplesIn, int samplesOut) {
  Block block;
  if (samples == nullptr || !planBlock(length, samplesIn, samplesOut, block)) {
    maxLevelAcum.store(0.0, std::memory_order_relaxed);  // a skipped block reads as silence
    return;
  }
  const bool mono = channels == 1;
  if (mono) {
    monoInput(samples, block.in);
  } else {
    stereoInput(samples, block.in);
  }
  // The analyses that fall due while the vocoder emits the block's hops run together at its end.
  spectrum_begin_block();
  if (mono) {
    vocoder_process(in_left, block.in, out_left, block.stepOut, 0);
  } else if (stereoLink.load(std::memory_order_relaxed)) {
    vocoder_process_linked(in_left, in_right, block.in, out_left, out_right, block.stepOut);
  } else {
    vocoder_process(in_left, block.in, out_left, block.stepOut, 0);
    vocoder_process(in_right, block.in, out_right, block.stepOut, 1);
  }
  spectrum_end_block();
  const float peak = outputStage(samples, block, mono);
  maxLevelAcum.store((double)peak, std::memory_order_relaxed);
}

DspBuffers dsp_buffers() { return {in_left, in_right, out_left, out_right, inCapacity, outCapacity}; }

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* /*vm*/, void* /*reserved*/) { return JNI_VERSION_1_6; }

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspInit(JNIEnv*, jobject, jint jFrameSize,
                                                                       jint jOverSampling, jint jSampleRate,
                                                                       jint nChannels) {
  dsp_init(jFrameSize, jOverSampling, jSampleRate, nChannels);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspProcess(JNIEnv* env, jobject,
                                                                          jshortArray samples, jint samplesIn,
                                                                          jint samplesOut,
                                                                          jfloat /*pitchShiftAmount*/) {
  // Before set-up the array is not even fetched; without elements dsp_process skips the block.
  jshort* elements = nullptr;
  jsize length = 0;
  if (frameSize != 0 && samples != nullptr) {
    length = env->GetArrayLength(samples);
    elements = env->GetShortArrayElements(samples, nullptr);  // null: the JVM has an exception pending
  }
  dsp_process(elements, length, samplesIn, samplesOut);
  if (elements != nullptr) env->ReleaseShortArrayElements(samples, elements, 0);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspSetPreamp(JNIEnv*, jobject,
                                                                            jfloat jpreamp) {
  preamp.store(jpreamp, std::memory_order_relaxed);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspPanning(JNIEnv*, jobject,
                                                                          jint jPanningActive,
                                                                          jint jMonoActive,
                                                                          jint jPanningLevel) {
  panningActive.store(jPanningActive, std::memory_order_relaxed);
  monoActive.store(jMonoActive, std::memory_order_relaxed);
  panningLevel.store(jPanningLevel, std::memory_order_relaxed);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalEnable(JNIEnv*, jobject,
                                                                                     jint enabled) {
  voiceRemovalEnabled.store(enabled != 0, std::memory_order_relaxed);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspVoiceRemovalAmount(JNIEnv*, jobject,
                                                                                     jfloat amount) {
  voiceRemovalAmount.store(amount, std::memory_order_relaxed);
}

JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspStereoLink(JNIEnv*, jobject, jint enabled) {
  stereoLink.store(enabled != 0, std::memory_order_relaxed);
}

JNIEXPORT jfloat JNICALL Java_velmora_chordsmith_NativeInterface_dspGetMaxLevel(JNIEnv*, jobject) {
  return (jfloat)maxLevelAcum.load(std::memory_order_relaxed);
}

}  // extern "C"
