// The summary table as a FITS binary table: one row per light curve, the
// name as a string column as wide as the longest, counts as integers and
// figures as doubles, with the HISTORY card and checksums.
#ifndef LCDUMP_SUMMARYFITS_H
#define LCDUMP_SUMMARYFITS_H

#include <cstdio>
#include <vector>

#include "summary.h"

// Writes the primary header and the table of rows (with the period search's
// columns where period) to out. False on failure, out_of_memory set where
// memory ran out, else the output failed (errno).
bool write_summary_fits(std::FILE* out, const std::vector<SummaryTable::Row>& rows, bool period, bool& out_of_memory);

#endif
