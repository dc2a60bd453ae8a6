// The text forms: every line byte for byte as printf's "%f" and "%d" write
// it, and -exact's values reading back to their bits.
#include "textform.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "measurement_file.h"

namespace {

std::string printf_line(const Measurement& m)
{
    char line[MAX_OUTPUT_LINE];
    return std::string(line, static_cast<std::size_t>(printf_line(m, line)));
}

// Whether lcdump's line for a record with only jd and flux1 set is printf's.
// Millions of values are put to the test this way, so printf formats only
// the two of them, and nothing is allocated.
::testing::AssertionResult matches_printf(double jd, float flux1)
{
    char ours[MAX_OUTPUT_LINE], theirs[MAX_OUTPUT_LINE];
    Measurement m{jd, 0, flux1, 0, 0, 0, 0, 0, 0};
    const std::string_view line(ours, format_record(m, ours));
    const int length = std::snprintf(theirs, sizeof theirs, "%f 0 %f%s", jd, static_cast<double>(flux1),
                                     " 0.000000 0.000000 0.000000 0.000000 0 0.000000\n");
    const std::string_view expected(theirs, static_cast<std::size_t>(length));
    if (line == expected)
        return ::testing::AssertionSuccess();
    char values[64];
    std::snprintf(values, sizeof values, "%a and %a", jd, static_cast<double>(flux1));
    return ::testing::AssertionFailure() << values << " gave\n  " << line << "printf gives\n  " << expected;
}

}  // namespace

TEST(FormatRecord, MatchesPrintfOnSpecialValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const double doubles[] = {0.0, -0.0, 0.25, -0.5, 1e-6, 1e-7, 5e-7, 1.0 / 128, 3.0 / 128,
                              2459000.123456789, 1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN,
                              std::numeric_limits<double>::denorm_min(), nan, -nan, inf, -inf,
                              999999.9999995, 0.9999995};
    const float floats[] = {0.0f, -0.0f, 1e-6f, FLT_MAX, -FLT_MAX, FLT_MIN,
                            std::numeric_limits<float>::denorm_min(), 1.0f / 128,
                            static_cast<float>(nan), -static_cast<float>(nan),
                            static_cast<float>(inf), -static_cast<float>(inf), 16777217.0f};
    // clang-format on
    const std::int32_t ints[] = {0, -1, 1, INT_MIN, INT_MAX};
    for (double d : doubles) {
        for (float f : floats) {
            for (std::int32_t i : ints) {
                Measurement m{d, i, f, f, f, f, f, i, f};
                ASSERT_EQ(formatted(m), printf_line(m)) << "JD bits " << std::hex << bits_of(d);
            }
        }
    }
}

TEST(FormatRecord, MatchesPrintfOnRandomBitPatterns)
{
    // Ten million random doubles and floats (a sample in make test). Uniform bits reach every
    // exponent, subnormals, NaN payloads and values whose "%f" text runs to
    // hundreds of digits; but they seldom land where the digits are worked
    // out in integers, and printf takes microseconds over each long one. So
    // all but one in sixteen keep their exponent within 2^-30..2^70, around
    // the integer range, where every printed digit counts.
    std::mt19937_64 rng(12345);
    const int cases = sample_size(10000000, 300000);
    for (int n = 0; n < cases; ++n) {
        std::uint64_t d = rng(), f = rng() >> 32;
        if (n % 16 != 0) {
            const std::uint64_t e = rng();
            d = (d & ~(std::uint64_t(0x7ff) << 52)) | (1023 - 30 + e % 100) << 52;
            f = (f & ~(std::uint64_t(0xff) << 23)) | (127 - 30 + (e >> 32) % 100) << 23;
        }
        ASSERT_TRUE(matches_printf(from_bits<double>(d), from_bits<float>(f))) << "record " << n;
    }
}

