// Many files in one run: the output file as one object, then -list run as
// people run it, interrupted, and twice at once, with every file on disk
// checked afterwards.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "batch.h"
#include "e2e_fixture.h"
#include "outputfile.h"

namespace fs = std::filesystem;

namespace {

// Every name under top that a run may have left behind: its temporaries.
std::vector<std::string> temporaries_under(const std::string& top)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(top))
        if (entry.path().filename().string().rfind(".lcdump-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

}  // namespace

TEST_F(Lcdump, OutputFileIsWholeInPlaceOrGone)
{
    const std::string target = dir + "/star.txt", victim = file("thesis.tex", "mine\n");
    {
        OutputFile output(target);
        ASSERT_TRUE(output.create());
        EXPECT_EQ(output.temporary().rfind(dir + "/.lcdump-", 0), 0u);
        EXPECT_EQ(output.temporary().size(), dir.size() + 1 + 8 + 12);
        std::fputs("dump\n", output.stream());
        EXPECT_FALSE(fs::exists(target));
        const std::string temporary = output.temporary();
        ASSERT_TRUE(output.commit(false));
        EXPECT_FALSE(fs::exists(temporary));
        // Once in place, the temporary's name is no longer its own: a file
        // that another run makes there later is not removed with it.
        write_file(temporary, "another run's\n");
    }
    EXPECT_EQ(temporaries_under(dir).size(), 1u);
    fs::remove(temporaries_under(dir)[0]);
    EXPECT_EQ(contents(target), "dump\n");
    {
        // Not over a file that is there, unless asked; nothing left either way.
        OutputFile refused(target);
        ASSERT_TRUE(refused.create());
        const std::string temporary = refused.temporary();
        std::fputs("second\n", refused.stream());
        EXPECT_FALSE(refused.commit(false));
        EXPECT_EQ(errno, EEXIST);
        EXPECT_FALSE(fs::exists(temporary));
        OutputFile forced(target);
        ASSERT_TRUE(forced.create());
        std::fputs("forced\n", forced.stream());
        EXPECT_TRUE(forced.commit(true));
    }
    EXPECT_EQ(contents(target), "forced\n");
    {
        // Two at once never share a temporary; one dropped leaves nothing.
        OutputFile a(target), b(target);
        ASSERT_TRUE(a.create() && b.create());
        EXPECT_NE(a.temporary(), b.temporary());
        std::fputs("half", a.stream());
        const std::string temporary = b.temporary();
        b.discard();
        EXPECT_FALSE(fs::exists(temporary));
        // As after a commit, a name given up is no longer its own.
        write_file(temporary, "another run's\n");
        b.discard();
        EXPECT_TRUE(fs::exists(temporary));
        fs::remove(temporary);
    }
    EXPECT_EQ(temporaries_under(dir), std::vector<std::string>());
    // A link where the output goes is replaced itself, never written through.
    ASSERT_EQ(::symlink("thesis.tex", (dir + "/link.txt").c_str()), 0);
    OutputFile linked(dir + "/link.txt");
    ASSERT_TRUE(linked.create());
    std::fputs("dump\n", linked.stream());
    EXPECT_FALSE(linked.commit(false));
    OutputFile relinked(dir + "/link.txt");
    ASSERT_TRUE(relinked.create());
    std::fputs("dump\n", relinked.stream());
    EXPECT_TRUE(relinked.commit(true));
    EXPECT_EQ(contents(victim), "mine\n");
    EXPECT_FALSE(fs::is_symlink(dir + "/link.txt"));
    // A directory that cannot be written: no temporary, and errno says why.
    OutputFile nowhere(dir + "/missing/star.txt");
    EXPECT_FALSE(nowhere.create());
    EXPECT_EQ(errno, ENOENT);
}

// Every -list command as people run it, each in a directory of its own:
// what it prints, and every file afterwards, the dumps against -in's.
TEST_F(Lcdump, ListNeverLosesAFile)
{
    const std::string one = numbered_file(1), two = numbered_file(2), three = numbered_file(3);
    file("star.lc", two);
    RunOptions here;
    here.cwd = dir;
    const std::string stats_star = lcdump({"-in", "star.lc", "-stats"}, here).out;
    const std::string header = stats_star.substr(0, stats_star.find('\n') + 1);
    ::mkdir((dir + "/abs").c_str(), 0755);
    const std::string absolute = file("abs/far.lc", three);
    const std::string nul_line =
        "Error: -: line 1 holds a NUL byte; a list holds one name a line, as find -print writes them\n";
    const std::string long_line = "Error: names: line 3 is longer than a file name can be (4,096 bytes)\n";
    const std::string long_name = std::string(244, 's') + ".lc";
    auto none = [](const std::string& of) { return "lcdump: " + of + " not converted\n"; };
    using Files = std::vector<std::pair<std::string, std::string>>;
    const struct {
        Files files;  // written first; their contents are checked again after, unless dumped over
        Files links;  // name, what it leads to (a hard link for "=NAME")
        std::vector<std::string> args;
        std::string stdin_data, out, err;
        int status;
        Files dumps;       // each output, and the input whose -in dump it must equal
        std::string form;  // added to the command, and to -in's
    } table[] = {
        // clang-format off
        // A name that does not exist yet and one that does are one name.
        {{{"a.lc", two}, {"a.dat", three}}, {}, {"-list", "-"}, "a.lc\na.dat\n", "",
         "Error: a.dat: its output a.txt would replace one written earlier in this run\n" + none("1 of 2 files"), 8,
         {{"a.txt", "a.lc"}}, ""},
        // A file lcdump did not make stays, unless the run is told to replace it.
        {{{"my star.lc", two}, {"my star.txt", "my notes\n"}}, {}, {"-list", "-"}, "my star.lc\n", "",
         "Error: my star.lc: its output my star.txt exists; not replaced (-force replaces it)\n" + none("1 of 1 file"),
         8, {}, ""},
        {{{"star.lc", two}, {"star.txt", "my notes\n"}}, {}, {"-list", "-", "-force"}, "star.lc\n", "", "", 0,
         {{"star.txt", "star.lc"}}, ""},
        {{{"star.lc", two}, {"star.txt", "my notes\n"}, {"opts", "list names\nforce\n"}, {"names", "star.lc\n"}}, {},
         {"-file", "opts"}, "", "", "", 0, {{"star.csv", "star.lc"}}, "-csv"},
        // Links: at the old fixed temporary name, and as the output itself.
        {{{"star.lc", two}, {"thesis.tex", "\\documentclass{thesis}\n"}}, {{".star.txt.lcdump-tmp", "thesis.tex"}},
         {"-list", "-"}, "star.lc\n", "", "", 0, {{"star.txt", "star.lc"}}, ""},
        {{{"star.lc", two}, {"thesis.tex", "\\documentclass{thesis}\n"}}, {{"star.txt", "thesis.tex"}},
         {"-list", "-", "-force"}, "star.lc\n", "", "", 0, {{"star.txt", "star.lc"}}, ""},
        {{{"a.lc", two}, {"b.lc", three}}, {{"b.txt", "a.txt"}}, {"-list", "-", "-force"}, "b.lc\na.lc\n", "", "", 0,
         {{"b.txt", "b.lc"}, {"a.txt", "a.lc"}}, ""},
        // Never over a file the run reads, even with -force.
        {{{"star.lc", two}, {"other.lc", three}}, {{"star.txt", "=other.lc"}}, {"-list", "-", "-force"},
         "star.lc\nother.lc\n", "", "Error: star.lc: its output star.txt would replace another input of this run\n" +
         none("1 of 2 files"), 8, {{"other.txt", "other.lc"}}, ""},
        {{{"star.lc", two}, {"star.txt", three}}, {}, {"-list", "-", "-force"}, "star.lc\nstar.txt\n", "",
         "Error: star.lc: its output star.txt would replace another input of this run\n"
         "Error: star.txt: its output star.txt would replace the input itself\n" + none("2 of 2 files"), 8, {}, ""},
        {{{"star.lc", two}}, {}, {"-list", "-"}, "star.lc\nstar.txt\n", "",
         "Error: star.lc: its output star.txt would replace another input of this run\n"
         "Error: star.txt: its output star.txt would replace the input itself\n" + none("2 of 2 files"), 8, {}, ""},
        {{{"survey.lc", two}, {"survey.txt", "survey.lc\n"}}, {}, {"-list", "survey.txt", "-force"}, "", "",
         "Error: survey.lc: its output survey.txt would replace the list\n" + none("1 of 1 file"), 8, {}, ""},
        {{{"star.lc", two}, {"star.txt", "list names\nforce\n"}, {"names", "star.lc\n"}}, {}, {"-file", "star.txt"},
         "", "", "Error: star.lc: its output star.txt would replace the option file\n" + none("1 of 1 file"), 8, {},
         ""},
        {{{"d/x.txt", one}}, {}, {"-list", "-", "-outdir", "./d", "-force"}, "d/x.txt\n", "",
         "Error: d/x.txt: its output ./d/x.txt would replace the input itself\n" + none("1 of 1 file"), 8, {}, ""},
        // A list of find -print0, a list with no lines, a line too long.
        {{{"s1.lc", one}, {"s3.lc", one}, {"out/s3.lc", two}}, {}, {"-list", "-", "-outdir", "out"},
         std::string("s1.lc\0s3.lc\0", 12), "", nul_line, 8, {}, ""},
        {{{"s1.lc", one}}, {}, {"-list", "-", "-stats"}, std::string("s1.lc\0", 6), "", nul_line, 8, {}, ""},
        {{}, {}, {"-list", "/dev/zero"}, "", "",
         "Error: /dev/zero: line 1 holds a NUL byte; a list holds one name a line, as find -print writes them\n", 8,
         {}, ""},
        {{{"names", "a.lc\n\n" + std::string(4097, 'a') + "\r\n"}}, {}, {"-list", "names"}, "", "", long_line, 8, {},
         ""},
        {{{"names", "a.lc\n\n" + std::string(5000, 'a')}}, {}, {"-list", "names"}, "", "", long_line, 8, {}, ""},
        {{}, {}, {"-list", "-"}, std::string(4096, 'a') + "\r\n", "",
         "Can't open file: " + std::string(4096, 'a') + "\n" + none("1 of 1 file"), 8, {}, ""},
        // The last line needs no newline, a Windows one neither.
        {{{"star.lc", two}}, {}, {"-list", "-"}, "star.lc\r", "", "", 0, {{"star.txt", "star.lc"}}, ""},
        {{{long_name, two}}, {}, {"-list", "-"}, long_name + "\n", "", "", 0,
         {{std::string(244, 's') + ".txt", long_name}}, ""},
        // A file named twice is done once, by any spelling.
        {{{"star.lc", two}}, {{"here", "."}}, {"-list", "-"}, "star.lc\n./star.lc\nhere/star.lc\n", "",
         "Error: ./star.lc: already converted in this run\nError: here/star.lc: already converted in this run\n" +
             none("2 of 3 files"), 8, {{"star.txt", "star.lc"}}, ""},
        {{{"star.lc", two}, {"cut.lc", three.substr(0, 100)}}, {}, {"-list", "-", "-stats"},
         "star.lc\ncut.lc\n./star.lc\n", stats_star,
         "Error: cut.lc: holds 2 of 3 records (100 bytes; 124 needed)\n"
         "Error: ./star.lc: already summarised in this run\nlcdump: 2 of 3 files not summarised\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-stats"}, "", header, "", 0, {}, ""},
        // Directories of the same base names, kept apart by -mirror.
        {{{"field A/star.lc", two}, {"fieldB/star.lc", three}, {"out/.keep", ""}}, {},
         {"-list", "-", "-outdir", "out"}, "field A/star.lc\nfieldB/star.lc\n", "",
         "Error: fieldB/star.lc: its output out/star.txt would replace one written earlier in this run\n" +
             none("1 of 2 files"), 8, {{"out/star.txt", "field A/star.lc"}}, ""},
        {{{"field A/star.lc", two}, {"fieldB/star.lc", three}, {"out/.keep", ""}}, {},
         {"-list", "-", "-outdir", "out/", "-mirror"}, "field A/star.lc\n./fieldB//star.lc\n" + absolute + "\n", "",
         "", 0, {{"out/field A/star.fits", "field A/star.lc"}, {"out/fieldB/star.fits", "fieldB/star.lc"},
                 {"out" + dir + "/abs/far.fits", absolute}}, "-fits"},
        {{{"fieldB/star.lc", two}, {"out/fieldB/star.txt", "old\n"}}, {}, {"-list", "-", "-outdir", "out", "-mirror"},
         "./fieldB//star.lc\n", "", "Error: ./fieldB//star.lc: its output out/fieldB/star.txt exists; not replaced "
         "(-force replaces it)\n" + none("1 of 1 file"), 8, {}, ""},
        {{{"out/.keep", ""}}, {}, {"-list", "-", "-outdir", "out", "-mirror"}, "../star.lc\n", "",
         "Error: ../star.lc: -mirror takes no name with a .. component\n" + none("1 of 1 file"), 8, {}, ""},
        // Names and directories that say what is wrong.
        {{}, {}, {"-list", "-"}, "star0002.lc  \n", "", "Can't open file: 'star0002.lc  '\n" + none("1 of 1 file"), 8,
         {}, ""},
        {{}, {}, {"-list", "-"}, " \n", "", "Can't open file: ' '\n" + none("1 of 1 file"), 8, {}, ""},
        {{}, {}, {"-list", "."}, "", "", "Error: .: the list is a directory\n", 8, {}, ""},
        {{{"afile", "x"}}, {}, {"-list", "-", "-outdir", "afile"}, "", "", "Error: afile: not a directory\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-outdir", "nowhere"}, "", "", "Error: nowhere: no such directory\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-outdir", ""}, "", "", "Error: -outdir names no directory\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-mirror"}, "", "", "Error: -mirror goes with -outdir\n", 8, {}, ""},
        {{}, {}, {"-in", "x.lc", "-force"}, "", "", "Error: -force goes with -list\n", 8, {}, ""},
        {{}, {}, {"-in", "x.lc", "-outdir", "."}, "", "", "Error: -outdir goes with -list\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-in", "x.lc"}, "", "", "Error: -list and -in can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-stats", "-force"}, "", "", "Error: -stats and -force can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-stats", "-outdir", "."}, "", "", "Error: -stats and -outdir can't be combined\n", 8,
         {}, ""},
        {{}, {}, {"-list", "-", "-stats", "-csv"}, "", "", "Error: -stats and -csv can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-forc"}, "", "", "lcdump: unknown switch -forc; did you mean -force?\n", 8, {}, ""},
        // A survey's page: its directory made, or said why not; what goes
        // with it.
        {{}, {}, {"-list", "-", "-report", ""}, "", "", "Error: -report names no directory\n", 8, {}, ""},
        {{}, {}, {"-in", "x.lc", "-report", "page"}, "", "", "Error: -report goes with -list\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-report", "page", "-outdir", "."}, "", "",
         "Error: -outdir and -report can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-report", "page", "-fold", "2"}, "", "",
         "Error: -fold and -report can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-csv", "-report", "page"}, "", "", "Error: -csv and -report can't be combined\n", 8,
         {}, ""},
        {{}, {}, {"-list", "-", "-report", "page", "-stats", "-fits"}, "", "",
         "Error: -stats and -report can't be combined\n", 8, {}, ""},
        {{}, {}, {"-list", "-", "-report", "page", "-exact"}, "", "", "Error: -exact goes with -csv\n", 8, {}, ""},
        {{{"afile", "x"}}, {}, {"-list", "-", "-report", "afile"}, "", "", "Error: afile: not a directory\n", 8, {},
         ""},
        {{}, {}, {"-list", "-", "-report", "no/page"}, "", "",
         "Error: can't make directory no/page: No such file or directory\n", 8, {}, ""},
        {{{"page/index.html", "old\n"}}, {}, {"-list", "-", "-report", "page"}, "", "",
         "Error: page/index.html exists; not replaced (-force replaces it)\n", 8, {}, ""},
        {{{"star.lc", two}}, {}, {"-list", "-", "-report", "page", "-period"}, "star.lc\n", "", "", 0,
         {{"page/star.svg", "star.lc"}}, "-svg"},
        {{{"star.lc", two}}, {}, {"-list", "-", "-report", "page", "-mirror"}, "./star.lc\nstar.lc\n", "",
         "Error: star.lc: already converted in this run\n" + none("1 of 2 files"), 8, {{"page/star.svg", "./star.lc"}},
         "-svg"},
        // clang-format on
    };
    int n = 0;
    for (const auto& row : table) {
        const std::string top = dir + "/row" + std::to_string(++n);
        SCOPED_TRACE("row " + std::to_string(n) + ": " + row.stdin_data.substr(0, 60));
        ::mkdir(top.c_str(), 0755);
        for (const auto& [name, bytes] : row.files) {
            fs::create_directories(fs::path(top + "/" + name).parent_path());
            write_file(top + "/" + name, bytes);
        }
        for (const auto& [name, target] : row.links)
            ASSERT_EQ(target[0] == '=' ? ::link((top + "/" + target.substr(1)).c_str(), (top + "/" + name).c_str())
                                       : ::symlink(target.c_str(), (top + "/" + name).c_str()),
                      0);
        RunOptions run;
        run.cwd = top;
        run.stdin_data = row.stdin_data;
        std::vector<std::string> args = row.args;
        args.push_back(row.form);
        expect_result(lcdump(args, run), row.out, row.err, row.status);
        std::map<std::string, std::string> dumped;
        for (const auto& [output, input] : row.dumps) {
            const std::string path = output[0] == '/' ? output : top + "/" + output;
            dumped[path] = input;
            // Not EXPECT_EQ: a FITS dump would fill the screen.
            EXPECT_TRUE(contents(path) == lcdump({"-in", input, row.form}, run).out) << output;
        }
        for (const auto& [name, bytes] : row.files) {
            if (dumped.count(top + "/" + name) == 0) {
                EXPECT_EQ(contents(top + "/" + name), bytes) << name;
            }
        }
        EXPECT_EQ(temporaries_under(top), std::vector<std::string>());
    }
}

