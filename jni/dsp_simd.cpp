// Vector kernel of the engine's output stage; see dsp_simd.h and its outputSample, the plain code.
//
// Each lane is one sample: the division by the overlap gain, the preamp, the level, the soft
// limiter and the quantisation to +-32767 are the plain code's float operations in its order,
// its branches become selections. The peak is the largest level of all lanes, NaN levels left
// out as the plain comparison leaves them; the largest of non-NaN values does not depend on the
// order in which they are compared.
#include "dsp_simd.h"

#if CS_HAVE_HWY
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "dsp_simd.cpp"
#include "simd_hwy.h"
// clang-format off
#include <hwy/foreach_target.h>
#include <hwy/highway.h>
// clang-format on

HWY_BEFORE_NAMESPACE();
namespace cs_dsp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;
using DI = hn::RebindToSigned<DF>;
using DS = hn::Rebind<int16_t, DF>;

struct Lanes {
  VF scaling, gain, knee, slope, curveTop, held, one, top, bottom, full;
  explicit Lanes(DF d, const OutputSettings& o)
      : scaling(hn::Set(d, o.overlapScaling)),
        gain(hn::Set(d, o.gain)),
        knee(hn::Set(d, o.knee)),
        slope(hn::Set(d, o.slope)),
        curveTop(hn::Set(d, o.curveTop)),
        held(hn::Set(d, o.curveTop * (1.0f - (o.curveTop - o.knee) * o.slope))),
        one(hn::Set(d, 1.0f)),
        top(hn::Set(d, 1.0f)),
        bottom(hn::Set(d, -1.0f)),
        full(hn::Set(d, 32767.0f)) {}
};

HWY_INLINE hn::Vec<DS> Quantise(DF d, const Lanes& k, VF value, VF& peak) {
  const DI di;
  const DS ds;
  const VF output = hn::Mul(hn::Div(value, k.scaling), k.gain);
  const VF level = hn::Abs(output);
  peak = hn::IfThenElse(hn::Gt(level, peak), level, peak);  // false for NaN
  const VF factor =
      hn::IfThenElse(hn::Lt(level, k.knee), k.one, hn::Sub(k.one, hn::Mul(hn::Sub(level, k.knee), k.slope)));
  const VF limited =
      hn::IfThenElse(hn::Gt(level, k.curveTop), hn::CopySign(k.held, output), hn::Mul(output, factor));
  // Out-of-range and NaN lanes convert to garbage, which the selections below replace.
  auto q = hn::ConvertTo(di, hn::Mul(limited, k.full));
  q = hn::IfThenElse(hn::RebindMask(di, hn::Lt(limited, k.bottom)), hn::Set(di, -32767), q);
  q = hn::IfThenElse(hn::RebindMask(di, hn::Gt(limited, k.top)), hn::Set(di, 32767), q);
  q = hn::IfThenZeroElse(hn::RebindMask(di, hn::IsNaN(limited)), q);
  (void)d;
  return hn::DemoteTo(ds, q);
}

float OutputStage(const float* HWY_RESTRICT left, const float* HWY_RESTRICT right, int n,
                  const OutputSettings& o, int16_t* HWY_RESTRICT samples) {
  const DF d;
  const DS ds;
  const Lanes k(d, o);
  const int lanes = (int)hn::Lanes(d);
  VF peak = hn::Zero(d);
  int i = 0;
  if (right == nullptr) {
    for (; i + lanes <= n; i += lanes)
      hn::StoreU(Quantise(d, k, hn::LoadU(d, left + i), peak), ds, samples + i);
  } else {
    for (; i + lanes <= n; i += lanes) {
      const auto l = Quantise(d, k, hn::LoadU(d, left + i), peak);
      const auto r = Quantise(d, k, hn::LoadU(d, right + i), peak);
      hn::StoreInterleaved2(l, r, ds, samples + 2 * i);
    }
  }
  float result = hn::GetLane(hn::MaxOfLanes(d, peak));
  for (; i < n; i++) {
    if (right == nullptr) {
      samples[i] = outputSample(left[i], o, result);
    } else {
      samples[2 * i] = outputSample(left[i], o, result);
      samples[2 * i + 1] = outputSample(right[i], o, result);
    }
  }
  return result;
}

HWY_MAYBE_UNUSED const DspSimdKernels kKernels = {OutputStage};

}  // namespace HWY_NAMESPACE
}  // namespace cs_dsp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
const DspSimdKernels* dsp_simd_kernels(SimdPath path) {
  using namespace cs_dsp;
  return CS_HWY_SELECT(path, kKernels);
}
#endif

#else
const DspSimdKernels* dsp_simd_kernels(SimdPath) { return nullptr; }
#endif  // CS_HAVE_HWY
