#include <gtest/gtest.h>

#include "ia.h"
#include "iastring.h"

namespace {

// Counts live objects so the number of blocks an array holds can be seen.
struct Counted {
    static int live;
    int value = 0;
    Counted() { ++live; }
    Counted(const Counted& other) : value(other.value) { ++live; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { --live; }
};
int Counted::live = 0;

}  // namespace

TEST(InfiniteArray, GrowsOneBlockAtATimeAndReleasesAll)
{
    Counted::live = 0;
    {
        InfiniteArray<Counted> a;
        a[9].value = 9;
        EXPECT_EQ(Counted::live, 10);  // index 9 stays in the first block
        a[10].value = 10;
        EXPECT_EQ(Counted::live, 20);
        a[25].value = 25;  // adds the third block
        EXPECT_EQ(Counted::live, 30);
        EXPECT_EQ(a[5].value + a[15].value, 0);
        EXPECT_EQ(a[25].value, 25);
        a.reset();
        EXPECT_EQ(Counted::live, 10);
        EXPECT_EQ(a[9].value, 0);
        EXPECT_EQ(a[12].value, 0);  // a fresh block after the reset
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST(InfiniteArray, ElementsStartAsZeroValues)
{
    {
        IAint dirty;  // leave non-zero bytes on the heap for reuse
        for (unsigned i = 0; i < 300; ++i)
            dirty[i] = -1;
    }
    IAint ints;
    IAdouble doubles;
    IAString strings;
    for (unsigned i = 0; i < 300; i += 7) {
        EXPECT_EQ(ints[i], 0) << i;
        EXPECT_EQ(doubles[i], 0.0) << i;
        EXPECT_EQ(strings[i].c_str(), nullptr) << i;
    }
}

// A million blocks: releasing them must not recurse once per block.
TEST(InfiniteArray, LongChainDestroysWithoutStackOverflow)
{
    IAString words;
    words[10'000'000] = "last";
    EXPECT_STREQ(words[10'000'000].c_str(), "last");
}

TEST(String2Words, SplitsAtWhiteSpaceAndLeavesTheRest)
{
    IAString words;
    words[2] = "keep";
    String blanks("  a  b "), line("in\tc.dat\r\n"), high("x\xe9y \v\fz");
    EXPECT_EQ(string2words(blanks, words), 2);
    EXPECT_STREQ(words[0].c_str(), "a");
    EXPECT_STREQ(words[1].c_str(), "b");
    EXPECT_STREQ(words[2].c_str(), "keep");  // behind the count: untouched
    EXPECT_EQ(string2words(line, words), 2);
    EXPECT_STREQ(words[1].c_str(), "c.dat");  // the CR is not part of the word
    EXPECT_EQ(string2words(high, words), 2);
    EXPECT_STREQ(words[0].c_str(), "x\xe9y");  // bytes above 127 belong to words

    String empty(""), white(" \t  \t"), none;
    EXPECT_EQ(string2words(empty, words), 0);
    EXPECT_EQ(string2words(white, words), 0);
    EXPECT_EQ(string2words(none, words), 0);
    EXPECT_STREQ(words[0].c_str(), "x\xe9y");

    String many;
    for (int i = 0; i < 25; ++i)
        many += String(" w") + num_to_str(i);
    EXPECT_EQ(string2words(many, words), 25);
    EXPECT_STREQ(words[24].c_str(), "w24");
}
