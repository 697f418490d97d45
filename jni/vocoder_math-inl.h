// The vocoder's vector sine, cosine and arctangent in double, built from separate multiplies
// and adds (never a fused multiply-add); the algorithms, domains and proven error bounds are in
// vocoder_math.h. Compiled once per Highway target: include it after <hwy/highway.h> inside a
// foreach_target translation unit.
//
// Every lane performs the same IEEE operations in the same order on every target, so the
// results are the same everywhere; outside the stated domains they are merely unspecified
// values (never a trap), and the callers send such lanes to the C library.

// Per-target include guard, toggled by foreach_target.
#if defined(CS_VOCODER_MATH_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef CS_VOCODER_MATH_INL_H_
#undef CS_VOCODER_MATH_INL_H_
#else
#define CS_VOCODER_MATH_INL_H_
#endif

#include <hwy/highway.h>

#include "vocoder_math.h"

HWY_BEFORE_NAMESPACE();
namespace cs_vocoder {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// c[0] + z (c[1] + z (... + z c[n - 1])), each step a multiply then an add.
template <class D, size_t kTerms>
HWY_INLINE hn::Vec<D> Horner(D d, hn::Vec<D> z, const double (&c)[kTerms]) {
  hn::Vec<D> p = hn::Set(d, c[kTerms - 1]);
  for (int i = (int)kTerms - 2; i >= 0; i--) p = hn::Add(hn::Mul(p, z), hn::Set(d, c[i]));
  return p;
}

// sin x and cos x for floats widened to double, |x| <= kSinCosDomain: within 3 u each.
template <class D>
HWY_INLINE void SinCos(D d, hn::Vec<D> x, hn::Vec<D>& sine, hn::Vec<D>& cosine) {
  using V = hn::Vec<D>;
  const V ax = hn::Abs(x);
  const V k = hn::Round(hn::Mul(ax, hn::Set(d, kTwoOverPi)));  // 0, 1 or 2 quarter turns
  const V r = hn::Sub(hn::Sub(ax, hn::Mul(k, hn::Set(d, kHalfPiHigh))), hn::Mul(k, hn::Set(d, kHalfPiLow)));
  const V z = hn::Mul(r, r);
  const V sinR = hn::Add(r, hn::Mul(hn::Mul(r, z), Horner(d, z, kSinCoefficients)));
  const V halfZ = hn::Mul(z, hn::Set(d, 0.5));
  const V cosR =
      hn::Sub(hn::Set(d, 1.0), hn::Sub(halfZ, hn::Mul(hn::Mul(z, z), Horner(d, z, kCosCoefficients))));
  // |x| = k pi/2 + r: sin |x| is sin r, cos r, -sin r and cos |x| is cos r, -sin r, -cos r for
  // k = 0, 1, 2; sin x takes the sign of x.
  const auto one = hn::Eq(k, hn::Set(d, 1.0));
  const auto two = hn::Eq(k, hn::Set(d, 2.0));
  const V sinAbs = hn::IfThenElse(one, cosR, hn::IfThenElse(two, hn::Neg(sinR), sinR));
  cosine = hn::IfThenElse(one, hn::Neg(sinR), hn::IfThenElse(two, hn::Neg(cosR), cosR));
  sine = hn::Xor(sinAbs, hn::And(x, hn::SignBit(d)));
}

// atan2(y, x) for floats widened to double, both finite and nonzero: within 8.6 u.
template <class D>
HWY_INLINE hn::Vec<D> Atan2(D d, hn::Vec<D> y, hn::Vec<D> x) {
  using V = hn::Vec<D>;
  const V ax = hn::Abs(x);
  const V ay = hn::Abs(y);
  const auto steep = hn::Gt(ay, ax);
  const V a = hn::IfThenElse(steep, ax, ay);  // a / b in (0, 1]
  const V b = hn::IfThenElse(steep, ay, ax);
  // The reduction point c nearest a / b, and atan c: the products (2j + 1)/8 * b are exact.
  V c = hn::Zero(d);
  V atanC = hn::Zero(d);
  const double points[4] = {0.25, 0.5, 0.75, 1.0};
  const double atans[4] = {kAtanQuarter, kAtanHalf, kAtanThreeQuarters, kAtanOne};
  for (int j = 0; j < 4; j++) {
    const auto above = hn::Gt(a, hn::Mul(b, hn::Set(d, (2 * j + 1) / 8.0)));
    c = hn::IfThenElse(above, hn::Set(d, points[j]), c);
    atanC = hn::IfThenElse(above, hn::Set(d, atans[j]), atanC);
  }
  // atan(a / b) = atan c + atan w; numerator and denominator are exact for floats.
  const V w = hn::Div(hn::Sub(a, hn::Mul(c, b)), hn::Add(b, hn::Mul(c, a)));
  const V z = hn::Mul(w, w);
  const V atanW = hn::Add(w, hn::Mul(hn::Mul(w, z), Horner(d, z, kAtanCoefficients)));
  V angle = hn::Add(atanC, atanW);
  angle = hn::IfThenElse(steep, hn::Sub(hn::Set(d, kHalfPiHigh), angle), angle);
  angle = hn::IfThenElse(hn::Lt(x, hn::Zero(d)), hn::Sub(hn::Set(d, 2 * kHalfPiHigh), angle), angle);
  return hn::CopySign(angle, y);
}

}  // namespace HWY_NAMESPACE
}  // namespace cs_vocoder
HWY_AFTER_NAMESPACE();

#endif  // CS_VOCODER_MATH_INL_H_
