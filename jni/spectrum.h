// Spectrum analyser: the level of the engine's output in 72 semitone bands, C1 to B6.
//
// The vocoder feeds every output hop of every channel (normalised float scale, full scale 1.0)
// through spectrum_push() on the audio thread. The analyser keeps every 4th sample (plain
// sub-sampling, no low-pass, restarting at the first sample of every call), folds stereo to
// mono, and every sampleRate / 32 output samples correlates a Hann-windowed copy of its latest
// 4096 kept samples with one complex sinusoid per band; each band's magnitude is then smoothed
// by a leaky sum (steady input settles at 1.25 times one analysis's magnitude).
//
// Band i sits at 440 * 2^((i - 45) / 12) Hz: band 0 = C1 (32.703 Hz), 45 = A4, 71 = B6. A full
// scale sine on a band's centre reads 0.25 per analysis, hence 0.3125 once settled.
//
// Stereo: a left call (channel 0) moves the window and writes its kept samples at the end; a
// right call (any other channel) averages its kept samples into the positions the last left
// call wrote and does the counting. A channel count other than 1 counts as stereo. Every
// calculation is fixed to the bit (which steps are float and which double, summation order).
//
// Threads: spectrum_push() runs on the audio thread; the application switches the analyser
// (spectrum_enabled, dspSpectrumEnable) and reads the band levels (dspGetSpectrum) at any
// time. Band levels and the switch are accessed atomically (relaxed, per value): a reader may
// get some bands from the newest analysis and some from the one before. spectrum_init() runs
// from the engine's set-up and must not overlap a push.
#pragma once

#include <atomic>

#include "common.h"

constexpr int kSpectrumBands = 72;
constexpr int kSpectrumWindow = 4096;  // kept samples per analysis window

// Nonzero while the analyser runs; 1 at load.
CS_EXPORT std::atomic<int> spectrum_enabled;

// Engine rate in Hz and channel count. Rebuilds the tables, clears the window and the band
// levels; the sample count since the last analysis carries over. Rates below 32 Hz leave the
// analyser idle (no analysis ever runs, the levels stay 0).
CS_EXPORT void spectrum_init(int sampleFreq, int sampleChannels);
// `size` consecutive samples of one channel; a negative size does nothing.
CS_EXPORT void spectrum_push(float* samples, int size, int channel);
// Always kSpectrumBands.
CS_EXPORT int spectrum_size(void);
// The kSpectrumBands band levels, band 0 (C1) first, owned by the module; read them with
// cs_load_relaxed().
CS_EXPORT float* spectrum_get(void);

// The engine's blocks. Between spectrum_begin_block() and spectrum_end_block() an analysis that
// falls due only keeps its windowed copy (up to four wait), and spectrum_end_block() runs them
// in order, two at a time through one pass over the coefficient table: the table, larger than a
// core's cache, is then read once per pair instead of once per analysis. Every level comes out
// as from analyses run at once; readers see a block's analyses when the block ends. Both run on
// the audio thread; spectrum_init() forgets what waits.
void spectrum_begin_block();
void spectrum_end_block();

// Copies min(count, kSpectrumBands) band levels into `out`, band 0 first; count <= 0 copies
// nothing. What dspGetSpectrum does once the Java array is in hand.
void spectrum_copy_values(float* out, int count);

// Read-only views for tests and diagnostics; none of them may overlap spectrum_init().
const float* spectrum_band_frequencies();  // kSpectrumBands centre frequencies, Hz
// The window, oldest kept sample first; valid until the next push or set-up.
const float* spectrum_window_samples();
float spectrum_coeff_cos(int band, int position);  // cos(theta) of the band's phase table
float spectrum_coeff_sin(int band, int position);  // -sin(theta)
int spectrum_pending_samples();                    // output samples counted since the last analysis
int spectrum_analysis_interval();                  // output samples between analyses; 0 when idle
// Test seam: whether the next spectrum_init() lets octaves share coefficient lines (the
// default); the levels are the same either way.
void spectrum_share_octaves(bool share);
// 64-byte lines of coefficients the analyses read: 36864 when no octave shares them.
int spectrum_table_lines();
