// Phase vocoder state, the frame pipeline and phase locking; see vocoder.h for the conventions.
#include "vocoder.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "eq.h"
#include "fft.h"
#include "spectrum.h"
#include "vocoder_simd.h"

double lastStretchFactor = 0.0;

namespace {

constexpr int kQueueSamples = 100000;         // fixed length of each input and output queue
constexpr float kPeakFloor = 1.1754944e-38f;  // smallest normal float: the peak search's edges
// princarg truncates angle / pi to int and may then step one further from zero; past this
// bound the conversion or the step would overflow.
constexpr double kMaxQuotient = 2147483647.0;

int winSize = 0;            // N: frame length and transform size
int winHalf = 0;            // H = N / 2: bins 0 .. H - 1 are analysed and resynthesised
int stepIn = 0;             // analysis hop
int stepOut = 0;            // synthesis hop of the current call, shared by both channels
int inIndexes[2] = {0, 0};  // next write position in each input queue; 0 = not started
int initialized = 0;

float* window = nullptr;                    // periodic Hann, N
float* windowOut = nullptr;                 // synthesis window, window * 2 / N
float* omega = nullptr;                     // nominal phase advance of each bin over one analysis hop
float* inputs[2] = {nullptr, nullptr};      // input queues; the frame being collected is [0, N)
float* waves[2] = {nullptr, nullptr};       // overlap-add queues; [0, N) in use, the rest zero
float* fftBuffers[2] = {nullptr, nullptr};  // 2N interleaved (re, im)
float* mags[2] = {nullptr, nullptr};        // bins 0 .. H - 1, then the two boundary entries
float* phis[2] = {nullptr, nullptr};        // analysis phases of the current frame
float* phi0s[2] = {nullptr, nullptr};       // analysis phases of the previous frame
float* psis[2] = {nullptr, nullptr};        // synthesis phases
int* peakBins[2] = {nullptr, nullptr};
int* valleyBins[2] = {nullptr, nullptr};
// For the vector steps: room for each bin's rotation, then its magnitude (bins plus the
// kernels' slack), and each peak's rotation.
float* scratch = nullptr;
float* rotations = nullptr;
// The linked stereo frame: the two channels' summed magnitudes (with the peak search's two
// boundary entries), and at each peak bin the louder channel's phase, previous phase and
// synthesis phase, which the rotation kernel reads by bin.
float* linkMag = nullptr;
float* louderPhi = nullptr;
float* louderPhi0 = nullptr;
float* louderPsi = nullptr;
// True while the phase memories hold what the linked stereo path left there: a change of path
// restarts both channels' phases, as a stretch change does.
bool phasesLinked = false;
// Frames of tiny samples go through the scaled analysis (tests turn it off to compare).
bool tinyFramesScaled = true;
// Frames of deep-tiny samples (FrameKind::kDeepTiny) leave their phases to be computed when
// phase locking first reads them, which in a decaying tail followed by silence is never:
// - phisDeferred[c]: the current frame's phases are not in phis[c] yet; its samples are the
//   head of the input queue, inputs[c], until the frame is done;
// - phi0Pending[c]: the previous frame's phases are not in phi0s[c] yet; its samples are kept
//   in pendingSamples[c].
bool phisDeferred[2] = {false, false};
bool phi0Pending[2] = {false, false};
float* pendingSamples[2] = {nullptr, nullptr};
// The vector kernels chosen by the last vocoder_init (null: the plain code only).
const VocoderSimdKernels* simd = nullptr;

void (*pushSink)(float*, int, int) = spectrum_push;

void freeBuffers() {
  std::free(window);
  std::free(windowOut);
  std::free(omega);
  std::free(scratch);
  std::free(rotations);
  std::free(linkMag);
  std::free(louderPhi);
  std::free(louderPhi0);
  std::free(louderPsi);
  window = windowOut = omega = scratch = rotations = nullptr;
  linkMag = louderPhi = louderPhi0 = louderPsi = nullptr;
  for (int c = 0; c < 2; c++) {
    std::free(phi0s[c]);
    std::free(psis[c]);
    std::free(inputs[c]);
    std::free(waves[c]);
    std::free(mags[c]);
    std::free(phis[c]);
    std::free(peakBins[c]);
    std::free(valleyBins[c]);
    std::free(fftBuffers[c]);
    std::free(pendingSamples[c]);
    phi0s[c] = psis[c] = inputs[c] = waves[c] = mags[c] = phis[c] = fftBuffers[c] = pendingSamples[c] =
        nullptr;
    peakBins[c] = valleyBins[c] = nullptr;
  }
}

float* obtainFloats(size_t bytes) { return static_cast<float*>(cs_alloc(bytes)); }

float* obtainZeroedFloats(int count) {
  float* p = obtainFloats((size_t)count * sizeof(float));
  if (p != nullptr) std::memset(p, 0, (size_t)count * sizeof(float));
  return p;
}

// All or nothing: on failure everything obtained so far is released again.
bool obtainBuffers(int n) {
  const size_t frameFloats = (size_t)n * sizeof(float);
  // The peak search writes its boundary value at H and H + 1, which for N = 1 and 2 lies
  // past N entries; the int tables get the same room.
  const int binRoom = n > n / 2 + 2 ? n : n / 2 + 2;
  const size_t binFloats = (size_t)binRoom * sizeof(float);
  const size_t binInts = (size_t)binRoom * sizeof(int);
  window = obtainFloats(frameFloats);
  windowOut = obtainFloats(frameFloats);
  omega = obtainFloats(frameFloats);
  scratch = obtainFloats(binFloats + kVocoderSimdSlack * sizeof(float));
  rotations = obtainFloats(binFloats);
  linkMag = obtainFloats(binFloats);
  louderPhi = obtainFloats(binFloats);
  louderPhi0 = obtainFloats(binFloats);
  louderPsi = obtainFloats(binFloats);
  bool ok =
      window && windowOut && omega && scratch && rotations && linkMag && louderPhi && louderPhi0 && louderPsi;
  for (int c = 0; c < 2; c++) {
    phi0s[c] = obtainFloats(binFloats);
    psis[c] = obtainFloats(binFloats);
    inputs[c] = obtainZeroedFloats(kQueueSamples);
    waves[c] = obtainZeroedFloats(kQueueSamples);
    mags[c] = obtainFloats(binFloats);
    phis[c] = obtainZeroedFloats(binRoom);  // a deep-tiny first frame copies them unwritten
    peakBins[c] = static_cast<int*>(cs_alloc(binInts));
    valleyBins[c] = static_cast<int*>(cs_alloc(binInts));
    fftBuffers[c] = obtainFloats(2 * frameFloats);
    pendingSamples[c] = obtainFloats(frameFloats);
    ok = ok && phi0s[c] && psis[c] && inputs[c] && waves[c] && mags[c] && phis[c] && peakBins[c] &&
         valleyBins[c] && fftBuffers[c] && pendingSamples[c];
  }
  if (!ok) freeBuffers();
  return ok;
}

void resetChannelPhases(int c) {
  phisDeferred[c] = phi0Pending[c] = false;
  std::memset(phi0s[c], 0, (size_t)winSize * sizeof(float));
  std::memset(psis[c], 0, (size_t)winSize * sizeof(float));
}

void resetPhases() {
  resetChannelPhases(0);
  resetChannelPhases(1);
}

void initWindow() {
  const float n = (float)winSize;
  for (int i = 0; i < winSize; i++) {
    window[i] = (float)(std::cos((double)i * kTwoPi / (double)winSize) * -0.5 + 0.5);
    windowOut[i] = (window[i] + window[i]) / n;  // float
  }
}

void initOmega() {
  const double advance = kTwoPi * (double)stepIn;
  for (int i = 0; i < winSize; i++) omega[i] = (float)((double)i * advance / (double)winSize);
}

void applyWindow(const float* input, float* fftBuffer) {
  if (simd != nullptr) return simd->applyWindow(input, window, winSize, fftBuffer);
  for (int i = 0; i < winSize; i++) {
    fftBuffer[2 * i] = input[i] * window[i];
    fftBuffer[2 * i + 1] = 0.0f;
  }
}

// Magnitudes and phases of bins 0 .. H - 1 of the transformed frame. Returns false when a
// phase is NaN (a non-finite sample, or a transform that overflowed): such a phase must not
// reach the phase memories.
bool magnitudesAndPhases(const float* fftBuffer, float* mag, float* phi) {
  // The vector kernel takes finite spectra only, whose phases are all finite.
  if (simd != nullptr && simd->analyze(fftBuffer, winHalf, mag, phi)) return true;
  bool finite = true;
  for (int i = 0; i < winHalf; i++) {
    const float re = fftBuffer[2 * i];
    const float im = fftBuffer[2 * i + 1];
    const float power = re * re + im * im;  // summed in float
    mag[i] = (float)std::sqrt((double)power);
    phi[i] = (float)std::atan2((double)im, (double)re);
    if (std::isnan(phi[i])) finite = false;
  }
  return finite;
}

// The rotation that identity phase locking gives the region of the peak at bin k: the peak's
// synthesis phase advances by its measured advance times the stretch factor. Each princarg
// argument is formed in float in the order written.
float peakRotation(int k, const float* phi, const float* phi0, const float* psi, float s) {
  const float pomega = omega[k];
  // Departure of the peak's measured advance from its bin's nominal advance.
  const float peakDeltaPhi = princarg((phi[k] - phi0[k]) - pomega);
  const float peakTargetPhase = princarg((peakDeltaPhi + pomega) * s + psi[k]);
  return princarg(peakTargetPhase - phi[k]);
}

// Identity phase locking: every bin of a peak's region turns by the peak's rotation.
void phaseLock(int nPeaks, const int* peaks, const int* valleys, const float* phi, const float* phi0,
               float* psi, float s) {
  if (simd != nullptr && nPeaks > 0) {
    // Every peak's rotation first (each reads its own, still previous, psi), then every region.
    simd->peakRotations(peaks, nPeaks, phi, phi0, omega, psi, s, rotations);
    simd->rotateRegions(phi, valleys, rotations, nPeaks, winHalf, scratch, psi);
    return;
  }
  for (int p = 0; p < nPeaks; p++) {
    // psi[peak] is still the previous frame's: regions ahead of this one end below its peak.
    const float peakPhaseRotation = peakRotation(peaks[p], phi, phi0, psi, s);
    for (int b = valleys[p]; b < valleys[p + 1]; b++) psi[b] = princarg(phi[b] + peakPhaseRotation);
  }
}

// Rebuilds bins 0 .. H - 1 from the magnitudes (times the equaliser's gains when it is on)
// and the synthesis phases, and clears bins H .. N - 1.
void resynthesize(float* fftBuffer, const float* mag, const float* psi) {
  const int eqEnabled = eq_is_enabled();
  // The equaliser may hold fewer gains than bins (set up for another frame size, or out of
  // memory); a bin without a gain keeps its magnitude.
  int gains = 0;
  const float* bands = eqBands;
  if (eqEnabled != 0 && bands != nullptr) {
    gains = eq_band_count();
    if (gains > winHalf) gains = winHalf;
  }
  bool done = false;
  if (simd != nullptr) {
    const float* magTmp = mag;
    if (gains > 0) {
      for (int i = 0; i < gains; i++) scratch[i] = mag[i] * cs_load_relaxed(&bands[i]);
      for (int i = gains; i < winHalf; i++) scratch[i] = mag[i];
      magTmp = scratch;
    }
    done = simd->synthesize(magTmp, psi, winHalf, fftBuffer);
  }
  for (int i = 0; i < winHalf && !done; i++) {
    const float magTmp = i < gains ? mag[i] * cs_load_relaxed(&bands[i]) : mag[i];
    const double psiTmp = (double)psi[i];
    fftBuffer[2 * i] = (float)(std::cos(psiTmp) * (double)magTmp);
    fftBuffer[2 * i + 1] = (float)((double)magTmp * std::sin(psiTmp));
  }
  // Bins H .. N - 1 (floats N .. 2N) stay empty: only the positive half is rebuilt, and the
  // synthesis window's factor 2 / N restores the real part's scale.
  std::memset(fftBuffer + winSize, 0, (size_t)winSize * sizeof(float));
}

// Peaks and regions of mag[0 .. H), on the path vocoder_init() chose. mag needs room for the
// boundary entries at H and H + 1.
int searchPeaks(float* mag, int* peaks, int* valleys) {
  if (simd == nullptr) return findPeaks(mag, winHalf, peaks, valleys);
  mag[winHalf] = kPeakFloor;
  mag[winHalf + 1] = kPeakFloor;
  const int nPeaks = simd->findPeakBins(mag, winHalf, kPeakFloor, peaks);
  simd->findValleys(mag, winHalf, peaks, nPeaks, valleys);
  return nPeaks;
}

void settlePhases(int c);  // below, with the frame kinds

// Peak search and phase locking of channel c's current frame.
void lockPhases(int c, float s) {
  const int nPeaks = searchPeaks(mags[c], peakBins[c], valleyBins[c]);
  if (nPeaks > 0) settlePhases(c);
  phaseLock(nPeaks, peakBins[c], valleyBins[c], phis[c], phi0s[c], psis[c], s);
}

// Phase locking of a stereo frame with the channels linked. The peaks and regions are those of
// the summed magnitudes, left + right in float; each region gets one rotation, computed from
// the peak bin of the channel that is louder there (the left one when both are equal), and both
// channels' bins in the region turn by it. Each channel keeps its own analysis phases, so in
// every bin the synthesis phase difference between left and right equals the analysis phase
// difference: the stereo image and the mono sum survive any stretch.
void lockPhasesLinked(float s) {
  const float* magL = mags[0];
  const float* magR = mags[1];
  for (int i = 0; i < winHalf; i++) linkMag[i] = magL[i] + magR[i];
  int* peaks = peakBins[0];
  int* valleys = valleyBins[0];
  const int nPeaks = searchPeaks(linkMag, peaks, valleys);
  if (nPeaks == 0) return;  // no peak: no synthesis phase changes, as in one channel
  settlePhases(0);
  settlePhases(1);
  // Every rotation before any region turns, so each reads its peak's previous synthesis phase.
  if (simd != nullptr) {
    // The rotation kernel reads by bin: the louder channel's values go to its peak bins.
    for (int p = 0; p < nPeaks; p++) {
      const int k = peaks[p];
      const int c = magR[k] > magL[k] ? 1 : 0;
      louderPhi[k] = phis[c][k];
      louderPhi0[k] = phi0s[c][k];
      louderPsi[k] = psis[c][k];
    }
    simd->peakRotations(peaks, nPeaks, louderPhi, louderPhi0, omega, louderPsi, s, rotations);
    for (int c = 0; c < 2; c++)
      simd->rotateRegions(phis[c], valleys, rotations, nPeaks, winHalf, scratch, psis[c]);
    return;
  }
  for (int p = 0; p < nPeaks; p++) {
    const int k = peaks[p];
    const int c = magR[k] > magL[k] ? 1 : 0;
    rotations[p] = peakRotation(k, phis[c], phi0s[c], psis[c], s);
  }
  for (int c = 0; c < 2; c++) {
    const float* phi = phis[c];
    float* psi = psis[c];
    for (int p = 0; p < nPeaks; p++) {
      for (int b = valleys[p]; b < valleys[p + 1]; b++) psi[b] = princarg(phi[b] + rotations[p]);
    }
  }
}

// The oldest stepOut samples of the output queue go out; the queue moves up and its end is
// cleared for the next frame.
void emitHop(float* output, float* wave) {
  std::memcpy(output, wave, (size_t)stepOut * sizeof(float));
  std::memmove(wave, wave + stepOut, (size_t)(winSize - stepOut) * sizeof(float));
  std::memset(wave + winSize - stepOut, 0, (size_t)stepOut * sizeof(float));
}

void overlapAdd(float* output, const float* fftBuffer, float* wave, const float* phi, float* phi0) {
  // The vector kernel refuses a frame that is not finite before it adds anything.
  if (simd == nullptr || !simd->overlapAdd(fftBuffer, windowOut, winSize, wave)) {
    for (int i = 0; i < winSize; i++) wave[i] = fftBuffer[2 * i] * windowOut[i] + wave[i];
  }
  std::memcpy(phi0, phi, (size_t)winHalf * sizeof(float));
  emitHop(output, wave);
}

// The transform's tables are process-wide and fft_init() is exported: rebuilt for another
// size since vocoder_init(), a transform of this frame would run past its 2N floats (or mean
// nothing for a smaller size). Such a frame is left silent: it adds nothing to the output
// queue, which still emits its hop, and the channel's phases start again from zero, as after
// a reset. An fft_init() with this frame size brings the next frames back.
bool transformFits() { return fft_size() == winSize; }

// How a frame is analysed, from its largest sample.
enum class FrameKind {
  kPlain,
  // Every sample below 2^-85 (not all zero), as in a filter's tail decaying into silence: the
  // plain arithmetic would round products on the subnormal grid, which x86 processors handle
  // in microcode; the scaled analysis gives the same bits without (analyzeTiny).
  kTiny,
  // Every sample below 2^-100 (not all zero): every magnitude is +0, without a transform. The
  // windowed values stay below 2^-100; a butterfly stage multiplies the largest real or
  // imaginary part by at most 1 + 2 * 1.5 (the twiddles, a float recurrence's cosines and
  // sines, are within 0.1% of the unit circle; rounding adds at most 2^-150 an operation), so
  // after at most 12 stages every value is below 2^-76 and its square below 2^-152, which
  // rounds to +0: each power is +0 + +0 and its root +0. The phases wait (phisDeferred).
  kDeepTiny,
};
constexpr uint32_t kDeepTinySampleBits = (127u - 100u) << 23;  // the float bits of 2^-100

FrameKind frameKind(const float* input) {
  if (!tinyFramesScaled) return FrameKind::kPlain;
  const uint32_t largest = simd != nullptr ? simd->largestMagnitude(input, winSize)
                                           : vocoder_largest_magnitude(input, 0, winSize, 0);
  if (largest == 0 || largest >= kTinySampleBits) return FrameKind::kPlain;
  return largest < kDeepTinySampleBits ? FrameKind::kDeepTiny : FrameKind::kTiny;
}

// The analysis of a frame of tiny samples on values scaled by 2^149 (fft.h), in `spectrum`
// (2N floats): the plain arithmetic's magnitudes and phases to the bit, without a subnormal
// operand or result.
void analyzeTiny(const float* input, float* spectrum, float* mag, float* phi) {
  if (simd != nullptr) {
    simd->applyWindowTiny(input, window, winSize, spectrum);
  } else {
    for (int i = 0; i < winSize; i++) {
      spectrum[2 * i] = fft_tiny_product(vocoder_tiny_scaled(input[i]), window[i]);
      spectrum[2 * i + 1] = 0.0f;
    }
  }
  fft_process_tiny(spectrum, kFftForward);
  if (simd != nullptr && simd->analyzeTiny(spectrum, winHalf, mag, phi)) return;
  for (int i = 0; i < winHalf; i++) vocoder_tiny_bin(spectrum, i, mag, phi);
}

// Window, forward transform, magnitudes and phases of channel c's frame. False when a phase is
// NaN.
bool analyzeFrame(const float* input, int c) {
  phisDeferred[c] = false;
  switch (frameKind(input)) {
    case FrameKind::kDeepTiny:
      std::memset(mags[c], 0, (size_t)winHalf * sizeof(float));
      phisDeferred[c] = true;
      return true;
    case FrameKind::kTiny:
      analyzeTiny(input, fftBuffers[c], mags[c], phis[c]);
      return true;  // tiny samples are finite, and so is every phase of their transform
    case FrameKind::kPlain:
      break;
  }
  applyWindow(input, fftBuffers[c]);
  fft_process(fftBuffers[c], kFftForward, c);
  return magnitudesAndPhases(fftBuffers[c], mags[c], phis[c]);
}

// Computes channel c's waiting phases, before phase locking reads them (the transform buffer
// and the scratch room are free then).
void settlePhases(int c) {
  // Frames check the transform's size before they get here; vocoder_run_step() does not, and
  // with tables of another size the transform would run past the buffer: the phases then stay
  // as they are.
  if (!transformFits()) phi0Pending[c] = phisDeferred[c] = false;
  if (phi0Pending[c]) analyzeTiny(pendingSamples[c], fftBuffers[c], scratch, phi0s[c]);
  if (phisDeferred[c]) analyzeTiny(inputs[c], fftBuffers[c], scratch, phis[c]);
  phi0Pending[c] = phisDeferred[c] = false;
}

// At the end of channel c's frame, whose phases have just become the previous ones: deferred
// phases become pending, with a copy of the samples they come from.
void closePhases(int c) {
  phi0Pending[c] = phisDeferred[c];
  if (phisDeferred[c]) std::memcpy(pendingSamples[c], inputs[c], (size_t)winSize * sizeof(float));
  phisDeferred[c] = false;
}

// Channel c's spectrum rebuilt from its magnitudes and synthesis phases, transformed back and
// overlap-added; the frame's hop goes to `output`.
void resynthesizeFrame(float* output, int c) {
  resynthesize(fftBuffers[c], mags[c], psis[c]);
  fft_process(fftBuffers[c], kFftInverse, c);
  overlapAdd(output, fftBuffers[c], waves[c], phis[c], phi0s[c]);
  closePhases(c);
}

void vocoder_process_frame(const float* input, float* output, float s, int c) {
  if (!transformFits()) {
    emitHop(output, waves[c]);
    resetChannelPhases(c);
    return;
  }
  const bool finite = analyzeFrame(input, c);
  lockPhases(c, s);
  resynthesizeFrame(output, c);
  // A NaN phase would otherwise live on in phi0 and psi and silence the channel until the
  // next stretch change; the next frame starts from zero phases instead, as after a reset.
  if (!finite) resetChannelPhases(c);
}

// Both channels' frames, linked: both are analysed before either is resynthesised.
void vocoder_process_frame_linked(float* outLeft, float* outRight, float s) {
  if (!transformFits()) {
    emitHop(outLeft, waves[0]);
    emitHop(outRight, waves[1]);
    resetPhases();
    return;
  }
  const bool finiteLeft = analyzeFrame(inputs[0], 0);
  const bool finiteRight = analyzeFrame(inputs[1], 1);
  // A NaN phase comes with a NaN magnitude, so its bin is never a peak of the summed
  // magnitudes: every rotation is finite and a NaN stays in its own channel's bins.
  lockPhasesLinked(s);
  resynthesizeFrame(outLeft, 0);
  resynthesizeFrame(outRight, 1);
  // As in one channel, the phases restart from zero after such a frame; both of them, so that
  // they stay a pair.
  if (!finiteLeft || !finiteRight) resetPhases();
}

// A hop past the frame would move the output queue by a negative length; a negative one
// would copy a negative count.
int clampHop(int pStepOut) {
  if (pStepOut < 0) return 0;
  if (pStepOut > winSize) return winSize;
  return pStepOut;
}

// What every call does before it consumes a sample: stores the hop and returns the stretch
// factor, restarting both channels' phases when the factor changed (!= is also true when either
// side is NaN) or when the other path, linked or unlinked, advanced them last.
float startCall(int pStepOut, bool linked) {
  stepOut = pStepOut;
  const float s = (float)pStepOut / (float)stepIn;
  const double stretchFactor = (double)s;
  if (stretchFactor != lastStretchFactor || linked != phasesLinked) {
    lastStretchFactor = stretchFactor;
    phasesLinked = linked;
    resetPhases();
  }
  return s;
}

}  // namespace

