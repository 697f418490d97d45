// Phase vocoder with identity phase locking: changes a channel's duration, not its pitch.
//
// Samples are floats at full scale 1.0. Channels 0 and 1 keep separate queues and phase
// memories and share the frame geometry, the windows and the stretch factor.
// Each channel's input is queued; whenever N = pWinSize samples are present (every `step`
// samples, whatever the block sizes, the very first frame padded at its start with
// N - step zeros) one frame is analysed, its phases advanced by the stretch factor
// pStepOut / step (a single-precision quotient), resynthesised over bins 0 .. N/2 - 1 (times
// the equaliser gains when the equaliser is on) and overlap-added; each frame emits pStepOut
// samples to the caller's buffer and to the spectrum analyser.
// Gain: analysis and synthesis are both Hann windowed, so with stretch 1 and step = N / 4 the
// output is the input delayed by N - step samples and scaled by 1.5 (in general 3N / (8 * step)
// for step = N / 3 or less, the sum of the overlapping squared windows). This holds to float
// accuracy for signals without content in the DC and Nyquist bins, which are not resynthesised.
// Arithmetic: signal data is stored as float; square roots, arctangents, sines and cosines
// and the phase wrapping are evaluated in double. Results are exact to the bit, so the
// evaluation order in vocoder.cpp is deliberate.
//
// Threads: vocoder_init() and vocoder_process() run on the audio thread (or the engine's
// set-up, which never overlaps it) and never concurrently. vocoder_process() obtains no
// memory, takes no lock and makes no system call.
#pragma once

#include "common.h"

// Stretch factor of the most recent vocoder_process() call (float quotient widened to double),
// shared by both channels; a change resets both channels' phase memories. vocoder_init()
// leaves it alone.
CS_EXPORT double lastStretchFactor;

// Frames of pWinSize samples (a power of two from 1 to 4096) and an analysis hop of `step`
// samples (1 .. pWinSize); drops all queued input and pending output of both channels and
// zeroes their phases. Other arguments leave the vocoder as it was; if memory cannot be
// obtained the vocoder is left uninitialised and vocoder_process() does nothing.
CS_EXPORT void vocoder_init(int pWinSize, int step);

// Consumes inSize samples of `channel` (0 or 1) and writes pStepOut samples per completed frame
// to outputBuffer, consecutively from index 0; the rest of outputBuffer is untouched. A
// negative inSize counts as 0; pStepOut is clamped to 0 .. pWinSize. Does nothing before a
// successful vocoder_init() or for another channel. A frame that completes while the transform
// is set up for another size (fft_init() called since vocoder_init()) is left silent.
CS_EXPORT void vocoder_process(float* inputBuffer, int inSize, float* outputBuffer, int pStepOut,
                               int channel);

// ---- Internal (hidden from the shared library) ----

// The engine's stereo path with the channels' phases linked: consumes inSize samples of each
// channel and writes pStepOut samples per completed frame to each output, as a vocoder_process()
// call per channel would. Both channels' frames are analysed before either is resynthesised;
// peaks and regions are found once, on the summed magnitudes, and each region's rotation, taken
// from the channel louder at its peak, turns both channels' bins, so that the phase difference
// between the channels survives the stretch (vocoder.cpp, lockPhasesLinked). The analyser gets
// the block's left hops, then its right hops, as from the two unlinked calls. A change between
// this path and vocoder_process() restarts both channels' phases, as a stretch change does.
// Channels whose queues are out of step (fed apart through vocoder_process()) are processed
// unlinked instead.
void vocoder_process_linked(float* left, float* right, int inSize, float* outLeft, float* outRight,
                            int pStepOut);

// ---- For tests and diagnostics ----

// Wraps an angle into [-pi, pi] in double: angle / pi truncated toward zero, moved one step
// further from zero when odd, times pi, is subtracted. NaN and infinities give NaN.
float princarg(float phase);

// Peak search over mag[0 .. half), which must have room for half + 2 entries (the boundary
// value is written at half and half + 1). Writes the peaks, ascending, and the region bounds
// valleys[0 .. nPeaks], from 0 up to valleys[nPeaks] = half (with no peak valleys[0] = half);
// both need room for (half + 2) / 3 + 1 entries. Returns nPeaks.
int findPeaks(float* mag, int half, int* peaks, int* valleys);
// The region bounds of findPeaks() for the nPeaks peaks given.
void findValleys(const float* mag, int half, const int* peaks, int nPeaks, int* valleys);

// Benchmarks: one step of a channel's frame pipeline, run on the buffers as its last frame left
// them, on the path vocoder_init() chose. Does nothing before vocoder_init() or for another
// channel.
enum class VocoderStep {
  kMagnitudesPhases,  // magnitudes and phases of the transformed frame
  kPhaseLocking,      // peak search and phase locking, at the last call's stretch factor
  kResynthesis,       // the spectrum rebuilt from magnitudes and synthesis phases
};
void vocoder_run_step(VocoderStep step, int channel);

// Test seam: where each frame's emitted hop goes, instead of spectrum_push. Null restores
// spectrum_push.
void vocoder_set_push_sink(void (*sink)(float* samples, int size, int channel));

// Read-only view of the module state. Pointers are null before the first vocoder_init().
struct VocoderState {
  int initialized;
  int winSize;
  int winHalf;
  int stepIn;
  int stepOut;
  int inIndexes[2];
  // Previous frame's analysis phases, bins 0 .. winHalf - 1. After a frame whose samples are
  // all below 2^-100 (a decaying tail) they are computed only when a later frame's phase
  // locking reads them, which silence never does; until then they hold older values.
  const float* phi0s[2];
  const float* psis[2];  // synthesis phases, bins 0 .. winHalf - 1
  const float* mags[2];  // the last frame's magnitudes, bins 0 .. winHalf - 1
};
VocoderState vocoder_state();

// Test seam: false sends frames of tiny samples through the plain arithmetic instead of the
// scaled one (vocoder.cpp, FrameKind), which gives the same bits faster. True at load.
void vocoder_set_tiny_frames(bool scaled);
