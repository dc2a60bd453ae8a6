// Times lcdump against three reference dumps on one large measurement file,
// each with its output sent to /dev/null and piped into this process, and
// reports medians, the speed ratios and lcdump's peak memory against their
// targets. lcdump's -csv and -exact modes are timed too where the binary
// has them, as figures only, -fits against the text dump and cat, and
// -stats and -svg -fold against the text dump.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "measurement_file.h"
#include "survey_records.h"

#ifndef LCBENCH_COMPILER
#define LCBENCH_COMPILER "unknown compiler"
#endif
#ifndef LCBENCH_BUILD
#define LCBENCH_BUILD "unknown build"
#endif

namespace {

// The targets, all here so that tightening one is a one-line change. Speed
// limits are on ratios of median wall times.
namespace target {
constexpr double lcdump_over_to_chars_null = 0.80;   // at most, output to /dev/null
constexpr double lcdump_over_to_chars_piped = 0.92;  // at most, output piped
constexpr double iostream_over_lcdump_piped = 2.5;   // at least, output piped
constexpr double fits_over_lcdump_null = 0.15;       // at most, output to /dev/null
constexpr double stats_over_lcdump_null = 0.5;       // at most, output to /dev/null
constexpr double svg_fold_over_lcdump_null = 2.0;    // -svg -fold: at most, output to /dev/null
constexpr double svg_bytes = 1024 * 1024;            // -svg -fold: its picture, under this many bytes
constexpr double memory_per_record = 40;             // peak RSS: bytes a record ...
constexpr double memory_fixed = 8.0 * 1024 * 1024;   // ... plus this much
constexpr double stats_memory_per_record = 20;       // -stats: its four columns and one key each
constexpr double none = 0;                           // a figure shown without a limit
}  // namespace target

enum Sink { dev_null, piped, sink_count };
const char* const sink_names[sink_count] = {"to /dev/null", "piped"};

// What a program's output is checked against in the untimed round: printf's
// text, a line a record and one more, the input's bytes, a FITS file's size,
// a summary's header and row, or a picture of bounded size.
enum Text { printf_text, lcdump_mode, input_bytes, fits_table, summary_row, svg_picture };

struct Program {
    std::string name;
    std::vector<std::string> argv;
    Text text;
    std::string what;
};

// The programs' places in the table; lcdump's modes follow where it has them.
enum { lcdump, to_chars, write_floor, iostream, cat };

struct Run {
    double wall = 0;  // seconds
    double cpu = 0;   // user + system seconds of the program
    long max_rss_kib = 0;
    int status = -1;
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a of the output
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "lcbench: %s\n", message.c_str());
    std::exit(2);
}

void check_system(bool ok, const char* call)
{
    if (!ok)
        fail(std::string(call) + ": " + std::strerror(errno));
}

std::uint64_t fnv1a(std::uint64_t hash, const char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211ULL;
    return hash;
}

// Writes the data file, and its text as printf writes it to text_path for
// the write floor; returns the hash of that text, the reference every
// program's output must equal.
std::uint64_t write_data_files(const std::string& path, const std::string& text_path, int records)
{
    std::vector<Measurement> measurements = survey_records(records);
    write_file(path, encode_file(measurements));
    std::FILE* text = std::fopen(text_path.c_str(), "wb");
    check_system(text != nullptr, "fopen");
    char line[MAX_OUTPUT_LINE];
    std::uint64_t hash = Run().hash;
    auto put = [&](int length) {
        hash = fnv1a(hash, line, static_cast<std::size_t>(length));
        std::fwrite(line, 1, static_cast<std::size_t>(length), text);
    };
    put(std::snprintf(line, sizeof line, "%d\n", records));
    for (const Measurement& m : measurements)
        put(printf_line(m, line));
    check_system(std::fclose(text) == 0, "writing the text file");
    return hash;
}

void close_all(std::initializer_list<int> fds)
{
    for (int fd : fds)
        if (fd >= 0)
            ::close(fd);
}