// Ctrl-C, scancel or a time limit in the middle of a long list: no
// temporary, no partial output, one line that says how far the run got,
// and death by the signal, which is what the shell and Slurm report.
TEST_F(Lcdump, InterruptedListLeavesOnlyWholeOutputs)
{
    const std::string input = file("big.lc", numbered_file(200000));
    ::mkdir((dir + "/out").c_str(), 0755);
    std::string names;
    for (int i = 0; i < 40; ++i) {
        const std::string name = dir + "/star" + std::to_string(i) + ".lc";
        ASSERT_EQ(::symlink(input.c_str(), name.c_str()), 0);
        names += name + "\n";
    }
    const std::string list = file("names", names), whole = "200000\n" + lines_for(0, 200000);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        for (const auto& entry : fs::directory_iterator(dir + "/out"))
            fs::remove(entry.path());
        ChildProcess run(command_line(LCDUMP_BINARY, {"-list", list, "-outdir", dir + "/out"}));
        // Once the second file is under way, so that one is whole and one is
        // not; a run that has ended or shows neither in time fails below.
        const auto start = std::chrono::steady_clock::now();
        const auto patience = std::chrono::seconds(under_runner() ? 300 : 10);
        for (std::size_t outputs = 0, temporaries = 0;
             !(outputs >= 1 && temporaries == 1) && outputs < 40 && std::chrono::steady_clock::now() - start < patience;
             ::usleep(1000)) {
            outputs = temporaries = 0;
            for (const auto& entry : fs::directory_iterator(dir + "/out"))
                ++(entry.path().filename().string().rfind(".lcdump-", 0) == 0 ? temporaries : outputs);
        }
        ::kill(run.pid(), signal_number);
        const RunResult r = run.finish();
        EXPECT_EQ(r.status, 128 + signal_number);
        std::size_t outputs = 0;
        for (const auto& entry : fs::directory_iterator(dir + "/out")) {
            EXPECT_TRUE(contents(entry.path().string()) == whole) << entry.path();
            ++outputs;
        }
        EXPECT_GE(outputs, 1u);
        EXPECT_LT(outputs, 40u);
        EXPECT_EQ(r.err, "lcdump: interrupted; " + std::to_string(outputs) + " of 40 files converted\n");
    }
}

