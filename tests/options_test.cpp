#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "options.h"

namespace {

// Mutable argv built from a list of words.
struct Args {
    Args(std::initializer_list<std::string> list) : words(list)
    {
        for (std::string& w : words)
            ptrs.push_back(w.data());
        ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words.size()); }
    char** argv() { return ptrs.data(); }
    std::vector<std::string> words;
    std::vector<char*> ptrs;
};

std::string lookup(OptionSet& set, const char* name, int index)
{
    String s = set.getOption(name, index, String("<default>"));
    return s.c_str() ? s.c_str() : "<no text>";
}

}  // namespace

TEST(OptionSet, TextLookups)
{
    Args a{"prog", "-in", "a.dat", "-in", "b.dat", "-x"};
    OptionSet set(a.argc(), a.argv());
    EXPECT_EQ(lookup(set, "in", 1), "a.dat");  // first occurrence wins
    EXPECT_EQ(lookup(set, "in", 0), "-in");
    EXPECT_EQ(lookup(set, "in", 4), "-x");
    EXPECT_EQ(lookup(set, "in", 5), "<default>");  // one past the last word
    EXPECT_EQ(lookup(set, "in", -1), "prog");
    EXPECT_EQ(lookup(set, "in", -2), "<default>");  // before word 0
    EXPECT_EQ(lookup(set, "out", 1), "<default>");
    EXPECT_EQ(set.getOption("out", 1, String("")).c_str(), nullptr);

    Args b{"-in", "x", "-in"};  // the program path never counts
    OptionSet path(b.argc(), b.argv());
    EXPECT_EQ(lookup(path, "in", 1), "<default>");
    EXPECT_FALSE(path.checkSwitch("in"));
    OptionSet empty;
    EXPECT_EQ(lookup(empty, "in", 0), "<default>");
}

TEST(OptionSet, NumberLookups)
{
    // clang-format off
    Args a{"prog", "-n", "abc", "-x", "-3", "-e", "", "-big", "99999999999",
           "-small", "-99999999999", "-f", "2.5e2", "-last"};
    // clang-format on
    OptionSet set(a.argc(), a.argv());
    EXPECT_EQ(set.getOption("n", 1, 5), 0);  // present but not a number
    EXPECT_EQ(set.getOption("x", 1, 5), -3);
    EXPECT_EQ(set.getOption("e", 1, 5), 5);  // an empty word counts as missing
    EXPECT_EQ(set.getOption("last", 1, 5), 5);
    EXPECT_EQ(set.getOption("x", -100, 5), 5);
    EXPECT_EQ(set.getOption("big", 1, 5), INT_MAX);
    EXPECT_EQ(set.getOption("small", 1, 5), INT_MIN);
    EXPECT_DOUBLE_EQ(set.getOption("f", 1, 1.5), 250.0);
    EXPECT_DOUBLE_EQ(set.getOption("n", 1, 1.5), 0.0);
    EXPECT_DOUBLE_EQ(set.getOption("e", 1, 1.5), 1.5);
    EXPECT_DOUBLE_EQ(set.getOption("none", 1, 1.5), 1.5);
}

TEST(OptionSet, SwitchesAndArgumentCounts)
{
    Args a{"prog", "a", "-verbose", "-n", "1", "2", "-x", "-3", "-e", "", "1", "-V", "-t", "9"};
    OptionSet set(a.argc(), a.argv());
    EXPECT_TRUE(set.checkSwitch("verbose"));
    EXPECT_FALSE(set.checkSwitch("v"));  // whole words only, case-sensitive
    EXPECT_TRUE(set.checkSwitch("V"));
    EXPECT_EQ(set.numArgs("n"), 3);       // the option word counts
    EXPECT_EQ(set.numArgs("x"), 1);       // -3 starts with '-'
    EXPECT_EQ(set.numArgs("e"), 3);       // an empty word is a value
    EXPECT_EQ(set.numArgs("t"), 2);       // runs to the end of the list
    EXPECT_EQ(set.numArgs("absent"), 3);  // scans from word 0 up to -verbose
    Args b{"prog", "a", "b"};
    OptionSet plain(b.argc(), b.argv());
    EXPECT_EQ(plain.numArgs("absent"), 4);
}

class OptionFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/options_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
    std::string dir;
};