float princarg(float phase) {
  double x = (double)phase;
  double q = x / kPi;
  // Guard the int conversion below: NaN, infinities and quotients beyond int range are
  // undefined there. Infinity has no wrapped angle; a huge finite angle is first reduced by
  // whole turns, which changes nothing for the angles a frame can produce.
  if (!(std::fabs(q) < kMaxQuotient)) {
    if (!std::isfinite(x)) return NAN;
    x = std::fmod(x, kTwoPi);
    q = x / kPi;
  }
  int qpd = (int)q;  // truncated toward zero
  // An odd quotient moves one step away from zero, to the next even integer.
  if (qpd >= 0) {
    qpd += qpd & 1;
  } else {
    qpd -= qpd & 1;
  }
  return (float)(x - (double)qpd * kPi);
}

void findValleys(const float* mag, int half, const int* peaks, int nPeaks, int* valleys) {
  valleys[0] = 0;
  for (int p = 1; p < nPeaks; p++) {
    // Valley: the lowest magnitude since the previous peak, lowest index among equals.
    // The search starts from the previous peak itself (never NaN: it beat its neighbours),
    // so the valley always lies in [peaks[p - 1], peaks[p]), even where every candidate is
    // infinite. Starting from the largest finite float instead would pick the same bin
    // whenever some candidate lies below it, which every frame guarantees: the bin after
    // a peak is below the peak, and a magnitude, the root of a float power, is either
    // infinite or at most about 1.8e19.
    const int lastPeak = peaks[p - 1];
    float min = mag[lastPeak];
    int minLoc = lastPeak;
    // Selects rather than branches: which bin is lower is as good as random in music.
    for (int i = lastPeak + 1; i < peaks[p]; i++) {
      const float m = mag[i];
      const bool lower = m < min;
      min = lower ? m : min;
      minLoc = lower ? i : minLoc;
    }
    valleys[p] = minLoc;
  }
  valleys[nPeaks] = half;
}