// Runs side by side into one directory, as array jobs do: every final file
// is one input's whole dump, and each failure is a true one.
TEST_F(Lcdump, RunsAtOnceNeverTearAFile)
{
    for (const char* sub : {"/A", "/B", "/out"})
        ::mkdir((dir + sub).c_str(), 0755);
    std::string names_a, names_b;
    std::map<std::string, std::pair<std::string, std::string>> dumps;  // output, then A's and B's dump
    for (int i = 0; i < 100; ++i) {
        const std::string base = "star" + std::to_string(i);
        names_a += file("A/" + base + ".lc", numbered_file(2000 + i)) + "\n";
        names_b += file("B/" + base + ".lc", numbered_file(2100 + i)) + "\n";
        dumps[dir + "/out/" + base + ".txt"] = {std::to_string(2000 + i) + "\n" + lines_for(0, 2000 + i),
                                                std::to_string(2100 + i) + "\n" + lines_for(0, 2100 + i)};
    }
    const std::string list_a = file("a", names_a), list_b = file("b", names_b);
    const std::string exists = " exists; not replaced (-force replaces it)\n";
    for (const bool same_list : {true, false})
        for (const bool force : {true, false}) {
            SCOPED_TRACE(std::string(same_list ? "one list" : "two lists") + (force ? ", -force" : ""));
            for (const auto& entry : fs::directory_iterator(dir + "/out"))
                fs::remove(entry.path());
            std::vector<std::string> args = {"-list", list_a, "-outdir", dir + "/out"};
            if (force)
                args.push_back("-force");
            ChildProcess first(command_line(LCDUMP_BINARY, args));
            args[1] = same_list ? list_a : list_b;
            ChildProcess second(command_line(LCDUMP_BINARY, args));
            const RunResult a = first.finish(), b = second.finish();
            std::size_t refused = 0;
            for (const RunResult& r : {a, b}) {
                std::istringstream lines(r.err);
                std::size_t mine = 0;
                for (std::string line; std::getline(lines, line);)
                    if (line.rfind("lcdump: ", 0) != 0) {
                        EXPECT_NE((line + "\n").find(exists), std::string::npos) << line;
                        ++mine;
                    }
                refused += mine;
                EXPECT_EQ(r.status, mine > 0 ? 8 : 0);
            }
            // Without -force, each output is made by one run and refused by the other.
            EXPECT_EQ(refused, force ? 0u : 100u);
            for (const auto& [output, made] : dumps) {
                const std::string got = contents(output);
                EXPECT_TRUE(got == made.first || (!same_list && got == made.second)) << output;
            }
            EXPECT_EQ(temporaries_under(dir + "/out"), std::vector<std::string>());
        }
}

