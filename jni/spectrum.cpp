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
// own sums: 64-byte lines of 8 bands' -sin theta, then their cos theta, read by 9 streams of 8
// bands each (spectrum_simd.h).
//
// Octaves share lines. Band b's phase at position p is (float)(f_b * 2pi * p / rate), formed in
// double, and where f_(b+12) is exactly 2 f_b (most octaves: the centres are rounded to float)
// band b + 12's phase at p is band b's at 2p, to the bit. Bands linked by exact octaves form
// chains, cut into pieces of 4, 2 or 1 bands; the bands of a piece read one row of positions q:
// the piece's lowest band's coefficients, continued past the window, its t-th band at q = 2^t p.
// The row holds every q < 4096 and, in [4096 * 2^(m-1), 4096 * 2^m), the multiples of 2^m (m <
// the piece's length L): 2048 * (L + 1) lines instead of 4096 * L. Pieces of one length go 8 to
// a group, one per lane, whose rows make one line per q; group g's stream t reads its lines at
// 2^t positions per position. As octaves are rounded here, 72 bands make one group of fours,
// two of twos and one of ones, 1.7 MB of lines instead of 2.36, which unlike 2.36 MB stays in a
// core's 2 MB second-level cache from one analysis to the next beside the engine's other data.
// Every shared line is checked to hold the same bits for every band that reads it; should any
// differ, every band gets rows of its own.
constexpr int kMaxLines = kSpectrumBlocks * kSpectrumWindow;  // unshared: 9 groups of 4096
alignas(64) float lines[kMaxLines][kSpectrumBlockFloats];
SpectrumStream streams[kSpectrumBlocks];
int bandStream[kSpectrumBands];  // the stream reading each band's coefficients
int bandLane[kSpectrumBands];    // and its lane there (-sin theta; cos theta 8 lanes on)
bool shareOctaves = true;        // off only through the test seam
int linesUsed = 0;               // lines the streams read
// The sums of the analyses being finished (two for a pair), 16 per stream in its lanes.
float sums[2][kSpectrumBlocks * kSpectrumBlockFloats];
long tablePasses = 0;  // passes over the table so far; the parity turns the kernels' stream order
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

// Row position q of a piece (see `lines`) as a line offset within its group's row.
int rowIndex(long q) {
  if (q < kSpectrumWindow) return (int)q;
  int m = 1;
  while (q >= ((long)kSpectrumWindow << m)) m++;
  return kSpectrumWindow + (m - 1) * (kSpectrumWindow / 2) +
         (int)((q - ((long)kSpectrumWindow << (m - 1))) >> m);
}

// Stream s's line for position p.
float* lineOf(int s, int p) {
  int r = 0;
  while (p >= kSpectrumRangeEnd[r]) r++;
  const int begin = r == 0 ? 0 : kSpectrumRangeEnd[r - 1];
  return lines[streams[s].start[r] + (p - begin) * streams[s].stride[r]];
}

// Cuts the bands into pieces (octave chains where `share`, else single bands), groups them and
// sets the streams, bandStream and bandLane.
void planLines(bool share) {
  struct Piece {
    int base, length;
  };
  Piece pieces[kSpectrumBands];
  int nPieces = 0;
  // Whether band b continues the chain of b - 12 (never where octaves are not shared).
  auto octaveAbove = [share](int b) {
    return share && b >= 12 && spectrum_freq[b] == 2.0f * spectrum_freq[b - 12];
  };
  for (int band = 0; band < kSpectrumBands; band++) {
    if (octaveAbove(band)) continue;  // part of the chain of band - 12
    int length = 1;
    while (band + 12 * length < kSpectrumBands && octaveAbove(band + 12 * length)) length++;
    for (int first = 0; first < length;) {
      const int piece = length - first >= 4 ? 4 : length - first >= 2 ? 2 : 1;
      pieces[nPieces++] = {band + 12 * first, piece};
      first += piece;
    }
  }
  // Whole groups of 8 per length: the last fours split into twos, then the last twos into ones.
  for (int length = 4; length >= 2; length /= 2) {
    int count = 0;
    for (int i = 0; i < nPieces; i++) count += pieces[i].length == length;
    for (int i = nPieces - 1; i >= 0 && count % kSpectrumBlockBands != 0; i--) {
      if (pieces[i].length != length) continue;
      pieces[i].length = length / 2;
      pieces[nPieces++] = {pieces[i].base + 12 * (length / 2), length / 2};
      count--;
    }
  }
  int stream = 0, line = 0;
  for (int length = 4; length >= 1; length /= 2) {
    int lane = 0;
    for (int i = 0; i < nPieces; i++) {
      if (pieces[i].length != length) continue;
      for (int t = 0; t < length; t++) {
        bandStream[pieces[i].base + 12 * t] = stream + t;
        bandLane[pieces[i].base + 12 * t] = lane;
      }
      if (++lane < kSpectrumBlockBands) continue;
      // A full group: its streams, level t reading position 2^t p.
      for (int t = 0; t < length; t++) {
        for (int r = 0; r < kSpectrumRanges; r++) {
          const long begin = r == 0 ? 0 : kSpectrumRangeEnd[r - 1];
          streams[stream + t].start[r] = line + rowIndex(begin << t);
          streams[stream + t].stride[r] = rowIndex((begin + 1) << t) - rowIndex(begin << t);
        }
      }
      stream += length;
      line += (kSpectrumWindow / 2) * (length + 1);
      lane = 0;
    }
  }
  linesUsed = line;
}

