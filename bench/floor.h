// The floor of a phase vocoder's per-frame work, as the benchmarks' baseline: what any
// vocoder must spend on one channel's frame with a well-tuned library FFT (FFTW, single
// precision) and the C library's transcendentals in double, and nothing else: window, forward
// transform, magnitudes and phases (sqrt, atan2), each bin's phase advanced by its measured
// advance times the stretch (no peak search, no locking), resynthesis (cos, sin), inverse
// transform and overlap-add. No spectrum analyser. The engine's time over this floor, in the
// same run, is the figure of merit: the arithmetic the engine must reproduce bit for bit costs
// at least this much when done the plain way.
#pragma once

#include <fftw3.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "common.h"

class FloorVocoder {
 public:
  FloorVocoder(int n, int stepIn, int stepOut)
      : n_(n),
        stepOut_(stepOut),
        stretch_((double)stepOut / stepIn),
        window_(n),
        omega_(n / 2),
        phi0_(n / 2, 0.0f),
        psi_(n / 2, 0.0f),
        wave_(2 * n, 0.0f) {
    buffer_ = fftwf_alloc_complex((size_t)n);
    forward_ = fftwf_plan_dft_1d(n, buffer_, buffer_, FFTW_FORWARD, FFTW_MEASURE);
    inverse_ = fftwf_plan_dft_1d(n, buffer_, buffer_, FFTW_BACKWARD, FFTW_MEASURE);
    for (int i = 0; i < n; i++) window_[i] = (float)(0.5 - 0.5 * std::cos(kTwoPi * i / n));
    for (int k = 0; k < n / 2; k++) omega_[k] = kTwoPi * k * stepIn / n;
  }
  ~FloorVocoder() {
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
    fftwf_free(buffer_);
  }
  FloorVocoder(const FloorVocoder&) = delete;
  FloorVocoder& operator=(const FloorVocoder&) = delete;

  // One frame of n samples in; stepOut samples out.
  void frame(const float* input, float* output) {
    for (int i = 0; i < n_; i++) {
      buffer_[i][0] = input[i] * window_[i];
      buffer_[i][1] = 0.0f;
    }
    fftwf_execute(forward_);
    const int half = n_ / 2;
    for (int k = 0; k < half; k++) {
      const float re = buffer_[k][0], im = buffer_[k][1];
      const float mag = (float)std::sqrt((double)(re * re + im * im));
      const float phi = (float)std::atan2((double)im, (double)re);
      double delta = (double)phi - (double)phi0_[k] - omega_[k];
      delta -= kTwoPi * std::nearbyint(delta / kTwoPi);
      phi0_[k] = phi;
      const double psi = (double)psi_[k] + (omega_[k] + delta) * stretch_;
      psi_[k] = (float)(psi - kTwoPi * std::nearbyint(psi / kTwoPi));
      buffer_[k][0] = (float)(std::cos((double)psi_[k]) * mag);
      buffer_[k][1] = (float)(mag * std::sin((double)psi_[k]));
    }
    std::memset(buffer_ + half, 0, sizeof(fftwf_complex) * (size_t)(n_ - half));
    fftwf_execute(inverse_);
    for (int i = 0; i < n_; i++) wave_[i] += buffer_[i][0] * window_[i];
    std::memcpy(output, wave_.data(), sizeof(float) * (size_t)stepOut_);
    std::memmove(wave_.data(), wave_.data() + stepOut_, sizeof(float) * (size_t)(n_ - stepOut_));
    std::memset(wave_.data() + n_ - stepOut_, 0, sizeof(float) * (size_t)stepOut_);
  }

 private:
  int n_, stepOut_;
  double stretch_;
  std::vector<float> window_;
  std::vector<double> omega_;
  std::vector<float> phi0_, psi_, wave_;
  fftwf_complex* buffer_;
  fftwf_plan forward_, inverse_;
};
