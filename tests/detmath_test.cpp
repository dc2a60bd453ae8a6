// detmath against glibc's functions (correctly rounded in practice, so at
// most an ulp apart from ours where ours is within an ulp), ln Γ against
// lgammal's wider result, and the special values as one table.
#include "detmath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace {

const double INF = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double TINY = std::numeric_limits<double>::denorm_min();
const double BIG = std::numeric_limits<double>::max();

// Doubles between a and b, counted along the number line.
std::int64_t ulps_apart(double a, double b)
{
    auto ordered = [](double v) {
        std::int64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    return std::llabs(ordered(a) - ordered(b));
}

// x log-uniform in [lo, hi), sign random.
double spread(std::mt19937_64& random, double lo, double hi)
{
    double x = std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(random));
    return random() & 1 ? -x : x;
}

double sine(double x)
{
    double s, c;
    detmath::sin_cos(x, s, c);
    return s;
}
double cosine(double x)
{
    double s, c;
    detmath::sin_cos(x, s, c);
    return c;
}

TEST(Detmath, SinCosWithinAnUlpOfGlibcBelowTwoToThe34)
{
    std::mt19937_64 random(1);
    std::int64_t worst = 0;
    auto check = [&](double x) {
        worst = std::max({worst, ulps_apart(sine(x), std::sin(x)), ulps_apart(cosine(x), std::cos(x))});
    };
    for (int i = 0; i < 300000; ++i)
        check(spread(random, 1e-9, 0x1p34));
    // The doubles nearest k pi/2, where the reduction cancels most.
    for (int i = 0; i < 100000; ++i) {
        double k = std::floor(std::abs(spread(random, 1, 0x1p34 / 1.5707963267948966)));
        check(static_cast<double>(k * 1.57079632679489661923132169163975144L));
    }
    // The doubles closest to a multiple of pi/2 in their binades (from the
    // continued fraction of pi/2): within 2^-60.5, 2^-59, 2^-53.5, 2^-52.5.
    for (auto [mantissa, exponent] : {std::pair{6411027962775774, -47},
                                      {7763785107565477, -29},
                                      {6132322300111610, -20},
                                      {6132322300111610, -19},
                                      {7074237752028440, -52}})
        check(std::ldexp(static_cast<double>(mantissa), exponent));
    EXPECT_LE(worst, 1);
    // Beyond the range, still a sine and a cosine of something.
    for (int i = 0; i < 10000; ++i) {
        double x = i < 2 ? (i ? -BIG : BIG) : spread(random, 0x1p34, BIG);
        double s = sine(x), c = cosine(x);
        EXPECT_TRUE(std::abs(s) <= 1 && std::abs(c) <= 1 && std::abs(s * s + c * c - 1) < 1e-15) << x;
    }
}

TEST(Detmath, ExpAndLogWithinAnUlpOfGlibc)
{
    std::mt19937_64 random(2);
    std::uniform_real_distribution<double> exponent(-745.2, 709.8);
    std::int64_t worst_exp = 0, worst_log = 0;
    for (int i = 0; i < 300000; ++i) {
        double x = exponent(random);
        worst_exp = std::max(worst_exp, ulps_apart(detmath::exp(x), std::exp(x)));
        double y = std::abs(spread(random, TINY, BIG));
        worst_log = std::max(worst_log, ulps_apart(detmath::log(y), std::log(y)));
        y = 0.5 + std::ldexp(static_cast<double>(random() >> 11), -52);  // [0.5, 2.5), every bit random
        worst_log = std::max(worst_log, ulps_apart(detmath::log(y), std::log(y)));
    }
    EXPECT_LE(worst_exp, 1);
    EXPECT_LE(worst_log, 1);
}

