// Faults injected into real runs of lcdump: memory that runs out at every
// allocation in turn and under a small address space, output that cannot be
// written, measurement files cut short at every byte, input that trickles in
// through a FIFO, and option files that are no ordinary files.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace {

const char* const OUT_OF_MEMORY = "Error: out of memory\n";

bool is_whole_lines_prefix(const std::string& part, const std::string& whole)
{
    return whole.compare(0, part.size(), part) == 0 && (part.empty() || part.back() == '\n');
}

class Faults : public Lcdump {
protected:
    // A run with a word list of several blocks and a dump of three records.
    void write_workload()
    {
        input = file("lc.bin", numbered_file(3));
        std::string text = "# a light curve\n\nmode fast 2\nin " + input + "\n";
        for (int line = 0; line < 6; ++line)
            text += "w" + std::to_string(line) + " alpha beta gamma delta\r\n";
        options = file("opts", text);
        args = {"-file", options, "-x", "1", "-verbose"};
        full_output = "3\n" + lines_for(0, 3);
    }

    // A run in which allocation number fail_at and every later one fail.
    RunResult run_failing(long fail_at)
    {
        RunOptions run;
        run.environment = {"LD_PRELOAD=" LCDUMP_FAILALLOC, "LCDUMP_FAIL=" + std::to_string(fail_at),
                           "LCDUMP_FAIL_COUNTS=" + dir + "/counts"};
        return lcdump(args, run);
    }

    long allocation_count()
    {
        std::ifstream in(dir + "/counts");
        long n = -1;
        in >> n;
        return n;
    }

    // Out of memory ends a run with the one message and whole lines only.
    void expect_clean_end(const RunResult& r)
    {
        if (r.status == 0) {
            EXPECT_EQ(r.out, full_output);
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.status, 8);
            EXPECT_EQ(r.err, OUT_OF_MEMORY);
            EXPECT_TRUE(is_whole_lines_prefix(r.out, full_output)) << r.out;
        }
    }

    std::string input, options, full_output;
    std::vector<std::string> args;
};

long vm_size_bytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 7, "VmSize:") == 0)
            return std::stol(line.substr(7)) * 1024;
    return -1;
}

}  // namespace

TEST_F(Faults, EveryAllocationThatFailsEndsWithOutOfMemory)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "replaces the allocator";
    write_workload();
    // The summary keeps records, and the figures' values, its own way; its
    // FITS table its rows, and the period search its working arrays (the
    // switches add up: -stats, then -stats -fits, then -stats -fits -period).
    for (const char* form : {"", "-stats", "-fits", "-period"}) {
        SCOPED_TRACE(form);
        if (*form != '\0') {
            args.push_back(form);
            full_output = lcdump(args).out;
        }
        // A run in which nothing fails counts the allocations, from process start.
        expect_result(run_failing(0), full_output, "", 0);
        long total = allocation_count();
        ASSERT_GE(total, 40) << "the word list, its Strings, the streams and the record store";
        // Every allocation under make ci, every third in make test.
        for (long n = 1; n <= total; n += sample_size(1, 3)) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
            RunResult r = run_failing(n);
            EXPECT_EQ(r.status, 8);
            expect_clean_end(r);
        }
    }
}

TEST_F(Faults, EveryAddressSpaceLimitEndsCleanly)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "needs the plain allocator and a small address space";
    write_workload();
    // Down from a limit the whole run fits in, in 16 KiB steps (128 KiB in
    // make test), until the program no longer loads (the loader's status
    // 127): in between, memory runs out at every point of startup, option
    // reading and dump.
    const long step = sample_size(16, 128) * 1024L;
    RunOptions limited;
    long fits = 24L << 20;
    limited.address_space_limit = fits;
    ASSERT_EQ(lcdump(args, limited).status, 0);
    int outcomes[2] = {0, 0};
    for (long limit = fits - step; limit > 0; limit -= step) {
        limited.address_space_limit = limit;
        RunResult r = lcdump(args, limited);
        if (r.status == 127)
            break;
        SCOPED_TRACE("address space of " + std::to_string(limit) + " bytes");
        expect_clean_end(r);
        ++outcomes[r.status == 0 ? 0 : 1];
    }
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[1], 0) << "the sweep must reach limits too small for the run";
}