// theta = p * (f * 2pi) / sampleRate in double, rounded to float; cos and sin of that float
// in double, rounded to float. A line that an octave below wrote already must hold the same
// bits; false if it does not.
bool fillCoefficients(int band) {
  const double radiansPerSample = (double)spectrum_freq[band] * kTwoPi;
  const int s = bandStream[band], lane = bandLane[band];
  // A stream reading more than one line per position is a piece's octave above its lowest band:
  // its lines below the window's middle were written by the octave below.
  const bool shared = streams[s].stride[0] > 1;
  for (int p = 0; p < kSpectrumWindow; p++) {
    const float theta = (float)(radiansPerSample * (double)p / (double)sampleRate);
    const float values[2] = {(float)-std::sin((double)theta), (float)std::cos((double)theta)};
    float* line = lineOf(s, p);
    if (shared && p < kSpectrumWindow / 2) {
      if (std::memcmp(&line[lane], &values[0], sizeof(float)) != 0 ||
          std::memcmp(&line[kSpectrumBlockBands + lane], &values[1], sizeof(float)) != 0)
        return false;
    } else {
      line[lane] = values[0];
      line[kSpectrumBlockBands + lane] = values[1];
    }
  }
  return true;
}

// Correlates a windowed buffer with every band's sinusoid: per band two single-precision sums
// in ascending position order (the order is part of the result).
void resonate(const float* buffer, float* sum0) {
  if (simd != nullptr && simd->correlate(buffer, lines[0], streams, (tablePasses++ & 1) != 0, sum0)) return;
  for (int i = 0; i < kSpectrumBlocks * kSpectrumBlockFloats; i++) sum0[i] = 0.0f;
  int p = 0;
  for (int r = 0; r < kSpectrumRanges; r++) {
    const float* line[kSpectrumBlocks];
    for (int s = 0; s < kSpectrumBlocks; s++) line[s] = lines[streams[s].start[r]];
    for (; p < kSpectrumRangeEnd[r]; p++) {
      const float x = buffer[p];
      for (int s = 0; s < kSpectrumBlocks; s++) {
        float* sum = sum0 + s * kSpectrumBlockFloats;
        for (int j = 0; j < kSpectrumBlockFloats; j++) sum[j] += x * line[s][j];
        line[s] += streams[s].stride[r] * kSpectrumBlockFloats;
      }
    }
  }
}

// Band i's magnitude: sqrt in double of the float power, over 4096.
float magnitudeOf(const float* sum0, int band) {
  const float* sum = sum0 + bandStream[band] * kSpectrumBlockFloats;
  const float sinPart = sum[bandLane[band]];
  const float cosPart = sum[kSpectrumBlockBands + bandLane[band]];
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
        simd->correlatePair(waiting[i], waiting[i + 1], lines[0], streams, (tablePasses & 1) != 0, sums[0],
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
    cs_store_relaxed(&spectrum_values[band], 0.0f);
    spectrum_freq[band] = bandFrequency(band);
  }
  if (sampleRate <= 0) {
    // No phase is defined without a rate; the analyser stays idle, keep the lines neutral.
    planLines(false);
    std::memset(lines, 0, sizeof lines);
    return;
  }
  bool filled = false;
  for (int attempt = 0; attempt < 2 && !filled; attempt++) {
    planLines(shareOctaves && attempt == 0);
    filled = true;
    for (int band = 0; band < kSpectrumBands && filled; band++) filled = fillCoefficients(band);
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
  return lineOf(bandStream[band], position)[kSpectrumBlockBands + bandLane[band]];
}
float spectrum_coeff_sin(int band, int position) {
  return lineOf(bandStream[band], position)[bandLane[band]];
}
void spectrum_share_octaves(bool share) { shareOctaves = share; }
int spectrum_table_lines() { return linesUsed; }
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
