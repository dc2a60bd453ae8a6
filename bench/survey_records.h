// Made-up measurements with the spread of a survey's light curves, shared by
// the benchmarks so that every one of them formats the same kind of numbers.
#ifndef LCDUMP_BENCH_SURVEY_RECORDS_H
#define LCDUMP_BENCH_SURVEY_RECORDS_H

#include <cmath>
#include <random>
#include <vector>

#include "lcdump.h"

// Many stars one after another, each a couple of thousand exposures, bright
// and faint, so fluxes run from tens to millions (some negative) and the
// lines have the mix of lengths a real dump has. Seeded: always the same.
inline std::vector<Measurement> survey_records(int count)
{
    std::mt19937_64 rng(20240401);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Measurement> records;
    records.reserve(static_cast<std::size_t>(count));
    double mean_flux = 0, jd = 0;
    for (int n = 0; n < count; ++n) {
        if (n % 2000 == 0) {
            mean_flux = std::pow(10.0, 1.0 + 5.0 * uniform(rng));
            jd = 2455197.5 + 1500.0 * uniform(rng);
        }
        jd += 0.0005 + 0.02 * uniform(rng);
        double sky = 150.0 + 150.0 * uniform(rng);
        double pix = 12.0 + 30.0 * uniform(rng);
        double err = std::sqrt(mean_flux + pix * sky);
        Measurement m;
        m.JD = jd;
        m.obsID = 3000000 + n;
        m.flux1 = static_cast<float>(mean_flux * (1.0 + 0.1 * std::sin(jd)) + err * gauss(rng));
        m.err1 = static_cast<float>(err);
        m.sky = static_cast<float>(sky);
        m.errs = static_cast<float>(std::sqrt(pix * sky));
        m.chisq1 = static_cast<float>(std::fabs(1.0 + 0.3 * gauss(rng)));
        m.nuse = static_cast<std::int32_t>(pix);
        m.effective_pix = static_cast<float>(pix);
        records.push_back(m);
    }
    return records;
}

#endif
