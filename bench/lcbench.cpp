// Times lcdump against the two reference dumps on one large measurement file,
// with each program's output piped into this process, and reports medians,
// the speed ratios and lcdump's peak memory against their targets.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "measurement_file.h"
#include "survey_records.h"

namespace {

struct Program {
    std::string label;
    std::vector<std::string> argv;
    std::string piped_input;  // a file fed to standard input through a pipe
};

struct Run {
    double wall = 0;      // seconds
    double cpu = 0;       // user + system seconds of the program
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

std::uint64_t fnv1a(std::uint64_t hash, const char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 1099511628211ULL;
    return hash;
}

// Writes the data file and returns the hash of its text as printf writes it,
// the reference every program's output must equal.
std::uint64_t write_data_file(const std::string& path, int records)
{
    std::vector<Measurement> measurements = survey_records(records);
    write_file(path, encode_file(measurements));
    char line[MAX_LINE_LENGTH];
    std::uint64_t hash = Run().hash;
    hash = fnv1a(hash, line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%d\n", records)));
    for (const Measurement& m : measurements) {
        int length = printf_line(m, line);
        hash = fnv1a(hash, line, static_cast<std::size_t>(length));
    }
    return hash;
}

// A child process that copies the file into the pipe and ends.
pid_t start_feeder(const std::string& path, int pipe_in[2], int pipe_out[2])
{
    pid_t pid = ::fork();
    if (pid < 0)
        fail(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        for (int fd : {pipe_in[0], pipe_out[0], pipe_out[1]})
            ::close(fd);
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

// Runs the program with its standard output on a pipe that this process
// drains. Only a checked run hashes what it reads: the timed runs keep the
// reader as light as the end of a real pipeline.
Run run_once(const Program& program, bool checked)
{
    int out[2], in[2] = {-1, -1};
    if (::pipe(out) != 0 || (!program.piped_input.empty() && ::pipe(in) != 0))
        fail(std::string("pipe: ") + std::strerror(errno));
    auto start = std::chrono::steady_clock::now();
    pid_t feeder = program.piped_input.empty() ? -1 : start_feeder(program.piped_input, in, out);
    pid_t pid = ::fork();
    if (pid < 0)
        fail(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::dup2(out[1], 1);
        if (in[0] >= 0)
            ::dup2(in[0], 0);
        for (int fd : {out[0], out[1], in[0], in[1]})
            if (fd >= 0)
                ::close(fd);
        std::vector<char*> argv;
        for (const std::string& a : program.argv)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int fd : {out[1], in[0], in[1]})
        if (fd >= 0)
            ::close(fd);

    Run run;
    static char buffer[1 << 16];
    for (;;) {
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
    ::close(out[0]);
    int wstatus = 0;
    struct rusage usage;
    if (::wait4(pid, &wstatus, 0, &usage) != pid)
        fail(std::string("wait4: ") + std::strerror(errno));
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

const char* verdict(bool ok)
{
    return ok ? "PASS" : "FAIL";
}

void usage()
{
    fail("usage: lcbench [--records N] [--runs R] [--data FILE] LCDUMP FLOOR_DUMP IOSTREAM_DUMP");
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
    if (binaries.size() != 3 || records < 1 || runs < 1)
        usage();

    const std::uint64_t printf_hash = write_data_file(data, records);
    const std::vector<Program> programs = {
        {"lcdump", {binaries[0], "-in", data}, ""},
        {"to_chars + write floor", {binaries[1], data}, ""},
        {"iostream + endl", {binaries[2], data}, ""},
    };

    std::printf("lcdump benchmark: %d records (%s), output piped to this process\n", records, data.c_str());
    std::printf("load average before: %s\n", load_average().c_str());

    // One untimed round warms the page cache and proves the three programs
    // write printf's bytes, so the timings compare equal, correct work.
    std::vector<Run> first;
    for (const Program& p : programs) {
        first.push_back(run_once(p, true));
        if (first.back().status != 0)
            fail(p.label + " exited with status " + std::to_string(first.back().status));
        if (first.back().lines != static_cast<std::uint64_t>(records) + 1)
            fail(p.label + " wrote " + std::to_string(first.back().lines) + " lines");
    }
    for (std::size_t i = 0; i < programs.size(); ++i)
        if (first[i].hash != printf_hash)
            fail(programs[i].label + " wrote other text than printf's \"%f\" and \"%d\"");
    std::printf("output: %llu bytes, the same from all three programs as from printf\n\n",
                static_cast<unsigned long long>(first[0].bytes));

    // Alternating the programs spreads any change in the machine's load over
    // all three instead of penalising whichever ran during it.
    std::vector<std::vector<Run>> results(programs.size());
    std::printf("%-5s", "run");
    for (const Program& p : programs)
        std::printf(" %24s", p.label.c_str());
    std::printf("\n");
    for (int r = 0; r < runs; ++r) {
        std::printf("%-5d", r + 1);
        for (std::size_t i = 0; i < programs.size(); ++i) {
            Run run = run_once(programs[i], false);
            if (run.status != 0 || run.bytes != first[i].bytes)
                fail(programs[i].label + " failed or changed its output in run " + std::to_string(r + 1));
            results[i].push_back(run);
            std::printf(" %22.3f s", run.wall);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    std::vector<double> wall(programs.size()), cpu(programs.size());
    std::vector<long> rss_kib(programs.size(), 0);
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::vector<double> w, c;
        for (const Run& run : results[i]) {
            w.push_back(run.wall);
            c.push_back(run.cpu);
            rss_kib[i] = std::max(rss_kib[i], run.max_rss_kib);
        }
        wall[i] = median(w);
        cpu[i] = median(c);
    }
    std::printf("\nmedians of %d runs (wall time; CPU time of the program alone; highest peak RSS):\n", runs);
    for (std::size_t i = 0; i < programs.size(); ++i)
        std::printf("  %-24s %7.3f s  (cpu %6.3f s, peak rss %6.1f MiB)\n", programs[i].label.c_str(), wall[i],
                    cpu[i], static_cast<double>(rss_kib[i]) / 1024);

    // Where the input's size cannot be known beforehand the records must be
    // kept within the same memory.
    const Program piped = {"lcdump, input piped", {binaries[0], "-in", "/dev/stdin"}, data};
    Run piped_run = run_once(piped, true);
    if (piped_run.status != 0 || piped_run.hash != printf_hash)
        fail(piped.label + " failed or wrote other output");
    std::printf("  %-24s %7.3f s  (cpu %6.3f s, peak rss %6.1f MiB), one run\n", piped.label.c_str(),
                piped_run.wall, piped_run.cpu, static_cast<double>(piped_run.max_rss_kib) / 1024);

    const double over_floor = wall[0] / wall[1];
    const double under_iostream = wall[2] / wall[0];
    const double budget = 40.0 * records + 8.0 * 1024 * 1024;
    const double rss_file = 1024.0 * static_cast<double>(rss_kib[0]);
    const double rss_piped = 1024.0 * static_cast<double>(piped_run.max_rss_kib);
    const bool floor_ok = over_floor <= 1.15, iostream_ok = under_iostream >= 2.5;
    const bool file_memory_ok = rss_file <= budget, piped_memory_ok = rss_piped <= budget;

    std::printf("\ntargets (budget: 40 B/record + 8 MiB = %.1f MiB):\n", budget / 1048576);
    std::printf("  lcdump / floor             %6.3f  at most 1.15     %s   (cpu time ratio %.3f)\n", over_floor,
                verdict(floor_ok), cpu[0] / cpu[1]);
    std::printf("  iostream / lcdump          %6.3f  at least 2.5     %s   (cpu time ratio %.3f)\n",
                under_iostream, verdict(iostream_ok), cpu[2] / cpu[0]);
    std::printf("  lcdump peak rss            %6.1f MiB = %4.1f B/record  %s\n", rss_file / 1048576,
                rss_file / records, verdict(file_memory_ok));
    std::printf("  same, input piped          %6.1f MiB = %4.1f B/record  %s\n", rss_piped / 1048576,
                rss_piped / records, verdict(piped_memory_ok));
    std::printf("load average after: %s\n", load_average().c_str());
    const bool all = floor_ok && iostream_ok && file_memory_ok && piped_memory_ok;
    std::printf("%s\n", all ? "all targets met" : "some targets missed");
    return all ? 0 : 1;
}
