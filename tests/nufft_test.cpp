// The FFT and the non-uniform sums against the sums written out, in long
// double, over random sizes and data. Positions are kept to multiples of
// 2^-40 below 64 so that k x is exact in long double and sinl and cosl, which
// reduce their arguments exactly, make a reference good to about 1e-18.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "fft.h"
#include "nufft.h"

namespace {

// Allocations above this many bytes fail, as when memory has run out.
std::size_t allocation_limit = std::numeric_limits<std::size_t>::max();

}  // namespace

void* operator new(std::size_t size)
{
    void* p = size <= allocation_limit ? std::malloc(size == 0 ? 1 : size) : nullptr;
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

// The gridded sums' worst error over the sum of |c|. Dividing out the
// Gaussian multiplies the grid's rounding up to 200-fold at the highest
// modes when the grid is barely 1.85 m long: the worst seen is 2.8e-14,
// with one point (with hundreds, errors cancel to about 1e-15).
constexpr double SUMS_BOUND = 4e-14;

const long double PI_L = 3.141592653589793238462643383279502884L;
const double PI = 3.141592653589793;

struct Signal {
    std::vector<double> re, im;
    double magnitude = 0;  // the sum of |c|
};

// Coefficients whose sizes spread over six decades when varied is set.
Signal random_signal(std::mt19937_64& rng, std::size_t n, bool varied)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    Signal s;
    for (std::size_t j = 0; j < n; ++j) {
        const double size = varied ? std::pow(10.0, 3 * unit(rng)) : 1;
        s.re.push_back(size * unit(rng));
        s.im.push_back(size * unit(rng));
        s.magnitude += std::hypot(s.re.back(), s.im.back());
    }
    return s;
}

// The largest |got_k - sum over j of c_j e^(i sign angle(k, j))| over the ks.
template <class Angle>
double worst_error(const Signal& c, const std::vector<std::size_t>& ks, const std::vector<double>& got_re,
                   const std::vector<double>& got_im, Angle angle)
{
    double worst = 0;
    for (std::size_t k : ks) {
        long double re = 0, im = 0;
        for (std::size_t j = 0; j < c.re.size(); ++j) {
            const long double a = angle(k, j), cosine = cosl(a), sine = sinl(a);
            re += c.re[j] * cosine - c.im[j] * sine;
            im += c.re[j] * sine + c.im[j] * cosine;
        }
        worst = std::max(worst, static_cast<double>(hypotl(re - got_re[k], im - got_im[k])));
    }
    return worst;
}

// Every k for few outputs, else the ends, the middle and random ones, count
// in all.
std::vector<std::size_t> modes_to_check(std::mt19937_64& rng, std::size_t m, std::size_t count)
{
    std::vector<std::size_t> ks;
    if (m <= 2 * count) {
        for (std::size_t k = 0; k < m; ++k)
            ks.push_back(k);
        return ks;
    }
    ks = {0, 1, m / 2 - 1, m / 2, m / 2 + 1, m - 1};
    while (ks.size() < count)
        ks.push_back(rng() % m);
    return ks;
}

