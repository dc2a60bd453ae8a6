#include "periodogram.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "lombscargle.h"
#include "numtext.h"
#include "output.h"

bool PeriodogramWriter::record(const Measurement& m)
{
    if (!(std::isfinite(m.JD) && std::isfinite(m.flux1) && std::isfinite(m.err1) && m.err1 > 0))
        return true;
    out_of_memory_ = !curve_.keep(m);
    return !out_of_memory_;
}

bool PeriodogramWriter::finish()
{
    // The rows leave in blocks of about this many bytes.
    const std::size_t block = 1 << 16;
    try {
        const std::vector<double> t(curve_.jd.begin(), curve_.jd.end());
        const std::vector<double> y(curve_.flux.begin(), curve_.flux.end());
        const std::vector<double> dy(curve_.error.begin(), curve_.error.end());
        const Periodogram periodogram(LightCurve{t.data(), y.data(), dy.data(), t.size()});
        const std::vector<double> power = periodogram.powers();
        std::string text = "frequency,power\n";
        char number[MAX_NUMBER_TEXT];
        for (std::size_t k = 0; k < power.size(); ++k) {
            text.append(number, put_shortest(number, periodogram.grid().at(k)));
            text += ',';
            // A NaN's sign is the processor's: written as the one of none.
            const double value = std::isnan(power[k]) ? std::numeric_limits<double>::quiet_NaN() : power[k];
            text.append(number, put_shortest(number, value));
            text += '\n';
            if (text.size() >= block) {
                if (!write_all(out_, text.data(), text.size()))
                    return false;
                text.clear();
            }
        }
        return write_all(out_, text.data(), text.size()) && std::fflush(out_) == 0;
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        return false;
    }
}
