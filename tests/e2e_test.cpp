// Runs the built lcdump on files written here and checks standard output,
// standard error and the exit status exactly.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e_fixture.h"

// The harness itself: a child that echoes its input to both outputs as it
// reads it fills their pipes long before it has read megabytes, and must be
// read meanwhile. Were it not, the two processes would wait on each other;
// the alarm then ends the test in half a minute rather than at ctest's timeout.
TEST(ChildProcess, FeedsInputWhileReadingOutput)
{
    RunOptions echoed;
    for (int n = 0; echoed.stdin_data.size() < (4u << 20); ++n)
        echoed.stdin_data += std::to_string(n) + "\n";
    ::alarm(30);
    const RunResult r = run_program({"/bin/sh", "-c", "tee /dev/fd/2"}, echoed);
    ::alarm(0);
    EXPECT_TRUE(r.out == echoed.stdin_data && r.err == r.out)
        << r.out.size() << " and " << r.err.size() << " bytes of " << echoed.stdin_data.size();
    EXPECT_EQ(r.status, 0);
}

TEST_F(Lcdump, WritesCountThenOneLinePerRecord)
{
    std::string path = file("lc.bin", encode_file({example_record(), numbered_record(3)}) + "trailing junk");
    expect_result(lcdump({"-in", path, "-verbose"}), "2\n" + std::string(example_line()) + lines_for(3, 1), "", 0);
    expect_result(lcdump({"-in", file("empty.bin", encode_count(0))}), "0\n", "", 0);
}

TEST_F(Lcdump, ExampleValuesFromTheFieldGuide)
{
    Measurement m{0.25, -1, -0.5f, 1e-6f, 1e-7f, 0.0f, 1.0f, 0, 2.0f};
    std::string path = file("lc.bin", encode_file({m}));
    expect_result(lcdump({"-in", path}), "1\n0.250000 -1 -0.500000 0.000001 0.000000 0.000000 1.000000 0 2.000000\n",
                  "", 0);
}

const std::string usage =
    "Usage: lcdump -in FILE | -list LIST [-outdir DIR] [-report DIR] [-mirror] [-force] [-file OPTIONFILE] [-csv] "
    "[-exact] [-fits] "
    "[-stats] [-period] [-periodogram] [-svg] [-fold P] (or -help, -version). Try 'lcdump --help'\n";

TEST_F(Lcdump, MissingInputNameGivesUsage)
{
    expect_result(lcdump({}), "", usage, 8);
    expect_result(lcdump({"-in"}), "", usage, 8);
    expect_result(lcdump({"-in", ""}), "", usage, 8);
    expect_result(lcdump({"-verbose", "lc.bin"}), "", usage, 8);
}

TEST_F(Lcdump, UnopenableInputIsReported)
{
    std::string missing = dir + "/missing.bin";
    expect_result(lcdump({"-in", missing}), "", "Can't open file: " + missing + "\n", 8);
    expect_result(lcdump({"-in", dir}), "", "Can't open file: " + dir + "\n", 8);
}

TEST_F(Lcdump, BadHeadersWriteNothing)
{
    std::string shortfile = file("short.bin", "\x01\x00\x00");
    expect_result(lcdump({"-in", shortfile}), "", "Error: " + shortfile + ": no record count\n", 8);
    std::string empty = file("empty.bin", "");
    expect_result(lcdump({"-in", empty}), "", "Error: " + empty + ": no record count\n", 8);
    std::string negative = file("neg.bin", encode_count(-5) + encode_record(example_record()));
    expect_result(lcdump({"-in", negative}), "", "Error: " + negative + ": bad record count -5\n", 8);
}

TEST_F(Lcdump, LyingHeaderDoesNotAllocateTheClaimedSize)
{
    // A reservation of 2^31 records (86 GB) would fail, and report out of
    // memory instead of the truncation: under a 64 MiB address space, or
    // under the sanitizers with allocations capped at 64 MiB. (Under valgrind
    // it would fail too.)
    RunOptions limited;
#ifdef LCDUMP_SANITIZED
    const char* asan = std::getenv("ASAN_OPTIONS");
    limited.environment = {std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                           ":max_allocation_size_mb=64:allocator_may_return_null=1"};
#else
    if (!under_runner())
        limited.address_space_limit = 64L << 20;
#endif
    std::string bytes =
        encode_count(2147483647) + encode_record(numbered_record(0)) + encode_record(numbered_record(1)) + "tail";
    std::string path = file("liar.bin", bytes);
    expect_result(lcdump({"-in", path}, limited), "",
                  "Error: " + path + ": holds 2 of 2,147,483,647 records (88 bytes; 85,899,345,884 needed)\n", 8);

    limited.stdin_data = bytes;
    expect_result(lcdump({"-in", "/dev/stdin"}, limited), "2147483647\n" + lines_for(0, 2),
                  "Error: /dev/stdin: ends after 2 of 2,147,483,647 records\n", 8);
    // The summary holds what came, and nothing of it is written.
    expect_result(lcdump({"-in", "/dev/stdin", "-stats"}, limited), "",
                  "Error: /dev/stdin: ends after 2 of 2,147,483,647 records\n", 8);
}

