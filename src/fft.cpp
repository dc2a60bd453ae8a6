#include "fft.h"

#include <cstdint>
#include <new>
#include <stdexcept>

#include "detmath.h"

namespace {

// Complex values of a block that fit in the cache with room to spare.
constexpr std::size_t CACHED_LENGTH = std::size_t{1} << 14;

// The double nearest 2 pi, and the one nearest sin(pi / 3).
constexpr double TWO_PI = 6.283185307179586;
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

// Residues 0, 2, 1, 3 modulo 4 in that order: two binary digits, reversed.
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

// Residues 0, 1, 2 in order.
void radix3_pass(double* re, double* im, std::size_t length, std::size_t h, const double* w)
{
    const double *w1r = w, *w1i = w + h, *w2r = w + 2 * h, *w2i = w + 3 * h;
    for (std::size_t block = 0; block < length; block += 3 * h) {
        double* r0 = re + block;
        double* i0 = im + block;
        double *r1 = r0 + h, *i1 = i0 + h, *r2 = r1 + h, *i2 = i1 + h;
        for (std::size_t j = 0; j < h; ++j) {
            const double sr = r1[j] + r2[j], si = i1[j] + i2[j];
            const double mr = r0[j] - 0.5 * sr, mi = i0[j] - 0.5 * si;
            // -i sin(pi / 3) (a1 - a2)
            const double dr = SIN_THIRD * (i1[j] - i2[j]), di = SIN_THIRD * (r2[j] - r1[j]);
            r0[j] += sr;
            i0[j] += si;
            double yr = mr + dr, yi = mi + di;
            rotate(yr, yi, w1r[j], w1i[j]);
            r1[j] = yr;
            i1[j] = yi;
            yr = mr - dr;
            yi = mi - di;
            rotate(yr, yi, w2r[j], w2i[j]);
            r2[j] = yr;
            i2[j] = yi;
        }
    }
}

// The last pass where the length has an odd power of two: pairs.
void radix2_pass(double* re, double* im, std::size_t length)
{
    for (std::size_t k = 0; k < length; k += 2) {
        const double r = re[k + 1], i = im[k + 1];
        re[k + 1] = re[k] - r;
        im[k + 1] = im[k] - i;
        re[k] += r;
        im[k] += i;
    }
}

}  // namespace

std::size_t Fft::length_at_least(std::size_t n)
{
    std::size_t best = 0;
    for (std::size_t threes = 1;; threes *= 3) {
        std::size_t length = 4 * threes;
        while (length < n && length <= SIZE_MAX / 8)
            length *= 2;
        if (length >= n && (best == 0 || length < best))
            best = length;
        if (4 * threes >= n || threes > SIZE_MAX / 16)
            return best;
    }
}

