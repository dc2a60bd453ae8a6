// What detmath's functions share: sums and products carried exactly in two
// doubles without a fused multiply-add, polynomials, and the logarithm to
// about twice a double's precision.
#ifndef LCDUMP_DETMATH_PARTS_H
#define LCDUMP_DETMATH_PARTS_H

#include <cstddef>

namespace detmath {

// The unevaluated sum hi + lo.
struct Pair {
    double hi;
    double lo;
};

// a + b exactly, whatever their magnitudes (Knuth).
inline Pair two_sum(double a, double b)
{
    double sum = a + b;
    double b_part = sum - a;
    return {sum, (a - (sum - b_part)) + (b - b_part)};
}

// a + b exactly, for |a| >= |b| (Dekker).
inline Pair fast_two_sum(double a, double b)
{
    double sum = a + b;
    return {sum, b - (sum - a)};
}

// a * b exactly, for |a|, |b| below 2^995: each is split into halves of at
// most 26 bits (Veltkamp), whose products are exact.
inline Pair two_product(double a, double b)
{
    const double splitter = 134217729.0;  // 2^27 + 1
    double product = a * b;
    double a_scaled = splitter * a, b_scaled = splitter * b;
    double a_hi = a_scaled - (a_scaled - a), b_hi = b_scaled - (b_scaled - b);
    double a_lo = a - a_hi, b_lo = b - b_hi;
    return {product, ((a_hi * b_hi - product) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo};
}

// (a.hi + a.lo) * b, to about 2^-100 relative.
inline Pair times(Pair a, double b)
{
    Pair product = two_product(a.hi, b);
    return fast_two_sum(product.hi, product.lo + a.lo * b);
}

// c[0] x^(N-1) + c[1] x^(N-2) + ... + c[N-1], by Horner's rule.
template <std::size_t N>
inline double polynomial(const double (&c)[N], double x)
{
    double sum = c[0];
    for (std::size_t i = 1; i < N; ++i)
        sum = sum * x + c[i];
    return sum;
}

// ln x for finite x > 0 as hi + lo, to about 2^-60 relative.
Pair log_pair(double x);

// ln(a.hi + a.lo) for a.hi > 0.
inline Pair log_pair(Pair a)
{
    Pair log_hi = log_pair(a.hi);
    return fast_two_sum(log_hi.hi, log_hi.lo + a.lo / a.hi);
}

}  // namespace detmath

#endif
