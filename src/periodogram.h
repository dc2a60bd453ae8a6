// A writer (see forms.h) of a light curve's whole Lomb-Scargle periodogram
// as CSV: frequency in cycles a day and power, a row for each frequency
// that the period search tries.
#ifndef LCDUMP_PERIODOGRAM_H
#define LCDUMP_PERIODOGRAM_H

#include <cstdint>
#include <cstdio>

#include "forms.h"
#include "measurement.h"
#include "stats.h"

// It keeps JD, flux1 and err1 of the records the search takes (those whose
// three are finite and err1 positive), 16 bytes each, and writes at
// finish(): the header alone where the search has no frequencies.
class PeriodogramWriter {
public:
    explicit PeriodogramWriter(const DumpTarget& target) : out_(target.out) {}

    bool begin(std::int32_t) { return true; }
    // False when there was no memory to keep the record.
    bool record(const Measurement& m);
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }

private:
    std::FILE* out_;
    bool out_of_memory_ = false;
    KeptCurve curve_;
};

#endif