int findPeaks(float* mag, int half, int* peaks, int* valleys) {
  // Bins -2 and -1 and bins H and H + 1 all hold the smallest normal float, so the edges
  // compete against a floor: a bin of exact silence is never a peak.
  mag[half] = kPeakFloor;
  mag[half + 1] = kPeakFloor;
  int nPeaks = 0;
  int bin = 0;
  while (bin < half) {
    const float m = mag[bin];
    const float left2 = bin >= 2 ? mag[bin - 2] : kPeakFloor;
    const float left1 = bin >= 1 ? mag[bin - 1] : kPeakFloor;
    // Strictly greater than all four neighbours: a plateau has no peak, and a NaN neighbour
    // makes every comparison false.
    if (m > left2 && m > left1 && m > mag[bin + 1] && m > mag[bin + 2]) {
      peaks[nPeaks++] = bin;
      bin += 3;  // the next two bins are below this peak and cannot be peaks
    } else {
      bin++;
    }
  }
  findValleys(mag, half, peaks, nPeaks, valleys);
  return nPeaks;
}

void vocoder_run_step(VocoderStep step, int channel) {
  if (!initialized || (channel != 0 && channel != 1)) return;
  const int c = channel;
  switch (step) {
    case VocoderStep::kMagnitudesPhases:
      magnitudesAndPhases(fftBuffers[c], mags[c], phis[c]);
      break;
    case VocoderStep::kPhaseLocking:
      lockPhases(c, (float)lastStretchFactor);
      break;
    case VocoderStep::kResynthesis:
      resynthesize(fftBuffers[c], mags[c], psis[c]);
      break;
  }
}

