// The period search's own promises, beyond agreeing with astropy (which
// tests/period_check.py checks): where time starts changes nothing, the
// refined peak is the top of the periodogram near the best grid point, and
// the false-alarm probability falls as a high power rises.
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "lombscargle.h"

namespace {

struct Curve {
    std::vector<double> t, y, dy;
    LightCurve view() const { return {t.data(), y.data(), dy.data(), t.size()}; }
};

Curve sinusoid(std::size_t n, double period, std::mt19937_64& rng)
{
    Curve c;
    std::uniform_real_distribution<double> day(0, 30), error(0.5, 2);
    std::normal_distribution<double> noise(0, 1);
    for (std::size_t i = 0; i < n; ++i) {
        c.t.push_back(2459000.5 + day(rng));
        c.dy.push_back(error(rng));
        c.y.push_back(100 + 5 * std::sin(6.283185307179586 * c.t.back() / period) + c.dy.back() * noise(rng));
    }
    return c;
}

}  // namespace

TEST(Periodogram, TheRefinedPeakIsTheTopNearTheBestGridPointWhereverTimeStarts)
{
    std::mt19937_64 rng(7);
    for (std::size_t n : {std::size_t{5}, std::size_t{40}, std::size_t{300}, std::size_t{2000}}) {
        SCOPED_TRACE(n);
        Curve curve = sinusoid(n, 0.3 + 0.001 * static_cast<double>(n), rng);
        const Periodogram periodogram(curve.view());
        const std::vector<double> power = periodogram.powers();
        ASSERT_EQ(power.size(), periodogram.grid().count);
        std::size_t best = 0;
        for (std::size_t k = 0; k < power.size(); ++k)
            best = power[k] > power[best] ? k : best;
        // Every grid power is the direct sum's.
        for (std::size_t k = 0; k < power.size(); k += 1 + power.size() / 97)
            EXPECT_NEAR(power[k], periodogram.power_at(periodogram.grid().at(k)), 1e-11) << k;
        double frequency, peak;
        periodogram.refine(best, frequency, peak);
        const double step = periodogram.grid().step;
        EXPECT_LE(std::fabs(frequency - periodogram.grid().at(best)), step);
        EXPECT_EQ(peak, periodogram.power_at(frequency));
        EXPECT_GE(peak, power[best] - 1e-12);
        // No point of a fine comb over the two steps around it is higher,
        // and the power falls either side of it within 1e-7 of itself.
        for (int i = -400; i <= 400; ++i)
            EXPECT_LE(periodogram.power_at(periodogram.grid().at(best) + i * step / 400), peak + 1e-13) << i;
        EXPECT_LE(periodogram.power_at(frequency * (1 + 1e-7)), peak);
        EXPECT_LE(periodogram.power_at(frequency * (1 - 1e-7)), peak);

        // Ten thousand days later, the same periodogram.
        for (double& t : curve.t)
            t += 10000;
        const Periodogram later(curve.view());
        EXPECT_EQ(later.grid().count, periodogram.grid().count);
        const std::vector<double> again = later.powers();
        for (std::size_t k = 0; k < power.size(); ++k)
            ASSERT_NEAR(again[k], power[k], 1e-10) << k;
    }
}

TEST(Periodogram, FalseAlarmFallsAsThePowerRises)
{
    std::mt19937_64 rng(8);
    for (std::size_t n : {std::size_t{30}, std::size_t{1000}}) {
        const Curve curve = sinusoid(n, 1.7, rng);
        const Periodogram periodogram(curve.view());
        // Near zero power the approximation rises to one before it falls.
        double before = 1;
        EXPECT_EQ(periodogram.false_alarm(0), 1);
        for (double z = 0.001; z < 1; z += 0.001) {
            const double fap = periodogram.false_alarm(z);
            ASSERT_LE(fap, z < 0.3 ? 1 : before) << n << " " << z;
            ASSERT_GE(fap, 0) << n << " " << z;
            before = fap;
        }
        EXPECT_LT(before, 1e-6);
    }
}

TEST(Periodogram, NoGridWithoutThreePointsAndABaseline)
{
    const std::vector<double> t = {1, 1, 1, 2}, y = {1, 2, 3, 4}, dy = {1, 1, 1, 1};
    EXPECT_EQ(frequency_grid({t.data(), y.data(), dy.data(), 2}).count, 0u);
    EXPECT_EQ(frequency_grid({t.data(), y.data(), dy.data(), 3}).count, 0u);
    // Three points over one day: steps of a fifth of a cycle a day, from a
    // tenth to 7.5 cycles a day, 1 + 37 of them.
    const FrequencyGrid grid = frequency_grid({t.data() + 1, y.data(), dy.data(), 3});
    EXPECT_EQ(grid.step, 0.2);
    EXPECT_EQ(grid.first, 0.1);
    EXPECT_EQ(grid.count, 38u);
    EXPECT_TRUE(std::isnan(search_period({t.data(), y.data(), dy.data(), 3}).fap));
    const std::vector<double> flat = {5, 5, 5, 5};
    const PeriodSearch constant = search_period({t.data(), flat.data(), dy.data(), 4});
    EXPECT_TRUE(std::isnan(constant.period) && std::isnan(constant.power) && std::isnan(constant.fap));
}
