// Writes the bundled sample: a few hundred measurements of a pulsating star
// (an RR Lyrae-like light curve: fast rise, slow decline) observed on a
// string of nights, with photon noise, sky and seeing that vary night to night.
// The generator is seeded, so the same file comes out every time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

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

void put_u32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void put_f32(std::vector<unsigned char>& out, float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    put_u32(out, u);
}

void put_f64(std::vector<unsigned char>& out, double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    put_u32(out, static_cast<std::uint32_t>(u));
    put_u32(out, static_cast<std::uint32_t>(u >> 32));
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

    std::vector<unsigned char> records;
    std::int32_t count = 0;
    std::int32_t obsID = 100001;
    for (int night = 0; night < 40 && count < 320; ++night) {
        if (uniform(rng) < 0.2)
            continue;  // clouded out
        double sky = 180.0 + 60.0 * uniform(rng);
        double seeing = 2.0 + 1.5 * uniform(rng);
        double start = 2459000.5 + night + 0.05 + 0.1 * uniform(rng);
        int exposures = 6 + static_cast<int>(uniform(rng) * 6);
        for (int k = 0; k < exposures && count < 320; ++k, ++obsID, ++count) {
            double jd = start + k * 0.0208 + 0.002 * uniform(rng);
            double phase = std::fmod((jd - 2459000.5) / kPeriod, 1.0);
            double flux = kMeanFlux * (1.0 + kAmplitude * shape(phase));
            double pix = kPi * seeing * seeing * (1.0 + 0.05 * gauss(rng));
            double err = std::sqrt(flux + pix * sky);
            double measured = flux + err * gauss(rng);
            double chisq = std::fabs(1.0 + 0.3 * gauss(rng));
            put_f64(records, jd);
            put_u32(records, static_cast<std::uint32_t>(obsID));
            put_f32(records, static_cast<float>(measured));
            put_f32(records, static_cast<float>(err));
            put_f32(records, static_cast<float>(sky + 3.0 * gauss(rng)));
            put_f32(records, static_cast<float>(std::sqrt(pix * sky)));
            put_f32(records, static_cast<float>(chisq));
            put_u32(records, static_cast<std::uint32_t>(std::lround(pix)));
            put_f32(records, static_cast<float>(pix));
        }
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make_sample: can't write %s\n", argv[1]);
        return 8;
    }
    std::vector<unsigned char> header;
    put_u32(header, static_cast<std::uint32_t>(count));
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
              std::fwrite(records.data(), 1, records.size(), out) == records.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "make_sample: can't write %s\n", argv[1]);
        return 8;
    }
    return 0;
}
