#include "nufft.h"
#include "detmath.h"
bool nonuniform_sums(const double* x, const double* c_re, const double* c_im, std::size_t n, std::size_t m,
                     double* out_re, double* out_im)
{
    for (std::size_t k = 0; k < m; ++k) {
        double re = 0, im = 0;
        for (std::size_t j = 0; j < n; ++j) {
            double s, c;
            detmath::sin_cos(static_cast<double>(k) * x[j], s, c);
            re += c_re[j] * c - c_im[j] * s;
            im += c_re[j] * s + c_im[j] * c;
        }
        out_re[k] = re;
        out_im[k] = im;
    }
    return true;
}
