#include "nufft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "detmath.h"
#include "fft.h"

namespace {

constexpr double PI = 3.141592653589793;
constexpr double TWO_PI = 6.283185307179586;
// 1/(2 pi) as the sum of two doubles, good to about 2^-110.
constexpr double INV_TWO_PI_HI = 0x1.45f306dc9c883p-3;
constexpr double INV_TWO_PI_LO = -0x1.6b01ec5417056p-57;

// The phase k x must be known to about 1e-16 of a turn when k x is of order
// 1e9 radians, which is more than one double holds: positions are kept in
// turns as an unevaluated sum of two doubles, and products formed exactly.
struct Turns {
    double hi, lo;
};

// a b = product + error exactly (Dekker's product, for want of a fused
// multiply-add that every machine has).
void exact_product(double a, double b, double& product, double& error)
{
    constexpr double SPLITTER = 134217729.0;  // 2^27 + 1
    product = a * b;
    const double ta = SPLITTER * a, a_hi = ta - (ta - a), a_lo = a - a_hi;
    const double tb = SPLITTER * b, b_hi = tb - (tb - b), b_lo = b - b_hi;
    error = ((a_hi * b_hi - product) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
}

// a + b = sum + error exactly.
void exact_sum(double a, double b, double& sum, double& error)
{
    sum = a + b;
    const double b_part = sum - a;
    error = (a - (sum - b_part)) + (b - b_part);
}

// x / (2 pi) less its whole turns: hi + lo in [0, 1], hi perhaps a unit in
// its last place outside; NaN for x not finite.
Turns turns_of(double x)
{
    double whole, part;
    if (std::fabs(x) < 0x1p900) {
        exact_product(x, INV_TWO_PI_HI, whole, part);
    } else {  // where Dekker's splitting would overflow
        exact_product(x * 0x1p-100, INV_TWO_PI_HI, whole, part);
        whole *= 0x1p100;
        part *= 0x1p100;
    }
    double lo = part + x * INV_TWO_PI_LO;
    if (!(std::fabs(lo) < 1))  // beyond 2^53 turns, where no fraction of x survives
        lo -= std::floor(lo);
    // whole less its floor is exact for whole >= 0 but may round when whole
    // lies just below 0: that rounding is kept too.
    double fraction, rounding;
    exact_sum(whole, -std::floor(whole), fraction, rounding);
    Turns t;
    exact_sum(fraction, lo + rounding, t.hi, t.lo);
    return t;
}

// k times the position t, less whole turns, in [-1/2, 1/2] to about 1e-16.
double phase_turns(double k, Turns t)
{
    double whole, part;
    exact_product(k, t.hi, whole, part);
    double turns = (whole - std::floor(whole)) + (part + k * t.lo);
    if (turns >= 0.5)
        turns -= 1;
    return turns;
}

void unit_phasor(double turns, double& re, double& im)
{
    detmath::sin_cos(TWO_PI * turns, im, re);
}

// Direct sums restart each phasor from an exact phase every so many
// frequencies, and otherwise multiply it on: the error a product adds, a
// few units in the last place, cannot pile up beyond that.
constexpr std::size_t RESTART = 32;

// The kernel is cut where it has fallen below e^-KERNEL_DIGITS, and its
// width set so that the aliasing error matches the cut's (Greengard and
// Lee's balance). Measured worst errors over the sum of |c|: 3e-13 at 26,
// 5e-15 at 30, and from 32 on about 2e-15, where rounding dominates.
constexpr double KERNEL_DIGITS = 32;
// The grid's least length over m. A shorter grid wants a wider kernel and
// amplifies rounding more where the Gaussian is divided out: measured with
// grids of 2^a 3^b points, the worst errors are 1e-15 at 2, 3e-14 at 1.75
// and 4e-13 at 1.5; 1.85 keeps within the bound above and is as quick as 1.75.
constexpr double OVERSAMPLING = 1.85;

// The grid with half_width points more at each end, where the kernel of a
// point near the ends lands before it is folded around.
void spread(const Gridding& g, const double* x, const double* c_re, const double* c_im, std::size_t n, double* grid_re,
            double* grid_im)
{
    const std::size_t w = g.half_width;
    const double size = static_cast<double>(g.size);
    // The kernel at s grid steps from a point d steps past grid point l is
    // e^(-a (s - d)^2) = e^(-a d^2) (e^(2 a d))^s e^(-a s^2): two exponentials
    // a point, the rest products.
    const double a = PI * PI / (size * size * g.tau);
    std::vector<double> square_part(w + 1), kernel(2 * w);
    for (std::size_t s = 0; s <= w; ++s)
        square_part[s] = detmath::exp(-a * static_cast<double>(s * s));
    for (std::size_t j = 0; j < n; ++j) {
        const Turns t = turns_of(x[j]);
        // The grid's length has factors of 3, so hi times it rounds: the
        // rounding joins lo's share.
        double at_hi, at_rounding;
        exact_product(t.hi, size, at_hi, at_rounding);
        double left = std::floor(at_hi);
        // d lies within a unit in the last place of [0, 1): below 0 where hi
        // lies on a grid point and lo short of it, which is mended, and at
        // most that unit above 1, which moves the kernel's cut by as little.
        double d = (at_hi - left) + (at_rounding + t.lo * size);
        if (d < 0) {
            d += 1;
            left -= 1;
        }
        left -= size * std::floor(left / size);  // -1 and size onto the grid
        const std::size_t l = std::isnan(left) ? 0 : static_cast<std::size_t>(left);
        // Shifted by the centre mode: c e^(i shift x).
        double pr, pi;
        unit_phasor(phase_turns(static_cast<double>(g.shift), t), pr, pi);
        const double cr = c_re[j] * pr - c_im[j] * pi, ci = c_re[j] * pi + c_im[j] * pr;
        const double centre = detmath::exp(-a * d * d), step = detmath::exp(2 * a * d), back = 1 / step;
        // Up and down the kernel at once: two chains of products that do
        // not wait for each other.
        double up = centre, down = centre;
        kernel[w - 1] = centre * square_part[0];
        for (std::size_t s = 1; s < w; ++s) {
            up *= step;
            down *= back;
            kernel[w - 1 + s] = up * square_part[s];
            kernel[w - 1 - s] = down * square_part[s];
        }
        kernel[2 * w - 1] = up * step * square_part[w];
        double* to_re = grid_re + l + 1;
        double* to_im = grid_im + l + 1;
        for (std::size_t s = 0; s < 2 * w; ++s) {
            to_re[s] += cr * kernel[s];
            to_im[s] += ci * kernel[s];
        }
    }
    for (std::size_t p = 0; p < w; ++p) {
        grid_re[p + g.size] += grid_re[p];
        grid_im[p + g.size] += grid_im[p];
        grid_re[p + w] += grid_re[p + w + g.size];
        grid_im[p + w] += grid_im[p + w + g.size];
    }
}

}  // namespace

bool Gridding::choose(std::size_t m)
{
    if (m == 0 || m > SIZE_MAX / 8)
        return false;
    size = Fft::quickest_length(
        std::max<std::size_t>(64, static_cast<std::size_t>(OVERSAMPLING * static_cast<double>(m)) + 1));
    if (size == 0)
        return false;
    shift = m / 2;
    highest = std::max(shift, m - 1 - shift);
    const double grid = static_cast<double>(size), top = static_cast<double>(highest);
    half_width = static_cast<std::size_t>(std::ceil(KERNEL_DIGITS * (grid - top) / (PI * (grid - 2 * top))));
    tau = PI * static_cast<double>(half_width) / (grid * (grid - top));
    return true;
}

bool direct_nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                            double* out_re, double* out_im)
{
    try {
        std::vector<Turns> at(n);
        std::vector<double> step_re(n), step_im(n), z_re(n), z_im(n);
        for (std::size_t j = 0; j < n; ++j) {
            at[j] = turns_of(x[j]);
            unit_phasor(phase_turns(1, at[j]), step_re[j], step_im[j]);
        }
        for (std::size_t first = 0; first < m; first += RESTART) {
            for (std::size_t j = 0; j < n; ++j)
                unit_phasor(phase_turns(static_cast<double>(first), at[j]), z_re[j], z_im[j]);
            const std::size_t end = std::min(m, first + RESTART);
            for (std::size_t k = first; k < end; ++k) {
                // Two partial sums, so that additions need not wait for each other.
                double even_re = 0, even_im = 0, odd_re = 0, odd_im = 0;
                std::size_t j = 0;
                for (; j + 1 < n; j += 2) {
                    even_re += c_re[j] * z_re[j] - c_im[j] * z_im[j];
                    even_im += c_re[j] * z_im[j] + c_im[j] * z_re[j];
                    odd_re += c_re[j + 1] * z_re[j + 1] - c_im[j + 1] * z_im[j + 1];
                    odd_im += c_re[j + 1] * z_im[j + 1] + c_im[j + 1] * z_re[j + 1];
                }
                if (j < n) {
                    even_re += c_re[j] * z_re[j] - c_im[j] * z_im[j];
                    even_im += c_re[j] * z_im[j] + c_im[j] * z_re[j];
                }
                for (j = 0; j < n; ++j) {
                    const double zr = z_re[j];
                    z_re[j] = zr * step_re[j] - z_im[j] * step_im[j];
                    z_im[j] = zr * step_im[j] + z_im[j] * step_re[j];
                }
                out_re[k] = even_re + odd_re;
                out_im[k] = even_im + odd_im;
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool NonuniformSums::sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                          double* out_re, double* out_im)
{
    // Nanoseconds measured on a 2020s x86-64 core: a term of a direct sum
    // (1.7), a frequency (4) and the exact restart of one point's phasor (25);
    // spreading one point (70), and one grid point's share of the FFT and the
    // rest (9 with the tables at hand, 27 where they must be made and fresh
    // memory touched). The crossover lies near m = 40 for any n >= 16.
    Gridding planned;
    if (!planned.choose(m))
        return direct_nonuniform_sums(x, c_re, c_im, n, m, out_re, out_im);
    const double points = static_cast<double>(n), modes = static_cast<double>(m);
    const double direct = 1.7 * points * modes + 4 * modes + 25 * points * (modes / static_cast<double>(RESTART) + 1);
    const double gridded = 70 * points + (m == modes_ ? 9 : 27) * static_cast<double>(planned.size);
    if (direct <= gridded)
        return direct_nonuniform_sums(x, c_re, c_im, n, m, out_re, out_im);
    return this->gridded(x, c_re, c_im, n, m, out_re, out_im);
}

bool NonuniformSums::gridded(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                             double* out_re, double* out_im)
{
    if (m == 0)
        return true;
    try {
        if (m != modes_) {
            modes_ = 0;
            if (!gridding_.choose(m) || !fft_.prepare(gridding_.size))
                return false;
            // Modes below the centre wrap to the top of the grid.
            positions_.resize(m);
            fft_.positions(gridding_.size - gridding_.shift, m, positions_.data());
            const std::size_t w = gridding_.half_width;
            grid_re_.assign(gridding_.size + 2 * w, 0.0);
            grid_im_.assign(gridding_.size + 2 * w, 0.0);
            // The kernel's Fourier coefficients are sqrt(tau / pi) e^(-tau k^2).
            const double tau = gridding_.tau;
            const double scale = std::sqrt(PI / tau) / static_cast<double>(gridding_.size);
            unfold_.resize(gridding_.highest + 1);
            for (std::size_t q = 0; q <= gridding_.highest; ++q)
                unfold_[q] = scale * detmath::exp(tau * static_cast<double>(q) * static_cast<double>(q));
            modes_ = m;
        } else {
            std::fill(grid_re_.begin(), grid_re_.end(), 0.0);
            std::fill(grid_im_.begin(), grid_im_.end(), 0.0);
        }
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    const Gridding& g = gridding_;
    const std::size_t w = g.half_width;
    spread(g, x, c_re, c_im, n, grid_re_.data(), grid_im_.data());
    fft_.backward_scrambled(grid_re_.data() + w, grid_im_.data() + w);
    const double* result_re = grid_re_.data() + w;
    const double* result_im = grid_im_.data() + w;
    for (std::size_t k = 0; k < m; ++k) {
        const double factor = unfold_[k < g.shift ? g.shift - k : k - g.shift];
        out_re[k] = factor * result_re[positions_[k]];
        out_im[k] = factor * result_im[positions_[k]];
    }
    return true;
}

bool nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                     double* out_re, double* out_im)
{
    NonuniformSums sums;
    return sums.sums(x, c_re, c_im, n, m, out_re, out_im);
}
