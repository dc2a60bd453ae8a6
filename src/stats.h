// A light curve in one CSV row: its record count, how many records hold a
// value that is not finite, the JD range, robust figures of flux1, err1, sky
// and chisq1, and the least nuse, so that a survey fits in one table.
#ifndef LCDUMP_STATS_H
#define LCDUMP_STATS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "forms.h"
#include "measurement.h"

// The header row of the summary table, newline included.
extern const char STATS_HEADER[];

// The fields whose medians are columns, in column order; flux1's MAD
// follows its median.
constexpr float Measurement::*MEDIAN_FIELDS[] = {&Measurement::flux1, &Measurement::err1, &Measurement::sky,
                                                 &Measurement::chisq1};
constexpr std::size_t MEDIAN_COUNT = sizeof MEDIAN_FIELDS / sizeof MEDIAN_FIELDS[0];

// A writer (see forms.h) of one summary row, written at finish(). Each
// figure leaves out the records where its field is not finite, and is NaN
// where none is left. A median is the middle value, or for an even count
// the mean of the two middle ones computed in double; flux1_mad is the
// median of the distances of flux1 from its median. Numbers are written in
// the shortest text that reads back to the double computed.
class StatsWriter {
public:
    // name is the input as given, for the row's first column; with header,
    // the header row goes out with the row, in the same write.
    StatsWriter(std::FILE* out, const char* name, bool header) : out_(out), name_(name), header_(header) {}
    explicit StatsWriter(const DumpTarget& target) : StatsWriter(target.out, target.name, target.form.table_header) {}

    bool begin(std::int32_t) { return true; }
    // False when there was no memory to keep the record.
    bool record(const Measurement& m);
    // False when there was no memory for a field's values or the output
    // could not take the row.
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }

private:
    std::FILE* out_;
    const char* name_;
    bool header_;
    bool out_of_memory_ = false;
    FieldArrays records_;
    std::size_t count_ = 0;
    std::size_t nonfinite_ = 0;
    // The least and greatest finite JD, as keys that order as the values
    // do, -0 before +0.
    std::size_t finite_jd_ = 0;
    std::uint64_t jd_min_ = 0;
    std::uint64_t jd_max_ = 0;
    std::int32_t nuse_min_ = 0;
    // How many finite values each median has to choose from.
    std::size_t finite_[MEDIAN_COUNT] = {};
};

#endif
