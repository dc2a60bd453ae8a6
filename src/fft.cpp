#include "fft.h"

#include <new>
#include <stdexcept>

#include "detmath.h"

namespace {

// Complex values of a block that fit in the cache with room to spare.
constexpr std::size_t CACHED_LENGTH = std::size_t{1} << 14;

// The double nearest 2 pi.
constexpr double TWO_PI = 6.283185307179586;

// One radix-4 decimation-in-frequency pass over the blocks of 4h in the first
// length values: each block's four quarters become the four interleaved
// sub-sequences of its transform, the residues 0, 2, 1, 3 modulo 4 in that
// order, so that after the last pass X_k lies at the bit-reversed index of k.
// w holds w^j, w^2j and w^3j for w = e^(-2 pi i / 4h), each as h real parts
// then h imaginary parts.
void radix4_pass(double* re, double* im, std::size_t length, std::size_t h, const double* w)
{
    const double *w1r = w, *w1i = w + h, *w2r = w + 2 * h, *w2i = w + 3 * h, *w3r = w + 4 * h, *w3i = w + 5 * h;
    for (std::size_t block = 0; block < length; block += 4 * h) {
        double* r0 = re + block;
        double* i0 = im + block;
        double *r1 = r0 + h, *i1 = i0 + h, *r2 = r1 + h, *i2 = i1 + h, *r3 = r2 + h, *i3 = i2 + h;
        for (std::size_t j = 0; j < h; ++j) {
            const double u0r = r0[j] + r2[j], u0i = i0[j] + i2[j], u1r = r0[j] - r2[j], u1i = i0[j] - i2[j];
            // u3 = -i (a1 - a3)
            const double u2r = r1[j] + r3[j], u2i = i1[j] + i3[j], u3r = i1[j] - i3[j], u3i = r3[j] - r1[j];
            r0[j] = u0r + u2r;
            i0[j] = u0i + u2i;
            const double br = u0r - u2r, bi = u0i - u2i;  // residue 2, times w^2j
            r1[j] = br * w2r[j] - bi * w2i[j];
            i1[j] = br * w2i[j] + bi * w2r[j];
            const double cr = u1r + u3r, ci = u1i + u3i;  // residue 1, times w^j
            r2[j] = cr * w1r[j] - ci * w1i[j];
            i2[j] = cr * w1i[j] + ci * w1r[j];
            const double dr = u1r - u3r, di = u1i - u3i;  // residue 3, times w^3j
            r3[j] = dr * w3r[j] - di * w3i[j];
            i3[j] = dr * w3i[j] + di * w3r[j];
        }
    }
}

// Where the factors of the pass over blocks of 4h start: the passes' tables
// lie one after the other, the largest first.
std::size_t pass_offset(std::size_t size, std::size_t h)
{
    std::size_t offset = 0;
    for (std::size_t larger = size / 4; larger > h; larger /= 4)
        offset += 6 * larger;
    return offset;
}

}  // namespace

bool Fft::prepare(std::size_t size)
{
    if (size == 0 || (size & (size - 1)) != 0)
        return false;
    if (size == size_)
        return true;
    size_ = 0;
    bits_ = 0;
    while ((std::size_t{1} << bits_) < size)
        ++bits_;
    const std::size_t quarter = size / 4, eighth = size / 8;
    try {
        // e^(-2 pi i k / N) for k < 3N/4, the most a pass reaches.
        std::vector<double> base_re(3 * quarter), base_im(3 * quarter);
        twiddles_.assign(pass_offset(size, 0), 0.0);
        // Only the first eighth of the circle is computed; the rest follows
        // by symmetry, exactly, which also keeps every angle below pi/4.
        for (std::size_t k = 0; k < 3 * quarter && k <= eighth; ++k) {
            double sine, cosine;
            detmath::sin_cos(TWO_PI * (static_cast<double>(k) / static_cast<double>(size)), sine, cosine);
            base_re[k] = cosine;
            base_im[k] = -sine;
        }
        for (std::size_t k = eighth + 1; k <= quarter; ++k) {
            base_re[k] = -base_im[quarter - k];
            base_im[k] = -base_re[quarter - k];
        }
        for (std::size_t k = quarter + 1; k < 2 * quarter; ++k) {
            base_re[k] = base_im[k - quarter];
            base_im[k] = -base_re[k - quarter];
        }
        for (std::size_t k = 2 * quarter; k < 3 * quarter; ++k) {
            base_re[k] = -base_re[k - 2 * quarter];
            base_im[k] = -base_im[k - 2 * quarter];
        }
        for (std::size_t h = quarter; h >= 1; h /= 4) {
            double* w = twiddles_.data() + pass_offset(size, h);
            const std::size_t stride = size / (4 * h);
            for (std::size_t q = 1; q <= 3; ++q) {
                for (std::size_t j = 0; j < h; ++j) {
                    w[2 * (q - 1) * h + j] = base_re[q * j * stride];
                    w[(2 * q - 1) * h + j] = base_im[q * j * stride];
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    size_ = size;
    return true;
}

void Fft::transform_block(double* re, double* im, std::size_t length) const
{
    // Depth first while a block is larger than the cache holds, so that the
    // passes over each quarter stay in the cache; breadth first below that.
    if (length > CACHED_LENGTH) {
        radix4_pass(re, im, length, length / 4, twiddles_.data() + pass_offset(size_, length / 4));
        for (std::size_t q = 0; q < 4; ++q)
            transform_block(re + q * (length / 4), im + q * (length / 4), length / 4);
        return;
    }
    std::size_t h = length / 4;
    for (; h >= 1; h /= 4)
        radix4_pass(re, im, length, h, twiddles_.data() + pass_offset(size_, h));
    if (bits_ % 2 == 1) {
        for (std::size_t k = 0; k < length; k += 2) {
            const double r = re[k + 1], i = im[k + 1];
            re[k + 1] = re[k] - r;
            im[k + 1] = im[k] - i;
            re[k] += r;
            im[k] += i;
        }
    }
}

void Fft::forward_scrambled(double* re, double* im) const
{
    transform_block(re, im, size_);
}

std::size_t Fft::reversed(std::size_t k) const
{
    std::size_t result = 0;
    for (unsigned bit = 0; bit < bits_; ++bit)
        result |= ((k >> bit) & 1) << (bits_ - 1 - bit);
    return result;
}

std::size_t Fft::next_reversed(std::size_t reversed_k) const
{
    // Adding one at the top: carries run downwards.
    std::size_t bit = size_ >> 1;
    while (bit != 0 && (reversed_k & bit) != 0) {
        reversed_k ^= bit;
        bit >>= 1;
    }
    return reversed_k | bit;
}

void Fft::forward(double* re, double* im) const
{
    forward_scrambled(re, im);
    std::size_t j = 0;
    for (std::size_t k = 0; k < size_; ++k) {
        if (k < j) {
            const double r = re[k], i = im[k];
            re[k] = re[j];
            im[k] = im[j];
            re[j] = r;
            im[j] = i;
        }
        j = next_reversed(j);
    }
}