TEST_F(Faults, WordListGrowingIntoASmallAddressSpace)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "needs the plain allocator and a small address space";
    // lcdump waits in the FIFO for its option file; then its address space is
    // capped 2 MiB above what it uses, and words arrive until it runs out.
    std::string fifo = dir + "/opts";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess child(command_line(LCDUMP_BINARY, {"-file", fifo, "-in", "x"}));
    int fd = child.open_fifo_for_writing(fifo);
    ASSERT_GE(fd, 0) << child.finish().err;
    long size = vm_size_bytes(child.pid());
    ASSERT_GT(size, 0);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(size + (2L << 20));
    ASSERT_EQ(::prlimit(child.pid(), RLIMIT_AS, &limit, nullptr), 0);

    const std::string line = "opt " + std::string(150, 'v') + "\n";
    std::string chunk;
    for (int i = 0; i < 100; ++i)
        chunk += line;
    // 40 MiB at most; lcdump gives up long before, and then the FIFO breaks.
    for (int sent = 0; sent < 2800; ++sent)
        if (::write(fd, chunk.data(), chunk.size()) < 0)
            break;
    ::close(fd);
    expect_result(child.finish(), "", OUT_OF_MEMORY, 8);
}

TEST_F(Faults, SummaryRunningOutOfMemoryAsItsColumnsGrow)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "replaces the allocator";
    // Enough records for every column to grow several times: whichever
    // allocation fails, the run says so and writes no row. So too the period
    // search's arrays, and the periodogram's, which asks for all it needs
    // before its first row goes.
    const std::string lc = file("lc.bin", numbered_file(5000));
    for (const char* form : {"-stats", "-period", "-periodogram", "-svg"}) {
        SCOPED_TRACE(form);
        args = {"-in", lc, form};
        if (std::string(form) == "-period")
            args.push_back("-stats");
        ASSERT_EQ(run_failing(0).status, 0);
        const long total = allocation_count();
        for (long n = 1; n <= total; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
            expect_result(run_failing(n), "", OUT_OF_MEMORY, 8);
        }
    }
}

TEST_F(Faults, SummaryTakesLessAddressSpaceThanItsRecords)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "needs the plain allocator and a small address space";
    // The least address space, to 64 KiB, in which an empty summary runs.
    RunOptions limited;
    const std::vector<std::string> empty = {"-in", file("empty.bin", encode_count(0)), "-stats"};
    long least = 0;
    for (long step = 32L << 20; step >= 64L << 10; step /= 2) {
        limited.address_space_limit = least + step;
        if (lcdump(empty, limited).status != 0)
            least += step;
    }
    least += 64L << 10;
    limited.address_space_limit = least;
    ASSERT_EQ(lcdump(empty, limited).status, 0);
    // Its four columns, grown by half at a time, and one 32-bit key a
    // record at the end take at most 28 bytes a record; holding whole
    // records would take 40 before any key.
    const long records = 250000;
    limited.address_space_limit = least + 36 * records;
    const RunResult r = lcdump({"-in", file("lc.bin", numbered_file(records)), "-stats"}, limited);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
}

TEST_F(Faults, MeasurementFileCutAtEveryByteOfItsLastRecord)
{
    const std::string whole = numbered_file(3);
    for (std::size_t cut = 0; cut <= RECORD_BYTES; ++cut) {
        SCOPED_TRACE("bytes of the last record: " + std::to_string(cut));
        std::string bytes = whole.substr(0, COUNT_BYTES + 2 * RECORD_BYTES + cut);
        std::string path = file("cut.bin", bytes);
        bool complete = cut == RECORD_BYTES;
        std::string out = "3\n" + lines_for(0, complete ? 3 : 2);
        std::string err = complete ? "" : "ends after 2 of 3 records\n";
        std::string sizes = "holds 2 of 3 records (" + std::to_string(bytes.size()) + " bytes; 124 needed)\n";
        expect_result(lcdump({"-in", path}), complete ? out : "", complete ? "" : "Error: " + path + ": " + sizes,
                      complete ? 0 : 8);

        RunOptions piped;
        piped.stdin_data = bytes;
        expect_result(lcdump({"-in", "/dev/stdin"}, piped), out, complete ? "" : "Error: /dev/stdin: " + err,
                      complete ? 0 : 8);
    }
    for (std::size_t cut = 0; cut < COUNT_BYTES; ++cut) {
        std::string path = file("head.bin", whole.substr(0, cut));
        expect_result(lcdump({"-in", path}), "", "Error: " + path + ": no record count\n", 8);
    }
}