// Memory that runs out anywhere in a run over a list: whatever was
// converted is whole, nothing else is left, and the run says so and fails.
TEST_F(Lcdump, ListRunningOutOfMemoryLeavesOnlyWholeOutputs)
{
    if (!allocator_is_ours())
        GTEST_SKIP() << "replaces the allocator";
    ::mkdir((dir + "/out").c_str(), 0755);
    std::string names;
    for (const char* name : {"a.lc", "b.lc", "c.lc"})
        names += file(name, numbered_file(3)) + "\n";
    const std::string list = file("names", names);
    // Into a directory of text files, and into a survey's page, whose
    // pictures are each its input's, and whose table and page are whole.
    for (const char* into : {"-outdir", "-report"}) {
        SCOPED_TRACE(into);
        const bool report = std::string(into) == "-report";
        RunOptions run;
        run.environment = {"LD_PRELOAD=" LCDUMP_FAILALLOC, "LCDUMP_FAIL=0", "LCDUMP_FAIL_COUNTS=" + dir + "/counts"};
        const std::vector<std::string> args = {"-list", list, into, dir + "/out", "-mirror"};
        expect_result(lcdump(args, run), "", "", 0);
        long total = 0;
        std::ifstream(dir + "/counts") >> total;
        ASSERT_GE(total, 30) << "the names, their spellings, the streams, the record stores";
        for (long n = 1; n <= total; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
            fs::remove_all(dir + "/out");
            ::mkdir((dir + "/out").c_str(), 0755);
            run.environment[1] = "LCDUMP_FAIL=" + std::to_string(n);
            const RunResult r = lcdump(args, run);
            EXPECT_EQ(r.status, 8);
            EXPECT_EQ(r.out, "");
            std::istringstream lines(r.err);
            std::size_t out_of_memory = 0;
            for (std::string line; std::getline(lines, line);) {
                out_of_memory += line == "Error: out of memory" ? 1u : 0u;
                EXPECT_TRUE(line == "Error: out of memory" || line.rfind("lcdump: ", 0) == 0) << line;
            }
            EXPECT_GE(out_of_memory, 1u) << r.err;
            for (const auto& entry : fs::recursive_directory_iterator(dir + "/out")) {
                if (!entry.is_regular_file())
                    continue;
                const std::string path = entry.path().string(), got = contents(path);
                const std::string input = dir + "/" + entry.path().stem().string() + ".lc";
                if (!report)
                    EXPECT_TRUE(got == lcdump({"-in", input}).out) << path;
                else if (entry.path().extension() == ".svg")
                    EXPECT_TRUE(got == lcdump({"-in", input, "-svg"}).out) << path;
                else if (entry.path().filename() == "index.html")
                    EXPECT_EQ(got.substr(got.size() - 8), "</html>\n") << path;
                else
                    EXPECT_EQ(got.rfind(lcdump({"-list", "/dev/null", "-stats", "-period"}).out, 0), 0u) << path;
            }
            EXPECT_EQ(temporaries_under(dir + "/out"), std::vector<std::string>());
        }
    }
}

