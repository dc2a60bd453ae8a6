#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "compensated.h"
#include "lombscargle.h"

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

// Where the weighted figures may take a record's flux1 and err1.
bool weighable(double flux, double error)
{
    return std::isfinite(flux) && std::isfinite(error) && error > 0;
}

}  // namespace

bool StatsWriter::record(const Measurement& m)
{
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i)
        if (!columns_[i].append(m.*MEDIAN_FIELDS[i].field)) {
            out_of_memory_ = true;
            return false;
        }
    if (period_ && !jd_.append(m.JD)) {
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

void StatsWriter::weigh_flux(Summary& summary) const
{
    // The products are doubles, as a float's square would round.
    const float* flux = columns_[0].begin();
    const float* error = columns_[1].begin();
    CompensatedSum weights;
    CompensatedSum weighted;
    std::size_t n = 0;
    for (std::size_t i = 0; i < count_; ++i)
        if (weighable(flux[i], error[i])) {
            const double e = error[i];
            const double w = 1 / (e * e);
            weights.add(w);
            weighted.add(w * flux[i]);
            ++n;
        }
    const double mean = weighted.value() / weights.value();
    CompensatedSum squares;
    for (std::size_t i = 0; i < count_; ++i)
        if (weighable(flux[i], error[i])) {
            const double deviation = (flux[i] - mean) / error[i];
            squares.add(deviation * deviation);
        }
    summary.flux1_wmean = mean;
    summary.flux1_chi2dof =
        n >= 2 ? squares.value() / static_cast<double>(n - 1) : std::numeric_limits<double>::quiet_NaN();
}

bool StatsWriter::finish()
{
    Summary summary;
    if (!summarise(summary, nullptr))
        return false;
    if (table_->add(name_, summary))
        return true;
    out_of_memory_ = table_->out_of_memory();
    return false;
}

bool StatsWriter::summarise(Summary& summary, const PeriodSearch* found)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // One field's finite values at a time, the columns left in record order.
    FloatKey* keys = nullptr;
    if (count_ > 0 && (keys = static_cast<FloatKey*>(std::malloc(count_ * sizeof(FloatKey)))) == nullptr) {
        out_of_memory_ = true;
        return false;
    }
    for (std::size_t i = 0; i < MEDIAN_COUNT; ++i) {
        std::size_t n = 0;
        for (float value : columns_[i])
            if (std::isfinite(value))
                keys[n++] = key_of(value);
        const double middle = median(keys, n, widened, std::less<FloatKey>());
        summary.*MEDIAN_FIELDS[i].median = middle;
        if (i == 0) {
            // Distances are taken in double, where a float's would round;
            // as none is negative or -0, they order as plain doubles do.
            auto distance = [middle](FloatKey key) { return std::fabs(widened(key) - middle); };
            summary.flux1_mad =
                median(keys, n, distance, [&](FloatKey a, FloatKey b) { return distance(a) < distance(b); });
        }
    }
    std::free(keys);
    weigh_flux(summary);
    summary.records = static_cast<std::int32_t>(count_);
    summary.nonfinite = static_cast<std::int32_t>(nonfinite_);
    summary.jd_min = finite_jd_ > 0 ? value_of<double>(jd_min_) : nan;
    summary.jd_max = finite_jd_ > 0 ? value_of<double>(jd_max_) : nan;
    summary.has_nuse = count_ > 0;
    summary.nuse_min = nuse_min_;
    if (found != nullptr) {
        summary.period = found->period;
        summary.power = found->power;
        summary.fap = found->fap;
    } else if (period_ && !search_period(summary)) {
        out_of_memory_ = true;
        return false;
    }
    return true;
}

bool StatsWriter::search_period(Summary& summary)
{
    try {
        std::vector<double> t, y, dy;
        const float* flux = columns_[0].begin();
        const float* error = columns_[1].begin();
        const double* jd = jd_.begin();
        for (std::size_t i = 0; i < count_; ++i)
            if (weighable(flux[i], error[i]) && std::isfinite(jd[i])) {
                t.push_back(jd[i]);
                y.push_back(flux[i]);
                dy.push_back(error[i]);
            }
        const PeriodSearch found = ::search_period(LightCurve{t.data(), y.data(), dy.data(), t.size()});
        summary.period = found.period;
        summary.power = found.power;
        summary.fap = found.fap;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