TEST_F(Faults, FifoDeliveringOneByteAtATime)
{
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess child(command_line(LCDUMP_BINARY, {"-in", fifo}));
    int fd = child.open_fifo_for_writing(fifo);
    ASSERT_GE(fd, 0) << child.finish().err;

    // The count says four records; three come, then half of the fourth.
    std::string bytes = numbered_file(3) + encode_record(numbered_record(3)).substr(0, 17);
    bytes.replace(0, COUNT_BYTES, encode_count(4));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(::write(fd, &bytes[i], 1), 1);
        std::size_t sent = i + 1;
        if (sent == COUNT_BYTES) {
            EXPECT_EQ(child.read_line(10000), "4\n");
        } else if (sent > COUNT_BYTES && (sent - COUNT_BYTES) % RECORD_BYTES == 0) {
            int n = static_cast<int>((sent - COUNT_BYTES) / RECORD_BYTES) - 1;
            EXPECT_EQ(child.read_line(10000), lines_for(n, 1)) << "record " << n;
        } else {
            // Nothing is written for a part of a record.
            EXPECT_EQ(child.read_line(1), "") << "after byte " << sent;
        }
    }
    ::close(fd);
    expect_result(child.finish(), "", "Error: " + fifo + ": ends after 3 of 4 records\n", 8);
}

TEST_F(Faults, InputThatCannotBeRead)
{
    // The first page of the address space is never mapped: reading it fails.
    expect_result(lcdump({"-in", "/proc/self/mem"}), "", "Error: /proc/self/mem: can't read: Input/output error\n", 8);
}

TEST_F(Faults, OutputThatCannotBeWritten)
{
    RunOptions full;
    full.stdout_path = "/dev/full";
    const std::string no_space = "Error: can't write output: No space left on device\n";
    expect_result(lcdump({"-in", file("empty.bin", encode_count(0))}, full), "", no_space, 8);
    expect_result(lcdump({"-in", file("lc.bin", numbered_file(5))}, full), "", no_space, 8);

    RunOptions closed;
    closed.close_stdout = true;
    expect_result(lcdump({"-in", file("lc.bin", numbered_file(5))}, closed), "",
                  "Error: can't write output: Bad file descriptor\n", 8);
}

TEST_F(Faults, OutputReaderThatGoesAway)
{
    // More output than a pipe holds, and nobody reading it. With SIGPIPE
    // ignored the failed write is reported; by default lcdump ends on SIGPIPE
    // quietly, as filters do under "lcdump ... | head".
    std::string path = file("lc.bin", numbered_file(5000));
    RunOptions ignoring;
    ignoring.ignore_sigpipe = true;
    ChildProcess ignored(command_line(LCDUMP_BINARY, {"-in", path}), ignoring);
    ignored.close_stdout_reader();
    expect_result(ignored.finish(), "", "Error: can't write output: Broken pipe\n", 8);

    ChildProcess killed(command_line(LCDUMP_BINARY, {"-in", path}));
    killed.close_stdout_reader();
    expect_result(killed.finish(), "", "", 128 + SIGPIPE);
}

TEST_F(Faults, MessagesThatCannotBeWrittenStillFail)
{
    RunOptions full;
    full.stderr_path = "/dev/full";
    expect_result(lcdump({"-in", dir + "/missing.bin"}, full), "", "", 8);
    expect_result(lcdump({}, full), "", "", 8);
    // The option file's message goes to standard error when standard output
    // cannot take it.
    RunOptions no_stdout;
    no_stdout.stdout_path = "/dev/full";
    expect_result(lcdump({"-file", dir + "/missing.opt"}, no_stdout), "", "Can't open file: " + dir + "/missing.opt\n",
                  8);
    no_stdout.stdout_path.clear();
    no_stdout.close_stdout = true;
    expect_result(lcdump({"-file", dir + "/missing.opt"}, no_stdout), "", "Can't open file: " + dir + "/missing.opt\n",
                  8);
}

TEST_F(Faults, OptionFilesThatAreNoOrdinaryFiles)
{
    std::string lc = file("lc.bin", numbered_file(2));
    // Endless input: NUL bytes without a newline make an over-long first
    // line, which ends the reading; so does a stream of random bytes soon.
    expect_result(lcdump({"-file", "/dev/zero", "-in", lc}), "2\n" + lines_for(0, 2), "", 0);
    expect_result(lcdump({"-file", "/dev/urandom", "-in", lc}), "2\n" + lines_for(0, 2), "", 0);
    // An empty one adds nothing.
    expect_result(lcdump({"-file", "/dev/null", "-in", lc}), "2\n" + lines_for(0, 2), "", 0);
    // A FIFO that sends its lines slowly is read to its end.
    std::string fifo = dir + "/opts";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess child(command_line(LCDUMP_BINARY, {"-file", fifo}));
    int fd = child.open_fifo_for_writing(fifo);
    ASSERT_GE(fd, 0) << child.finish().err;
    std::string text = "# slow\nin " + lc + "\nmode fast\n";
    for (char c : text) {
        ASSERT_EQ(::write(fd, &c, 1), 1);
        ::usleep(200);
    }
    ::close(fd);
    expect_result(child.finish(), "2\n" + lines_for(0, 2), "", 0);
}