bool Fft::prepare(std::size_t size)
{
    if (size == size_ && size != 0)
        return true;
    std::size_t twos = size, threes = 0;
    for (; twos != 0 && twos % 3 == 0; twos /= 3)
        ++threes;
    if (twos == 0 || (twos & (twos - 1)) != 0)
        return false;
    size_ = 0;
    try {
        passes_.clear();
        digits_.clear();
        std::size_t rest = size, offset = 0;
        auto add = [&](std::size_t radix) {
            rest /= radix;
            passes_.push_back({radix, rest, offset});
            offset += 2 * (radix - 1) * rest;
            if (radix == 4) {
                digits_.push_back({2, 2 * rest});
                digits_.push_back({2, rest});
            } else {
                digits_.push_back({radix, rest});
            }
        };
        for (std::size_t t = 0; t < threes; ++t)
            add(3);
        for (; twos >= 4; twos /= 4)
            add(4);
        if (twos == 2)
            add(2);
        // e^(-2 pi i k / N) for k < 3N/4, the most a pass reaches. Where N
        // is a multiple of 4 only the first eighth of the circle is
        // computed; the rest follows by symmetry, exactly, which also keeps
        // every angle below pi/4.
        const std::size_t quarter = size / 4, eighth = size / 8;
        const bool symmetric = size % 4 == 0;
        const std::size_t reach = symmetric ? 3 * quarter : size;
        std::vector<double> base_re(reach), base_im(reach);
        for (std::size_t k = 0; k < reach && (k <= eighth || !symmetric); ++k) {
            double sine, cosine;
            detmath::sin_cos(TWO_PI * (static_cast<double>(k) / static_cast<double>(size)), sine, cosine);
            base_re[k] = cosine;
            base_im[k] = -sine;
        }
        for (std::size_t k = eighth + 1; symmetric && k <= quarter; ++k) {
            base_re[k] = -base_im[quarter - k];
            base_im[k] = -base_re[quarter - k];
        }
        for (std::size_t k = quarter + 1; symmetric && k < 2 * quarter; ++k) {
            base_re[k] = base_im[k - quarter];
            base_im[k] = -base_re[k - quarter];
        }
        for (std::size_t k = 2 * quarter; symmetric && k < 3 * quarter; ++k) {
            base_re[k] = -base_re[k - 2 * quarter];
            base_im[k] = -base_im[k - 2 * quarter];
        }
        twiddles_.assign(offset, 0.0);
        for (const Pass& pass : passes_) {
            double* w = twiddles_.data() + pass.offset;
            const std::size_t h = pass.span, stride = size / (pass.radix * h);
            for (std::size_t q = 1; q < pass.radix; ++q) {
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

void Fft::transform_block(double* re, double* im, std::size_t length, std::size_t first_pass) const
{
    // Depth first while a block is larger than the cache holds, so that the
    // passes over each part stay in the cache; breadth first below that.
    for (std::size_t p = first_pass; p < passes_.size(); ++p) {
        const Pass& pass = passes_[p];
        const double* w = twiddles_.data() + pass.offset;
        if (pass.radix == 4)
            radix4_pass(re, im, length, pass.span, w);
        else if (pass.radix == 3)
            radix3_pass(re, im, length, pass.span, w);
        else
            radix2_pass(re, im, length);
        if (length > CACHED_LENGTH) {
            for (std::size_t q = 0; q < pass.radix; ++q)
                transform_block(re + q * pass.span, im + q * pass.span, pass.span, p + 1);
            return;
        }
        // Blocks of the next pass are the parts of this one, over the same length.
    }
}

void Fft::forward_scrambled(double* re, double* im) const
{
    if (size_ > 1)
        transform_block(re, im, size_, 0);
}

void Fft::positions(std::size_t first, std::size_t count, std::size_t* at) const
{
    if (size_ == 0)
        return;
    std::size_t digit[64] = {};  // 2^64 has at most 64 digits
    std::size_t k = first % size_, position = 0;
    for (std::size_t d = 0; d < digits_.size(); ++d) {
        digit[d] = k % digits_[d].radix;
        k /= digits_[d].radix;
        position += digit[d] * digits_[d].place;
    }
    for (std::size_t i = 0; i < count; ++i) {
        at[i] = position;
        // Adding one to the least significant digit: carries run upwards.
        std::size_t d = 0;
        for (; d < digits_.size() && digit[d] + 1 == digits_[d].radix; ++d) {
            position -= digit[d] * digits_[d].place;
            digit[d] = 0;
        }
        if (d < digits_.size()) {
            ++digit[d];
            position += digits_[d].place;
        }
    }
}

bool Fft::forward(double* re, double* im) const
{
    try {
        std::vector<std::size_t> at(size_);
        positions(0, size_, at.data());
        forward_scrambled(re, im);
        std::vector<double> copy_re(re, re + size_), copy_im(im, im + size_);
        for (std::size_t k = 0; k < size_; ++k) {
            re[k] = copy_re[at[k]];
            im[k] = copy_im[at[k]];
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