// A survey's page with each write to its files failing in turn, in each
// way the system fails them: a write cut short or interrupted is made
// again, and the page is the same; one that fails is said in one line,
// status 8, and every file left in DIR is whole: each picture the one the
// star has, the table and the page ended.
TEST_F(Lcdump, ReportWithEveryWriteFailingInTurn)
{
    if (under_runner())
        GTEST_SKIP() << "many runs: too slow under a runner";
    std::string names;
    for (const char* name : {"a.lc", "b.lc", "c.lc"})
        names += file(name, numbered_file(50)) + "\n";
    const std::string list = file("names", names), page = dir + "/page";
    const std::vector<std::string> args = {"-list", list, "-report", page};
    auto files_of = [&]() {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(page))
            found[entry.path().filename().string()] = contents(entry.path().string());
        return found;
    };
    RunOptions run;
    run.environment = {"LD_PRELOAD=" LCDUMP_FAILIO, "LCDUMP_FAILIO_FILES=1", "LCDUMP_FAILIO_COUNTS=" + dir + "/counts"};
    expect_result(lcdump(args, run), "", "", 0);
    const std::map<std::string, std::string> whole = files_of();
    ASSERT_EQ(whole.size(), 5u);
    long writes = 0;
    std::ifstream(dir + "/counts") >> writes;
    ASSERT_GE(writes, 5) << "a picture each, the table's rows and the page";
    const struct {
        const char* kind;
        int error_number;
    } failures[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO}, {"short", 0}, {"EINTR", 0}};
    for (long at = 1; at <= writes; ++at) {
        for (const auto& failure : failures) {
            SCOPED_TRACE("write " + std::to_string(at) + " of " + std::to_string(writes) + ": " + failure.kind);
            fs::remove_all(page);
            run.environment = {"LD_PRELOAD=" LCDUMP_FAILIO, "LCDUMP_FAILIO_FILES=1", "LCDUMP_FAILIO_OP=write",
                               "LCDUMP_FAILIO_AT=" + std::to_string(at),
                               std::string("LCDUMP_FAILIO_KIND=") + failure.kind};
            const RunResult r = lcdump(args, run);
            const std::map<std::string, std::string> left = files_of();
            EXPECT_EQ(temporaries_under(page), std::vector<std::string>());
            if (failure.error_number == 0) {
                expect_result(r, "", "", 0);
                EXPECT_TRUE(left == whole);
                continue;
            }
            EXPECT_EQ(r.status, 8);
            const std::string reason = std::string(": ") + std::strerror(failure.error_number);
            EXPECT_TRUE(std::regex_match(r.err, std::regex("Error: can't write " + page + "/[a-z.]+" + reason +
                                                           "\n(lcdump: 1 of 3 files not converted\n)?")))
                << r.err;
            EXPECT_LT(left.size(), whole.size());
            for (const auto& [name, bytes] : left) {
                if (name.size() > 4 && name.substr(name.size() - 4) == ".svg")
                    EXPECT_TRUE(bytes == whole.at(name)) << name;
                else if (name == "index.html")
                    EXPECT_EQ(bytes.substr(bytes.size() - 8), "</html>\n");
                else
                    EXPECT_EQ(bytes.rfind(lcdump({"-list", "/dev/null", "-stats", "-period"}).out, 0), 0u) << name;
            }
        }
    }
}

