// Writes the bundled sample: a few hundred measurements of a pulsating star
// (an RR Lyrae-like light curve: fast rise, slow decline) observed on a
// string of nights, with photon noise, sky and seeing that vary night to night.
// The generator is seeded, so the same file comes out every time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "lcfile.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kPeriod = 0.5667;     // days
const double kMeanFlux = 15000.0;  // counts
const double kAmplitude = 0.45;    // relative, peak to mean

// Asymmetric pulsation shape: a short rise to maximum then a long decline.
double shape(double phase)
{
    const double rise = 0.15;
    double y = phase < rise ? phase / rise : 1.0 - (phase - rise) / (1.0 - rise);
    return std::pow(y, 1.8) - 0.35 + 0.04 * std::sin(4 * kPi * phase);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT\n");
        return 8;
    }
    std::mt19937 rng(20200601);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    std::vector<Measurement> records;
    std::int32_t obsID = 100001;
    for (int night = 0; night < 40 && records.size() < 320; ++night) {
        if (uniform(rng) < 0.2)
            continue;  // clouded out
        double sky = 180.0 + 60.0 * uniform(rng);
        double seeing = 2.0 + 1.5 * uniform(rng);
        double start = 2459000.5 + night + 0.05 + 0.1 * uniform(rng);
        int exposures = 6 + static_cast<int>(uniform(rng) * 6);
        for (int k = 0; k < exposures && records.size() < 320; ++k, ++obsID) {
            double jd = start + k * 0.0208 + 0.002 * uniform(rng);
            double phase = std::fmod((jd - 2459000.5) / kPeriod, 1.0);
            double flux = kMeanFlux * (1.0 + kAmplitude * shape(phase));
            double pix = kPi * seeing * seeing * (1.0 + 0.05 * gauss(rng));
            double err = std::sqrt(flux + pix * sky);
            double measured = flux + err * gauss(rng);
            double chisq = std::fabs(1.0 + 0.3 * gauss(rng));
            double sky_measured = sky + 3.0 * gauss(rng);
            records.push_back({jd, obsID, static_cast<float>(measured), static_cast<float>(err),
                               static_cast<float>(sky_measured), static_cast<float>(std::sqrt(pix * sky)),
                               static_cast<float>(chisq), static_cast<std::int32_t>(std::lround(pix)),
                               static_cast<float>(pix)});
        }
    }

    if (!write_lc(argv[1], records)) {
        std::fprintf(stderr, "make_sample: can't write %s\n", argv[1]);
        return 8;
    }
    return 0;
}
