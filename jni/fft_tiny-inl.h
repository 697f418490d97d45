// Vector forms of fft_tiny_round() and fft_tiny_product() (fft.h: arithmetic on tiny values
// scaled by 2^149). Compiled once per Highway target: include it after <hwy/highway.h> inside a
// foreach_target translation unit. Every lane gives exactly the plain functions' result.

// Per-target include guard, toggled by foreach_target.
#if defined(CS_FFT_TINY_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef CS_FFT_TINY_INL_H_
#undef CS_FFT_TINY_INL_H_
#else
#define CS_FFT_TINY_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace cs_tiny {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Exact products in units of 2^-149, rounded to an integer below 2^24 (ties to even, a zero
// keeping its sign) and left for the float conversion above.
template <class DD>
HWY_INLINE hn::Vec<DD> TinyRound(DD dd, hn::Vec<DD> v) {
  const hn::Vec<DD> onGrid = hn::CopySign(hn::Round(v), v);
  return hn::IfThenElse(hn::Lt(hn::Abs(v), hn::Set(dd, 0x1p24)), onGrid, v);
}

// Lane by lane, the float of TinyRound(a * b) with the product formed in double (exact).
#if HWY_TARGET == HWY_SCALAR
// Highway's one-lane baseline target (built, never chosen): one double per float.
template <class DF>
HWY_INLINE hn::Vec<DF> TinyProduct(DF df, hn::Vec<DF> a, hn::Vec<DF> b) {
  const hn::Rebind<double, DF> dd;
  return hn::DemoteTo(df, TinyRound(dd, hn::Mul(hn::PromoteTo(dd, a), hn::PromoteTo(dd, b))));
}
#else
template <class DF>
HWY_INLINE hn::Vec<DF> TinyProduct(DF df, hn::Vec<DF> a, hn::Vec<DF> b) {
  const hn::Half<DF> dh;
  const hn::Rebind<double, decltype(dh)> dd;
  const auto lo = hn::Mul(hn::PromoteTo(dd, hn::LowerHalf(dh, a)), hn::PromoteTo(dd, hn::LowerHalf(dh, b)));
  const auto hi = hn::Mul(hn::PromoteTo(dd, hn::UpperHalf(dh, a)), hn::PromoteTo(dd, hn::UpperHalf(dh, b)));
  return hn::Combine(df, hn::DemoteTo(dh, TinyRound(dd, hi)), hn::DemoteTo(dh, TinyRound(dd, lo)));
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace cs_tiny
HWY_AFTER_NAMESPACE();

#endif  // CS_FFT_TINY_INL_H_