// Each of the passes rounds by about a unit in the last place of the
// values' Euclidean norm, itself at most the sum of |c|, so log2 N of them
// bound the error; the worst seen is a quarter of the bound. Every length
// 2^a 3^b up to 6000 mixes the three radices every way, and the large ones
// take the depth-first walk through blocks bigger than the cache.
TEST(Fft, BothDirectionsMatchTheDirectTransformAtEveryLength)
{
    std::mt19937_64 rng(20240611);
    std::vector<std::size_t> sizes = {1 << 15, 3 << 14, 27 << 11, 9 << 13};
    for (std::size_t threes = 1; threes < 6000; threes *= 3)
        for (std::size_t size = threes; size < 6000; size *= 2)
            sizes.push_back(size);
    for (std::size_t size : sizes) {
        Fft fft;
        ASSERT_TRUE(fft.prepare(size));
        for (int sign : {-1, 1}) {
            Signal c = random_signal(rng, size, size % 2 == 1);
            std::vector<double> re = c.re, im = c.im;
            ASSERT_TRUE(sign < 0 ? fft.forward(re.data(), im.data()) : fft.backward(re.data(), im.data()));
            const double bound = std::numeric_limits<double>::epsilon() * (std::log2(size) + 1) * c.magnitude;
            EXPECT_LE(worst_error(c, modes_to_check(rng, size, 24), re, im,
                                  [&](std::size_t k, std::size_t l) {
                                      return sign * 2 * PI_L * static_cast<long double>(k * l % size) / size;
                                  }),
                      bound)
                << "N = " << size << ", sign " << sign;
        }
    }
    // A multiple of 4 with no prime factor but 2 and 3, at least n and
    // within 4/3 of the least such; the least where it has few factors of
    // 3, a power of two where the least has many.
    const auto smooth = [](std::size_t n) {
        for (std::size_t p : {std::size_t{2}, std::size_t{3}})
            while (n % p == 0)
                n /= p;
        return n == 1;
    };
    std::size_t least = 4;
    for (std::size_t n = 0; n <= 3000; ++n) {
        while (least < n || !smooth(least))
            least += 4;
        const std::size_t length = Fft::quickest_length(n);
        ASSERT_TRUE(length % 4 == 0 && smooth(length) && length >= least && 3 * length <= 4 * least) << n;
    }
    EXPECT_EQ(Fft::quickest_length(2500), 2592u);      // 2^5 3^4
    EXPECT_EQ(Fft::quickest_length(23126), 24576u);    // 2^13 3, not 23,328 = 2^5 3^6
    EXPECT_EQ(Fft::quickest_length(231251), 262144u);  // 2^18, not 236,196 = 2^2 3^10
    Fft fft;
    EXPECT_FALSE(fft.prepare(0));
    EXPECT_FALSE(fft.prepare(20));
    EXPECT_FALSE(fft.prepare(7 * 9));
}

// The direct and the gridded ways and the choice between them, to within
// SUMS_BOUND of the sum of |c|, the gridded one through one NonuniformSums
// kept over all trials, so that the tables are made again only when m
// changes; two trials in a row share one m now and then.
TEST(NonuniformSums, MatchTheDirectSumsOverRandomSizesAndPositions)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    NonuniformSums kept;
    for (int trial = 0; trial < 30; ++trial) {
        const auto n = static_cast<std::size_t>(std::exp(unit(rng) * std::log(3000.0)));
        const auto m =
            trial % 10 >= 8 ? std::size_t{5000} : static_cast<std::size_t>(std::exp(unit(rng) * std::log(40000.0)));
        // In practice within [0, 0.8 pi]; also around the circle several
        // times, negative, and clustered within a thousandth of a radian.
        const double spans[] = {0.8 * PI, 40, 1e-3};
        const double span = spans[trial % 3];
        const double start = trial % 3 == 1 ? -20 : trial % 3 == 2 ? 3 : 0;
        std::vector<double> x;
        for (std::size_t j = 0; j < n; ++j)
            x.push_back(std::ldexp(std::round(std::ldexp(start + span * unit(rng), 40)), -40));
        const Signal c = random_signal(rng, n, trial % 2 == 1);
        const auto exact_angle = [&](std::size_t k, std::size_t j) { return static_cast<long double>(k) * x[j]; };
        const std::vector<std::size_t> ks = modes_to_check(rng, m, 100);
        const double bound = SUMS_BOUND * c.magnitude;
        std::vector<double> re(m), im(m);
        ASSERT_TRUE(kept.gridded(x.data(), c.re.data(), c.im.data(), n, m, re.data(), im.data()));
        EXPECT_LE(worst_error(c, ks, re, im, exact_angle), bound) << "gridded, n = " << n << ", m = " << m;
        ASSERT_TRUE(nonuniform_sums(x.data(), c.re.data(), c.im.data(), n, m, re.data(), im.data()));
        EXPECT_LE(worst_error(c, ks, re, im, exact_angle), bound) << "chosen, n = " << n << ", m = " << m;
        if (n * m <= 20000000) {
            ASSERT_TRUE(direct_nonuniform_sums(x.data(), c.re.data(), c.im.data(), n, m, re.data(), im.data()));
            EXPECT_LE(worst_error(c, ks, re, im, exact_angle), bound) << "direct, n = " << n << ", m = " << m;
        }
    }
}

