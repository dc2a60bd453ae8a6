// Round ticks as a property over random ranges, fixed decimals against
// printf's "%.*f", and XML escaping by a table.
#include "svgplot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

TEST(RoundTicks, FewRoundEvenlySpacedTicksCoverTheRange)
{
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int trial = 0; trial < 5000; ++trial) {
        const double lo = (unit(rng) - 0.5) * std::pow(10.0, 14 * unit(rng) - 6);
        // Spans of at least a billionth of the offset, as a picture has.
        const double hi = lo + std::max(std::pow(10.0, 16 * unit(rng) - 8), 1e-9 * std::fabs(lo));
        const int most = 2 + trial % 9;
        const Ticks ticks = round_ticks(lo, hi, most);
        SCOPED_TRACE(std::to_string(lo) + " " + std::to_string(hi) + " most " + std::to_string(most));
        // A step at most 2.5 times span / (most - 1) leaves a tick inside
        // from 4 asked, and two from 7.
        ASSERT_GE(ticks.count, most >= 7 ? 2 : most >= 4 ? 1 : 0);
        ASSERT_LE(ticks.count, most);
        if (ticks.count == 0)
            continue;
        // The step is 1, 2 or 5 times a power of ten, and the least such
        // that most ticks span the range.
        const double decade = std::pow(10.0, std::floor(std::log10(ticks.step) + 1e-9));
        const double multiple = ticks.step / decade;
        EXPECT_TRUE(std::fabs(multiple - 1) < 1e-9 || std::fabs(multiple - 2) < 1e-9 || std::fabs(multiple - 5) < 1e-9)
            << ticks.step;
        EXPECT_GE(ticks.step * (most - 1) * (1 + 1e-12), hi - lo);
        // Every tick inside, to the rounding of its product, and none
        // missing at either end.
        const double slack = 1e-15 * std::max(std::fabs(lo), std::fabs(hi));
        EXPECT_GE(ticks.at(0), lo - slack);
        EXPECT_LT(ticks.at(0) - ticks.step, lo);
        EXPECT_LE(ticks.at(ticks.count - 1), hi + slack);
        EXPECT_GT(ticks.at(ticks.count), hi);
        // The labels tell neighbouring ticks apart, with no decimal to spare.
        std::string a, b;
        append_fixed(a, ticks.at(0), ticks.decimals);
        append_fixed(b, ticks.at(0) + ticks.step, ticks.decimals);
        EXPECT_NE(a, b);
        EXPECT_NEAR(std::stod(a), ticks.at(0), std::max(ticks.step * 1e-6, std::fabs(ticks.at(0)) * 1e-15));
        if (ticks.decimals > 0) {
            std::string fewer;
            append_fixed(fewer, ticks.step, ticks.decimals - 1);
            EXPECT_NE(std::stod(fewer), ticks.step) << ticks.step;
        }
    }
    for (double nothing : {0.0, double(NAN), double(INFINITY)})
        EXPECT_EQ(round_ticks(1, nothing == 0 ? 1 : nothing, 5).count, 0);
    EXPECT_EQ(round_ticks(0, 1, 1).count, 0);
    // At the ends of the doubles: never more than asked (a fuzzed file once
    // asked for millions), and from 4 asked still one inside.
    const double ends[][2] = {{0, 1.5e308}, {-1e308, 1e308}, {0, 4e-320}, {1e300, 1.0000000000000002e300}};
    for (const auto& range : ends)
        EXPECT_LE(round_ticks(range[0], range[1], 7).count, 7) << range[0] << " " << range[1];
}

TEST(AppendFixed, AsPrintfWritesItButForTheSignOfZero)
{
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int trial = 0; trial < 20000; ++trial) {
        const double value = unit(rng) * std::pow(10.0, 8 * unit(rng));
        const int decimals = trial % 4;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
        std::string got;
        append_fixed(got, value, decimals);
        // printf keeps the sign of a value that rounds to zero.
        const bool signed_zero = expected[0] == '-' && std::stod(expected) == 0;
        const std::string want = signed_zero ? std::string(expected + 1) : std::string(expected);
        ASSERT_EQ(got, want) << value;
    }
    std::string zero;
    append_fixed(zero, -0.04, 1);
    EXPECT_EQ(zero, "0.0");
}

TEST(AppendEscaped, MarkupEscapedAndWhatXmlForbidsReplaced)
{
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"plain star.lc", "plain star.lc"},
        {"a&b<c>\"d'e", "a&amp;b&lt;c&gt;&quot;d&#39;e"},
        {"tab\tline\ncr\r", "tab\tline\ncr\r"},
        {"bell\x07", "bell\xEF\xBF\xBD"},
        {"\xC3\xA9t\xC3\xA9 \xE2\x88\x92 \xF0\x9F\x8C\x9F", "\xC3\xA9t\xC3\xA9 \xE2\x88\x92 \xF0\x9F\x8C\x9F"},
        {"stray \xFF byte", "stray \xEF\xBF\xBD byte"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"not a character \xEF\xBF\xBE", "not a character \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"beyond \xF4\x90\x80\x80", "beyond \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut \xE2\x88", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"last \xF4\x8F\xBF\xBD", "last \xF4\x8F\xBF\xBD"},
        {"fullwidth \xEF\xBC\x81", "fullwidth \xEF\xBC\x81"},
        {"least of each length \xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80",
         "least of each length \xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_escaped(out, c.text);
        EXPECT_EQ(out, c.escaped) << c.text;
    }
}

TEST(PanelPixels, DataCornersAtTheFramesCorners)
{
    const Panel panel(90, 70, 640, 200, 10, 20, -1, 3);
    EXPECT_DOUBLE_EQ(panel.x_pixel(10), 90);
    EXPECT_DOUBLE_EQ(panel.x_pixel(20), 730);
    EXPECT_DOUBLE_EQ(panel.y_pixel(-1), 270);
    EXPECT_DOUBLE_EQ(panel.y_pixel(3), 70);
    // An empty range is a unit wide about its value.
    const Panel flat(0, 0, 100, 100, 5, 5, 2, 2);
    EXPECT_DOUBLE_EQ(flat.x_pixel(5), 50);
    EXPECT_DOUBLE_EQ(flat.y_pixel(2), 50);
}
