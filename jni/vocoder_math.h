// The vocoder's own vector sine, cosine and two-argument arctangent: their constants, their
// domains and their proven error bounds. The vector code is vocoder_math-inl.h; the kernels of
// vocoder_simd.cpp use it behind a rounding guard, and tools/vocoder_math_check.cpp derives the
// polynomial coefficients below and verifies the bounds.
//
// Why our own: the phase vocoder needs atan2, sin and cos in double, rounded to float, to the
// bit of the C library's. A vector approximation is good enough when its error is known: the
// guard (vocoder_simd.cpp) keeps a lane only when its float provably equals the float of the C
// library's value. The approximations use separate multiplies and adds only, never a fused
// multiply-add, so they are the same on every target; nothing here needs them to be.
//
// Arguments are floats widened to double (the vocoder's spectra and phases are floats), and
// all arithmetic is in double. u = 2^-53 is the unit roundoff of double, fl() a rounded
// operation, fl(a op b) = (a op b)(1 + d) with |d| <= u. Bounds are relative to the true value.
//
// Sine and cosine, for a float x with |x| <= kSinCosDomain (float pi, a little above pi):
//   k = round(|x| * 2/pi) is 0, 1 or 2. r = (|x| - k * kHalfPiHigh) - k * kHalfPiLow: the first
//   difference is exact (k * kHalfPiHigh is exact, and both operands are multiples of the
//   larger one's ulp with a difference below 2 that needs no more than 53 bits), the second
//   rounds once; kHalfPiHigh + kHalfPiLow is within 2^-107 of pi/2, and the nearest a float
//   comes to a multiple of pi/2 is 4.3e-8, so r = (|x| - k pi/2)(1 + e) with |e| <= u + 2^-80
//   (e = 0 for k = 0), and |r| <= pi/4 + 2^-40 < kSinCosReach.
//   With z = fl(r * r): sin r = r + (r z) S(z), cos r = 1 - (z / 2 - (z z) C(z)), S and C
//   polynomials of degree 5 in Horner form. Their approximation errors, taken over |r| <=
//   kSinCosReach (the check tool bounds them rigorously), are below 0.19 u for sin and 0.012 u
//   for cos, relative to the function. The rounding errors: S has relative error <= 1.33 u
//   and the term (r z) S at most 4.4 u, which is at most 0.115 of sin r, so 0.51 u; with the
//   final addition (u) and e (u, the condition number of sin r is below 1), sin r is within
//   2.7 u. For cos r: z / 2 is off by 0.31 u, (z z) C by 0.09 u, their difference by 0.30 u
//   and the error of r moves cos r by 0.56 u, all absolute, over cos r >= 0.7067, plus the
//   final rounding (u): within 2.8 u. Then sin x and cos x are +-sin r or +-cos r by k and the
//   sign of x, exactly. Both are within 3 u.
//
// Arctangent of two floats y, x, finite and nonzero:
//   a = min(|x|, |y|), b = max, t = a / b in (0, 1]. c is the nearest of 0, 1/4, 1/2, 3/4, 1 to
//   t, chosen exactly by comparing a with (2j + 1)/8 * b (exact products). Then
//   atan t = atan c + atan w with w = (a - c b) / (b + c a): for floats the numerator is exact
//   (Sterbenz: a / (c b) lies in [1/2, 3/2]) and so is the denominator (two numbers of at most
//   26 bits within a factor 32 of each other), so the one division is the only rounding,
//   and |w| <= 1/8. atan w = w + (w z) A(z), z = fl(w * w), A of degree 5 (approximation error
//   below 0.07 u); atan w comes out within 2.2 u, and atan c + atan w within 5.1 u (the worst
//   case is t just above 1/8, where atan c is twice atan t). The quadrant steps pi/2 - v (when
//   |y| > |x|) and pi - v (when x < 0) each add at most 1.71 u (the constant's 0.351 u, scaled,
//   and the rounding), and the sign of y is copied exactly: within 8.6 u.
//
// tools/vocoder_math_check.cpp confirms these by exhaustion for sine and cosine (every float in
// [-kSinCosDomain, kSinCosDomain], against an extended-precision reference) and by a large
// random and edge-case sweep for the arctangent; the largest errors it found are in the README.
#pragma once

// Sine and cosine take floats up to this magnitude (float pi); larger ones are left to the C library.
constexpr double kSinCosDomain = 3.1415927410125732;
// The reduced argument's bound, a little above pi/4, over which the polynomials are fitted.
constexpr double kSinCosReach = 0.7854;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kHalfPiHigh = 0x1.921fb54442d18p+0;  // pi/2 rounded to double
constexpr double kHalfPiLow = 0x1.1a62633145c07p-54;  // pi/2 - kHalfPiHigh, rounded

// sin r = r + r^3 S(r^2), cos r = 1 - r^2/2 + r^4 C(r^2), lowest degree first.
constexpr int kSinCosTerms = 6;
constexpr double kSinCoefficients[kSinCosTerms] = {
    -0x1.5555555555555p-3, 0x1.1111111110bb2p-7,   -0x1.a01a019e83a8fp-13,
    0x1.71de3796878b1p-19, -0x1.ae600b00160cap-26, 0x1.5e0b190695154p-33,
};
constexpr double kCosCoefficients[kSinCosTerms] = {
    0x1.5555555555555p-5,   -0x1.6c16c16c16967p-10, 0x1.a01a019f4eaf1p-16,
    -0x1.27e4fa17d8c71p-22, 0x1.1eeb68e7eb073p-29,  -0x1.907da2754caa9p-37,
};

// atan w = w + w^3 A(w^2) for |w| <= kAtanReach.
constexpr double kAtanReach = 0.125;
constexpr int kAtanTerms = 6;
constexpr double kAtanCoefficients[kAtanTerms] = {
    -0x1.555555555554dp-2, 0x1.99999999872b9p-3,  -0x1.249248eec3c20p-3,
    0x1.c71bfec13910bp-4,  -0x1.74256a7766914p-4, 0x1.2e99d78881b21p-4,
};
// The arctangents of the reduction points 1/4, 1/2, 3/4 and 1, rounded to double.
constexpr double kAtanQuarter = 0x1.f5b75f92c80ddp-3;
constexpr double kAtanHalf = 0x1.dac670561bb4fp-2;
constexpr double kAtanThreeQuarters = 0x1.4978fa3269ee1p-1;
constexpr double kAtanOne = 0x1.921fb54442d18p-1;  // pi/4
