#include "lombscargle.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "compensated.h"
#include "detmath.h"
#include "nufft.h"

namespace {

const double PI = 3.14159265358979323846264338327950;
const double TWO_PI = 2 * PI;
const double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();

// e^(i·2π·f·τ_j) times each coefficient, for moving a grid's sums to start
// at its first frequency f.
void turn(const std::vector<double>& tau, const std::vector<double>& coefficient, double frequency,
          std::vector<double>& re, std::vector<double>& im)
{
    const double omega = TWO_PI * frequency;
    for (std::size_t j = 0; j < tau.size(); ++j) {
        double sine, cosine;
        detmath::sin_cos(omega * tau[j], sine, cosine);
        re[j] = coefficient[j] * cosine;
        im[j] = coefficient[j] * sine;
    }
}

// 1 - e^(-x) for x >= 0, without the loss of 1 - exp(-x) where x is small.
double one_less_exp_minus(double x)
{
    if (x >= 0.5)
        return 1 - detmath::exp(-x);
    double term = x;
    double sum = 0;
    for (int k = 2; term != 0 && k < 40; ++k) {
        sum += term;
        term *= -x / k;
    }
    return sum;
}

// ln(1 - z) for z < 1, without the loss of rounding 1 - z first: the
// rounding's error, divided by what was rounded, is added back.
double log_one_less(double z)
{
    const double u = 1 - z;
    if (u == 1)
        return -z;
    return detmath::log(u) - ((u - 1) + z) / u;
}

}  // namespace

FrequencyGrid frequency_grid(const LightCurve& curve)
{
    FrequencyGrid grid;
    if (curve.n < 3)
        return grid;
    const auto range = std::minmax_element(curve.t, curve.t + curve.n);
    const double baseline = *range.second - *range.first;
    if (!(baseline > 0))
        return grid;
    // In this order of operations, so that the count rounds as other tools
    // that make this grid round it.
    const double samples_per_peak = 5;
    const double nyquist_factor = 5;
    const double step = 1 / baseline / samples_per_peak;
    const double first = 0.5 * step;
    const double last = nyquist_factor * (0.5 * static_cast<double>(curve.n) / baseline);
    // A baseline too long or too short for a double to take its inverse
    // has no grid.
    if (!(std::isfinite(baseline) && std::isfinite(last) && step > 0))
        return grid;
    grid.step = step;
    grid.first = first;
    // Half-way counts round to even.
    grid.count = 1 + static_cast<std::size_t>(std::nearbyint((last - first) / step));
    return grid;
}

Periodogram::Periodogram(const LightCurve& curve)
    : grid_(frequency_grid(curve)),
      tau_(curve.n),
      w_(curve.n),
      wy_(curve.n)
{
    if (grid_.count == 0)
        return;
    const double earliest = *std::min_element(curve.t, curve.t + curve.n);
    CompensatedSum weights;
    for (std::size_t j = 0; j < curve.n; ++j) {
        tau_[j] = curve.t[j] - earliest;
        w_[j] = 1 / (curve.dy[j] * curve.dy[j]);
        weights.add(w_[j]);
    }
    CompensatedSum mean, time_mean, normalised;
    for (std::size_t j = 0; j < curve.n; ++j) {
        w_[j] /= weights.value();
        normalised.add(w_[j]);
        mean.add(w_[j] * curve.y[j]);
        time_mean.add(w_[j] * tau_[j]);
    }
    weight_sum_ = normalised.value();
    CompensatedSum residue, scatter, time_variance;
    for (std::size_t j = 0; j < curve.n; ++j) {
        const double centred = curve.y[j] - mean.value();
        const double late = tau_[j] - time_mean.value();
        wy_[j] = w_[j] * centred;
        residue.add(wy_[j]);
        scatter.add(wy_[j] * centred);
        time_variance.add(w_[j] * late * late);
    }
    mean_residue_ = residue.value();
    scatter_ = scatter.value() - mean_residue_ * mean_residue_;
    time_variance_ = time_variance.value();
}

double Periodogram::power_from(double c, double s, double yc, double ys, double c2, double s2) const
{
    const double cc = 0.5 * (weight_sum_ + c2) - c * c;
    const double ss = 0.5 * (weight_sum_ - c2) - s * s;
    const double cs = 0.5 * s2 - c * s;
    const double ycc = yc - mean_residue_ * c;
    const double yss = ys - mean_residue_ * s;
    const double d = cc * ss - cs * cs;
    return (ss * ycc * ycc + cc * yss * yss - 2 * cs * ycc * yss) / (scatter_ * d);
}

double Periodogram::power_at(double frequency) const
{
    const double omega = TWO_PI * frequency;
    double c = 0, s = 0, yc = 0, ys = 0, c2 = 0, s2 = 0;
    for (std::size_t j = 0; j < tau_.size(); ++j) {
        double sine, cosine;
        detmath::sin_cos(omega * tau_[j], sine, cosine);
        c += w_[j] * cosine;
        s += w_[j] * sine;
        yc += wy_[j] * cosine;
        ys += wy_[j] * sine;
        c2 += w_[j] * (cosine * cosine - sine * sine);
        s2 += w_[j] * (2 * sine * cosine);
    }
    return power_from(c, s, yc, ys, c2, s2);
}

