// Complex discrete Fourier transforms of lengths 2^a 3^b, in place on
// separate real and imaginary arrays, with twiddle factors from
// detmath::sin_cos so that every machine computes the same bits.
#ifndef LCDUMP_FFT_H
#define LCDUMP_FFT_H

#include <cstddef>
#include <vector>

class Fft {
public:
    // Of the lengths at least n that prepare takes and that are multiples of
    // 4, 2^a 3^b with a >= 2, the one expected to transform quickest: a
    // power of two may beat a shorter length of many factors of 3. 0 where
    // there is none below SIZE_MAX / 4.
    static std::size_t quickest_length(std::size_t n);

    // Makes the twiddle factors for transforms of length size, 2^a 3^b (1
    // included). False when there was no memory or size has another factor.
    bool prepare(std::size_t size);
    std::size_t size() const { return size_; }

    // X_k = sum over l of x_l e^(-2 pi i k l / N), in natural order. False
    // when there was no memory for the reordering.
    bool forward(double* re, double* im) const;
    // x_l = sum over k of X_k e^(+2 pi i k l / N), without a factor 1/N:
    // the forward transform with the roles of the two arrays exchanged.
    bool backward(double* re, double* im) const { return forward(im, re); }

    // The forward transform with X_k left at positions(k), the digits of k
    // in reverse order: for callers that read only some of the outputs and
    // need not pay for the permutation.
    void forward_scrambled(double* re, double* im) const;
    // The backward transform, likewise left at the digit-reversed positions.
    void backward_scrambled(double* re, double* im) const { forward_scrambled(im, re); }
    // Where forward_scrambled leaves X_k for k = first, first + 1, ... (modulo
    // the length), count of them, into at.
    void positions(std::size_t first, std::size_t count, std::size_t* at) const;

private:
    // A pass of radix 2, 3 or 4 over blocks of radix * span values, with
    // its twiddle factors from offset on.
    struct Pass {
        std::size_t radix, span, offset;
    };
    // A digit of k, least significant first, and where a unit of it moves X_k.
    struct Digit {
        std::size_t radix, place;
    };
    void transform_block(double* re, double* im, std::size_t length, std::size_t first_pass) const;

    std::size_t size_ = 0;
    std::vector<Pass> passes_;
    std::vector<Digit> digits_;
    std::vector<double> twiddles_;
};

#endif
