// Elementary functions built from IEEE-754 arithmetic alone, so that every
// machine gives the same bits for them whatever its C library does: what
// lcdump computes from them must not depend on where it ran.
#ifndef LCDUMP_DETMATH_H
#define LCDUMP_DETMATH_H

namespace detmath {

// sin x and cos x, within an ulp for |x| <= 2^34. Larger arguments give
// values in [-1, 1] that no longer follow x; NaN and infinities give NaN.
void sin_cos(double x, double& sine, double& cosine);
// e^x within an ulp: +inf where it overflows, 0 where it underflows past
// the subnormals, NaN for NaN.
double exp(double x);
// ln x within an ulp: -inf for 0, +inf for +inf, NaN for x < 0 and NaN.
double log(double x);
// ln Γ(x) for x > 0: +inf at 0, NaN for x < 0 and NaN.
double log_gamma(double x);
// ln(Γ(a) / Γ(a - 1/2)) for a > 1/2, computed as one quantity: the two
// terms' difference alone would keep only absolute accuracy, 4e-6 at a = 1e9.
double log_gamma_ratio_half(double a);

}  // namespace detmath

#endif