// Names are told apart by their full spellings, not a hash of them: these
// two share their 64-bit FNV-1a hash in this directory, found by a search.
TEST_F(Lcdump, NamesThatShareAHashAreTwoFiles)
{
    const std::string top = "/tmp/lcdump-fnv";
    if (fs::weakly_canonical(top) != top)
        GTEST_SKIP() << "/tmp is a link here, which changes what the names hash to";
    // The names must be these, so two test runs at once (a plain one and
    // one under valgrind, say) take turns at the directory.
    const int lock = ::open("/tmp/lcdump-fnv.lock", O_CREAT | O_RDWR, 0666);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};
    fs::remove_all(top);
    fs::create_directory(top);
    auto fnv1a = [](const std::string& text) {
        std::uint64_t hash = 14695981039346656037u;
        for (char c : text)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        return hash;
    };
    const std::string a = "e1d5f70d74691dbf", b = "a85eba3af2497f87";
    ASSERT_EQ(fnv1a(top + "/" + a + ".txt"), fnv1a(top + "/" + b + ".txt"));
    ASSERT_EQ(fnv1a(top + "/" + a + ".lc"), fnv1a(top + "/" + b + ".lc"));
    write_file(top + "/" + a + ".lc", numbered_file(2));
    write_file(top + "/" + b + ".lc", numbered_file(3));
    RunOptions run;
    run.cwd = top;
    run.stdin_data = top + "/" + a + ".lc\n" + top + "/" + b + ".lc\n";
    expect_result(lcdump({"-list", "-"}, run), "", "", 0);
    for (const std::string& name : {a, b})
        EXPECT_EQ(contents(top + "/" + name + ".txt"), lcdump({"-in", name + ".lc"}, run).out);
    const RunResult stats = lcdump({"-list", "-", "-stats"}, run);
    EXPECT_EQ(stats.err + std::to_string(stats.status), "0");
    EXPECT_EQ(std::count(stats.out.begin(), stats.out.end(), '\n'), 3);
    fs::remove_all(top);
}

