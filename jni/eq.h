// Spectral equaliser: one linear gain per FFT bin of the positive half of a frame, and a switch.
//
// Gain i multiplies the magnitude of bin i (centre frequency i * sampleRate / frameSize) when the
// vocoder resynthesises a frame; 1.0 leaves the bin alone, 0 removes it, negative values flip
// its phase. Values are stored as passed, never clamped.
//
// Threads: the application writes gains and the switch at any time (dspEQSetBands,
// dspEQEnable); the audio thread reads them once per frame. Every gain and the switch are
// accessed atomically (relaxed), so a frame may see a partly replaced set of gains but never a
// torn value. eq_init() runs from the engine's set-up, which never overlaps block processing;
// it is serialised with eq_setbands() so that a replaced gain array is never written after it
// is released.
#pragma once

#include "common.h"

// The gains, eq_band_count() of them, plain 32-bit floats; null until the first eq_init().
// Read them with cs_load_relaxed().
CS_EXPORT float* eqBands;

// First call: pNBands gains of 1.0. A later call with the same count changes nothing; with a
// different count the gains are replaced by pNBands new gains of 1.0 (gains tuned for another
// bin spacing mean nothing for the new one). The switch always keeps its value.
CS_EXPORT void eq_init(int pNBands);
// Copies eq_band_count() gains from `bands`, which must hold that many.
CS_EXPORT void eq_setbands(float* bands);
CS_EXPORT void eq_enable(int enabled);
// 1 when the switch holds any non-zero value, else 0.
CS_EXPORT int eq_is_enabled(void);

// Number of gains in eqBands (0 before the first eq_init or after a failed allocation).
int eq_band_count();
// Copies min(count, eq_band_count()) gains from `bands`; the rest keep their values.
void eq_setbands_bounded(const float* bands, int count);
