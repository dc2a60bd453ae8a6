#include "detmath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "detmath_parts.h"

namespace detmath {

namespace {

static_assert(std::numeric_limits<double>::is_iec559, "exp builds powers of two from IEEE 754 bits");

// pi/2 in pieces: six of at most 19 bits, so that k times each is exact for
// |k| < 2^34, then the rest, rounded. 19 * 6 + 53 bits leave x - k pi/2
// right to some 2^-120 even where x lies within 2^-61 of a multiple, as the
// doubles below 2^34 closest to one do.
const double HALF_PI_PIECES[] = {0x1.921f800000000p+0,  0x1.aa22000000000p-19, 0x1.68c2000000000p-39,
                                 0x1.a626000000000p-58, 0x1.98a2800000000p-77, 0x1.80dc000000000p-95,
                                 0x1.cd129024e088ap-115};
const double TWO_OVER_PI = 0x1.45f306dc9c883p-1;
const double QUARTER_PI = 0x1.921fb54442d18p-1;
// The pieces' products stay exact up to here.
const double REDUCTION_LIMIT = 0x1p34;
// Adding and taking away 1.5 * 2^52 rounds a double below 2^51 to the
// nearest integer, without a library call that might round otherwise.
const double ROUNDER = 0x1.8p52;
// For z = r^2 and |r| <= pi/4 (and a little more, for the rounding of k):
// sin r = r + r z SINE(z) and cos r = 1 - z/2 + z^2 COSINE(z), both fitted
// near-minimax (Chebyshev) to below 2^-64 relative.
const double SINE[] = {-0x1.ab17a79237a19p-41, 0x1.61217ec01749dp-33, -0x1.ae64541266378p-26, 0x1.71de3a54605eep-19,
                       -0x1.a01a01a019936p-13, 0x1.1111111111110p-7,  -0x1.5555555555555p-3};
const double COSINE[] = {-0x1.907d7aebd5e3dp-37, 0x1.1eeb68b109173p-29,  -0x1.27e4fa17a41b4p-22,
                         0x1.a01a019f4e867p-16,  -0x1.6c16c16c16966p-10, 0x1.5555555555555p-5};

// ln 2 in two parts, the first with 42 bits, so that k times it is exact
// for every |k| < 2^11 that exp and log meet.
const double LN2_HI = 0x1.62e42fefa3800p-1;
const double LN2_LO = 0x1.ef35793c76730p-45;
const double LOG2_E = 0x1.71547652b82fep+0;
// e^r = 1 + r + r^2 EXP_TAIL(r) for |r| <= ln 2 / 2.
const double EXP_TAIL[] = {0x1.1f730a202ec17p-29, 0x1.af4df5750ec30p-26, 0x1.27e4db6121beep-22, 0x1.71de022bd5558p-19,
                           0x1.a01a01a6d9931p-16, 0x1.a01a01abe9ce8p-13, 0x1.6c16c16c162d2p-10, 0x1.11111111100d8p-7,
                           0x1.5555555555556p-5,  0x1.5555555555557p-3,  0x1.0000000000000p-1};
// ln(1 + f) = 2 atanh s = 2s + s z ATANH_TAIL(z) for s = f / (2 + f),
// z = s^2, with 1 + f in [sqrt(1/2), sqrt(2)).
const double ATANH_TAIL[] = {0x1.0c05166ec4148p-3, 0x1.0fbe71ad855c9p-3, 0x1.3b1c36b445cebp-3, 0x1.745cf8fe328f9p-3,
                             0x1.c71c720168526p-3, 0x1.2492492476c42p-2, 0x1.9999999999a38p-2, 0x1.5555555555555p-1};
const double SQRT_HALF = 0x1.6a09e667f3bcdp-1;

// x - k pi/2 as hi + lo, and k mod 4, for |x| <= REDUCTION_LIMIT.
struct Reduced {
    Pair r;
    int quadrant;
};

Reduced reduce(double x)
{
    double k = (x * TWO_OVER_PI + ROUNDER) - ROUNDER;
    // Both steps are exact: x and k times the first piece are within a
    // factor of 2 (Sterbenz), and the next difference is below 1 in
    // multiples of 2^-53 or coarser.
    double rest = (x - k * HALF_PI_PIECES[0]) - k * HALF_PI_PIECES[1];
    // From here on a step may round: its error is kept apart, and where
    // the pieces cancel a step is exact again.
    double error = 0;
    for (int i = 2; i < 7; ++i) {
        Pair step = two_sum(rest, -(k * HALF_PI_PIECES[i]));
        rest = step.hi;
        error += step.lo;
    }
    return {fast_two_sum(rest, error), static_cast<int>(static_cast<std::int64_t>(k) & 3)};
}

}  // namespace

void sin_cos(double x, double& sine, double& cosine)
{
    if (std::fabs(x) < 0x1p-27) {  // x^3/6 and x^2/2 are below half an ulp
        sine = x, cosine = 1;
        return;
    }
    Reduced reduced{{x, 0}, 0};
    if (!(std::fabs(x) < QUARTER_PI)) {
        if (!(std::fabs(x) <= std::numeric_limits<double>::max())) {
            sine = cosine = x - x;  // NaN for NaN and for either infinity
            return;
        }
        // Beyond the limit the pieces' products would round; folding x
        // into [0, 2^34) (exactly) keeps the results defined and in range.
        if (std::fabs(x) > REDUCTION_LIMIT)
            x -= REDUCTION_LIMIT * std::floor(x / REDUCTION_LIMIT);
        reduced = reduce(x);
    }
    double hi = reduced.r.hi, lo = reduced.r.lo;
    double z = hi * hi;
    // sin(hi + lo) = sin hi + lo cos hi, and cos(hi + lo) = cos hi - lo sin
    // hi, to well below an ulp.
    double s = hi + (lo * (1 - 0.5 * z) + hi * z * polynomial(SINE, z));
    // 1 - z/2 with its rounding error carried along, as z/2 reaches 0.31.
    double half_z = 0.5 * z, one_less = 1 - half_z;
    double c = one_less + (((1 - one_less) - half_z) + (z * z * polynomial(COSINE, z) - hi * lo));
    switch (reduced.quadrant) {
    case 0:
        sine = s, cosine = c;
        break;
    case 1:
        sine = c, cosine = -s;
        break;
    case 2:
        sine = -s, cosine = -c;
        break;
    default:
        sine = -c, cosine = s;
        break;
    }
}

double exp(double x)
{
    if (x != x)
        return x;
    if (x > 710)
        return std::numeric_limits<double>::infinity();
    if (x < -746)
        return 0;
    double k = (x * LOG2_E + ROUNDER) - ROUNDER;
    // Exact, as in reduce(); then r = hi + lo to about 2^-85.
    double rest = x - k * LN2_HI;
    double k_ln2_lo = k * LN2_LO;
    double hi = rest - k_ln2_lo;
    double lo = (rest - hi) - k_ln2_lo;
    double e_r = 1 + (hi + (lo + hi * hi * polynomial(EXP_TAIL, hi)));
    // Where the result is normal, times 2^k is exact, and 2^k is made from
    // its bits: a library ldexp costs as much as the rest of exp. Below,
    // ldexp rounds once into the subnormals.
    if (k >= -1021 && k <= 1023) {
        const std::uint64_t bits = static_cast<std::uint64_t>(static_cast<int>(k) + 1023) << 52;
        double scale;
        std::memcpy(&scale, &bits, sizeof scale);
        return e_r * scale;
    }
    return std::ldexp(e_r, static_cast<int>(k));
}

Pair log_pair(double x)
{
    int exponent = 0;
    double m = std::frexp(x, &exponent);  // exact, subnormals too
    if (m < SQRT_HALF)
        m *= 2, --exponent;
    double f = m - 1;  // exact for m in [1/2, 2]
    double s = f / (2 + f);
    double z = s * s;
    // ln(1 + f) = f - (f^2/2 - s (f^2/2 + R)) with R = z ATANH_TAIL(z): the
    // large term f is exact, and what is rounded is small beside it.
    double half_f2 = 0.5 * f * f;
    double k = exponent;
    Pair sum = two_sum(k * LN2_HI, f);
    double lo = sum.lo - (half_f2 - (s * (half_f2 + z * polynomial(ATANH_TAIL, z)) + k * LN2_LO));
    return fast_two_sum(sum.hi, lo);
}

double log(double x)
{
    if (x != x || x < 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (x == 0)
        return -std::numeric_limits<double>::infinity();
    if (x > std::numeric_limits<double>::max())
        return x;
    return log_pair(x).hi;
}

}  // namespace detmath