// A file-size limit met by the last write, which only the close makes, or
// by one in the middle: the file fails as on a full disk, instead of the
// run being killed, or a cut-short output being put in place.
TEST_F(Lcdump, ListMeetingAFileSizeLimitLeavesNothing)
{
    ::mkdir((dir + "/out").c_str(), 0755);
    for (int records : {3, 20000}) {
        SCOPED_TRACE(records);
        const std::string input = file("star.lc", numbered_file(records));
        RunOptions limited;
        limited.file_size_limit = 100;
        limited.stdin_data = input + "\n";
        expect_result(
            lcdump({"-list", "-", "-outdir", dir + "/out"}, limited), "",
            "Error: can't write " + dir + "/out/star.txt: File too large\nlcdump: 1 of 1 file not converted\n", 8);
        EXPECT_TRUE(fs::is_empty(dir + "/out"));
        // A survey's page: the picture and then the table fail, and the
        // page, which would name them, is not begun.
        expect_result(lcdump({"-list", "-", "-report", dir + "/out"}, limited), "",
                      "Error: can't write " + dir + "/out/star.svg: File too large\nError: can't write " + dir +
                          "/out/summary.csv: File too large\nlcdump: 1 of 1 file not converted\n",
                      8);
        EXPECT_TRUE(fs::is_empty(dir + "/out"));
    }
}

