#include "summary.h"

#include <cmath>
#include <limits>
#include <new>

#include "diagnostics.h"
#include "numtext.h"
#include "output.h"
#include "summaryfits.h"

// clang-format off
const SummaryColumn SUMMARY_COLUMNS[15] = {
    {"records", &Summary::records, nullptr, nullptr, false},
    {"nonfinite", &Summary::nonfinite, nullptr, nullptr, false},
    {"jd_min", nullptr, &Summary::jd_min, "d", false},
    {"jd_max", nullptr, &Summary::jd_max, "d", false},
    {"flux1_median", nullptr, &Summary::flux1_median, nullptr, false},
    {"flux1_mad", nullptr, &Summary::flux1_mad, nullptr, false},
    {"flux1_wmean", nullptr, &Summary::flux1_wmean, nullptr, false},
    {"flux1_chi2dof", nullptr, &Summary::flux1_chi2dof, nullptr, false},
    {"err1_median", nullptr, &Summary::err1_median, nullptr, false},
    {"sky_median", nullptr, &Summary::sky_median, nullptr, false},
    {"chisq1_median", nullptr, &Summary::chisq1_median, nullptr, false},
    {"nuse_min", &Summary::nuse_min, nullptr, nullptr, false},
    {"period", nullptr, &Summary::period, "d", true},
    {"power", nullptr, &Summary::power, nullptr, true},
    {"fap", nullptr, &Summary::fap, nullptr, true},
};
// clang-format on

namespace {

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

}  // namespace

void append_value(std::string& out, const SummaryColumn& column, const Summary& summary)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    char text[MAX_NUMBER_TEXT];
    char* end;
    if (column.count == &Summary::nuse_min && !summary.has_nuse)
        end = put_shortest(text, nan);
    else if (column.count != nullptr)
        end = put_int(text, summary.*column.count);
    else
        end = put_shortest(text, std::isnan(summary.*column.figure) ? nan : summary.*column.figure);
    out.append(text, end);
}

std::string summary_header(bool period)
{
    std::string header = "file";
    for_each_summary_column(period, [&](const SummaryColumn& column) {
        header += ',';
        header += column.name;
    });
    return header + '\n';
}

SummaryTable::SummaryTable(std::FILE* out, const OutputForm& form, bool header_with_row)
    : out_(out),
      fits_(form.info->binary()),
      period_(form.period),
      header_with_row_(header_with_row)
{
}

bool SummaryTable::start()
{
    if (fits_)
        return true;
    std::string header;
    try {
        header = summary_header(period_);
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        return false;
    }
    return write_all(out_, header.data(), header.size()) && std::fflush(out_) == 0;
}

bool SummaryTable::add(const char* name, const Summary& figures)
{
    // A NaN that arithmetic made (0/0 of no records) has the sign each
    // processor gives it; every NaN is written as the one of no sign, so
    // that the table is the same bytes wherever it was made.
    Summary summary = figures;
    for (const SummaryColumn& column : SUMMARY_COLUMNS)
        if (column.figure != nullptr && std::isnan(summary.*column.figure))
            summary.*column.figure = std::numeric_limits<double>::quiet_NaN();
    std::string row;
    try {
        if (fits_) {
            rows_.push_back(Row{std::string(), summary});
            append_name(rows_.back().name, name);
            return true;
        }
        if (header_with_row_)
            row = summary_header(period_);
        header_with_row_ = false;
        put_name(row, name);
        for_each_summary_column(period_, [&](const SummaryColumn& column) {
            row += ',';
            append_value(row, column, summary);
        });
        row += '\n';
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        return false;
    }
    return write_all(out_, row.data(), row.size()) && std::fflush(out_) == 0;
}

bool SummaryTable::finish()
{
    if (!fits_)
        return true;
    return write_summary_fits(out_, rows_, period_, out_of_memory_);
}