TEST_F(OptionFile, CommandLineComesFirst)
{
    std::string opts = write("opts", "in b.dat\nmode fast 2\n");
    Args a{"prog", "-file", opts, "-in", "a.dat"}, b{"prog", "-file", opts};
    OptionSet with(a.argc(), a.argv()), without(b.argc(), b.argv());
    EXPECT_EQ(lookup(with, "in", 1), "a.dat");
    EXPECT_EQ(lookup(without, "in", 1), "b.dat");
    EXPECT_EQ(without.getOption("mode", 2, 0), 2);
    EXPECT_EQ(without.numArgs("mode"), 3);
}

// The whole word list is read back through offsets behind the first option.
TEST_F(OptionFile, LineFormat)
{
    std::string opts = write("opts", "a 1\n#in b.dat\n\n   \n  #x y\n-in x\n"
                                     "\t\r\nin\tc.dat\r\nlast z");
    Args args{"prog", "-file", opts};
    OptionSet set(args.argc(), args.argv());
    const char* expected[] = {"-a", "1", "-#x", "y", "--in", "x", "-in", "c.dat", "-last", "z", "<default>"};
    for (int k = 0; k < 11; ++k)
        EXPECT_EQ(lookup(set, "a", k), expected[k]) << k;
    EXPECT_EQ(lookup(set, "in", 1), "c.dat");  // --in is not the option in
}

TEST_F(OptionFile, LongLineEndsTheReading)
{
    std::string fits = write("fits", "before 1\nk " + std::string(197, 'v') + "\nafter 2\n");
    std::string cut = write("cut", "before 1\nk " + std::string(198, 'v') + "\nafter 2\n");
    Args a{"prog", "-file", fits}, b{"prog", "-file", cut};
    OptionSet ok(a.argc(), a.argv()), stopped(b.argc(), b.argv());
    EXPECT_EQ(lookup(ok, "k", 1), std::string(197, 'v'));
    EXPECT_EQ(lookup(ok, "after", 1), "2");
    EXPECT_EQ(lookup(stopped, "before", 1), "1");
    EXPECT_EQ(lookup(stopped, "before", 2), "<default>");
}

TEST_F(OptionFile, OnlyTheLastCommandLineFileIsRead)
{
    std::string second = write("second", "fromB 2\n");
    std::string first = write("first", "fromA 1\nfile " + second + "\n");
    Args a{"prog", "-file", first}, b{"prog", "-file", dir + "/missing", "-file", second};
    OptionSet nested(a.argc(), a.argv()), last(b.argc(), b.argv());
    EXPECT_FALSE(nested.checkSwitch("fromB"));  // file lines are plain words
    EXPECT_EQ(lookup(nested, "fromA", 2), "-file");
    EXPECT_EQ(lookup(nested, "fromA", 3), second);
    EXPECT_FALSE(last.checkSwitch("fromA"));
    EXPECT_EQ(lookup(last, "file", 4), "-fromB");  // all five command-line words stay

    Args c{"prog", "-file"}, d{"prog", "-file", ""};  // no name: nothing is read
    Args e{"prog", "-file", first, "-file"};          // a trailing -file clears the name
    OptionSet bare(c.argc(), c.argv()), blank(d.argc(), d.argv()), cleared(e.argc(), e.argv());
    EXPECT_EQ(lookup(bare, "file", 1), "<default>");
    EXPECT_EQ(lookup(blank, "file", 2), "<default>");
    EXPECT_FALSE(cleared.checkSwitch("fromA"));
}

namespace {

void build_with_stdout_to(const std::string& out, const std::string& optfile)
{
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::fflush(stdout);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    Args a{"prog", "-file", optfile};
    OptionSet set(a.argc(), a.argv());
}

std::string read_file(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

}  // namespace

TEST_F(OptionFile, UnreadableFileEndsTheRun)
{
    std::string out = dir + "/stdout", subdir = dir + "/sub";
    std::filesystem::create_directory(subdir);
    for (const std::string& name : {dir + "/missing", subdir}) {
        EXPECT_EXIT(build_with_stdout_to(out, name), ::testing::ExitedWithCode(8), "");
        EXPECT_EQ(read_file(out), "Can't open file: " + name + "\n");
    }
}
