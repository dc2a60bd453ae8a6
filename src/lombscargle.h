// The Lomb-Scargle period search of a light curve: the floating-mean,
// error-weighted periodogram on the usual automatic frequency grid, its
// highest peak refined between grid points, and that peak's false-alarm
// probability by Baluev's approximation.
#ifndef LCDUMP_LOMBSCARGLE_H
#define LCDUMP_LOMBSCARGLE_H

#include <cstddef>
#include <vector>

// Times in days, values and their errors, n of each; every one finite and
// every error positive.
struct LightCurve {
    const double* t;
    const double* y;
    const double* dy;
    std::size_t n;
};

// The frequencies first + k * step, k = 0 … count - 1, in cycles a day:
// from half a step, in steps of a fifth of one over the baseline, to five
// times the mean Nyquist frequency. count is 0 for fewer than three points
// or a zero baseline, where no period can be found.
struct FrequencyGrid {
    double first = 0;
    double step = 0;
    std::size_t count = 0;

    double at(std::size_t k) const { return first + step * static_cast<double>(k); }
};
FrequencyGrid frequency_grid(const LightCurve& curve);

// The periodogram of one light curve, the data centred and weighted once.
// The power is 1 - chi²(f) / chi²₀: how much of the scatter about the
// weighted mean a sinusoid at f takes away. Its values are the same bits on
// every machine. Construction, powers() and refine() may throw
// std::bad_alloc.
class Periodogram {
public:
    explicit Periodogram(const LightCurve& curve);

    const FrequencyGrid& grid() const { return grid_; }
    // The power at every grid frequency, NaN where it is undefined (all
    // values equal).
    std::vector<double> powers() const;
    // The power at any frequency, summed directly.
    double power_at(double frequency) const;
    // The frequency of greatest power within a grid step either side of
    // grid point k (found to 1e-7 of itself), and its power.
    void refine(std::size_t k, double& frequency, double& power) const;
    // The probability that noise alone gives a peak of that power anywhere
    // on the grid.
    double false_alarm(double power) const;

private:
    // The weighted sums of cos ωτ, sin ωτ, y cos ωτ, y sin ωτ, cos 2ωτ and
    // sin 2ωτ that the power at ω is made of.
    struct Sums {
        double c = 0, s = 0, yc = 0, ys = 0, c2 = 0, s2 = 0;
        void add(double w, double wy, double cosine, double sine);
    };
    double power_from(const Sums& sums) const;
    // power_at, keeping the phasors e^(iωτ) it summed.
    double power_keeping(double frequency, std::vector<double>& cosine, std::vector<double>& sine) const;
    // The powers a distance h below and above the frequency of those phasors.
    void powers_beside(const std::vector<double>& cosine, const std::vector<double>& sine, double h, double& below,
                       double& above) const;

    FrequencyGrid grid_;
    // Times from the earliest, weights that sum to one, values less their
    // weighted mean and the weighted times' variance.
    std::vector<double> tau_;
    std::vector<double> w_;
    std::vector<double> wy_;
    double weight_sum_ = 1;
    double mean_residue_ = 0;
    double scatter_ = 0;
    double time_variance_ = 0;
};

// A light curve's period in days, the power of its peak and the peak's
// false-alarm probability; all NaN where the grid is empty or the power
// undefined.
struct PeriodSearch {
    double period;
    double power;
    double fap;
};
PeriodSearch search_period(const LightCurve& curve);
// The same from a periodogram and its powers, for a caller that shows them.
PeriodSearch search_period(const Periodogram& periodogram, const std::vector<double>& power);

#endif
