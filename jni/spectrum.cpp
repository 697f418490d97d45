// Spectrum analyser state, the resonator bank and its two native methods; see spectrum.h.
#include "spectrum.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "spectrum_simd.h"
#include "velmora_chordsmith_NativeInterface.h"

std::atomic<int> spectrum_enabled{1};

namespace {

constexpr int kDecimation = 4;       // keep every 4th output sample
constexpr int kIntervalDivisor = 8;  // analyse every (analysis rate / 8) counted output samples
constexpr int kBandsPerOctave = 12;
constexpr int kReferenceBand = 45;  // A4
constexpr float kReferenceFreq = 440.0f;
constexpr double kInvWindow = 0.000244140625;  // 1 / 4096, exact
constexpr float kLeak = 0.2f;                  // share of the previous level kept by the smoothing

// The window of the latest kept samples, as a ring written twice over: position i of the
// window (oldest at 0) is ring[head + i], and ring[k] == ring[k + kSpectrumWindow] for every k,
// so that the window always reads as one run of kSpectrumWindow floats without moving it.
float ring[2 * kSpectrumWindow];
int head = 0;  // in [0, kSpectrumWindow)
// Hann-windowed copies of the analyses that fell due and wait for the block's end (at once
// outside a block); at most kMaxWaiting.
constexpr int kMaxWaiting = 4;
float waiting[kMaxWaiting][kSpectrumWindow];
int nWaiting = 0;
bool inBlock = false;                   // between spectrum_begin_block() and spectrum_end_block()
double hannWindow[kSpectrumWindow];     // the window's factors, the same at every analysis
float spectrum_values[kSpectrumBands];  // band levels, shared with readers (relaxed atomics)
float spectrum_freq[kSpectrumBands];    // band centre frequencies, Hz
// Per band and window position, e^(-j*theta) split into -sin theta and cos theta, laid out so
// that the resonators of several bands advance together, position by position, each with its
// own sums: bands in blocks of 8, and per block and position one 64-byte line holding the 8
// bands' -sin theta, then their cos theta (kSpectrumBlockFloats in all).
alignas(64) float coeffs[kSpectrumBlocks][kSpectrumWindow][kSpectrumBlockFloats];
// The sums of the analyses being finished (two for a pair), same layout.
float sums[2][kSpectrumBlocks * kSpectrumBlockFloats];
long tablePasses = 0;  // passes over the table so far; the parity turns the kernels' block order
// The vector kernel chosen by the last spectrum_init (null: the plain loop).
const SpectrumSimdKernels* simd = nullptr;
int samplesIn = 0;        // output samples counted since the last analysis (survives set-up)
int sampleRate = 0;       // analysis rate: the engine's rate / 4
int channels = 0;         // as given at set-up; anything but 1 runs as stereo
int analysisSamples = 0;  // counted samples between two analyses: sampleRate / 8

// Band i's centre, 440 * 2^((i - 45) / 12): exponent in float, power in double rounded to
// float, product with 440 in float.
float bandFrequency(int band) {
  const float exponent = (float)(band - kReferenceBand) / (float)kBandsPerOctave;
  const float power = (float)std::pow(2.0, (double)exponent);
  return kReferenceFreq * power;
}

// theta = p * (f * 2pi) / sampleRate in double, rounded to float; cos and sin of that float
// in double, rounded to float.
void fillCoefficients(int band, float freq) {
  const double radiansPerSample = (double)freq * kTwoPi;
  for (int p = 0; p < kSpectrumWindow; p++) {
    const float theta = (float)(radiansPerSample * (double)p / (double)sampleRate);
    float* line = coeffs[band / kSpectrumBlockBands][p];
    line[band % kSpectrumBlockBands] = (float)-std::sin((double)theta);
    line[kSpectrumBlockBands + band % kSpectrumBlockBands] = (float)std::cos((double)theta);
  }
}

// Correlates a windowed buffer with every band's sinusoid: per band two single-precision sums
// in ascending position order (the order is part of the result).
void resonate(const float* buffer, float* sum0) {
  if (simd != nullptr && simd->correlate(buffer, coeffs[0][0], (tablePasses++ & 1) != 0, sum0)) return;
  for (int i = 0; i < kSpectrumBlocks * kSpectrumBlockFloats; i++) sum0[i] = 0.0f;
  for (int p = 0; p < kSpectrumWindow; p++) {
    const float x = buffer[p];
    for (int block = 0; block < kSpectrumBlocks; block++) {
      float* sum = sum0 + block * kSpectrumBlockFloats;
      const float* line = coeffs[block][p];
      for (int j = 0; j < kSpectrumBlockFloats; j++) sum[j] += x * line[j];
    }
  }
}

// Band i's magnitude: sqrt in double of the float power, over 4096.
float magnitudeOf(const float* sum0, int band) {
  const float* sum = sum0 + band / kSpectrumBlockBands * kSpectrumBlockFloats;
  const float sinPart = sum[band % kSpectrumBlockBands];
  const float cosPart = sum[kSpectrumBlockBands + band % kSpectrumBlockBands];
  const float power = cosPart * cosPart + sinPart * sinPart;
  return (float)(std::sqrt((double)power) / (double)kSpectrumWindow);
}

// One analysis's levels into the smoothed band levels.
void updateLevels(const float* sum0) {
  for (int band = 0; band < kSpectrumBands; band++) {
    const float magnitude = magnitudeOf(sum0, band);
    float previous = cs_load_relaxed(&spectrum_values[band]);
    // A leaky sum would keep a NaN or infinity for ever; restart from 0 so that the display
    // recovers once the offending samples have left the window.
    if (!std::isfinite(previous)) previous = 0.0f;
    cs_store_relaxed(&spectrum_values[band], magnitude + kLeak * previous);
  }
}

// Finishes the waiting analyses in the order they fell due, two at a time where the vector
// kernel takes them (each pair's levels still go in one after the other).
void runWaiting() {
  int i = 0;
  while (i < nWaiting) {
    if (i + 1 < nWaiting && simd != nullptr &&
        simd->correlatePair(waiting[i], waiting[i + 1], coeffs[0][0], (tablePasses & 1) != 0, sums[0],
                            sums[1])) {
      tablePasses++;
      updateLevels(sums[0]);
      updateLevels(sums[1]);
      i += 2;
    } else {
      resonate(waiting[i], sums[0]);
      updateLevels(sums[0]);
      i++;
    }
  }
  nWaiting = 0;
}

void analyse() {
  // Periodic Hann window of length 4096 (w_0 = 0, w_2048 = 1), in double; product rounded to float.
  float* buffer = waiting[nWaiting++];
  const float* window = ring + head;
  if (simd == nullptr || !simd->window(hannWindow, window, buffer)) {
    for (int i = 0; i < kSpectrumWindow; i++) buffer[i] = (float)(hannWindow[i] * (double)window[i]);
  }
  if (!inBlock || nWaiting == kMaxWaiting) runWaiting();
}

}  // namespace