TEST(FormatRecord, MatchesPrintfAtTiesCarriesAndRangeLimits)
{
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    std::vector<double> edges = {0.0, std::numeric_limits<double>::denorm_min(), DBL_MIN, DBL_MAX, inf,
                                 std::numeric_limits<double>::quiet_NaN(), from_bits<double>(0x7ff0000000000001)};
    // clang-format on
    // Only whole + odd/128 lie exactly halfway between two millionths; printf
    // rounds those to even. Near them, and near whole + 0.0000005 and
    // whole + 0.9999995, the exact binary value decides.
    for (double whole : {0.0, 1.0, 9.0, 99999.0, 2459000.0, 16777215.0, std::ldexp(1.0, 40), std::ldexp(1.0, 44) - 1,
                         std::ldexp(1.0, 45)}) {
        for (int odd = 1; odd < 256; odd += 2)
            edges.push_back(whole + odd / 128.0);
        edges.push_back(whole + 0.0000005);
        edges.push_back(whole + 0.9999995);
    }
    for (int odd = 1; odd < 100; odd += 2)
        edges.push_back(odd * 0.0000005);
    // Powers of ten, where the text grows by a digit; 1e22 is the last exact one.
    for (int k = -7; k <= 22; ++k)
        edges.push_back(std::stod("1e" + std::to_string(k)));
    // Powers of two: the integer formatting changes method at 2^-21, 2^-11,
    // 2^52 and 2^64, and every binade has a shift of its own.
    for (int k = -80; k <= 70; ++k)
        edges.push_back(std::ldexp(1.0, k));

    // Each with its neighbours and both signs, and the same for the nearest float.
    for (double edge : edges) {
        for (double x : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, inf)}) {
            const float f = static_cast<float>(x);
            for (float y : {f, std::nextafter(f, 0.0f), std::nextafter(f, static_cast<float>(inf))}) {
                ASSERT_TRUE(matches_printf(x, y));
                ASSERT_TRUE(matches_printf(-x, -y));
            }
        }
    }
}

TEST(FormatRecord, WidestPossibleLineFits)
{
    Measurement m{-DBL_MAX, INT_MIN, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, INT_MIN, -FLT_MAX};
    EXPECT_EQ(formatted(m), printf_line(m));
    EXPECT_LT(formatted(m).size(), MAX_OUTPUT_LINE);
}

TEST(FormatRecord, ExactValuesReadBackToTheirBits)
{
    // Random bit patterns reach every exponent, NaN and infinity; each value
    // must come back from strtod (JD) or strtof (the float fields) unchanged,
    // with NaN compared by its sign. The CSV form shares the formatter.
    std::mt19937_64 rng(77);
    auto same = [](auto read, auto wrote) {
        return std::isnan(wrote) ? std::isnan(read) && std::signbit(read) == std::signbit(wrote)
                                 : bits_of(read) == bits_of(wrote);
    };
    char line[MAX_OUTPUT_LINE];
    const int cases = sample_size(1000000, 100000);
    for (int n = 0; n < cases; ++n) {
        // clang-format off
        Measurement m{from_bits<double>(rng()), 0, from_bits<float>(rng()), from_bits<float>(rng()),
                      from_bits<float>(rng()), from_bits<float>(rng()), from_bits<float>(rng()), 0,
                      from_bits<float>(rng())};
        // clang-format on
        line[format_record(m, CsvText::separator, true, line)] = '\0';
        char* p = line;
        const double jd = std::strtod(p, &p);
        std::strtol(p + 1, &p, 10);
        float f[6];
        for (int i = 0; i < 6; ++i) {
            if (i == 5)
                std::strtol(p + 1, &p, 10);
            f[i] = std::strtof(p + 1, &p);
        }
        ASSERT_STREQ(p, "\n") << line;
        ASSERT_TRUE(same(jd, m.JD)) << line;
        const float wrote[6] = {m.flux1, m.err1, m.sky, m.errs, m.chisq1, m.effective_pix};
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(same(f[i], wrote[i])) << "field " << i << " of " << line;
    }
}

TEST(FormatCount, WritesDecimalLine)
{
    char line[MAX_OUTPUT_LINE];
    EXPECT_EQ(std::string(line, format_count(0, line)), "0\n");
    EXPECT_EQ(std::string(line, format_count(INT_MAX, line)), "2147483647\n");
    EXPECT_EQ(std::string(line, format_count(INT_MIN, line)), "-2147483648\n");
}
