// Baluev's false-alarm probability of a periodogram's peak.
#include <cmath>

#include "detmath.h"
#include "lombscargle.h"

namespace {

const double PI = 3.14159265358979323846264338327950;

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
