// Cost of turning one record's 40 bytes into its text line: lcdump's decoder
// and formatter against plain std::to_chars and against snprintf.
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "lcdump.h"
#include "measurement_file.h"
#include "survey_records.h"
#include "to_chars_line.h"

namespace {

// Enough different records that the branch predictor cannot learn them.
const std::string& record_bytes()
{
    static const std::string bytes = encode_file(survey_records(4096)).substr(COUNT_BYTES);
    return bytes;
}

template <class FormatLine>
void format_lines(benchmark::State& state, FormatLine format_line)
{
    const auto* records = reinterpret_cast<const unsigned char*>(record_bytes().data());
    const std::size_t count = record_bytes().size() / RECORD_BYTES;
    char line[MAX_OUTPUT_LINE];
    std::size_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(format_line(records + RECORD_BYTES * n, line));
        benchmark::ClobberMemory();
        n = n + 1 == count ? 0 : n + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_lcdump_line(benchmark::State& state)
{
    format_lines(state, [](const unsigned char* r, char* line) { return format_record(decode_record(r), line); });
}

void BM_to_chars_line(benchmark::State& state)
{
    format_lines(state, [](const unsigned char* r, char* line) { return to_chars_line::format(r, line); });
}

void BM_snprintf_line(benchmark::State& state)
{
    format_lines(state, [](const unsigned char* r, char* line) { return printf_line(decode_record(r), line); });
}

}  // namespace

BENCHMARK(BM_lcdump_line);
BENCHMARK(BM_to_chars_line);
BENCHMARK(BM_snprintf_line);
BENCHMARK_MAIN();
