// Cost of the non-uniform sums at the sizes of a periodogram on the automatic
// frequency grid, m = 12.5 n: one sum alone, and the three a generalised
// Lomb-Scargle periodogram needs (two at x, one at 2x) through one kept
// NonuniformSums.
#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "nufft.h"

namespace {

struct Problem {
    std::vector<double> x, twice_x, c_re, c_im, out_re, out_im;
    std::size_t n, m;
    explicit Problem(std::size_t points) : n(points), m(points * 25 / 2)
    {
        std::mt19937_64 rng(1);
        std::uniform_real_distribution<double> unit(0, 1);
        for (std::size_t j = 0; j < n; ++j) {
            x.push_back(0.8 * 3.141592653589793 * unit(rng));
            twice_x.push_back(2 * x.back());
            c_re.push_back(unit(rng));
            c_im.push_back(0);
        }
        out_re.resize(m);
        out_im.resize(m);
    }
};

void one_sum(benchmark::State& state)
{
    Problem p(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        nonuniform_sums(p.x.data(), p.c_re.data(), p.c_im.data(), p.n, p.m, p.out_re.data(), p.out_im.data());
        benchmark::DoNotOptimize(p.out_re.data());
    }
}

void three_sums_kept(benchmark::State& state)
{
    Problem p(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        NonuniformSums sums;
        for (const std::vector<double>* x : {&p.x, &p.x, &p.twice_x})
            sums.sums(x->data(), p.c_re.data(), p.c_im.data(), p.n, p.m, p.out_re.data(), p.out_im.data());
        benchmark::DoNotOptimize(p.out_re.data());
    }
}

}  // namespace

BENCHMARK(one_sum)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(three_sums_kept)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
