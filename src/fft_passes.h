// The FFT's passes: butterflies of radix 4, 3 and 2 over blocks of a
// length, in place on separate real and imaginary arrays.
#ifndef LCDUMP_FFT_PASSES_H
#define LCDUMP_FFT_PASSES_H

#include <cstddef>

namespace fft_passes {

// The double nearest sin(pi / 3).
constexpr double SIN_THIRD = 0.8660254037844386;

// (r + i im) times (wr + i wi), into r and im.
inline void rotate(double& r, double& im, double wr, double wi)
{
    const double pr = r * wr - im * wi;
    im = r * wi + im * wr;
    r = pr;
}

// Each pass below is one decimation-in-frequency step over the blocks of
// radix * h in the first length values: each block's parts become the
// interleaved sub-sequences of its transform, each sub-sequence j times
// w^(residue j) for w = e^(-2 pi i / (radix h)); w holds those factors for
// each residue from 1 up, as h real parts then h imaginary parts.

// The outputs of one butterfly of radix R, in the order they are stored.
template <std::size_t R>
struct Outputs {
    double re[R], im[R];
};

// Residues 0, 2, 1, 3 modulo 4 in that order: two binary digits, reversed.
// r and i point at the first input, the others h apart, and w at the
// first twiddle factor, the others h apart.
inline Outputs<4> radix4_butterfly(const double* r, const double* i, std::size_t h, const double* w)
{
    const double u0r = r[0] + r[2 * h], u0i = i[0] + i[2 * h], u1r = r[0] - r[2 * h], u1i = i[0] - i[2 * h];
    // u3 = -i (a1 - a3)
    const double u2r = r[h] + r[3 * h], u2i = i[h] + i[3 * h], u3r = i[h] - i[3 * h], u3i = r[3 * h] - r[h];
    Outputs<4> o;
    o.re[0] = u0r + u2r;
    o.im[0] = u0i + u2i;
    const double br = u0r - u2r, bi = u0i - u2i;  // residue 2, times w^2j
    o.re[1] = br * w[2 * h] - bi * w[3 * h];
    o.im[1] = br * w[3 * h] + bi * w[2 * h];
    const double cr = u1r + u3r, ci = u1i + u3i;  // residue 1, times w^j
    o.re[2] = cr * w[0] - ci * w[h];
    o.im[2] = cr * w[h] + ci * w[0];
    const double dr = u1r - u3r, di = u1i - u3i;  // residue 3, times w^3j
    o.re[3] = dr * w[4 * h] - di * w[5 * h];
    o.im[3] = dr * w[5 * h] + di * w[4 * h];
    return o;
}

// Residues 0, 1, 2 in order.
inline Outputs<3> radix3_butterfly(const double* r, const double* i, std::size_t h, const double* w)
{
    const double sr = r[h] + r[2 * h], si = i[h] + i[2 * h];
    const double mr = r[0] - 0.5 * sr, mi = i[0] - 0.5 * si;
    // -i sin(pi / 3) (a1 - a2)
    const double dr = SIN_THIRD * (i[h] - i[2 * h]), di = SIN_THIRD * (r[2 * h] - r[h]);
    Outputs<3> o;
    o.re[0] = r[0] + sr;
    o.im[0] = i[0] + si;
    o.re[1] = mr + dr;
    o.im[1] = mi + di;
    rotate(o.re[1], o.im[1], w[0], w[h]);
    o.re[2] = mr - dr;
    o.im[2] = mi - di;
    rotate(o.re[2], o.im[2], w[2 * h], w[3 * h]);
    return o;
}

// Each pass reads two neighbouring butterflies' inputs before it stores
// their outputs side by side: with no store between the reads, the
// compiler may pair them into vector operations without proving that the
// arrays do not overlap. h is even but in a last radix-4 pass of h = 1.
template <std::size_t R, Outputs<R> butterfly(const double*, const double*, std::size_t, const double*)>
void butterfly_pass(double* re, double* im, std::size_t length, std::size_t h, const double* w)
{
    for (std::size_t block = 0; block < length; block += R * h) {
        double* r = re + block;
        double* i = im + block;
        std::size_t j = 0;
        for (; j + 1 < h; j += 2) {
            const Outputs<R> a = butterfly(r + j, i + j, h, w + j);
            const Outputs<R> b = butterfly(r + j + 1, i + j + 1, h, w + j + 1);
            for (std::size_t q = 0; q < R; ++q) {
                r[q * h + j] = a.re[q];
                r[q * h + j + 1] = b.re[q];
                i[q * h + j] = a.im[q];
                i[q * h + j + 1] = b.im[q];
            }
        }
        if (j < h) {
            const Outputs<R> a = butterfly(r + j, i + j, h, w + j);
            for (std::size_t q = 0; q < R; ++q) {
                r[q * h + j] = a.re[q];
                i[q * h + j] = a.im[q];
            }
        }
    }
}

// The last pass where the length has an odd power of two: pairs.
inline void radix2_pass(double* re, double* im, std::size_t length)
{
    for (std::size_t k = 0; k < length; k += 2) {
        const double r = re[k + 1], i = im[k + 1];
        re[k + 1] = re[k] - r;
        im[k + 1] = im[k] - i;
        re[k] += r;
        im[k] += i;
    }
}

}  // namespace fft_passes

#endif
