// Vector kernel of the analyser's resonator bank; see spectrum_simd.h.
//
// Each lane is one band and keeps that band's two running sums, adding the products position
// by position in ascending order exactly as the plain code does for one band at a time; the
// coefficient rows are stored position-major so that a vector loads neighbouring bands. The
// bands are covered in a few passes over the window, as many sums per pass as the registers
// hold. Only finite samples of modest size are taken (limit 2^100: no sum can then overflow),
// so no NaN or infinity ever arises here.
#include "spectrum_simd.h"

#include "spectrum.h"

#if CS_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "spectrum_simd.cpp"
#include "simd_hwy.h"
// clang-format off
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
// clang-format on

HWY_BEFORE_NAMESPACE();
namespace cs_spectrum {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;

// K vectors of bands from `band` on, over the whole window.
template <class D, size_t K>
HWY_INLINE void Pass(D d, size_t band, const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT sinRows,
                     const float* HWY_RESTRICT cosRows, float* HWY_RESTRICT sinPart,
                     float* HWY_RESTRICT cosPart) {
  using V = hn::Vec<D>;
  const size_t n = hn::Lanes(d);
  V s[K], c[K];
  for (size_t k = 0; k < K; k++) s[k] = c[k] = hn::Zero(d);
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p++) {
    const V x = hn::Set(d, buffer[p]);
    const float* sinRow = sinRows + p * kSpectrumBands + band;
    const float* cosRow = cosRows + p * kSpectrumBands + band;
    for (size_t k = 0; k < K; k++) {
      s[k] = hn::Add(s[k], hn::Mul(x, hn::LoadU(d, sinRow + k * n)));
      c[k] = hn::Add(c[k], hn::Mul(x, hn::LoadU(d, cosRow + k * n)));
    }
  }
  for (size_t k = 0; k < K; k++) {
    hn::StoreU(s[k], d, sinPart + band + k * n);
    hn::StoreU(c[k], d, cosPart + band + k * n);
  }
}

bool Correlate(const float* HWY_RESTRICT buffer, const float* HWY_RESTRICT sinRows,
               const float* HWY_RESTRICT cosRows, float* HWY_RESTRICT sinPart, float* HWY_RESTRICT cosPart) {
  const DF d;
  const size_t n = hn::Lanes(d);
  const auto limit = hn::Set(d, kSpectrumSimdLimit);
  for (size_t p = 0; p < (size_t)kSpectrumWindow; p += n) {
    if (!hn::AllTrue(d, hn::Le(hn::Abs(hn::LoadU(d, buffer + p)), limit))) return false;
  }
  constexpr size_t kLanes = hn::MaxLanes(DF());
  static_assert(kSpectrumBands % 8 == 0 && kLanes <= 16, "passes below cover 72 bands");
  if constexpr (kLanes == 16) {  // 64 bands in 4 vectors, the last 8 in half a vector
    Pass<DF, 4>(d, 0, buffer, sinRows, cosRows, sinPart, cosPart);
    Pass<hn::Half<DF>, 1>(hn::Half<DF>(), 64, buffer, sinRows, cosRows, sinPart, cosPart);
  } else if constexpr (kLanes == 8) {  // 9 vectors: 5 + 4
    Pass<DF, 5>(d, 0, buffer, sinRows, cosRows, sinPart, cosPart);
    Pass<DF, 4>(d, 40, buffer, sinRows, cosRows, sinPart, cosPart);
  } else if constexpr (kLanes == 4) {  // 18 vectors: 3 x 6
    for (size_t band = 0; band < (size_t)kSpectrumBands; band += 24) {
      Pass<DF, 6>(d, band, buffer, sinRows, cosRows, sinPart, cosPart);
    }
  } else {
    return false;  // no other width is built
  }
  return true;
}

const SpectrumSimdKernels kKernels = {Correlate};

}  // namespace HWY_NAMESPACE
}  // namespace cs_spectrum
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath path) {
  using namespace cs_spectrum;
  return CS_HWY_SELECT(path, kKernels);
}
#endif

#else
const SpectrumSimdKernels* spectrum_simd_kernels(SimdPath) { return nullptr; }
#endif  // CS_HAVE_HWY