// glibc's lgamma is off by more than an ulp here and there; lgammal is not.
TEST(Detmath, LogGammaWithinAnUlpOfTheTrueValue)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> small(0, 12);
    double worst = 0, at = 0;
    for (int i = 0; i < 200000; ++i) {
        double x = i % 2 ? small(random) : std::abs(spread(random, TINY, 1e300));
        long double truth = lgammal(x);
        double error = static_cast<double>(std::abs(detmath::log_gamma(x) - truth)) /
                       std::ldexp(1.0, std::ilogb(static_cast<double>(truth)) - 52);
        if (error > worst)
            worst = error, at = x;
    }
    EXPECT_LT(worst, 1) << "at " << at;
}

TEST(Detmath, GammaRatioOfHalfStepWithin2e15)
{
    // Γ(a) / Γ(a - 1/2) from mpmath at 200 bits, and lgammal where a is small.
    const double table[][2] = {
        {0.5000001, 1.7724536042583431383e-7}, {0.75, 0.3379891200336423645},    {1, 0.56418958354775628695},
        {1.5, 0.88622692545275801365},         {2.25, 1.2327812996619328718},    {10.5, 3.1230114333906127848},
        {123.456, 11.077285528115387749},      {10000.3, 99.997749990312981538}, {3700000, 1923.53821121390995},
        {999999999.75, 31622.776585872405016}, {1e9, 31622.776589825252093}};
    for (auto [a, ratio] : table)
        EXPECT_NEAR(detmath::exp(detmath::log_gamma_ratio_half(a)) / ratio, 1, 2e-15) << a;
    std::mt19937_64 random(4);
    std::uniform_real_distribution<double> moderate(0.51, 300);
    for (int i = 0; i < 20000; ++i) {
        double a = moderate(random);
        long double ratio = expl(lgammal(a) - lgammal(a - 0.5L));
        ASSERT_NEAR(static_cast<double>(detmath::exp(detmath::log_gamma_ratio_half(a)) / ratio), 1, 2e-15) << a;
    }
}

TEST(Detmath, SpecialValues)
{
    struct Case {
        double (*function)(double);
        double x, expected;
    };
    auto exp = [](double x) { return detmath::exp(x); };
    auto log = [](double x) { return detmath::log(x); };
    auto log_gamma = [](double x) { return detmath::log_gamma(x); };
    auto ratio = [](double a) { return detmath::log_gamma_ratio_half(a); };
    const Case cases[] = {
        {sine, 0.0, 0.0},
        {sine, -0.0, -0.0},
        {sine, TINY, TINY},
        {sine, -INF, NaN},
        {sine, NaN, NaN},
        {cosine, -0.0, 1},
        {cosine, INF, NaN},
        {cosine, NaN, NaN},
        {exp, -0.0, 1},
        {exp, TINY, 1},
        {exp, 709.8, INF},
        {exp, INF, INF},
        {exp, -INF, 0},
        {exp, -745.2, 0},
        {exp, -745.1, std::exp(-745.1)},
        {exp, -720, std::exp(-720)},
        {exp, NaN, NaN},
        {log, 0.0, -INF},
        {log, -0.0, -INF},
        {log, -TINY, NaN},
        {log, 1, 0.0},
        {log, INF, INF},
        {log, NaN, NaN},
        {log, TINY, std::log(TINY)},
        {log, BIG, std::log(BIG)},
        {log_gamma, 0.0, INF},
        {log_gamma, -1, NaN},
        {log_gamma, -20, NaN},
        {log_gamma, 1, 0.0},
        {log_gamma, 2, 0.0},
        {log_gamma, INF, INF},
        {log_gamma, NaN, NaN},
        {log_gamma, TINY, std::lgamma(TINY)},
        {log_gamma, 3e305, INF},
        {log_gamma, BIG, INF},
        {ratio, 0.5, -INF},
        {ratio, 0.4, NaN},
        {ratio, INF, INF},
        {ratio, BIG, 0.5 * std::log(BIG)},
        {ratio, NaN, NaN},
    };
    for (const Case& c : cases) {
        double got = c.function(c.x);
        bool same = std::isnan(c.expected) ? std::isnan(got) : std::memcmp(&got, &c.expected, sizeof got) == 0;
        EXPECT_TRUE(same) << "case " << &c - cases << ": f(" << c.x << ") = " << got << ", not " << c.expected;
    }
}

}  // namespace
