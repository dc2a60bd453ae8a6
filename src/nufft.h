// Stand-in until the gridded sums land.
#ifndef LCDUMP_NUFFT_H
#define LCDUMP_NUFFT_H
#include <cstddef>
bool nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                     double* out_re, double* out_im);
#endif