std::vector<double> Periodogram::powers() const
{
    const std::size_t n = tau_.size();
    const std::size_t m = grid_.count;
    std::vector<double> power(m);
    if (m == 0)
        return power;
    std::vector<double> x(n), re(n), im(n);
    // The sums at f_k = first + k·step are sums over k of e^(i·k·x_j), with
    // x_j = 2π·step·τ_j, of coefficients turned to the first frequency; and
    // at 2f_k, with x_j and the turn doubled.
    std::vector<double> c(m), s(m), yc(m), ys(m);
    for (std::size_t j = 0; j < n; ++j)
        x[j] = TWO_PI * grid_.step * tau_[j];
    NonuniformSums sums;
    turn(tau_, w_, grid_.first, re, im);
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, c.data(), s.data()))
        throw std::bad_alloc();
    turn(tau_, wy_, grid_.first, re, im);
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, yc.data(), ys.data()))
        throw std::bad_alloc();
    for (std::size_t j = 0; j < n; ++j)
        x[j] *= 2;
    turn(tau_, w_, 2 * grid_.first, re, im);
    // The doubled sums go where the first ones were, which are read first.
    std::vector<double>& c2 = power;
    std::vector<double> s2(m);
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, c2.data(), s2.data()))
        throw std::bad_alloc();
    for (std::size_t k = 0; k < m; ++k)
        power[k] = power_from(c[k], s[k], yc[k], ys[k], c2[k], s2[k]);
    return power;
}

void Periodogram::refine(std::size_t k, double& frequency, double& power) const
{
    // Within a step either side of grid point k, and inside the grid.
    const double lowest = std::max(grid_.first, grid_.at(k) - grid_.step);
    const double highest = std::min(grid_.at(grid_.count - 1), grid_.at(k) + grid_.step);
    frequency = grid_.at(k);
    power = power_at(frequency);
    // Points a distance h either side: a higher one is climbed to; else the
    // top of the parabola through the three is tried, which near a smooth
    // peak is off by far less than h, and h shrinks sixteenfold, to 1e-9 of
    // the frequency. A point replaces the best only by being higher.
    auto try_at = [&](double f) {
        if (f < lowest || f > highest)
            return false;
        const double p = power_at(f);
        if (!(p > power || power != power))
            return false;
        frequency = f;
        power = p;
        return true;
    };
    for (double h = grid_.step / 2; h > 1e-9 * frequency;) {
        const double below = frequency - h >= lowest ? power_at(frequency - h) : power;
        const double above = frequency + h <= highest ? power_at(frequency + h) : power;
        if (above > power || below > power) {
            if (!try_at(above > below ? frequency + h : frequency - h))
                h /= 16;
            continue;
        }
        const double curvature = below - 2 * power + above;
        if (curvature < 0)
            try_at(frequency + h * (below - above) / (2 * curvature));
        h /= 16;
    }
}

double Periodogram::false_alarm(double z) const
{
    // Baluev (2008): for the floating-mean periodogram of n points, one
    // frequency exceeds z by chance with probability (1 - z)^((n - 3) / 2),
    // and the expected number of upcrossings of z over the grid's range,
    // through its effective time span sqrt(4π·var t), is τ below. The
    // probability for the whole grid is 1 - (1 - single) · e^(-τ).
    const double n = static_cast<double>(tau_.size());
    const double free_null = n - 1;
    const double free_model = n - 3;
    const double width = grid_.at(grid_.count - 1) * std::sqrt(4 * PI * time_variance_);
    const double gamma = std::sqrt(2 / free_null) * detmath::exp(detmath::log_gamma_ratio_half(free_null / 2));
    const double log_rest = log_one_less(z);
    const double single = detmath::exp(0.5 * free_model * log_rest);
    const double tau = gamma * width * detmath::exp(0.5 * (free_model - 1) * log_rest) * std::sqrt(0.5 * free_null * z);
    return single + (1 - single) * one_less_exp_minus(tau);
}

PeriodSearch search_period(const LightCurve& curve)
{
    PeriodSearch found = {NAN_VALUE, NAN_VALUE, NAN_VALUE};
    const Periodogram periodogram(curve);
    if (periodogram.grid().count == 0)
        return found;
    const std::vector<double> power = periodogram.powers();
    // The first of the highest; NaN is never the highest.
    std::size_t best = power.size();
    for (std::size_t k = 0; k < power.size(); ++k)
        if (power[k] == power[k] && (best == power.size() || power[k] > power[best]))
            best = k;
    if (best == power.size())
        return found;
    double frequency, peak;
    periodogram.refine(best, frequency, peak);
    found.period = 1 / frequency;
    found.power = peak;
    found.fap = periodogram.false_alarm(peak);
    return found;
}
