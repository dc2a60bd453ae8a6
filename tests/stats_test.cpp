// StatsWriter fed records directly, its row read back figure by figure and
// compared, bit for bit, with figures worked out here the slow way: every
// finite value widened to double and the whole list sorted, -0 before +0,
// the distances from the median likewise. numpy's sort cannot stand in for
// that here, since it leaves -0 and +0 in any order; the record counts cross
// the sizes at which the writer's columns grow.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stats.h"
#include "summary.h"

namespace {

const double NAN64 = std::numeric_limits<double>::quiet_NaN();

// Ascending, with -0 before +0; no NaN is ever given.
bool before(double a, double b)
{
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
}

double sorted_median(std::vector<double> values)
{
    if (values.empty())
        return NAN64;
    std::sort(values.begin(), values.end(), before);
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// The row's figures after the file column, as StatsWriter is meant to
// compute them.
std::vector<double> expected_figures(const std::vector<Measurement>& records)
{
    std::vector<double> jd;
    std::vector<double> field[4];
    std::size_t nonfinite = 0;
    for (const Measurement& m : records) {
        const float floats[] = {m.flux1, m.err1, m.sky, m.errs, m.chisq1, m.effective_pix};
        bool finite = std::isfinite(m.JD);
        for (float f : floats)
            finite = finite && std::isfinite(f);
        nonfinite += finite ? 0 : 1;
        if (std::isfinite(m.JD))
            jd.push_back(m.JD);
        const float medians[] = {m.flux1, m.err1, m.sky, m.chisq1};
        for (int i = 0; i < 4; ++i)
            if (std::isfinite(medians[i]))
                field[i].push_back(medians[i]);
    }
    std::vector<double> row = {double(records.size()), double(nonfinite)};
    row.push_back(jd.empty() ? NAN64 : *std::min_element(jd.begin(), jd.end(), before));
    row.push_back(jd.empty() ? NAN64 : *std::max_element(jd.begin(), jd.end(), before));
    for (int i = 0; i < 4; ++i) {
        const double middle = sorted_median(field[i]);
        row.push_back(middle);
        if (i == 0) {
            std::vector<double> distances;
            for (double value : field[0])
                distances.push_back(std::fabs(value - middle));
            row.push_back(sorted_median(distances));
        }
    }
    row.push_back(records.empty() ? NAN64 : std::min_element(records.begin(), records.end(), [](auto& a, auto& b) {
                                                return a.nuse < b.nuse;
                                            })->nuse);
    return row;
}

// What the writer wrote for records, with or without the header row.
std::string written(const std::vector<Measurement>& records, bool header)
{
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    OutputForm form(find_form("stats"));
    SummaryTable table(out, form, header);
    StatsWriter writer(table, "t.lc", false);
    EXPECT_TRUE(writer.begin(static_cast<std::int32_t>(records.size())));
    for (const Measurement& m : records)
        EXPECT_TRUE(writer.record(m));
    EXPECT_TRUE(writer.finish());
    EXPECT_FALSE(writer.out_of_memory());
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

template <class T, class Bits>
T from_bits(Bits bits)
{
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Records whose values come from draw(rng), a float at a time; JD and nuse
// from the same kind of draw.
enum Kind { random_bits, few_values, spread };

float draw(std::mt19937_64& rng, Kind kind)
{
    static const float few[] = {-0.0f,
                                0.0f,
                                1.0f,
                                -1.0f,
                                2.0f,
                                1e-45f,
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                std::numeric_limits<float>::quiet_NaN()};
    switch (kind) {
    case random_bits:
        return from_bits<float>(static_cast<std::uint32_t>(rng()));
    case few_values:
        return few[rng() % (sizeof few / sizeof few[0])];
    default:
        // Over many decades, so that a distance from the median needs more
        // bits than a float holds.
        return static_cast<float>((rng() % 2 != 0 ? -1 : 1) * std::exp(std::normal_distribution<>(7, 4)(rng)));
    }
}

std::vector<Measurement> make_records(std::size_t n, Kind kind, std::mt19937_64& rng)
{
    std::vector<Measurement> records;
    for (std::size_t i = 0; i < n; ++i) {
        Measurement m;
        m.JD = kind == random_bits ? from_bits<double>(rng()) : static_cast<double>(draw(rng, kind));
        m.obsID = static_cast<std::int32_t>(i);
        for (float* f : {&m.flux1, &m.err1, &m.sky, &m.errs, &m.chisq1, &m.effective_pix})
            *f = draw(rng, kind);
        m.nuse = kind == random_bits ? static_cast<std::int32_t>(rng()) : static_cast<std::int32_t>(rng() % 9) - 4;
        records.push_back(m);
    }
    return records;
}

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        cells.push_back(line.substr(start, comma - start));
    cells.push_back(line.substr(start));
    return cells;
}

}  // namespace

TEST(StatsWriter, EveryFigureIsTheSortedListsToTheBit)
{
    std::mt19937_64 rng(20261208);
    // Empty, tiny, odd and even, and either side of where the columns grow.
    const std::size_t sizes[] = {0, 1, 2, 3, 4, 5, 1023, 1024, 1025, 1536, 1537, 2304, 2305, 20000};
    bool header = false;
    for (Kind kind : {random_bits, few_values, spread})
        for (std::size_t n : sizes) {
            SCOPED_TRACE("kind " + std::to_string(kind) + ", " + std::to_string(n) + " records");
            const std::vector<Measurement> records = make_records(n, kind, rng);
            header = !header;
            const std::string text = written(records, header);
            const std::string columns = summary_header(false);
            const std::size_t skip = header ? columns.size() : 0;
            ASSERT_EQ(text.compare(0, skip, columns, 0, skip), 0) << text;
            ASSERT_FALSE(text.empty());
            ASSERT_EQ(text.back(), '\n');
            // The weighted figures have an oracle of their own, exact sums.
            std::vector<std::string> cells;
            const std::vector<std::string> names = split(columns.substr(0, columns.size() - 1));
            const std::vector<std::string> all = split(text.substr(skip, text.size() - skip - 1));
            ASSERT_EQ(all.size(), names.size()) << text;
            for (std::size_t i = 0; i < all.size(); ++i)
                if (names[i] != "flux1_wmean" && names[i] != "flux1_chi2dof")
                    cells.push_back(all[i]);
            const std::vector<double> want = expected_figures(records);
            ASSERT_EQ(cells.size(), want.size() + 1) << text;
            EXPECT_EQ(cells[0], "t.lc");
            for (std::size_t i = 0; i < want.size(); ++i) {
                SCOPED_TRACE("column " + std::to_string(i + 1) + ": " + cells[i + 1]);
                const double got = std::strtod(cells[i + 1].c_str(), nullptr);
                if (std::isnan(want[i]))
                    EXPECT_TRUE(std::isnan(got));
                else
                    EXPECT_EQ(from_bits<std::uint64_t>(got), from_bits<std::uint64_t>(want[i])) << want[i];
            }
        }
}
