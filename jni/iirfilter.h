// Voice-removal filter: two IIR filters in direct form I and the coefficient hand-over.
//
// Each filter computes y[n] = sum(j = 0..n1) b[j] * x[n - j] - sum(j = 1..n2) a[j] * y[n - j] in
// double precision, in exactly that order (b[0] * x[n] first, then the feed-forward terms from the
// newest past input to the oldest, then the feedback terms likewise). a[0] is never read: the
// application normalises its coefficients so that a[0] = 1. Values are on the 16-bit scale
// (+-32768), not the library's normalised floats, and the output is never limited: whatever the
// arithmetic gives is returned and kept in the feedback history.
//
// iirLeft belongs to channel 0 and iirRight to channel 1; both always hold the same coefficients.
// A filter that has no coefficients (never set up, or its set-up ran out of memory) passes its
// input through unchanged. Every set-up starts both filters from silence.
//
// Threads: iir_step() runs on the audio thread; it takes no lock, obtains no memory and never
// waits. iir_init_filters() and dspVoiceRemovalFilter run on application threads and are
// serialised among themselves by a mutex the audio thread never touches. While a set-up runs,
// inFilterSetup is 1 and every step that begins passes its input through; the set-up waits for
// a step already under way on a channel before it rebuilds that channel's filter. A step raises
// its channel's inFilterProcess flag before it looks at inFilterSetup (both sequentially
// consistent), so no step can slip between the set-up's test and its rebuild.
#pragma once

#include <atomic>
#include <cstddef>

#include "common.h"

extern "C" {
struct iirFilter {
  int n1;        // past inputs kept: feed-forward order, sizeB - 1
  int n2;        // past outputs kept: feedback order, sizeA - 1
  double* a;     // feedback coefficients a[0 .. sizeA - 1]; a[0] is never read
  double* b;     // feed-forward coefficients b[0 .. sizeB - 1]
  double* buf1;  // ring of the last n1 inputs (null when n1 is 0)
  double* buf2;  // ring of the last n2 outputs (null when n2 is 0)
  int pos1;      // next slot of buf1, holding the oldest input
  int pos2;      // next slot of buf2, holding the oldest output
};
}

// All zero at load: both filters without coefficients, no set-up and no step under way.
CS_EXPORT iirFilter iirLeft;
CS_EXPORT iirFilter iirRight;
CS_EXPORT std::atomic<int> inFilterSetup;
CS_EXPORT std::atomic<int> inFilterProcess[2];

// Called from every engine set-up. The filters start zeroed at load, and coefficients loaded
// before (or between) engine set-ups are kept, so this never discards a configured filter.
CS_EXPORT void iir_init(void);
// Rebuilds one filter from copies of ca[0 .. sizeA - 1] and cb[0 .. sizeB - 1] with zeroed
// histories. No hand-over: the caller makes sure no step runs on this filter meanwhile.
// Counts below 1 or a null array leave the filter as it was; if memory runs out the filter is
// left without coefficients (pass-through).
CS_EXPORT void iir_init_filter(iirFilter* filter, double* ca, double* cb, int sizeA, int sizeB);
// Rebuilds iirLeft, then iirRight, with the same coefficients, under the hand-over with the audio
// thread; returns when both are done. Invalid counts or arrays as above leave both as they were;
// if memory runs out both are left without coefficients.
CS_EXPORT void iir_init_filters(double* ca, double* cb, int sizeA, int sizeB);
// One sample through the filter of `channel` (0 = iirLeft; any other value = iirRight).
CS_EXPORT double iir_step(int channel, double inputValue);
// The engine's form for a stretch of stereo frames: out0[i] = iir_step(0, in0[i]) and then
// out1[i] = iir_step(1, in1[i]) for each i < n, the same arithmetic, with one hand-over for the
// whole stretch instead of one per step (two sequentially consistent stores per step cost more
// than the filter itself): both flags stay raised while it runs, so a set-up that begins
// meanwhile waits for the stretch to end, and one already under way lets all of it through.
void iir_step_frames(const double* in0, double* out0, const double* in1, double* out1, int n);
