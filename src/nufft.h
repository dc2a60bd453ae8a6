// Sums of complex coefficients times e^(i k x) over points x placed anywhere,
// for every whole frequency k from 0 to m-1 at once: directly where that is
// quick, else by spreading onto an oversampled grid and one FFT.
#ifndef LCDUMP_NUFFT_H
#define LCDUMP_NUFFT_H

#include <cstddef>
#include <vector>

#include "fft.h"

// F_k = sum over j of (c_re[j] + i c_im[j]) e^(i k x[j]) for k = 0 ... m-1
// into out_re and out_im, to within about 1e-13 times the sum of |c_j|,
// choosing whichever of the two ways below should be quicker. Any finite x is
// taken modulo 2 pi; the figures are exact to that accuracy while |x| m stays
// below about 2^70. False when there was no memory (never throws).
bool nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                     double* out_re, double* out_im);

// The same sums one by one, n m multiply-adds; no work array of m's size.
bool direct_nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                            double* out_re, double* out_im);

// The grid and the Gaussian e^(-x^2 / 4 tau) for m modes centred on zero.
struct Gridding {
    std::size_t size = 0;        // 2^a 3^b, at least 1.85 m
    std::size_t half_width = 0;  // grid points taken each side of a point
    std::size_t shift = 0;       // the centre mode, m / 2
    std::size_t highest = 0;     // the largest distance of a mode from the centre
    double tau = 0;

    // False where m is 0 or too large for any memory.
    bool choose(std::size_t m);
};

// nonuniform_sums with the FFT's tables, the grid and the kernel's Fourier
// coefficients kept from one call to the next: a caller who needs several
// sums of one length m makes them once, and touches no fresh memory again.
class NonuniformSums {
public:
    // As nonuniform_sums.
    bool sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m, double* out_re,
              double* out_im);
    // The same sums through a Gaussian kernel on a periodic grid of at least
    // 1.85 m points and one FFT of it, whatever n and m.
    bool gridded(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m, double* out_re,
                 double* out_im);

private:
    std::size_t modes_ = 0;  // the m the members below are for, 0 for none
    Gridding gridding_;
    Fft fft_;
    std::vector<double> grid_re_, grid_im_;
    std::vector<double> unfold_;          // by distance from the centre mode
    std::vector<std::size_t> positions_;  // where the FFT leaves mode k
};

#endif
