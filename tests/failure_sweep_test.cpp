// Every read and every write of a dump failing in turn, in each way the
// system fails them, in every output form; the smallest stack each form runs
// in; and -fits kept off a terminal.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/personality.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace {

// Each form's switches, separated by blanks.
const char* const FORM_SWITCHES[] = {
    "", "-csv", "-exact", "-fits", "-stats", "-stats -fits", "-stats -period", "-periodogram", "-svg"};

// Enough records that -fits fills three output buffers and then writes a
// padded fourth.
const int RECORDS = 4321;

// A run takes 10 to 30 ms (100 ms under the sanitizers), and the text forms
// make a write a line: failing each of their 4,322 writes in all five ways
// took 12 minutes a form. Every line goes out through the same call, so
// make ci fails the first write, every 29th (97th under the sanitizers) and
// the last, and make test every 1,083rd; and so for the reads from a pipe, one
// a record. Every write of -fits and every read of a file fail.
#ifdef LCDUMP_SANITIZED
const long STRIDE = sample_size(97, 1083);
#else
const long STRIDE = sample_size(29, 1083);
#endif

struct Failure {
    const char* kind;  // as the failio library takes it
    int error_number;  // 0 for a call that moved some bytes or none for a signal: the dump must go on
};
const std::vector<Failure> WRITE_FAILURES = {
    {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EPIPE", EPIPE}, {"short", 0}, {"EINTR", 0}};
const std::vector<Failure> READ_FAILURES = {{"EIO", EIO}, {"short", 0}, {"EINTR", 0}};

class Sweeps : public Lcdump {
protected:
    void SetUp() override
    {
        Lcdump::SetUp();
        input = file("lc.bin", numbered_file(RECORDS));
    }

    std::vector<std::string> args_for(const char* form, const std::string& in) const
    {
        std::vector<std::string> args = {"-in", in};
        std::istringstream switches(form);
        for (std::string word; switches >> word;)
            args.push_back(word);
        return args;
    }

    std::string input;
};

class FailureSweep : public Sweeps, public ::testing::WithParamInterface<const char*> {
protected:
    // lcdump with the failio library and its settings; standard output goes
    // to a file, so that the program never waits for this process to read.
    RunResult run(const std::string& in, std::vector<std::string> settings, const std::string& stdin_data = "")
    {
        RunOptions options;
        options.environment = std::move(settings);
        options.environment.push_back("LD_PRELOAD=" LCDUMP_FAILIO);
        options.stdout_path = dir + "/out";
        options.stdin_data = stdin_data;
        RunResult r = lcdump(args_for(GetParam(), in), options);
        r.out = contents(options.stdout_path);
        return r;
    }

    // Calls number 1, 1 + stride, ... and the last of the count calls of op,
    // each failing in every way in turn. A call that moved some bytes, or
    // none because of a signal, must be made again and the dump complete; a
    // failure the system reports ends the run with status 8 and message plus
    // the reason, and the output must be a part of the whole from its start.
    void sweep(const std::string& in, const char* op, long count, long stride, const std::string& message,
               const std::string& stdin_data = "")
    {
        for (long at = 1; at <= count; at = at < count && at + stride > count ? count : at + stride)
            for (const Failure& failure : op[0] == 'w' ? WRITE_FAILURES : READ_FAILURES) {
                SCOPED_TRACE(std::string(op) + " " + std::to_string(at) + " of " + std::to_string(count) + ": " +
                             failure.kind);
                RunResult r = run(in,
                                  {std::string("LCDUMP_FAILIO_OP=") + op, "LCDUMP_FAILIO_AT=" + std::to_string(at),
                                   std::string("LCDUMP_FAILIO_KIND=") + failure.kind},
                                  stdin_data);
                ++runs[(in == "-" ? "pipe " : "") + std::string(op) + " " + failure.kind];
                if (failure.error_number == 0) {
                    EXPECT_EQ(r.status, 0);
                    EXPECT_EQ(r.err, "");
                    EXPECT_TRUE(r.out == whole) << r.out.size() << " bytes of " << whole.size();
                } else {
                    EXPECT_EQ(r.status, 8);
                    EXPECT_EQ(r.err, message + std::strerror(failure.error_number) + "\n");
                    EXPECT_TRUE(whole.compare(0, r.out.size(), r.out) == 0)
                        << r.out.size() << " bytes that do not begin the " << whole.size() << " of the dump";
                }
                if (HasFailure())
                    return;
            }
    }

    std::string whole;
    std::map<std::string, long> runs;
};

}  // namespace

TEST_P(FailureSweep, EveryReadAndWriteFailingInTurn)
{
    if (under_runner())
        GTEST_SKIP() << "thousands of runs: too slow under a runner";
    const bool fits = std::string(GetParam()) == "-fits";
    // -fits, -stats and -periodogram write once all is read; the text forms
    // a line a record.
    const bool writes_at_end = fits || std::string(GetParam()).compare(0, 6, "-stats") == 0 ||
                               std::string(GetParam()) == "-periodogram" || std::string(GetParam()) == "-svg";
    whole = lcdump(args_for(GetParam(), input)).out;
    // A run in which nothing fails counts the calls, and changes nothing.
    const std::string counts = dir + "/counts";
    expect_result(run(input, {"LCDUMP_FAILIO_COUNTS=" + counts}), whole, "", 0);
    long writes = 0, reads = 0;
    std::ifstream(counts) >> writes >> reads;
    ASSERT_GE(writes, writes_at_end ? 1 : RECORDS) << "the library sees lcdump's writes";
    ASSERT_GE(reads, 3) << "the library sees lcdump's reads";

    sweep(input, "write", writes, writes_at_end ? 1 : STRIDE, "Error: can't write output: ");
    sweep(input, "read", reads, 1, "Error: " + input + ": can't read: ");
    // From a pipe, each record is a read of its own. Reading is the same in
    // every form, and -fits, with its few writes, runs the fastest.
    if (fits) {
        const std::string bytes = contents(input);
        whole = run("-", {}, bytes).out;  // its HISTORY names standard input
        expect_result(run("-", {"LCDUMP_FAILIO_COUNTS=" + counts}, bytes), whole, "", 0);
        std::ifstream(counts) >> writes >> reads;
        ASSERT_GE(reads, RECORDS);
        sweep("-", "read", reads, STRIDE, "Error: -: can't read: ", bytes);
    }
    for (const auto& count : runs)
        std::printf("%s: %ld runs\n", count.first.c_str(), count.second);
}

INSTANTIATE_TEST_SUITE_P(Forms, FailureSweep, ::testing::ValuesIn(FORM_SWITCHES),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = *param.param != '\0' ? param.param + 1 : "default";
                             std::replace(name.begin(), name.end(), ' ', '_');
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

TEST_F(Sweeps, SmallestStackOfEachForm)
{
    if (under_runner())
        GTEST_SKIP() << "a runner brings a stack of its own";
    // Where the stack's start cannot be fixed (a container's filter may
    // refuse it), the smallest limit found moves by up to two pages.
    const long page = ::sysconf(_SC_PAGESIZE);
    const int persona = ::personality(0xffffffff);
    const long slack = ::personality(static_cast<unsigned long>(persona) | ADDR_NO_RANDOMIZE) == -1 ? 2 * page : 0;
    ::personality(static_cast<unsigned long>(persona));
    // The children get no environment but the sanitizers' settings, so that
    // the limits found are lcdump's, whatever the shell that ran the tests
    // holds. Under some 12 KiB, /bin/true too dies at its start (the stack
    // also holds the arguments and the environment, and an exec whose
    // strings do not fit is refused, status 127); from 16 KiB and their size
    // up, no form may crash.
    RunOptions limited;
    limited.clear_environment = true;
    std::map<std::string, long> smallest;
    for (const char* form : FORM_SWITCHES) {
        const std::vector<std::string> args = args_for(form, input);
        // The program's name is there twice: as argv[0] and as the file run.
        long must_run = 16 << 10;
        std::vector<std::string> strings = sanitizer_settings();
        strings.insert(strings.end(), {LCDUMP_BINARY, LCDUMP_BINARY});
        strings.insert(strings.end(), args.begin(), args.end());
        for (const std::string& text : strings)
            must_run += static_cast<long>(text.size() + 1 + sizeof(char*));
        const std::string whole = lcdump(args).out;
        for (limited.stack_limit = page;; limited.stack_limit += page) {
            SCOPED_TRACE(std::string(form) + " under a stack of " + std::to_string(limited.stack_limit) + " bytes");
            const RunResult r = lcdump(args, limited);
            if (r.status == 0) {
                EXPECT_TRUE(r.out == whole) << r.out.size() << " bytes of " << whole.size();
                EXPECT_EQ(r.err, "");
                break;
            }
            ASSERT_TRUE(r.status == 128 + SIGSEGV || r.status == 127) << r.status << ": " << r.err;
            ASSERT_LT(limited.stack_limit, must_run);
        }
        smallest[form] = limited.stack_limit;
        std::printf("%s: runs in a stack of %ld KiB\n", *form != '\0' ? form : "default", limited.stack_limit >> 10);
    }
    EXPECT_LE(smallest["-fits"], std::max({smallest[""], smallest["-csv"], smallest["-exact"]}) + slack);
}

TEST_F(Sweeps, OptionFileMessageThatFailsPartWayGoesToStandardError)
{
    // Standard output fails the name's first byte and takes nothing more of
    // the line, which standard error then gets whole.
    RunOptions options;
    options.environment = {"LD_PRELOAD=" LCDUMP_FAILIO, "LCDUMP_FAILIO_OP=write", "LCDUMP_FAILIO_AT=1",
                           "LCDUMP_FAILIO_KIND=EIO"};
    const std::string missing = dir + "/missing.opt";
    expect_result(lcdump({"-file", missing}, options), "Can't open file: ", "Can't open file: " + missing + "\n", 8);
}

TEST_F(Sweeps, FitsIsNeverWrittenToATerminal)
{
    // A terminal's own buffer is small: a short dump fits it whole.
    const std::string path = file("short.lc", numbered_file(3));
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    struct termios raw;
    ASSERT_EQ(::tcgetattr(terminal, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(terminal, TCSANOW, &raw), 0);
    RunOptions on_terminal;
    on_terminal.stdout_path = ::ptsname(terminal);
    // What the terminal showed, once lcdump has ended and closed it.
    auto shown = [terminal] {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    };
    expect_result(lcdump({"-in", path, "-fits"}, on_terminal), "",
                  "lcdump: FITS data not written to a terminal; redirect it: lcdump -in " + path + " -fits > " + dir +
                      "/short.fits\n",
                  8);
    EXPECT_EQ(shown(), "");
    // A summary table as well, from one input or a list, with the switches
    // that make the same table.
    expect_result(lcdump({"-in", path, "-period", "-stats", "-fits"}, on_terminal), "",
                  "lcdump: FITS summary not written to a terminal; redirect it: lcdump -in " + path +
                      " -stats -fits -period > " + dir + "/short.fits\n",
                  8);
    RunOptions list_on_terminal = on_terminal;
    list_on_terminal.stdin_data = path + "\n";
    expect_result(lcdump({"-list", "-", "-fits", "-stats"}, list_on_terminal), "",
                  "lcdump: FITS summary not written to a terminal; redirect it: lcdump -list - -stats -fits > "
                  "out.fits\n",
                  8);
    EXPECT_EQ(shown(), "");
    expect_result(lcdump({"-in", path}, on_terminal), "", "", 0);
    EXPECT_EQ(shown(), "3\n" + lines_for(0, 3));
    ::close(terminal);
}
