#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
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

// A value's bits made into an unsigned key that orders as the value does,
// with -0 before +0: selection on keys is plain integer comparison, as fast
// as it gets, and gives the same answer whatever the algorithm. A float's
// key is half as wide as a double's, so that the keys of a field take as
// much memory as its values.
template <class T>
BitsOf<T> key_of(T value)
{
    using Key = BitsOf<T>;
    const Key sign = Key(1) << (8 * sizeof(Key) - 1);
    Key bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & sign) != 0 ? ~bits : bits | sign;
}

template <class T>
T value_of(BitsOf<T> key)
{
    using Key = BitsOf<T>;
    const Key sign = Key(1) << (8 * sizeof(Key) - 1);
    const Key bits = (key & sign) != 0 ? key & ~sign : ~key;
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

using FloatKey = BitsOf<float>;

double widened(FloatKey key)
{
    return static_cast<double>(value_of<float>(key));
}

// The median of the figures of n keys, which it reorders: figure gives a
// key's figure in double, and less is a strict order of the keys in which
// the figures never decrease. For an even count it is the mean of the two
// middle figures, in double.
template <class Figure, class Less>
double median(FloatKey* keys, std::size_t n, Figure figure, Less less)
{
    if (n == 0)
        return std::numeric_limits<double>::quiet_NaN();
    FloatKey* middle = keys + n / 2;
    std::nth_element(keys, middle, keys + n, less);
    const double upper = figure(*middle);
    if (n % 2 == 1)
        return upper;
    // The lower middle is the greatest of the half before it.
    return (figure(*std::max_element(keys, middle, less)) + upper) / 2;
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
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i)
        if (!columns_[i].append(m.*MEDIAN_FIELDS[i])) {
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
        const std::uint64_t jd = key_of(m.JD);
        jd_min_ = finite_jd_ == 0 ? jd : std::min(jd_min_, jd);
        jd_max_ = finite_jd_ == 0 ? jd : std::max(jd_max_, jd);
        ++finite_jd_;
    }
    nuse_min_ = count_++ == 0 ? m.nuse : std::min(nuse_min_, m.nuse);
    return true;
}

bool StatsWriter::finish()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // One field's finite values at a time, the columns left in record order.
    FloatKey* keys = nullptr;
    if (count_ > 0 && (keys = static_cast<FloatKey*>(std::malloc(count_ * sizeof(FloatKey)))) == nullptr) {
        out_of_memory_ = true;
        return false;
    }
    double figures[MEDIAN_COUNT + 1];
    double* figure = figures;
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i) {
        std::size_t n = 0;
        for (float value : columns_[i])
            if (std::isfinite(value))
                keys[n++] = key_of(value);
        const double middle = median(keys, n, widened, std::less<FloatKey>());
        *figure++ = middle;
        if (i == 0) {
            // Distances are taken in double, where a float's would round;
            // as none is negative or -0, they order as plain doubles do.
            auto distance = [middle](FloatKey key) { return std::fabs(widened(key) - middle); };
            *figure++ = median(keys, n, distance, [&](FloatKey a, FloatKey b) { return distance(a) < distance(b); });
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
        put_number(row, finite_jd_ > 0 ? value_of<double>(jd_min_) : nan);
        put_number(row, finite_jd_ > 0 ? value_of<double>(jd_max_) : nan);
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