TEST_F(Lcdump, ReadsFromAPipe)
{
    RunOptions piped;
    piped.stdin_data = numbered_file(1000);
    expect_result(lcdump({"-in", "/dev/stdin"}, piped), "1000\n" + lines_for(0, 1000), "", 0);
    // "-" is standard input, and names it in messages; a file called "-"
    // is still there under another spelling of its path.
    expect_result(lcdump({"-in", "-"}, piped), "1000\n" + lines_for(0, 1000), "", 0);
    piped.stdin_data = numbered_file(3).substr(0, 100);
    expect_result(lcdump({"-in", "-"}, piped), "3\n" + lines_for(0, 2), "Error: -: ends after 2 of 3 records\n", 8);
    piped.stdin_data = numbered_file(1001).substr(0, 4 + 40 * 1000 + 39);
    expect_result(lcdump({"-in", "-"}, piped), "1001\n" + lines_for(0, 1000),
                  "Error: -: ends after 1,000 of 1,001 records\n", 8);
    std::string dash = file("-", numbered_file(1));
    expect_result(lcdump({"-in", dash}, piped), "1\n" + lines_for(0, 1), "", 0);
}

TEST_F(Lcdump, ControlBytesInNamesAreEscaped)
{
    // Every message stays one line, and no name can move the terminal.
    const std::string tail = "\x01\t\r\x7f caf\xc3\xa9\\";
    const std::string escaped = "\\x01\\t\\r\\x7f caf\xc3\xa9\\";
    std::string forged = dir + "/tr\nError: all good \x1b[2J" + tail;
    std::string shown = dir + "/tr\\nError: all good \\x1b[2J" + escaped;
    expect_result(lcdump({"-in", forged}), "", "Can't open file: " + shown + "\n", 8);
    expect_result(lcdump({"-file", forged}), "Can't open file: " + shown + "\n", "", 8);
    file("tr\nError: all good \x1b[2J" + tail, "\x01");
    expect_result(lcdump({"-in", forged}), "", "Error: " + shown + ": no record count\n", 8);
}

TEST_F(Lcdump, OptionFileNamesTheInput)
{
    std::string a = file("a.bin", encode_file({example_record()}));
    std::string b = file("b.bin", numbered_file(2));
    std::string opts = file("opts", "# light curve of star 42\n\nmode fast 2\nin " + b + "\r\n");
    expect_result(lcdump({"-file", opts}), "2\n" + lines_for(0, 2), "", 0);
    // The command line wins over the option file, wherever it stands.
    expect_result(lcdump({"-file", opts, "-in", a}), "1\n" + std::string(example_line()), "", 0);
    expect_result(lcdump({"-in", a, "-file", opts}), "1\n" + std::string(example_line()), "", 0);
}

TEST_F(Lcdump, UnreadableOptionFileEndsTheRunOnStdout)
{
    std::string missing = dir + "/nothere.opt";
    expect_result(lcdump({"-file", missing, "-in", "x"}), "Can't open file: " + missing + "\n", "", 8);
}

TEST_F(Lcdump, CsvHasAHeaderRowAndNoCountLine)
{
    const std::string header = "JD,obsID,flux1,err1,sky,errs,chisq1,nuse,effective_pix\n";
    std::string rows;
    for (char c : lines_for(0, 2))
        rows += c == ' ' ? ',' : c;
    expect_result(lcdump({"-in", file("lc.bin", numbered_file(2)), "-csv"}), header + rows, "", 0);
    expect_result(lcdump({"-csv", "-in", file("none.bin", encode_count(0))}), header, "", 0);
    // Complete rows only, and no header before the count has been read.
    RunOptions cut;
    cut.stdin_data = numbered_file(3).substr(0, 100);
    expect_result(lcdump({"-csv", "-in", "-"}, cut), header + rows, "Error: -: ends after 2 of 3 records\n", 8);
    std::string headless = file("headless.bin", "\x01\x00");
    expect_result(lcdump({"-csv", "-in", headless}), "", "Error: " + headless + ": no record count\n", 8);
}

