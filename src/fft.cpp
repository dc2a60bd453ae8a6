#include "fft.h"

#include <cstdint>
#include <new>
#include <stdexcept>

#include "detmath.h"
#include "fft_passes.h"

namespace {

// Complex values of a block that fit in the cache with room to spare.
constexpr std::size_t CACHED_LENGTH = std::size_t{1} << 14;

// The double nearest 2 pi.
constexpr double TWO_PI = 6.283185307179586;

}  // namespace

std::size_t Fft::quickest_length(std::size_t n)
{
    // Time a value, in hundredths of a nanosecond, fitted to transforms of
    // every such length from 2,000 to 400,000 on x86-64: each radix-3
    // pass, each radix-4 pass, a radix-2 pass, and the rest. A radix-3 pass
    // costs about what a radix-4 one does, for fewer of the length's bits.
    constexpr double RADIX3 = 47, RADIX4 = 44, RADIX2 = 10, REST = 146;
    std::size_t best = 0;
    double best_cost = 0;
    double threes_cost = 0;
    for (std::size_t threes = 1;; threes *= 3, threes_cost += RADIX3) {
        std::size_t length = 4 * threes;
        double cost = threes_cost + RADIX4 + REST;
        bool odd_twos = false;
        while (length < n && length <= SIZE_MAX / 8) {
            length *= 2;
            // A doubling adds a radix-2 pass, or turns one into radix 4.
            odd_twos = !odd_twos;
            cost += odd_twos ? RADIX2 : RADIX4 - RADIX2;
        }
        cost *= static_cast<double>(length);
        if (length >= n && (best == 0 || cost < best_cost)) {
            best = length;
            best_cost = cost;
        }
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
            fft_passes::butterfly_pass<4, fft_passes::radix4_butterfly>(re, im, length, pass.span, w);
        else if (pass.radix == 3)
            fft_passes::butterfly_pass<3, fft_passes::radix3_butterfly>(re, im, length, pass.span, w);
        else
            fft_passes::radix2_pass(re, im, length);
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