void vocoder_set_push_sink(void (*sink)(float*, int, int)) {
  pushSink = sink != nullptr ? sink : spectrum_push;
}

VocoderState vocoder_state() {
  return {initialized,
          winSize,
          winHalf,
          stepIn,
          stepOut,
          {inIndexes[0], inIndexes[1]},
          {phi0s[0], phi0s[1]},
          {psis[0], psis[1]},
          {mags[0], mags[1]}};
}

void vocoder_set_tiny_frames(bool scaled) { tinyFramesScaled = scaled; }

void vocoder_init(int pWinSize, int step) {
  // A size the transform cannot take, or a hop outside the frame, would index past the tables
  // and queues: keep the current set-up.
  if (!fft_size_supported(pWinSize) || step < 1 || step > pWinSize) return;

  if (initialized) freeBuffers();
  initialized = 0;
  winSize = pWinSize;
  winHalf = winSize / 2;
  stepIn = step;
  inIndexes[0] = inIndexes[1] = 0;
  // Out of memory: stay uninitialised (vocoder_process then does nothing) rather than half
  // built; the next vocoder_init tries again.
  if (!obtainBuffers(winSize)) return;

  resetPhases();
  phasesLinked = false;
  initialized = 1;
  simd = vocoder_simd_kernels(simd_path());
  fft_init(winSize);
  initWindow();
  initOmega();
}