// A summary table that can no longer be written ends the run at once:
// every later row would be lost too.
TEST_F(Lcdump, ListOnStandardInputThatIsADirectory)
{
    expect_result(run_program({"/bin/sh", "-c", "exec \"$0\" -list - < \"$1\"", LCDUMP_BINARY, dir}), "",
                  "Error: -: the list is a directory\n", 8);
}

TEST_F(Lcdump, ListStatsEndsWhenTheTableCannotBeWritten)
{
    std::string names;
    for (const char* name : {"a.lc", "b.lc", "c.lc"})
        names += file(name, numbered_file(3)) + "\n";
    const std::string table = lcdump({"-list", file("names", names), "-stats"}).out;
    RunOptions limited;
    limited.stdout_path = dir + "/table";
    limited.file_size_limit = static_cast<long>(table.find('\n') + 10);
    expect_result(lcdump({"-list", dir + "/names", "-stats"}, limited), "",
                  "Error: can't write output: File too large\n", 8);
    RunOptions full;
    full.stdout_path = "/dev/full";
    // Nothing is read once the header has failed.
    expect_result(lcdump({"-list", file("more", dir + "/missing.lc\n" + names), "-stats"}, full), "",
                  "Error: can't write output: No space left on device\n", 8);
    // Up to the limit, as on a full disk: the header, then part of a row.
    EXPECT_EQ(contents(dir + "/table"), table.substr(0, static_cast<std::size_t>(limited.file_size_limit)));
}

// Called as a library, a request replaces nothing unless it says so.
TEST_F(Lcdump, ListRequestReplacesNothingByDefault)
{
    file("star.lc", numbered_file(2));
    const std::string mine = file("star.txt", "my notes\n");
    ListRequest request;
    const std::string list = file("names", dir + "/star.lc\n");
    request.list_name = list.c_str();
    std::FILE* messages = std::tmpfile();
    ASSERT_NE(messages, nullptr);
    EXPECT_EQ(dump_list(request, messages), 8);
    std::fclose(messages);
    EXPECT_EQ(contents(mine), "my notes\n");
}

// Where a file system cannot rename without replacing, nor perhaps make a
// second link, an output still never replaces a file unasked, not even one
// made while the output was being written, and leaves no temporary.
TEST_F(Lcdump, ListNeverReplacesAFileMadeMeanwhile)
{
    const std::string two = numbered_file(2), dump = "2\n" + lines_for(0, 2);
    const std::string fifo = dir + "/star.lc", out = dir + "/out";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* system : {"", "no RENAME_NOREPLACE", "no links either"}) {
        SCOPED_TRACE(system);
        if (*system != '\0' && !allocator_is_ours())
            continue;  // the sanitizers' and valgrind's own libraries would see the preload too
        fs::remove_all(out);
        ::mkdir(out.c_str(), 0755);
        RunOptions run;
        if (*system != '\0')
            run.environment = {"LD_PRELOAD=" LCDUMP_OLDRENAME};
        if (std::string(system) == "no links either")
            run.environment.push_back("LCDUMP_NO_LINKS=1");
        const std::string list = file("names", file("a.lc", two) + "\n" + fifo + "\n");
        ChildProcess child(command_line(LCDUMP_BINARY, {"-list", list, "-outdir", out}), run);
        // The input is a FIFO, so the run waits on it, its output checked
        // and not there yet, while another program makes a file of that name.
        const int fd = child.open_fifo_for_writing(fifo);
        ASSERT_GE(fd, 0) << child.finish().err;
        write_file(out + "/star.txt", "made meanwhile\n");
        ASSERT_EQ(::write(fd, two.data(), two.size()), static_cast<ssize_t>(two.size()));
        ::close(fd);
        expect_result(child.finish(), "",
                      "Error: " + fifo + ": its output " + out +
                          "/star.txt exists; not replaced (-force replaces it)\nlcdump: 1 of 2 files not converted\n",
                      8);
        EXPECT_EQ(contents(out + "/a.txt"), dump);
        EXPECT_EQ(contents(out + "/star.txt"), "made meanwhile\n");
        EXPECT_EQ(temporaries_under(out), std::vector<std::string>());
    }
}