pid_t fork_checked()
{
    pid_t pid = ::fork();
    check_system(pid >= 0, "fork");
    return pid;
}

// A child process that copies the file into the pipe and ends.
pid_t start_feeder(const std::string& path, int pipe_in[2], int pipe_out[2])
{
    pid_t pid = fork_checked();
    if (pid == 0) {
        close_all({pipe_in[0], pipe_out[0], pipe_out[1]});
        std::ifstream in(path, std::ios::binary);
        static char block[1 << 16];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            for (std::streamsize done = 0, n; done < in.gcount(); done += n)
                if ((n = ::write(pipe_in[1], block + done, static_cast<std::size_t>(in.gcount() - done))) <= 0)
                    ::_exit(1);
        ::_exit(0);
    }
    return pid;
}

// Runs the program with its standard output on /dev/null or on a pipe that
// this process drains, and with piped_input, if named, fed to its standard
// input through another pipe. Only a checked run hashes what it reads: the timed
// runs keep the reader as light as the end of a real pipeline.
Run run_once(const Program& program, Sink sink, bool checked, const std::string& piped_input = "")
{
    static const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    check_system(null_fd >= 0, "open /dev/null");
    // Close-on-exec: the program keeps only what is put on 0 and 1.
    int out[2] = {-1, -1}, in[2] = {-1, -1};
    check_system(sink != piped || ::pipe2(out, O_CLOEXEC) == 0, "pipe");
    check_system(piped_input.empty() || ::pipe2(in, O_CLOEXEC) == 0, "pipe");
    auto start = std::chrono::steady_clock::now();
    pid_t feeder = piped_input.empty() ? -1 : start_feeder(piped_input, in, out);
    pid_t pid = fork_checked();
    if (pid == 0) {
        ::dup2(sink == piped ? out[1] : null_fd, 1);
        if (in[0] >= 0)
            ::dup2(in[0], 0);
        std::vector<char*> argv;
        for (const std::string& a : program.argv)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    close_all({out[1], in[0], in[1]});

    Run run;
    static char buffer[1 << 16];
    while (sink == piped) {
        ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (checked) {
            run.hash = fnv1a(run.hash, buffer, static_cast<std::size_t>(got));
            run.lines += static_cast<std::uint64_t>(std::count(buffer, buffer + got, '\n'));
        }
        run.bytes += static_cast<std::uint64_t>(got);
    }
    close_all({out[0]});
    int wstatus = 0;
    struct rusage usage;
    check_system(::wait4(pid, &wstatus, 0, &usage) == pid, "wait4");
    if (feeder > 0)
        ::waitpid(feeder, nullptr, 0);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    run.max_rss_kib = usage.ru_maxrss;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return in ? one + " " + five + " " + fifteen : "unknown";
}

// Where the figures came from: the processor, how many cores, the kernel
// (which sets the cost of a system call).
std::string machine()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown processor";
    for (std::string line; std::getline(cpuinfo, line);)
        if (line.compare(0, 10, "model name") == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    struct utsname name;
    std::string kernel = ::uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : "unknown kernel";
    return model + ", " + std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + " cores online, " + kernel;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + word;
    return line;
}

// Prints one line of the verdict and returns whether it is met; a figure
// with no limit is met by definition.
bool report(const std::string& what, double value, const std::string& detail, double limit, bool at_most)
{
    std::printf("  %-34s %7.3f ", what.c_str(), value);
    if (limit == target::none) {
        std::printf("%s\n", detail.c_str());
        return true;
    }
    std::printf("%-22s", detail.c_str());
    const bool ok = at_most ? value <= limit : value >= limit;
    std::printf(" %s %.2f  %s\n", at_most ? "at most " : "at least", limit, ok ? "PASS" : "FAIL");
    return ok;
}

void usage()
{
    fail("usage: lcbench [--records N] [--runs R] [--data FILE] LCDUMP FLOOR_DUMP WRITE_FLOOR IOSTREAM_DUMP");
}

}  // namespace