// Doubles nearest whole turns, eighths of a turn and zero from both sides
// lie on grid points or a hair either side of them, where a point's nearest
// grid point and the wrap around the circle's end are settled; k below 2^11
// keeps k x exact in long double.
TEST(NonuniformSums, PositionsOnGridPointsAndWholeTurns)
{
    std::vector<double> x = {0, 1e-300, -1e-300, -0.0};
    for (int i = -24; i <= 24; ++i)
        x.push_back(i * (PI / 8));
    for (int i = -8; i <= 8; ++i)
        x.push_back(i * (2 * PI));
    std::mt19937_64 rng(3);
    const Signal c = random_signal(rng, x.size(), false);
    const std::size_t m = 2000;
    std::vector<double> re(m), im(m);
    const auto exact_angle = [&](std::size_t k, std::size_t j) { return static_cast<long double>(k) * x[j]; };
    const std::vector<std::size_t> ks = modes_to_check(rng, m, 300);
    ASSERT_TRUE(NonuniformSums().gridded(x.data(), c.re.data(), c.im.data(), x.size(), m, re.data(), im.data()));
    EXPECT_LE(worst_error(c, ks, re, im, exact_angle), SUMS_BOUND * c.magnitude);
    ASSERT_TRUE(direct_nonuniform_sums(x.data(), c.re.data(), c.im.data(), x.size(), m, re.data(), im.data()));
    EXPECT_LE(worst_error(c, ks, re, im, exact_angle), SUMS_BOUND * c.magnitude);
}

TEST(NonuniformSums, HugePositionsGiveFiniteSumsNanNanAndNoMemoryFalse)
{
    const double x[] = {1e300, -std::numeric_limits<double>::max(), 3e17, 0.5};
    const double c_re[] = {1, 1, 1, 1}, c_im[] = {0, 1, 0, 0};
    const std::size_t m = 3000;
    std::vector<double> re(m), im(m);
    NonuniformSums sums;
    ASSERT_TRUE(sums.gridded(x, c_re, c_im, 4, m, re.data(), im.data()));
    for (std::size_t k = 0; k < m; ++k)
        ASSERT_TRUE(std::isfinite(re[k]) && std::isfinite(im[k])) << k;
    const double nan_x = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(sums.gridded(&nan_x, c_re, c_im, 1, m, re.data(), im.data()));
    EXPECT_TRUE(std::isnan(re[0]) && std::isnan(im[m - 1]));
    // Another sum of the same length needs no grid-sized memory again.
    allocation_limit = 4096;
    EXPECT_TRUE(sums.gridded(x, c_re, c_im, 4, m, re.data(), im.data()));
    allocation_limit = std::numeric_limits<std::size_t>::max();

    EXPECT_FALSE(sums.gridded(x, c_re, c_im, 4, std::numeric_limits<std::size_t>::max(), re.data(), im.data()));
    allocation_limit = std::size_t{1} << 30;
    EXPECT_FALSE(sums.gridded(x, c_re, c_im, 4, std::size_t{1} << 31, re.data(), im.data()));
    EXPECT_FALSE(direct_nonuniform_sums(x, c_re, c_im, std::size_t{1} << 40, 1, re.data(), im.data()));
    allocation_limit = std::numeric_limits<std::size_t>::max();
    // Still whole after running out: the last positions' sum, directly.
    ASSERT_TRUE(sums.gridded(x + 3, c_re, c_im, 1, m, re.data(), im.data()));
    EXPECT_NEAR(re[m - 1], std::cos(0.5 * (m - 1)), 1e-14);
    EXPECT_NEAR(im[m - 1], std::sin(0.5 * (m - 1)), 1e-14);
}

}  // namespace