TEST_F(Lcdump, ExactWritesShortestValuesAlsoFromTheOptionFile)
{
    Measurement m{2459000.5, -1, 0.1f, 1e-7f, -0.0f, 3e38f, std::nanf(""), 7, -HUGE_VALF};
    std::string path = file("lc.bin", encode_file({m}));
    expect_result(lcdump({"-in", path, "-exact"}), "1\n2459000.5 -1 0.1 1e-07 -0 3e+38 nan 7 -inf\n", "", 0);
    std::string opts = file("opts", "csv\nexact\nin " + path + "\n");
    expect_result(
        lcdump({"-file", opts}),
        "JD,obsID,flux1,err1,sky,errs,chisq1,nuse,effective_pix\n2459000.5,-1,0.1,1e-07,-0,3e+38,nan,7,-inf\n", "", 0);
}

TEST_F(Lcdump, HelpAndVersionOnlyWithoutAnInputFile)
{
    for (const char* word : {"-help", "--help", "-h"}) {
        RunResult r = lcdump({word});
        EXPECT_EQ(r.out.rfind(usage.substr(0, usage.find(" (or")) + "\n", 0), 0u) << word;
        for (const char* option : {"-in", "-file", "-csv", "-exact", "-version", "--help", "--version", "man lcdump"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        EXPECT_EQ(r.err + std::to_string(r.status), "0");
    }
    for (const char* word : {"-version", "--version"})
        expect_result(lcdump({word}), "lcdump " LCDUMP_VERSION "\n", "", 0);
    std::string path = file("lc.bin", numbered_file(1));
    expect_result(lcdump({"-h", "-in", path, "--version"}), "1\n" + lines_for(0, 1), "", 0);
}

// Which switches of the output forms go together: a form with the
// modifiers it takes (FITS keeps every bit, so -exact asks nothing new of
// it), never two forms; the message names the later switch of the help's
// order first, and the first pair found, whatever the order typed.
TEST_F(Lcdump, FormSwitchesThatGoTogether)
{
    const std::string lc = file("star.lc", numbered_file(2));
    const std::string both = lcdump({"-in", lc, "-csv", "-exact"}).out, fits = lcdump({"-in", lc, "-fits"}).out;
    const std::string summary = lcdump({"-in", lc, "-fits", "-stats"}).out;
    const std::string fits_periods = lcdump({"-in", lc, "-stats", "-period", "-fits"}).out;
    const std::string periods = lcdump({"-in", lc, "-stats", "-period"}).out;
    const std::string folded = lcdump({"-in", lc, "-svg", "-fold", "2"}).out;
    const std::string no_days = "Error: -fold takes a period in days above 0";
    auto refused = [](const std::string& a, const std::string& b) {
        return "Error: -" + a + " and -" + b + " can't be combined\n";
    };
    const struct {
        std::vector<std::string> switches;
        std::string out, err;
    } table[] = {
        {{"-exact", "-csv"}, both, ""},
        {{"-exact", "-fits"}, fits, ""},
        {{"-csv", "-fits"}, "", refused("fits", "csv")},
        {{"-fits", "-csv"}, "", refused("fits", "csv")},
        {{"-stats", "-csv"}, "", refused("stats", "csv")},
        {{"-exact", "-stats"}, "", refused("stats", "exact")},
        {{"-stats", "-fits"}, summary, ""},
        {{"-period", "-stats", "-fits"}, fits_periods, ""},
        {{"-period", "--stats"}, periods, ""},
        {{"-period"}, "", "Error: -period goes with -stats\n"},
        {{"-csv", "-period"}, "", refused("period", "csv")},
        {{"-fits", "-period"}, "", refused("period", "fits")},
        {{"-periodogram", "-stats"}, "", refused("periodogram", "stats")},
        {{"-exact", "-periodogram"}, "", refused("periodogram", "exact")},
        {{"-svg", "-stats"}, "", refused("svg", "stats")},
        {{"-periodogram", "-svg"}, "", refused("svg", "periodogram")},
        {{"-fold", "2", "-svg", "-fold", "3"}, folded, ""},
        {{"-fold", "2.0", "-svg"}, folded, ""},
        {{"-fold", "2"}, "", "Error: -fold goes with -svg\n"},
        {{"-stats", "-fold", "2"}, "", refused("fold", "stats")},
        {{"-svg", "-fold"}, "", no_days + "\n"},
        {{"-svg", "-fold", "0"}, "", no_days + ", not 0\n"},
        {{"-svg", "-fold", "-1"}, "", no_days + ", not -1\n"},
        {{"-svg", "-fold", "inf"}, "", no_days + ", not inf\n"},
        {{"-svg", "-fold", "1e-400"}, "", no_days + ", not 1e-400\n"},
        {{"-svg", "-fold", "2 d"}, "", no_days + ", not '2 d'\n"},
        {{"-fits", "-stats", "-exact"}, "", refused("stats", "exact")},
        {{"-stats", "-fits", "-csv"}, "", refused("fits", "csv")},
        {{"--stats", "-exact", "--csv"}, "", refused("stats", "csv")},
    };
    for (const auto& row : table) {
        std::vector<std::string> args = {"-in", lc};
        args.insert(args.end(), row.switches.begin(), row.switches.end());
        const RunResult r = lcdump(args);
        EXPECT_EQ(r.out, row.out) << row.switches[0];
        EXPECT_EQ(r.err, row.err) << row.switches[0] << " " << row.switches.back();
        EXPECT_EQ(r.status, row.err.empty() ? 0 : 8) << row.switches[0];
    }
}

// Command lines and inputs as people get them wrong: each is either taken as
// meant or named in one line before any output.
TEST_F(Lcdump, CommandLinesAndInputsAsPeopleGetThemWrong)
{
    const std::string lc = file("star.lc", numbered_file(2)), odd = file("a\x1b[2J.lc", numbered_file(1));
    file("--csv", numbered_file(2));
    for (const char* name : {"my file.lc", "$(id).lc", "it's.lc"})
        file(name, numbered_file(1));
    const std::string no_input = file("plain.opt", "csv\n"), dashed = file("dashed.opt", "-csv\nin " + lc + "\n");
    const std::string text = lcdump({"-in", lc}).out, csv = lcdump({"-in", lc, "-csv"}).out;
    const std::string exact = lcdump({"-in", lc, "-exact"}).out, both = lcdump({"-in", lc, "-csv", "-exact"}).out;
    const std::string fits = lcdump({"-in", lc, "-fits"}).out;
    auto hint = [](const std::string& words) {
        return "lcdump: no input named; did you mean: lcdump " + words + "\n" + usage;
    };
    auto unknown = [](const std::string& word, const std::string& meant) {
        return "lcdump: unknown " + word + "; did you mean " + meant + "?\n";
    };
    // Other kinds of file: a gzip stream whose count (559,903) is stored as
    // 1f 8b 08 00, the CSV header, FITS cards and lcdump's own text. A gzip
    // count that small (35,615) whose records are all there is dumped.
    const std::string gz = file("star.lc.gz", std::string("\x1f\x8b\x08\x00", 4) + std::string(60, '\x01'));
    const std::string table_csv = file("star.csv", "JD,obsID,flux1\n2459000.5,1,2\n");
    const std::string image = file("star.fits", "SIMPLE  =                    T" + std::string(50, ' '));
    const std::string own = file("star.txt", "278\n2459000.640656 100001\n");
    // Text in its first two bytes only: all four are looked at.
    const std::string half = file("half.lc", "ab\x01\x02");
    // A blank is text too, as in the header of a table written for awk.
    const std::string commented = file("star.dat", "# JD flux1\n2459000.5 1.0\n");
    std::string full_gz = numbered_file(35615);
    full_gz.replace(0, 4, "\x1f\x8b\x00\x00", 4);
    const std::string gz_dump = lcdump({"-in", file("full.gz", full_gz)}).out;
    const std::string text_input = "JD,obsID,flux1\n" + std::string(40, '1');
    const struct {
        std::vector<std::string> args;
        std::string stdin_data, out, err;
        int status;
    } table[] = {
        {{"-in", lc, "--csv"}, "", csv, "", 0},
        {{"--exact", "-in", lc}, "", exact, "", 0},
        {{"--csv", "-in", lc, "--exact"}, "", both, "", 0},
        {{"-in", lc, "--fits"}, "", fits, "", 0},
        {{"-in", lc, "--verbose", "-o", "out.txt", "-x", "-h"}, "", text, "", 0},  // not close to any switch
        {{"-file", dashed}, "", text, "", 0},  // an option file's "-csv" stays an unknown word
        {{"-in", "--csv"}, "", text, "", 0},   // a value of -in is a name, never a switch
        {{"-in", lc, "-fit"}, "", "", unknown("switch -fit", "-fits"), 8},
        {{"-in", lc, "-cvs"}, "", "", unknown("switch -cvs", "-csv"), 8},
        {{"-Fits", "-in", lc}, "", "", unknown("switch -Fits", "-fits"), 8},
        {{"-in", lc, "--fits=yes"}, "", "", unknown("switch --fits=yes", "-fits"), 8},
        {{"-in", lc, "-exat"}, "", "", unknown("switch -exat", "-exact"), 8},
        {{"-in", lc, "-exacr"}, "", "", unknown("switch -exacr", "-exact"), 8},
        {{"-in", lc, "--file", "x.opt"}, "", "", unknown("option --file", "-file x.opt"), 8},
        {{"-in", lc, "-file=my x.opt"}, "", "", unknown("option -file=my x.opt", "-file 'my x.opt'"), 8},
        {{lc, "--csv"}, "", "", hint("-in " + lc), 8},
        {{"--csv", lc}, "", "", hint("-in " + lc), 8},
        {{"--in", lc}, "", "", hint("-in " + lc), 8},
        {{"-in=" + lc}, "", "", hint("-in " + lc), 8},
        {{"--in=missing.lc"}, "", "", hint("-in missing.lc"), 8},
        {{"-IN", "missing.lc"}, "", "", hint("-in missing.lc"), 8},
        {{"--file", no_input}, "", "", hint("-file " + no_input), 8},
        {{odd}, "", "", hint("-in '" + dir + "/a\\x1b[2J.lc'"), 8},
        {{"my file.lc"}, "", "", hint("-in 'my file.lc'"), 8},
        {{"$(id).lc"}, "", "", hint("-in '$(id).lc'"), 8},
        {{"it's.lc"}, "", "", hint("-in 'it'\\''s.lc'"), 8},
        {{"-file", no_input}, "", "", usage, 8},  // the option file is named the right way
        {{dir, "missing.lc", "-in=", "--in"}, "", "", usage, 8},
        // clang-format off
        {{"-in", gz}, "", "",
         "Error: " + gz + ": holds 1 of 559,903 records (64 bytes; 22,396,124 needed); it looks like gzip data: gzip -dc " +
             gz + " | lcdump -in -\n", 8},
        {{"-in", table_csv}, "", "",
         "Error: " + table_csv + ": holds 0 of 1,865,172,042 records (29 bytes; 74,606,881,684 needed); it looks like "
             "text, such as lcdump's own output, not a measurement file\n", 8},
        {{"-in", image, "-fits"}, "", "",
         "Error: " + image + ": holds 1 of 1,347,242,323 records (80 bytes; 53,889,692,924 needed); it looks like a FITS "
             "file already, which astropy, TOPCAT and fv read as it is\n", 8},
        {{"-in", half}, "", "",
         "Error: " + half + ": holds 0 of 33,645,153 records (4 bytes; 1,345,806,124 needed)\n", 8},
        {{"-in", commented}, "", "",
         "Error: " + commented + ": holds 0 of 1,145,708,579 records (25 bytes; 45,828,343,164 needed); it looks like "
             "text, such as lcdump's own output, not a measurement file\n", 8},
        {{"-in", "-"}, std::string("\x1f\x8b\x08\x00", 4) + std::string(60, '\x01'), "",
         "Error: -: ends after 1 of 559,903 records; it looks like gzip data: decompress it first, with gzip -dc\n", 8},
        {{"-in", own, "-csv"}, "", "",
         "Error: " + own + ": holds 0 of 171,456,306 records (26 bytes; 6,858,252,244 needed); it looks like text, "
             "such as lcdump's own output, not a measurement file\n", 8},
        {{"-in", "-"}, text_input, "",
         "Error: -: ends after 1 of 1,865,172,042 records; it looks like text, such as lcdump's own output, not a "
             "measurement file\n", 8},
        // clang-format on
        {{"-in", "-"}, full_gz, gz_dump, "", 0},
    };
    ASSERT_EQ(gz_dump.compare(0, 6, "35615\n"), 0);
    for (const auto& row : table) {
        RunOptions run;
        run.stdin_data = row.stdin_data;
        run.cwd = dir;
        expect_result(lcdump(row.args, run), row.out, row.err, row.status);
    }
}
