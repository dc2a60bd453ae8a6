// Complex discrete Fourier transforms of power-of-two length, in place on
// separate real and imaginary arrays, with twiddle factors from
// detmath::sin_cos so that every machine computes the same bits.
#ifndef LCDUMP_FFT_H
#define LCDUMP_FFT_H

#include <cstddef>
#include <vector>

class Fft {
public:
    // Makes the twiddle factors for transforms of length size, a power of two
    // (1 included). False when there was no memory or size is not a power of two.
    bool prepare(std::size_t size);
    std::size_t size() const { return size_; }

    // X_k = sum over l of x_l e^(-2 pi i k l / N), in natural order.
    void forward(double* re, double* im) const;
    // x_l = sum over k of X_k e^(+2 pi i k l / N), without a factor 1/N:
    // the forward transform with the roles of the two arrays exchanged.
    void backward(double* re, double* im) const { forward(im, re); }

    // The forward transform with X_k left at index reversed(k), the bits of k
    // in reverse order: for callers that read only some of the outputs and
    // need not pay for the permutation.
    void forward_scrambled(double* re, double* im) const;
    // The backward transform, likewise left at the bit-reversed indices.
    void backward_scrambled(double* re, double* im) const { forward_scrambled(im, re); }
    // The index at which forward_scrambled leaves X_k.
    std::size_t reversed(std::size_t k) const;
    // reversed(k + 1) from reversed(k), for walking the outputs in order.
    std::size_t next_reversed(std::size_t reversed_k) const;

private:
    void transform_block(double* re, double* im, std::size_t length) const;

    std::size_t size_ = 0;
    unsigned bits_ = 0;
    // For each radix-4 pass, the factors it multiplies by (radix4_pass).
    std::vector<double> twiddles_;
};

#endif