void spectrum_init(int sampleFreq, int sampleChannels) {
  // Analyses still waiting would only have gone into levels that are cleared below.
  nWaiting = 0;
  inBlock = false;
  channels = sampleChannels;
  sampleRate = sampleFreq / kDecimation;
  analysisSamples = sampleRate / kIntervalDivisor;
  std::memset(ring, 0, sizeof ring);
  head = 0;
  for (int i = 0; i < kSpectrumWindow; i++)
    hannWindow[i] = 0.5 - 0.5 * std::cos((double)i * kTwoPi * kInvWindow);
  simd = spectrum_simd_kernels(simd_path());
  for (int band = 0; band < kSpectrumBands; band++) {
    const float freq = bandFrequency(band);
    cs_store_relaxed(&spectrum_values[band], 0.0f);
    spectrum_freq[band] = freq;
    if (sampleRate > 0) {
      fillCoefficients(band, freq);
    } else {
      // No phase is defined without a rate; the analyser stays idle, keep the rows neutral.
      for (int p = 0; p < kSpectrumWindow; p++) {
        float* line = coeffs[band / kSpectrumBlockBands][p];
        line[band % kSpectrumBlockBands] = line[kSpectrumBlockBands + band % kSpectrumBlockBands] = 0.0f;
      }
    }
  }
}

