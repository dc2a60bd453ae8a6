// The summary table: one row of figures per light curve, its columns stated
// once, written as CSV row by row as the inputs are read, or held and
// written whole as a FITS table at the end.
#ifndef LCDUMP_SUMMARY_H
#define LCDUMP_SUMMARY_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "forms.h"

// The figures of one light curve. A figure with nothing to be taken from is
// NaN; nuse_min has no value for a file of no records.
struct Summary {
    std::int32_t records = 0;
    std::int32_t nonfinite = 0;
    double jd_min = 0;
    double jd_max = 0;
    double flux1_median = 0;
    double flux1_mad = 0;
    double flux1_wmean = 0;
    double flux1_chi2dof = 0;
    double err1_median = 0;
    double sky_median = 0;
    double chisq1_median = 0;
    bool has_nuse = false;
    std::int32_t nuse_min = 0;
    double period = 0;
    double power = 0;
    double fap = 0;
};

// A column after the file's name: a count, a figure, or the least nuse,
// which a file of no records lacks.
struct SummaryColumn {
    const char* name;
    std::int32_t Summary::*count;
    double Summary::*figure;
    // Its FITS unit, or null.
    const char* unit;
    // Only with the period search.
    bool period;
};
extern const SummaryColumn SUMMARY_COLUMNS[15];

// Calls visit(const SummaryColumn&) for each column of a summary with or
// without the period search's, in order.
template <class Visit>
void for_each_summary_column(bool period, Visit visit)
{
    for (const SummaryColumn& column : SUMMARY_COLUMNS)
        if (period || !column.period)
            visit(column);
}

// A column's value in the shortest text that reads back to it, every NaN
// as the one of no sign; the least nuse of no records is NaN, as a figure
// of nothing is.
void append_value(std::string& out, const SummaryColumn& column, const Summary& summary);

// The CSV header row, newline included.
std::string summary_header(bool period);

// The rows of one run. A CSV table writes each row as it comes; a FITS table
// keeps the names and figures, never the records, and writes at finish().
// Every call returns false on failure, with out_of_memory() telling whether
// memory ran out or the output failed (errno).
class SummaryTable {
public:
    // With header_with_row, a CSV table's header goes out with its first
    // row, in the same write, and start() is not called.
    SummaryTable(std::FILE* out, const OutputForm& form, bool header_with_row = false);

    // The CSV header row; nothing for FITS, whose header waits for the rows.
    bool start();
    bool add(const char* name, const Summary& summary);
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }

    struct Row {
        std::string name;
        Summary summary;
    };

private:
    std::FILE* out_;
    bool fits_;
    bool period_;
    bool header_with_row_;
    bool out_of_memory_ = false;
    std::vector<Row> rows_;
};

#endif
