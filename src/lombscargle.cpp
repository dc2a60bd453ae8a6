#include "lombscargle.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "compensated.h"
#include "detmath.h"
#include "nufft.h"

namespace {

const double PI = 3.14159265358979323846264338327950;
const double TWO_PI = 2 * PI;
const double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();

// e^(i·2π·f·τ_j) for each time.
void phasors(const std::vector<double>& tau, double frequency, std::vector<double>& cosine, std::vector<double>& sine)
{
    const double omega = TWO_PI * frequency;
    for (std::size_t j = 0; j < tau.size(); ++j)
        detmath::sin_cos(omega * tau[j], sine[j], cosine[j]);
}

// Each coefficient times its phasor.
void turn(const std::vector<double>& coefficient, const std::vector<double>& cosine, const std::vector<double>& sine,
          std::vector<double>& re, std::vector<double>& im)
{
    for (std::size_t j = 0; j < coefficient.size(); ++j) {
        re[j] = coefficient[j] * cosine[j];
        im[j] = coefficient[j] * sine[j];
    }
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

void Periodogram::Sums::add(double w, double wy, double cosine, double sine)
{
    c += w * cosine;
    s += w * sine;
    yc += wy * cosine;
    ys += wy * sine;
    c2 += w * (cosine * cosine - sine * sine);
    s2 += w * (2 * sine * cosine);
}

double Periodogram::power_from(const Sums& sums) const
{
    const double c = sums.c, s = sums.s;
    const double cc = 0.5 * (weight_sum_ + sums.c2) - c * c;
    const double ss = 0.5 * (weight_sum_ - sums.c2) - s * s;
    const double cs = 0.5 * sums.s2 - c * s;
    const double ycc = sums.yc - mean_residue_ * c;
    const double yss = sums.ys - mean_residue_ * s;
    const double d = cc * ss - cs * cs;
    return (ss * ycc * ycc + cc * yss * yss - 2 * cs * ycc * yss) / (scatter_ * d);
}

double Periodogram::power_at(double frequency) const
{
    const double omega = TWO_PI * frequency;
    Sums sums;
    for (std::size_t j = 0; j < tau_.size(); ++j) {
        double sine, cosine;
        detmath::sin_cos(omega * tau_[j], sine, cosine);
        sums.add(w_[j], wy_[j], cosine, sine);
    }
    return power_from(sums);
}

double Periodogram::power_keeping(double frequency, std::vector<double>& cosine, std::vector<double>& sine) const
{
    phasors(tau_, frequency, cosine, sine);
    Sums sums;
    for (std::size_t j = 0; j < tau_.size(); ++j)
        sums.add(w_[j], wy_[j], cosine[j], sine[j]);
    return power_from(sums);
}

void Periodogram::powers_beside(const std::vector<double>& cosine, const std::vector<double>& sine, double h,
                                double& below, double& above) const
{
    // e^(iω±τ) = e^(iωτ) e^(±iΔτ): one sine and cosine a point for both.
    const double delta = TWO_PI * h;
    Sums low, high;
    for (std::size_t j = 0; j < tau_.size(); ++j) {
        double turn_sine, turn_cosine;
        detmath::sin_cos(delta * tau_[j], turn_sine, turn_cosine);
        const double cc = cosine[j] * turn_cosine, ss = sine[j] * turn_sine;
        const double sc = sine[j] * turn_cosine, cs = cosine[j] * turn_sine;
        low.add(w_[j], wy_[j], cc + ss, sc - cs);
        high.add(w_[j], wy_[j], cc - ss, sc + cs);
    }
    below = power_from(low);
    above = power_from(high);
}

std::vector<double> Periodogram::powers() const
{
    const std::size_t n = tau_.size();
    const std::size_t m = grid_.count;
    std::vector<double> power(m);
    if (m == 0)
        return power;
    std::vector<double> x(n), re(n), im(n), cosine(n), sine(n);
    // The sums at f_k = first + k·step are sums over k of e^(i·k·x_j), with
    // x_j = 2π·step·τ_j, of coefficients turned to the first frequency; and
    // at 2f_k, with x_j and the turn doubled.
    // Five more sums of m values, each written before it is read: left
    // uninitialised, as clearing them costs a few per cent of the search.
    const std::unique_ptr<double[]> sums_of(new double[5 * m]);
    double *c = sums_of.get(), *s = c + m, *yc = s + m, *ys = yc + m, *s2 = ys + m;
    for (std::size_t j = 0; j < n; ++j)
        x[j] = TWO_PI * grid_.step * tau_[j];
    NonuniformSums sums;
    phasors(tau_, grid_.first, cosine, sine);
    turn(w_, cosine, sine, re, im);
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, c, s))
        throw std::bad_alloc();
    turn(wy_, cosine, sine, re, im);
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, yc, ys))
        throw std::bad_alloc();
    for (std::size_t j = 0; j < n; ++j) {
        x[j] *= 2;
        const double doubled_cosine = cosine[j] * cosine[j] - sine[j] * sine[j];
        sine[j] = 2 * sine[j] * cosine[j];
        cosine[j] = doubled_cosine;
    }
    turn(w_, cosine, sine, re, im);
    // The doubled cosines' sums go into power, each read before its power
    // is written over it.
    double* c2 = power.data();
    if (!sums.sums(x.data(), re.data(), im.data(), n, m, c2, s2))
        throw std::bad_alloc();
    for (std::size_t k = 0; k < m; ++k)
        power[k] = power_from({c[k], s[k], yc[k], ys[k], c2[k], s2[k]});
    return power;
}

void Periodogram::refine(std::size_t k, double& frequency, double& power) const
{
    // Within a step either side of grid point k, and inside the grid.
    const double lowest = std::max(grid_.first, grid_.at(k) - grid_.step);
    const double highest = std::min(grid_.at(grid_.count - 1), grid_.at(k) + grid_.step);
    // The best point's phasors, and a trial's.
    const std::size_t n = tau_.size();
    std::vector<double> cosine(n), sine(n), trial_cosine(n), trial_sine(n);
    frequency = grid_.at(k);
    power = power_keeping(frequency, cosine, sine);
    // Points a distance h either side: a higher one is climbed to; else the
    // top of the parabola through the three is tried, which near a smooth
    // peak is off by far less than h, and h shrinks sixteenfold, to 1e-9 of
    // the frequency. A point replaces the best only by being higher, summed
    // directly.
    auto try_at = [&](double f) {
        if (f < lowest || f > highest)
            return false;
        const double p = power_keeping(f, trial_cosine, trial_sine);
        if (!(p > power || power != power))
            return false;
        frequency = f;
        power = p;
        cosine.swap(trial_cosine);
        sine.swap(trial_sine);
        return true;
    };
    for (double h = grid_.step / 2; h > 1e-9 * frequency;) {
        double below, above;
        powers_beside(cosine, sine, h, below, above);
        if (frequency - h < lowest)
            below = power;
        if (frequency + h > highest)
            above = power;
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

PeriodSearch search_period(const Periodogram& periodogram, const std::vector<double>& power)
{
    PeriodSearch found = {NAN_VALUE, NAN_VALUE, NAN_VALUE};
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

PeriodSearch search_period(const LightCurve& curve)
{
    const Periodogram periodogram(curve);
    return search_period(periodogram, periodogram.powers());
}
