// A light curve in one summary row: its record count, how many records hold
// a value that is not finite, the JD range, robust figures of flux1, err1,
// sky and chisq1, how much flux1 varies beyond its errors, the least nuse,
// and on request its Lomb-Scargle period, so that a survey fits in one table.
#ifndef LCDUMP_STATS_H
#define LCDUMP_STATS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "forms.h"
#include "lombscargle.h"
#include "measurement.h"
#include "summary.h"

// The fields whose medians are figures, each with its figure; flux1's MAD
// follows from its median, and flux1 and err1 weigh the flux.
struct MedianField {
    float Measurement::*field;
    double Summary::*median;
};
constexpr MedianField MEDIAN_FIELDS[] = {{&Measurement::flux1, &Summary::flux1_median},
                                         {&Measurement::err1, &Summary::err1_median},
                                         {&Measurement::sky, &Summary::sky_median},
                                         {&Measurement::chisq1, &Summary::chisq1_median}};
constexpr std::size_t MEDIAN_COUNT = sizeof MEDIAN_FIELDS / sizeof MEDIAN_FIELDS[0];

// One field's values in record order, in memory from malloc that grows by
// half as they arrive: nothing is reserved for records not yet read, so a
// header that lies about the count costs nothing, and running out is a false
// return, never an exception. Where realloc must copy, each value is copied
// about three times in all; glibc moves a large block by remapping its pages
// instead, and a page not yet written is never resident.
template <class T>
class Column {
public:
    Column() = default;
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    ~Column() { std::free(values_); }

    // False when there was no memory for the value.
    bool append(T value)
    {
        if (size_ == capacity_ && !grow())
            return false;
        values_[size_++] = value;
        return true;
    }
    const T* begin() const { return values_; }
    const T* end() const { return values_ + size_; }
    std::size_t size() const { return size_; }

private:
    bool grow()
    {
        const std::size_t most = std::numeric_limits<std::size_t>::max() / sizeof(T);
        if (capacity_ > most / 3 * 2)
            return false;
        const std::size_t capacity = capacity_ == 0 ? first_capacity : capacity_ + capacity_ / 2;
        void* grown = std::realloc(values_, capacity * sizeof(T));
        if (grown == nullptr)
            return false;
        values_ = static_cast<T*>(grown);
        capacity_ = capacity;
        return true;
    }

    static const std::size_t first_capacity = 1024;
    T* values_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// JD, flux1 and err1 of the records a writer takes, 16 bytes each.
struct KeptCurve {
    Column<double> jd;
    Column<float> flux;
    Column<float> error;

    // False when there was no memory to keep the record.
    bool keep(const Measurement& m) { return jd.append(m.JD) && flux.append(m.flux1) && error.append(m.err1); }
};

// A writer (see forms.h) of one summary row, handed to the table at
// finish(). Each figure leaves out the records where its field is not
// finite, and is NaN where none is left. A median is the middle value, or
// for an even count the mean of the two middle ones computed in double;
// flux1_mad is the median of the distances of flux1 from its median.
// flux1_wmean and flux1_chi2dof take the records whose flux1 and err1 are
// finite and err1 positive: the mean weighted by 1/err1², and the sum of
// ((flux1 - flux1_wmean) / err1)² over one less than their count, NaN for
// fewer than two; each sum is compensated, as good as one rounded once. The
// period search takes the records whose JD is finite too.
//
// It holds only the fields of the medians, one column each (16 bytes a
// record), and JD for the period search; the other figures are kept up to
// date as the records arrive. At finish() one buffer of 32-bit keys, as long
// as the records, takes each field's finite values in turn for the
// selection.
class StatsWriter {
public:
    // name is the input as given, for the row's first column; the row joins
    // table, with the period search's columns where period.
    StatsWriter(SummaryTable& table, const char* name, bool period) : table_(&table), name_(name), period_(period) {}
    explicit StatsWriter(const DumpTarget& target) : StatsWriter(*target.form.table, target.name, target.form.period) {}
    // For a caller that takes the figures itself, with summarise(), and
    // has searched for the period already.
    StatsWriter() : table_(nullptr), name_(nullptr), period_(false) {}

    bool begin(std::int32_t) { return true; }
    // False when there was no memory to keep the record.
    bool record(const Measurement& m);
    // False when there was no memory for a field's values or the output
    // could not take the row.
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }
    // The row's figures into summary, the period search's from found where
    // it is given; false when there was no memory for them.
    bool summarise(Summary& summary, const PeriodSearch* found);

private:
    void weigh_flux(Summary& summary) const;
    bool search_period(Summary& summary);

    SummaryTable* table_;
    const char* name_;
    bool period_;
    bool out_of_memory_ = false;
    // MEDIAN_FIELDS' values, a column each, in that order.
    Column<float> columns_[MEDIAN_COUNT];
    // JD, for the period search only.
    Column<double> jd_;
    std::size_t count_ = 0;
    std::size_t nonfinite_ = 0;
    // The least and greatest finite JD, as keys that order as the values
    // do, -0 before +0.
    std::size_t finite_jd_ = 0;
    std::uint64_t jd_min_ = 0;
    std::uint64_t jd_max_ = 0;
    std::int32_t nuse_min_ = 0;
};

#endif
