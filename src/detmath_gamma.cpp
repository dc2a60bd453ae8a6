#include "detmath.h"

#include <limits>

#include "detmath_parts.h"

namespace detmath {

namespace {

// ln Γ(1 + u) for |u| <= 0.4 and ln Γ(2 + t) for t in [-0.6, 0.7] as
// u (c0 + u (c1 + u P(u))), fitted near-minimax (Chebyshev): about the
// zeros of ln Γ at 1 and 2 they keep relative accuracy, where a recurrence
// to larger arguments would lose it all. P's coefficients come first, then
// c1 and c0 in two doubles each, as the terms they lead cancel by half.
const double NEAR_ONE[] = {0x1.b62a48be7bc93p-4, -0x1.c7cd8af698085p-4, 0x1.b2553650380a5p-7, -0x1.d1657f1c36694p-7,
                           0x1.de7030d334117p-5, -0x1.f69565317612cp-5, 0x1.bc1411564a553p-5, -0x1.d6702da1a3388p-5,
                           0x1.00942642bb224p-4, -0x1.11abda985af5dp-4, 0x1.248cbe2d528f7p-4, -0x1.3b1314fac5e83p-4,
                           0x1.556b4affc30d8p-4, -0x1.748cac39dc73ep-4, 0x1.9a01e033cf2f3p-4, -0x1.c8066cfba4474p-4,
                           0x1.010b36b6a1189p-3, -0x1.2703a1e448d80p-3, 0x1.5b40cb0ffc85cp-3, -0x1.a8b9c17a95d4ap-3,
                           0x1.151322ac7d8b4p-2, -0x1.9a4d55beab347p-2};
const Pair NEAR_ONE_LEAD[] = {{0x1.a51a6625307d3p-1, 0x1.b5fc0e9e2c23cp-57},
                              {-0x1.2788cfc6fb619p-1, 0x1.35db7960ecaa9p-57}};
const double NEAR_TWO[] = {0x1.589f0721d7722p-29, -0x1.1b05a10ef2513p-27, 0x1.afd61f0fab340p-27, -0x1.56e287e7714c7p-26,
                           0x1.86fadd41f3046p-25, -0x1.b4ffd3653bd16p-24, 0x1.ca3a0ab32c6b0p-23, -0x1.e1fab53f6355dp-22,
                           0x1.0044eaae4c5dfp-20, -0x1.11b5025cffabdp-19, 0x1.259970eb1af6ap-18, -0x1.3cbc8ad5e5117p-17,
                           0x1.580dbe0117daap-16, -0x1.78de5be06a43ep-15, 0x1.a127b156b794bp-14, -0x1.d3fd4c77d2415p-13,
                           0x1.0b36af858079ap-11, -0x1.38ac5c2bf6316p-10, 0x1.7add6eadb83aap-9,  -0x1.e404fc218f647p-8,
                           0x1.51322ac7d8478p-6,  -0x1.13e001a557606p-4};
const Pair NEAR_TWO_LEAD[] = {{0x1.4a34cc4a60fa6p-2, 0x1.1b843ad7e9244p-56},
                              {0x1.b0ee6072093cep-2, 0x1.6ca103073aac1p-58}};
// Stirling's series, sum of B_2j / (2j (2j - 1)) w^(2j - 1), w = 1/y, as w
// times a polynomial in w^2; eight terms leave below 2^-60 for y >= 10.
const double STIRLING[] = {-0x1.e4286cb0f5398p-6,  0x1.a41a41a41a41ap-8,  -0x1.f6ab0d9993c7dp-10, 0x1.b951e2b18ff23p-11,
                           -0x1.3813813813814p-11, 0x1.a01a01a01a01ap-11, -0x1.6c16c16c16c17p-9,  0x1.5555555555555p-4};
// ln(2 pi)/2 as hi + lo.
const Pair STIRLING_CONSTANT = {0x1.d67f1c864beb5p-1, -0x1.65b5a1b7ff5dfp-55};
// 1/3 + z/5 + z^2/7 + ...: atanh s = s + s^3 (that series in s^2).
const double ATANH_SERIES[] = {1.0 / 13, 1.0 / 11, 1.0 / 9, 1.0 / 7, 1.0 / 5, 1.0 / 3};

template <std::size_t N>
Pair near_zero(const double (&rest)[N], const Pair (&lead)[2], double u)
{
    Pair sum = two_sum(lead[0].hi, u * polynomial(rest, u));
    sum = times(fast_two_sum(sum.hi, sum.lo + lead[0].lo), u);
    Pair outer = two_sum(lead[1].hi, sum.hi);
    return times(fast_two_sum(outer.hi, outer.lo + (sum.lo + lead[1].lo)), u);
}

// a - b, rounded once.
double difference(Pair a, Pair b)
{
    Pair high = two_sum(a.hi, -b.hi);
    return high.hi + (high.lo + (a.lo - b.lo));
}

double stirling_series(double y)
{
    double w = 1 / y;
    return w * polynomial(STIRLING, w * w);
}

// ln Γ(y) for y >= 10: y (ln y - 1) - (ln y)/2 + ln(2 pi)/2 - 1/2 + series.
// The leading product is carried in two doubles: rounded, it and ln y's
// rounding would cost up to two ulps of the result near y = 10.
double stirling(double y)
{
    Pair log_y = log_pair(y);
    double log_less_one = log_y.hi - 1;  // exact, as ln y > 2
    double rest = STIRLING_CONSTANT.lo + stirling_series(y) + (y - 0.5) * log_y.lo - 0.5 * log_y.hi;
    if (y > 1e300)
        return y * log_less_one + STIRLING_CONSTANT.hi;  // the split would overflow
    Pair lead = two_product(y, log_less_one);
    return lead.hi + ((lead.lo + STIRLING_CONSTANT.hi) + rest);
}

}  // namespace

double log_gamma(double x)
{
    if (x != x || x < 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (x == 0 || x > std::numeric_limits<double>::max())
        return std::numeric_limits<double>::infinity();
    if (x >= 10)
        return stirling(x);
    if (x < 0.4) {
        // ln Γ(x) = ln Γ(1 + x) - ln x, no cancellation.
        return difference(near_zero(NEAR_ONE, NEAR_ONE_LEAD, x), log_pair(x));
    }
    if (x < 0.6) {
        // ln Γ(x) = ln Γ(2 + x) - ln(x (1 + x)), the product in two doubles.
        return difference(near_zero(NEAR_TWO, NEAR_TWO_LEAD, x), log_pair(times(two_sum(1, x), x)));
    }
    if (x < 1.4) {
        Pair sum = near_zero(NEAR_ONE, NEAR_ONE_LEAD, x - 1);  // x - 1 exact
        return sum.hi + sum.lo;
    }
    // ln Γ(x) = ln Γ(x - n) + ln((x - 1) ... (x - n)), down to x - n < 2.7:
    // every x - i is exact, and their product is carried in two doubles.
    Pair product = {1, 0};
    double t = x;
    while (t >= 2.7) {
        t -= 1;
        product = times(product, t);
    }
    Pair log_product = log_pair(product);
    return difference(near_zero(NEAR_TWO, NEAR_TWO_LEAD, t - 2), {-log_product.hi, -log_product.lo});
}

double log_gamma_ratio_half(double a)
{
    if (a != a || a < 0.5)
        return std::numeric_limits<double>::quiet_NaN();
    if (a == 0.5)
        return -std::numeric_limits<double>::infinity();
    if (a > std::numeric_limits<double>::max())
        return a;
    // Up to a >= 10.5 by Γ(a + 1) = a Γ(a): the ratio gains (a - 1/2) / a
    // each step; a - 1/2 is exact, so both sides of it move together.
    double numerator = 1, denominator = 1;
    while (a < 10.5) {
        numerator *= a - 0.5;
        denominator *= a;
        a += 1;
    }
    // With b = a - 1/2 and s = 1/(4a - 1), Stirling's leading terms differ by
    // (a - 1/2) ln(a/b) + ln(b)/2 - 1/2 = ln(b)/2 - s/2 + (s^2 - s^3)/2 (1/3 + s^2/5 + ...),
    // as ln(a/b) = 2 atanh s: the large terms cancel on paper, not in rounding.
    double b = a - 0.5;
    double s = 1 / (4 * a - 1);
    double z = s * s;
    double d = (z - z * s) * 0.5 * polynomial(ATANH_SERIES, z) - 0.5 * s;
    d += stirling_series(a) - stirling_series(b);
    double shift = numerator == 1 ? 0 : log_pair(numerator / denominator).hi;
    return 0.5 * log_pair(b).hi + (d + shift);
}

}  // namespace detmath
