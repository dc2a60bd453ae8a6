#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>

#include "diagnostics.h"
#include "numtext.h"
#include "output.h"

const char STATS_HEADER[] =
    "file,records,nonfinite,jd_min,jd_max,flux1_median,flux1_mad,err1_median,sky_median,chisq1_median,nuse_min\n";

namespace {

// A double's bits made into an unsigned key that orders as the value does,
// with -0 before +0: selection on keys is plain integer comparison, as fast
// as it gets, and gives the same answer whatever the algorithm.
using Key = std::uint64_t;
const Key SIGN = Key(1) << 63;

Key key_of(double value)
{
    Key bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & SIGN) != 0 ? ~bits : bits | SIGN;
}

double value_of(Key key)
{
    const Key bits = (key & SIGN) != 0 ? key & ~SIGN : ~key;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The median of n keys, which it reorders.
double median(Key* keys, std::size_t n)
{
    if (n == 0)
        return std::numeric_limits<double>::quiet_NaN();
    Key* middle = keys + n / 2;
    std::nth_element(keys, middle, keys + n);
    const double upper = value_of(*middle);
    if (n % 2 == 1)
        return upper;
    // The lower middle is the greatest of the half before it.
    return (value_of(*std::max_element(keys, middle)) + upper) / 2;
}

// The name escaped as messages escape it, so that no byte of it can drive a
// terminal or break a reader's UTF-8 decoding; then CSV quotes it where it
// holds a separator or a quote (line ends are escaped already).
void put_name(std::string& row, const char* name)
{
    std::string shown;
    append_name(shown, name);
    if (shown.find_first_of(",\"") == std::string::npos) {
        row += shown;
        return;
    }
    row += '"';
    for (char c : shown) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}

template <class Number>
void put_number(std::string& row, Number value)
{
    char text[MAX_NUMBER_TEXT];
    char* end;
    if constexpr (std::is_integral<Number>::value)
        end = put_int(text, value);
    else
        end = put_shortest(text, value);
    row += ',';
    row.append(text, end);
}

}  // namespace

bool StatsWriter::record(const Measurement& m)
{
    if (!records_.append(m)) {
        out_of_memory_ = true;
        return false;
    }
    bool all_finite = true;
    for_each_field(m, [&](const FieldInfo&, auto value) {
        if constexpr (!std::is_integral<decltype(value)>::value)
            all_finite = all_finite && std::isfinite(value);
    });
    nonfinite_ += all_finite ? 0u : 1u;
    if (std::isfinite(m.JD)) {
        const Key jd = key_of(m.JD);
        jd_min_ = finite_jd_ == 0 ? jd : std::min(jd_min_, jd);
        jd_max_ = finite_jd_ == 0 ? jd : std::max(jd_max_, jd);
        ++finite_jd_;
    }
    nuse_min_ = count_++ == 0 ? m.nuse : std::min(nuse_min_, m.nuse);
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i)
        finite_[i] += std::isfinite(m.*MEDIAN_FIELDS[i]) ? 1u : 0u;
    return true;
}

bool StatsWriter::finish()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::size_t most = *std::max_element(finite_, finite_ + MEDIAN_COUNT);
    // One field's values at a time, in a buffer for the field with the most.
    Key* keys = static_cast<Key*>(std::malloc(std::max<std::size_t>(most, 1) * sizeof(Key)));
    if (keys == nullptr) {
        out_of_memory_ = true;
        return false;
    }
    double figures[MEDIAN_COUNT + 1];
    double* figure = figures;
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i) {
        float Measurement::*field = MEDIAN_FIELDS[i];
        std::size_t n = 0;
        records_.each([&](const Measurement& m) {
            if (std::isfinite(m.*field))
                keys[n++] = key_of(m.*field);
            return true;
        });
        const double middle = median(keys, n);
        *figure++ = middle;
        if (i == 0) {
            for (std::size_t k = 0; k < n; ++k)
                keys[k] = key_of(std::fabs(value_of(keys[k]) - middle));
            *figure++ = median(keys, n);
        }
    }
    std::free(keys);

    std::string row;
    try {
        if (header_)
            row = STATS_HEADER;
        put_name(row, name_);
        put_number(row, static_cast<std::int32_t>(count_));
        put_number(row, static_cast<std::int32_t>(nonfinite_));
        put_number(row, finite_jd_ > 0 ? value_of(jd_min_) : nan);
        put_number(row, finite_jd_ > 0 ? value_of(jd_max_) : nan);
        for (double value : figures)
            put_number(row, value);
        if (count_ > 0)
            put_number(row, nuse_min_);
        else
            put_number(row, nan);
        row += '\n';
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        return false;
    }
    return write_all(out_, row.data(), row.size()) && std::fflush(out_) == 0;
}