int main(int argc, char** argv)
{
    int records = 1000000;
    int runs = 7;
    std::string data = "lcbench_data.lc";
    std::vector<std::string> binaries;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--records" || arg == "--runs" || arg == "--data") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--data")
                data = value;
            else
                (arg == "--records" ? records : runs) = std::atoi(value.c_str());
        } else if (!arg.empty() && arg[0] != '-') {
            binaries.push_back(arg);
        } else {
            usage();
        }
    }
    if (binaries.size() != 4 || records < 1 || runs < 1)
        usage();

    const std::string text = data + ".txt";
    const std::uint64_t printf_hash = write_data_files(data, text, records);
    std::vector<Program> programs = {
        {"lcdump", {binaries[0], "-in", data}, printf_text, "the program measured"},
        {"to_chars", {binaries[1], data}, printf_text, "floor: std::to_chars and one write a line"},
        {"write", {binaries[2], text}, printf_text, "floor: the text made beforehand, one write a line"},
        {"iostream", {binaries[3], data}, printf_text, "operator<< and std::endl"},
        {"cat", {"/bin/cat", data}, input_bytes, "the input's bytes copied: reading and writing alone"},
        {"-csv", {binaries[0], "-in", data, "-csv"}, lcdump_mode, "lcdump's mode, figures only"},
        {"-exact", {binaries[0], "-in", data, "-exact"}, lcdump_mode, "lcdump's mode, figures only"},
        {"-fits", {binaries[0], "-in", data, "-fits"}, fits_table, "lcdump's FITS table"},
        {"-stats", {binaries[0], "-in", data, "-stats"}, summary_row, "lcdump's summary row"},
        {"-svg -fold", {binaries[0], "-in", data, "-svg", "-fold", "0.7"}, svg_picture, "lcdump's picture, folded"},
    };
    // Two header blocks, then the rows padded to a whole block.
    const std::uint64_t fits_bytes = 2 * 2880 + (40 * std::uint64_t(records) + 2879) / 2880 * 2880;
    const std::uint64_t data_bytes = 4 + 40 * std::uint64_t(records);

    std::printf("lcdump benchmark: %d records (%s), %d rounds\n", records, data.c_str(), runs);
    std::printf("machine: %s\n", machine().c_str());
    std::printf("compiler: %s; build: %s\n", LCBENCH_COMPILER, LCBENCH_BUILD);
    std::printf("load average before: %s\n\n", load_average().c_str());

    // One untimed round warms the page cache and proves that the programs
    // write printf's bytes, so the timings compare equal, correct work. A
    // mode lcdump does not have is left out: an older lcdump ignores an
    // option it does not know and writes the default text.
    std::vector<std::uint64_t> piped_bytes;
    for (auto p = programs.begin(); p != programs.end();) {
        Run run = run_once(*p, piped, true);
        const bool default_text = run.status == 0 && run.hash == printf_hash;
        const bool mode = p->text != printf_text && p->text != input_bytes;
        if (mode && (run.status != 0 || default_text)) {
            std::printf("  %-9s left out: lcdump %s\n", p->name.c_str(),
                        run.status != 0 ? ("exits with status " + std::to_string(run.status)).c_str()
                                        : "writes the default text with it");
            p = programs.erase(p);
            continue;
        }
        if (run.status != 0 || (p->text == printf_text && !default_text))
            fail(p->name + " failed or wrote other text than printf's \"%f\" and \"%d\"");
        if (p->text == summary_row) {
            if (run.lines != 2)
                fail(p->name + " wrote " + std::to_string(run.lines) + " lines, not a header and a row");
        } else if (p->text == svg_picture) {
            if (run.bytes == 0 || run.bytes >= target::svg_bytes)
                fail(p->name + " wrote " + std::to_string(run.bytes) + " bytes, not a picture under 1 MiB");
        } else if (p->text == input_bytes || p->text == fits_table) {
            if (run.bytes != (p->text == fits_table ? fits_bytes : data_bytes))
                fail(p->name + " wrote " + std::to_string(run.bytes) + " bytes");
        } else if (run.lines != static_cast<std::uint64_t>(records) + 1) {
            fail(p->name + " wrote " + std::to_string(run.lines) + " lines");
        }
        std::printf("  %-9s %-50s %s\n", p->name.c_str(), p->what.c_str(), joined(p->argv).c_str());
        piped_bytes.push_back(run.bytes);
        ++p;
    }
    std::printf("output checked: printf's text, %llu bytes, from all but cat and -fits (their sizes), -stats"
                " (a header and a row), -svg -fold (under 1 MiB) and the modes (a line a record and one more)\n\n",
                static_cast<unsigned long long>(piped_bytes[lcdump]));

    // Alternating the programs spreads any change in the machine's load over
    // all of them instead of penalising whichever ran during it.
    const std::size_t n = programs.size();
    std::vector<std::vector<Run>> results(n * sink_count);  // [sink * n + program]
    std::printf("wall seconds a run%14s", "");
    for (const Program& p : programs)
        std::printf(" %8s", p.name.c_str());
    for (int r = 0; r < runs; ++r)
        for (int s = 0; s < sink_count; ++s) {
            if (s == 0)
                std::printf("\nround %-4d", r + 1);
            else
                std::printf("\n%10s", "");
            std::printf(" %-20s", sink_names[s]);
            for (std::size_t i = 0; i < n; ++i) {
                Run run = run_once(programs[i], Sink(s), false);
                if (run.status != 0 || (s == piped && run.bytes != piped_bytes[i]))
                    fail(programs[i].name + " failed or changed its output in round " + std::to_string(r + 1));
                results[s * n + i].push_back(run);
                std::printf(" %8.3f", run.wall);
                std::fflush(stdout);
            }
        }
    std::printf("\n");

    std::vector<double> wall(results.size()), cpu(results.size());
    std::vector<long> rss_kib(n, 0);  // the highest of each program's runs, both sinks
    for (std::size_t k = 0; k < results.size(); ++k) {
        std::vector<double> w, c;
        for (const Run& run : results[k]) {
            w.push_back(run.wall);
            c.push_back(run.cpu);
            rss_kib[k % n] = std::max(rss_kib[k % n], run.max_rss_kib);
        }
        wall[k] = median(w);
        cpu[k] = median(c);
    }

    // Where the input's size cannot be known beforehand the records must be
    // kept within the same memory.
    const Program from_pipe = {"lcdump", {binaries[0], "-in", "-"}, printf_text, ""};
    const Run stdin_run = run_once(from_pipe, piped, true, data);
    if (stdin_run.status != 0 || stdin_run.hash != printf_hash)
        fail("lcdump with its input piped failed or wrote other output");
    // The summary from a pipe grows its columns as the records come, with
    // no size to go by.
    const Program stats_from_pipe = {"-stats", {binaries[0], "-in", "-", "-stats"}, summary_row, ""};
    Run stats_stdin_run;
    if (std::any_of(programs.begin(), programs.end(), [](const Program& p) { return p.text == summary_row; })) {
        stats_stdin_run = run_once(stats_from_pipe, piped, true, data);
        if (stats_stdin_run.status != 0 || stats_stdin_run.lines != 2)
            fail("-stats with its input piped failed or wrote other than a header and a row");
    }

    std::printf("\nmedians of %d runs, seconds   %-18s %-18s peak rss\n", runs, sink_names[dev_null],
                sink_names[piped]);
    std::printf("%-30s %8s %8s   %8s %8s\n", "", "wall", "cpu", "wall", "cpu");
    for (std::size_t i = 0; i < n; ++i)
        std::printf("  %-28s %8.3f %8.3f   %8.3f %8.3f   %6.1f MiB\n", programs[i].name.c_str(), wall[i], cpu[i],
                    wall[n + i], cpu[n + i], static_cast<double>(rss_kib[i]) / 1024);
    std::printf("  %-28s %8s %8s   %8.3f %8.3f   %6.1f MiB  (one run)\n", "lcdump, input piped", "", "", stdin_run.wall,
                stdin_run.cpu, static_cast<double>(stdin_run.max_rss_kib) / 1024);
    if (stats_stdin_run.status == 0)
        std::printf("  %-28s %8s %8s   %8.3f %8.3f   %6.1f MiB  (one run)\n", "-stats, input piped", "", "",
                    stats_stdin_run.wall, stats_stdin_run.cpu, static_cast<double>(stats_stdin_run.max_rss_kib) / 1024);

    // Ratio of two programs' median wall times to one sink, CPU times beside.
    auto ratio = [&](std::size_t a, std::size_t b, int s, double limit, bool at_most) {
        char cpu_ratio[32];
        std::snprintf(cpu_ratio, sizeof cpu_ratio, "(cpu %.3f)", cpu[s * n + a] / cpu[s * n + b]);
        return report(programs[a].name + " / " + programs[b].name + ", " + sink_names[s],
                      wall[s * n + a] / wall[s * n + b], cpu_ratio, limit, at_most);
    };
    std::printf("\nratios of median wall times, and targets:\n");
    bool all = ratio(lcdump, to_chars, dev_null, target::lcdump_over_to_chars_null, true);
    all &= ratio(lcdump, to_chars, piped, target::lcdump_over_to_chars_piped, true);
    // Figure only: the stdio line path alone takes most of 1.5.
    all &= ratio(lcdump, write_floor, dev_null, target::none, true);
    all &= ratio(lcdump, write_floor, piped, target::none, true);
    all &= ratio(iostream, lcdump, dev_null, target::none, false);
    all &= ratio(iostream, lcdump, piped, target::iostream_over_lcdump_piped, false);
    // lcdump's forms come after the five fixed programs, where it has them.
    auto form = [&](Text kind) {
        for (std::size_t i = cat + 1; i < n; ++i)
            if (programs[i].text == kind)
                return i;
        return std::size_t(0);
    };
    const std::size_t fits = form(fits_table);
    if (fits != 0) {
        all &= ratio(fits, lcdump, dev_null, target::fits_over_lcdump_null, true);
        all &= ratio(fits, cat, dev_null, target::none, true);
        all &= ratio(fits, cat, piped, target::none, true);
    }
    const std::size_t stats = form(summary_row);
    if (stats != 0) {
        all &= ratio(stats, lcdump, dev_null, target::stats_over_lcdump_null, true);
        all &= ratio(stats, lcdump, piped, target::none, true);
    }
    const std::size_t svg = form(svg_picture);
    if (svg != 0)
        all &= ratio(svg, lcdump, dev_null, target::svg_fold_over_lcdump_null, true);

    const double budget_mib = (target::memory_per_record * records + target::memory_fixed) / 1048576;
    auto memory = [&](const char* what, long kib, double limit) {
        const double bytes = 1024.0 * static_cast<double>(kib);
        return report(what, bytes / 1048576, "MiB = " + std::to_string(int(bytes / records + 0.5)) + " B/record", limit,
                      true);
    };
    std::printf("peak memory of lcdump (budget: %g B/record + %g MiB):\n", target::memory_per_record,
                target::memory_fixed / 1048576);
    all &= memory("input from a file", rss_kib[lcdump], budget_mib);
    all &= memory("input piped", stdin_run.max_rss_kib, budget_mib);
    if (fits != 0)
        all &= memory("-fits", rss_kib[fits], budget_mib);
    // The summary holds four float columns and, at the end, one 32-bit key
    // a record: half the records' 40 bytes, with the same fixed allowance.
    const double stats_budget_mib = (target::stats_memory_per_record * records + target::memory_fixed) / 1048576;
    if (stats != 0) {
        all &= memory("-stats", rss_kib[stats], stats_budget_mib);
        all &= memory("-stats, input piped", stats_stdin_run.max_rss_kib, stats_budget_mib);
    }

    std::printf("load average after: %s\n", load_average().c_str());
    std::printf("%s\n", all ? "all targets met" : "some targets missed");
    return all ? 0 : 1;
}