void spectrum_push(float* samples, int size, int channel) {
  if (spectrum_enabled.load(std::memory_order_relaxed) == 0) return;
  if (size < 0) return;  // nothing sensible to take; must not move or write the window

  int inputSize = size / kDecimation;
  if (inputSize > kSpectrumWindow) inputSize = kSpectrumWindow;

  const bool stereo = channels != 1;  // the engine runs two channels for every other count
  if (!stereo || channel == 0) {
    // The oldest inputSize samples leave the window and the new ones take their slots.
    for (int j = 0; j < inputSize; j++) {
      const int k = head + j < kSpectrumWindow ? head + j : head + j - kSpectrumWindow;
      ring[k] = ring[k + kSpectrumWindow] = samples[kDecimation * j];
    }
    head = head + inputSize < kSpectrumWindow ? head + inputSize : head + inputSize - kSpectrumWindow;
    if (stereo) return;  // the right call of the pair counts
  } else {
    // Averaged into the window's last inputSize positions.
    const int first = head + kSpectrumWindow - inputSize;  // in [head, head + kSpectrumWindow]
    for (int j = 0; j < inputSize; j++) {
      const int k = first + j < kSpectrumWindow ? first + j : first + j - kSpectrumWindow;
      ring[k] = ring[k + kSpectrumWindow] = (ring[k] + samples[kDecimation * j]) * 0.5f;
    }
  }

  // Rates below 32 Hz give no interval: the window fills, nothing is counted or analysed.
  if (analysisSamples <= 0) return;
  // Saturate rather than overflow: hops longer than the interval leave a growing surplus.
  const long long counted = (long long)samplesIn + size;
  samplesIn = counted > INT_MAX ? INT_MAX : (int)counted;
  if (samplesIn < analysisSamples) return;
  samplesIn -= analysisSamples;  // at most one analysis per call; the surplus carries over
  analyse();
}

void spectrum_begin_block() { inBlock = true; }

void spectrum_end_block() {
  inBlock = false;
  runWaiting();
}

int spectrum_size(void) { return kSpectrumBands; }

float* spectrum_get(void) { return spectrum_values; }

void spectrum_copy_values(float* out, int count) {
  const int n = count < kSpectrumBands ? count : kSpectrumBands;
  for (int i = 0; i < n; i++) out[i] = cs_load_relaxed(&spectrum_values[i]);
}

const float* spectrum_band_frequencies() { return spectrum_freq; }
const float* spectrum_window_samples() { return ring + head; }
float spectrum_coeff_cos(int band, int position) {
  return coeffs[band / kSpectrumBlockBands][position][kSpectrumBlockBands + band % kSpectrumBlockBands];
}
float spectrum_coeff_sin(int band, int position) {
  return coeffs[band / kSpectrumBlockBands][position][band % kSpectrumBlockBands];
}
int spectrum_pending_samples() { return samplesIn; }
int spectrum_analysis_interval() { return analysisSamples > 0 ? analysisSamples : 0; }

extern "C" JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspSpectrumEnable(JNIEnv* /*env*/,
                                                                                            jobject /*thiz*/,
                                                                                            jint enabled) {
  spectrum_enabled.store(enabled, std::memory_order_relaxed);
}

extern "C" JNIEXPORT void JNICALL Java_velmora_chordsmith_NativeInterface_dspGetSpectrum(
    JNIEnv* env, jobject /*thiz*/, jfloatArray jSpectrum, jint jSize) {
  if (jSpectrum == nullptr) return;
  const jsize length = env->GetArrayLength(jSpectrum);
  jfloat* out_spectrum = env->GetFloatArrayElements(jSpectrum, nullptr);
  if (out_spectrum == nullptr) return;  // the JVM has an exception pending
  spectrum_copy_values(out_spectrum, jSize < length ? jSize : length);
  env->ReleaseFloatArrayElements(jSpectrum, out_spectrum, 0);
}
