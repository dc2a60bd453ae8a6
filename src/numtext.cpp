#include "numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// printf's spelling of the values that have no digits, in every output form.
char* put_nonfinite(char* p, double value)
{
    const char* text = std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan") : (value < 0 ? "-inf" : "inf");
    std::size_t length = std::strlen(text);
    std::memcpy(p, text, length);
    return p + length;
}

// The slow way, for what the integer path below leaves out: std::to_chars in
// fixed notation with precision 6 gives exactly the digits of "%f"; only the
// non-finite values need spelling out the way printf does.
char* put_double_by_to_chars(char* p, double value)
{
    if (!std::isfinite(value))
        return put_nonfinite(p, value);
    return std::to_chars(p, p + MAX_NUMBER_TEXT, value, std::chars_format::fixed, 6).ptr;
}

// The hundred two-digit numbers in ASCII, the first digit in the low byte.
struct DigitPairs {
    std::uint16_t of[100];
};
constexpr DigitPairs make_digit_pairs()
{
    DigitPairs pairs{};
    for (int n = 0; n < 100; ++n)
        pairs.of[n] = static_cast<std::uint16_t>(('0' + n / 10) | ('0' + n % 10) << 8);
    return pairs;
}
constexpr DigitPairs digit_pairs = make_digit_pairs();

// The eight decimal digits of n < 10^8, leading zeros included, as the
// bytes of a word from the lowest up.
inline std::uint64_t eight_digits(std::uint32_t n)
{
    const std::uint32_t high = n / 10000, low = n % 10000;
    return std::uint64_t(digit_pairs.of[high / 100]) | std::uint64_t(digit_pairs.of[high % 100]) << 16 |
           std::uint64_t(digit_pairs.of[low / 100]) << 32 | std::uint64_t(digit_pairs.of[low % 100]) << 48;
}

// 10^t, but 0 for t = 0 so that zero has a digit too.
const std::uint32_t digit_thresholds[] = {0, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Whether the host stores a number low byte first; compilers fold it to a
// constant.
bool little_endian_host()
{
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Store the bytes of a word, or of two digits, lowest first whatever the
// host's byte order: in one store where it is little-endian.
inline void put_word(char* p, std::uint64_t word)
{
    if (little_endian_host()) {
        std::memcpy(p, &word, sizeof word);
        return;
    }
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<char>(word >> (8 * i));
}

inline void put_pair(char* p, std::uint32_t n)
{
    const std::uint16_t pair = digit_pairs.of[n];
    if (little_endian_host()) {
        std::memcpy(p, &pair, sizeof pair);
        return;
    }
    p[0] = static_cast<char>(pair);
    p[1] = static_cast<char>(pair >> 8);
}

// g * 10^6 as the two 64-bit halves of its 128-bit product, from 32-bit
// halves of g: each partial product is below 2^52, so nothing overflows.
struct Wide {
    std::uint64_t high, low;
};
Wide times_million(std::uint64_t g)
{
    const std::uint64_t million = 1000000;
    const std::uint64_t low = (g & 0xffffffff) * million;
    const std::uint64_t middle = (g >> 32) * million + (low >> 32);
    return {middle >> 32, middle << 32 | (low & 0xffffffff)};
}

// Both types the same way; std::to_chars takes each as its own type.
template <class Real>
char* shortest(char* p, Real value)
{
    if (!std::isfinite(value))
        return put_nonfinite(p, value);
    return std::to_chars(p, p + MAX_NUMBER_TEXT, value).ptr;
}

}  // namespace

char* put_int(char* p, std::int32_t value)
{
    return std::to_chars(p, p + 12, value).ptr;
}

char* put_grouped(char* p, std::uint64_t value)
{
    char digits[20];
    const std::size_t n = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            *p++ = ',';
        *p++ = digits[i];
    }
    return p;
}

