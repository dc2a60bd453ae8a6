// A writer (see forms.h) of a light curve's picture as an SVG document:
// flux1 with its errors against JD, the same folded at the star's period,
// and the periodogram with its peak marked; or, folded at a period given,
// the first two alone.
#ifndef LCDUMP_SVGPICTURE_H
#define LCDUMP_SVGPICTURE_H

#include <cstdint>
#include <cstdio>

#include "forms.h"
#include "measurement.h"
#include "stats.h"

// It keeps JD, flux1 and err1 of the records whose three are finite, 16
// bytes each, and writes at finish(). Above a few thousand records each
// panel draws one mark per occupied pixel, spanning its records' error
// bars, so that the picture's size is bounded whatever the count. Where
// the form has a summary to fill, the records' figures are taken too.
class SvgWriter {
public:
    explicit SvgWriter(const DumpTarget& target) : out_(target.out), name_(target.name), form_(target.form) {}

    bool begin(std::int32_t) { return true; }
    // False when there was no memory to keep the record.
    bool record(const Measurement& m);
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }

private:
    std::FILE* out_;
    const char* name_;
    const OutputForm& form_;
    bool out_of_memory_ = false;
    std::uint64_t records_ = 0;
    KeptCurve curve_;
    // The summary's figures, where the form asks for them.
    StatsWriter figures_;
};

#endif