void vocoder_process(float* inputBuffer, int inSize, float* outputBuffer, int pStepOut, int channel) {
  if (!initialized || (channel != 0 && channel != 1)) return;
  const int c = channel;
  pStepOut = clampHop(pStepOut);
  if (inSize < 0 || inputBuffer == nullptr || outputBuffer == nullptr) inSize = 0;

  const float s = startCall(pStepOut, false);
  const int inStart = winSize - stepIn;
  int inIndex = inIndexes[c] != 0 ? inIndexes[c] : inStart;
  int outIndex = 0;
  float* input = inputs[c];
  for (int i = 0; i < inSize;) {
    // Up to the end of the frame being collected in one copy.
    const int take = winSize - inIndex < inSize - i ? winSize - inIndex : inSize - i;
    std::memcpy(input + inIndex, inputBuffer + i, (size_t)take * sizeof(float));
    inIndex += take;
    i += take;
    if (inIndex == winSize) {
      float* output = outputBuffer + outIndex;
      vocoder_process_frame(input, output, s, c);
      std::memmove(input, input + stepIn, (size_t)(winSize - stepIn) * sizeof(float));
      pushSink(output, stepOut, c);
      inIndex = inStart;
      outIndex += stepOut;
    }
  }
  inIndexes[c] = inIndex;
}