// "%f" of a double, as printf writes it. Wherever the whole part fits 64
// bits, which takes in any measurement, the digits are worked out in integers,
// several times faster than std::to_chars does it.
//
// Why that is exact: a finite double is significand * 2^-shift with
// significand < 2^53. For 0 < shift <= 64, shifting the significand left by
// 64 - shift drops the whole part's bits off the top and leaves the fraction
// as the 64-bit fixed-point number g / 2^64, exactly. g * 10^6 < 2^84 is
// formed exactly from 32-bit halves, so its high word is the count of
// millionths rounded down and its low word the remainder, in units of 2^-64.
// Rounding up when the remainder is above one half, or equal to it with an
// odd count, is round half to even on the exact binary value, which is how
// printf rounds; the count's parity is that of the value's whole number of
// millionths, 10^6 being even. Shifts 65 to 73 (below 2^-11, no whole part)
// do the same with g / 2^73, g = significand * 2^(73 - shift) < 2^61, whose
// remainder's low 9 bits are kept as a sticky bit: that keeps its order
// against one half. From shift 74 on the value is below 2^-21 < 0.0000005 and
// prints as zero; from shift 0 down it is a whole number, below 2^64 as far
// as shift -11.
char* put_fixed(char* p, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased_exponent = static_cast<int>(bits >> 52 & 0x7ff);
    const bool normal = biased_exponent != 0;
    const std::uint64_t significand = (bits & ((std::uint64_t(1) << 52) - 1)) | std::uint64_t(normal) << 52;
    const int shift = 1075 - biased_exponent - !normal;
    if (shift < -11)
        return put_double_by_to_chars(p, value);  // 2^64 or more, infinite, NaN
    const std::uint64_t half = std::uint64_t(1) << 63;
    std::uint64_t whole = 0, millionths = 0;
    if (shift <= 0) {
        whole = significand << -shift;
    } else if (shift <= 64) {
        whole = significand >> (shift < 64 ? shift : 63);
        const Wide scaled = times_million(significand << (64 - shift));
        millionths = scaled.high + (scaled.low > half - (scaled.high & 1));
        if (millionths == 1000000) {
            // 0.9999995 and up carry into the whole part, below 2^52 here.
            whole += 1;
            millionths = 0;
        }
    } else if (shift <= 73) {
        const Wide scaled = times_million(significand << (73 - shift));
        millionths = scaled.high >> 9;
        const std::uint64_t rest = scaled.high << 55 | scaled.low >> 9 | ((scaled.low & 0x1ff) != 0);
        millionths += rest > half - (millionths & 1);
    }

    // Negative zero and negative values that round to zero keep their sign.
    *p = '-';
    p += bits >> 63;

    // The whole part goes out as a word of eight digits shifted down past its
    // leading zeros; the point and the decimals then overwrite what it left
    // after its own digits.
    std::uint64_t whole_digits;
    std::size_t digits = 8;
    if (whole < 100000000) {
        const std::uint32_t w = static_cast<std::uint32_t>(whole);
        // The whole part has b = 53 - shift bits (b = 1 from shift 52 on), or
        // is 2^b after a carry, so it has t = floor(b log10 2) digits, or
        // t + 1 from 10^t on; b * 1233 >> 12 is that floor for b <= 27.
        const int bits_of_whole = shift < 52 ? 53 - shift : 1;
        const int t = bits_of_whole * 1233 >> 12;
        digits = static_cast<std::size_t>(t + 1 - (w < digit_thresholds[t]));
        whole_digits = eight_digits(w) >> (8 * (8 - digits));
    } else {
        p = std::to_chars(p, p + 20, whole / 100000000).ptr;
        whole_digits = eight_digits(static_cast<std::uint32_t>(whole % 100000000));
    }
    put_word(p, whole_digits);
    p += digits;
    *p = '.';
    const std::uint32_t fraction = static_cast<std::uint32_t>(millionths);
    put_pair(p + 1, fraction / 10000);
    put_pair(p + 3, fraction / 100 % 100);
    put_pair(p + 5, fraction % 100);
    return p + 7;
}

char* put_shortest(char* p, float value)
{
    return shortest(p, value);
}

char* put_shortest(char* p, double value)
{
    return shortest(p, value);
}
