// Sine, cosine and power rounded to the nearest double (ties to even), the
// same bits on every compiler, processor and C runtime. The platform's libm
// differs between builds in the last bit now and then, and the gamma table
// and the low-pass filter must come out identical in both modules.
//
// The values are computed in 32-bit-limb fixed point with integer arithmetic
// only, and with an error bound; the precision grows until the bound leaves
// one rounding possible. Cases that can land exactly on a tie (powers whose
// result is a short dyadic number) are detected and computed exactly.
#pragma once

namespace kest {

// NaN for NaN and infinite x; otherwise the correctly rounded sin x.
double CorrectlyRoundedSin(double x);

// NaN for NaN and infinite x; otherwise the correctly rounded cos x.
double CorrectlyRoundedCos(double x);

// The correctly rounded x^y for every pair of doubles, underflow to
// subnormals and zero and overflow to infinity included. Special operands
// follow C's pow: pow(x, +-0) = 1 and pow(1, y) = 1 even for NaN; pow(+-0, y)
// is +-0 or +-inf by the sign of y (signed only for odd integer y); a
// negative x gives NaN for a non-integer y and the sign of (-1)^y otherwise;
// pow(-1, +-inf) = 1; an infinite y gives 0 or +inf by whether |x| < 1; an
// infinite x gives 0 or inf by the sign of y; any other NaN operand gives NaN.
double CorrectlyRoundedPow(double x, double y);

}  // namespace kest