void vocoder_process_linked(float* left, float* right, int inSize, float* outLeft, float* outRight,
                            int pStepOut) {
  if (!initialized) return;
  const int inStart = winSize - stepIn;
  const int inIndex0 = inIndexes[0] != 0 ? inIndexes[0] : inStart;
  const int inIndex1 = inIndexes[1] != 0 ? inIndexes[1] : inStart;
  // The engine always feeds both channels the same sample counts, so their queues move in
  // step. Channels fed apart through vocoder_process() may not be: their frames complete at
  // different samples and cannot be paired, so they go on unlinked, each on its own.
  if (inIndex0 != inIndex1) {
    vocoder_process(left, inSize, outLeft, pStepOut, 0);
    vocoder_process(right, inSize, outRight, pStepOut, 1);
    return;
  }
  pStepOut = clampHop(pStepOut);
  if (inSize < 0 || left == nullptr || right == nullptr || outLeft == nullptr || outRight == nullptr)
    inSize = 0;

  const float s = startCall(pStepOut, true);
  int inIndex = inIndex0;
  int frames = 0;
  for (int i = 0; i < inSize;) {
    const int take = winSize - inIndex < inSize - i ? winSize - inIndex : inSize - i;
    std::memcpy(inputs[0] + inIndex, left + i, (size_t)take * sizeof(float));
    std::memcpy(inputs[1] + inIndex, right + i, (size_t)take * sizeof(float));
    inIndex += take;
    i += take;
    if (inIndex == winSize) {
      vocoder_process_frame_linked(outLeft + (size_t)frames * stepOut, outRight + (size_t)frames * stepOut,
                                   s);
      for (float* input : inputs)
        std::memmove(input, input + stepIn, (size_t)(winSize - stepIn) * sizeof(float));
      inIndex = inStart;
      frames++;
    }
  }
  inIndexes[0] = inIndexes[1] = inIndex;
  // The analyser is fed exactly as the unlinked path feeds it: all of the block's left hops,
  // then all of its right hops. It averages each right hop into the place of the last left hop,
  // so interleaving the hops would change what it measures, and the display would change with
  // the link; its readings are the same function of the output whichever path made it.
  for (int k = 0; k < frames; k++) pushSink(outLeft + (size_t)k * stepOut, stepOut, 0);
  for (int k = 0; k < frames; k++) pushSink(outRight + (size_t)k * stepOut, stepOut, 1);
}
