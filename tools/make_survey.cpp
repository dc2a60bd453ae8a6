// Writes a made-up survey: 300 stars of one field, from a hundred counts to a
// million, each measured on the frames of the season that cover it, with
// photon noise, sky and seeing that vary frame to frame. Most stars are
// steady, so that their scatter is the noise alone; ten vary (RR Lyrae-like
// and Cepheid-like pulsators, contact binaries) by 0.1 to 0.5 of their flux.
// The generator is seeded, so the same files come out every time.
//
//   make_survey DIR   writes DIR/star0001.lc ... DIR/star0300.lc and names
//                     the variable stars on standard output
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "lcfile.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kFirstNight = 2459400.5;  // JD
const int kStars = 300;
const int kVariables = 10;

// One exposure of the field; every star on it shares its time, sky and seeing.
struct Frame {
    double jd;
    std::int32_t obsID;
    double sky;     // counts per pixel
    double seeing;  // pixels
};

enum class Kind { steady, rr_lyrae, cepheid, contact_binary };

struct Star {
    Kind kind;
    double mean_flux;  // counts
    double period;     // days
    double amplitude;  // relative to the mean flux
    double epoch;      // JD of phase 0
};

const char* kind_name(Kind kind)
{
    switch (kind) {
    case Kind::rr_lyrae:
        return "pulsating, RR Lyrae-like";
    case Kind::cepheid:
        return "pulsating, Cepheid-like";
    case Kind::contact_binary:
        return "eclipsing, contact binary";
    case Kind::steady:
        break;
    }
    return "steady";
}

// The flux at jd relative to the mean: 1 for a steady star.
double relative_flux(const Star& star, double jd)
{
    if (star.kind == Kind::steady)
        return 1.0;
    double phase = (jd - star.epoch) / star.period;
    phase -= std::floor(phase);
    double x = 2 * kPi * phase;
    switch (star.kind) {
    case Kind::rr_lyrae: {
        // A sawtooth's first harmonics: a fast rise and a long decline.
        double wave = 0;
        for (int k = 1; k <= 5; ++k)
            wave += std::sin(k * x) / k;
        return 1.0 + star.amplitude * wave / (kPi / 2);
    }
    case Kind::cepheid:
        return 1.0 + star.amplitude * (0.85 * std::sin(x) + 0.15 * std::sin(2 * x));
    case Kind::contact_binary: {
        // Two minima a period, the second shallower.
        double depth = phase < 0.5 ? 1.0 : 0.8;
        return 1.0 - star.amplitude * depth * (1 - std::cos(2 * x)) / 2;
    }
    case Kind::steady:
        break;
    }
    return 1.0;
}

// The season: 80 nights, a quarter of them clouded out, three to eight
// exposures on each clear one.
std::vector<Frame> observe_season(std::mt19937& rng)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Frame> frames;
    std::int32_t obsID = 200001;
    for (int night = 0; night < 80; ++night) {
        if (uniform(rng) < 0.25)
            continue;
        double sky = 150.0 + 150.0 * uniform(rng);  // the moon comes and goes
        double start = kFirstNight + night + 0.05 + 0.1 * uniform(rng);
        int exposures = 3 + static_cast<int>(uniform(rng) * 6);
        for (int k = 0; k < exposures; ++k, ++obsID) {
            double jd = start + k * 0.06 + 0.004 * uniform(rng);
            frames.push_back({jd, obsID, sky * (0.95 + 0.1 * uniform(rng)), 1.8 + 1.7 * uniform(rng)});
        }
    }
    return frames;
}

// The stars, their mean fluxes spread evenly in log from 10^2 to 10^6 counts;
// the variables are placed at random among them, bright enough to stand out.
std::vector<Star> make_stars(std::mt19937& rng)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Star> stars;
    for (int i = 0; i < kStars; ++i)
        stars.push_back({Kind::steady, std::pow(10.0, 2.0 + 4.0 * uniform(rng)), 1.0, 0.0, kFirstNight});
    std::vector<int> order(kStars);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    const Kind kinds[] = {Kind::rr_lyrae, Kind::cepheid, Kind::contact_binary};
    for (int v = 0; v < kVariables; ++v) {
        Star& star = stars[static_cast<std::size_t>(order[static_cast<std::size_t>(v)])];
        star.kind = kinds[v % 3];
        star.mean_flux = std::pow(10.0, 3.5 + 2.0 * uniform(rng));
        star.amplitude = 0.1 + 0.4 * uniform(rng);
        if (star.kind == Kind::rr_lyrae)
            star.period = 0.45 + 0.3 * uniform(rng);
        else if (star.kind == Kind::cepheid)
            star.period = 3.0 + 9.0 * uniform(rng);
        else
            star.period = 0.25 + 0.2 * uniform(rng);
        star.epoch = kFirstNight + star.period * uniform(rng);
    }
    return stars;
}

// One star's light curve: the frames that cover it (a share of the season
// that differs from star to star, as the field's edges and gaps fall), each
// measurement with the noise of its flux and of the sky under its aperture.
std::vector<Measurement> measure(const Star& star, const std::vector<Frame>& frames, std::mt19937& rng)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    double coverage = 0.1 + 0.8 * uniform(rng);
    std::vector<Measurement> records;
    for (const Frame& frame : frames) {
        if (uniform(rng) >= coverage)
            continue;
        double flux = star.mean_flux * relative_flux(star, frame.jd);
        double pix = kPi * frame.seeing * frame.seeing * (1.0 + 0.05 * gauss(rng));
        double err = std::sqrt(flux + pix * frame.sky);
        double measured = flux + err * gauss(rng);
        double chisq = std::fabs(1.0 + 0.3 * gauss(rng));
        double sky_measured = frame.sky + 3.0 * gauss(rng);
        records.push_back({frame.jd, frame.obsID, static_cast<float>(measured), static_cast<float>(err),
                           static_cast<float>(sky_measured), static_cast<float>(std::sqrt(pix * frame.sky)),
                           static_cast<float>(chisq), static_cast<std::int32_t>(std::lround(pix)),
                           static_cast<float>(pix)});
    }
    return records;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_survey DIR\n");
        return 8;
    }
    std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "make_survey: can't make %s: %s\n", dir.c_str(), error.message().c_str());
        return 8;
    }

    std::mt19937 rng(20210701);
    std::vector<Frame> frames = observe_season(rng);
    std::vector<Star> stars = make_stars(rng);
    for (std::size_t i = 0; i < stars.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "star%04zu.lc", i + 1);
        std::string path = dir + "/" + name;
        if (!write_lc(path.c_str(), measure(stars[i], frames, rng))) {
            std::fprintf(stderr, "make_survey: can't write %s\n", path.c_str());
            return 8;
        }
        const Star& star = stars[i];
        if (star.kind != Kind::steady)
            std::printf("%s  %-26s  period %7.4f d  amplitude %.2f  mean flux %8.0f\n", name, kind_name(star.kind),
                        star.period, star.amplitude, star.mean_flux);
    }
    std::printf("%d stars from %zu frames in %s, %d of them variable\n", kStars, frames.size(), dir.c_str(),
                kVariables);
    return 0;
}
