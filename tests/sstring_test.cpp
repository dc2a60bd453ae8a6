#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <iomanip>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics.h"
#include "sstring.h"

// "No text" (null buffer) and "empty text" (lone NUL) both have length 0 but must stay apart.
TEST(String, NoTextAndEmptyTextStayApart)
{
    String none, from_null(static_cast<const char*>(nullptr)), empty("");
    EXPECT_EQ(none.c_str(), nullptr);
    EXPECT_EQ(from_null.c_str(), nullptr);
    ASSERT_NE(empty.c_str(), nullptr);
    EXPECT_EQ(empty.c_str()[0], '\0');
    EXPECT_EQ(none.length() + from_null.length() + empty.length(), 0);

    String copied(empty);  // copying a length-0 text gives no text ...
    EXPECT_EQ(copied.c_str(), nullptr);
    String assigned("old");
    assigned = empty;  // ... assigning one keeps the empty text
    ASSERT_NE(assigned.c_str(), nullptr);
    EXPECT_EQ(assigned.length(), 0);
    assigned.assign(none);
    EXPECT_EQ(assigned.c_str(), nullptr);
    EXPECT_TRUE(none == empty);
    EXPECT_FALSE(String().resize(-1));
}

TEST(String, CopiesOwnTheirText)
{
    EXPECT_STREQ(String('x').c_str(), "x");
    String a("abc"), b(a), c;
    c = a;
    b[0] = 'X';
    c[1] = 'Y';
    EXPECT_STREQ(a.c_str(), "abc");
    EXPECT_STREQ(b.c_str(), "Xbc");
    EXPECT_STREQ(c.c_str(), "aYc");
    EXPECT_EQ(a[3], '\0');  // index == length reads the NUL
    const String& alias = a;
    a = alias;
    EXPECT_STREQ(a.c_str(), "abc");
}

TEST(String, Concatenation)
{
    String none;
    EXPECT_STREQ((String("-") + none).c_str(), "-");
    EXPECT_EQ((String("-") + none).length(), 1);
    EXPECT_STREQ((none + String("ab")).c_str(), "ab");
    EXPECT_EQ((String("ab") + String("cd")).length(), 4);
    EXPECT_EQ((String("") + none).c_str(), nullptr);  // the sum starts as a copy: no text

    String n2;
    n2 += none;
    EXPECT_EQ(n2.c_str(), nullptr);
    n2.append(String(""));  // no text plus empty text is the empty text
    EXPECT_NE(n2.c_str(), nullptr);

    String s("ab");
    s += s;  // appending to itself must read the old text
    EXPECT_STREQ(s.c_str(), "abab");
    s.append(String("!")).append(none);
    EXPECT_STREQ(s.c_str(), "abab!");
    EXPECT_EQ(s.length(), 5);
}

TEST(String, SubstringComparisonStreaming)
{
    String hello("hello");
    EXPECT_STREQ(hello.substring(1, 3).c_str(), "ell");
    EXPECT_STREQ(hello.substring(0, 4).c_str(), "hello");
    String empty = hello.substring(3, 2);
    ASSERT_NE(empty.c_str(), nullptr);
    EXPECT_EQ(empty.length(), 0);
    EXPECT_EQ(hello.substring(2, 5).c_str(), nullptr);  // bounds outside the text
    EXPECT_EQ(hello.substring(-1, 2).c_str(), nullptr);

    EXPECT_TRUE(String("abc") == String("abc"));
    EXPECT_TRUE(String("abc") != String("abC"));
    EXPECT_TRUE(String("ab") != String("abc"));

    std::ostringstream os;
    os << String() << String("a") << std::setw(4) << String("bc") << '|';
    EXPECT_TRUE(os.good());
    EXPECT_EQ(os.str(), "a  bc|");
}

TEST(GetWord, WalksWordsAndReportsTheLast)
{
    String s("ab cd"), t(" \t x\n\r yy \f"), trailing("ab "), none, w;
    EXPECT_EQ(get_word(s, w, 0), 2);
    EXPECT_STREQ(w.c_str(), "ab");
    EXPECT_EQ(get_word(s, w, 2), -1);
    EXPECT_STREQ(w.c_str(), "cd");
    EXPECT_EQ(get_word(t, w, 0), 4);
    EXPECT_STREQ(w.c_str(), "x");
    EXPECT_EQ(get_word(t, w, 4), 9);
    EXPECT_STREQ(w.c_str(), "yy");
    // Only white space left, or no text at all: an empty text and -1.
    for (String* source : {&trailing, &none}) {
        String word("stale");
        EXPECT_EQ(get_word(*source, word, source->length() ? 2 : 0), -1);
        ASSERT_NE(word.c_str(), nullptr);
        EXPECT_EQ(word.length(), 0);
    }
}

TEST(NumberText, NumToStrIsNeverTruncated)
{
    EXPECT_STREQ(num_to_str(-7).c_str(), "-7");
    EXPECT_STREQ(num_to_str(INT_MIN).c_str(), "-2147483648");
    EXPECT_STREQ(num_to_str(3.5f).c_str(), "3.500000");
    EXPECT_STREQ(num_to_str(0.1).c_str(), "0.100000");
    char expected[400];
    for (double x : {1e22, -1e21, 1e300, -DBL_MAX, double(-FLT_MAX)}) {
        std::snprintf(expected, sizeof expected, "%f", x);
        EXPECT_STREQ(num_to_str(x).c_str(), expected);
    }
    EXPECT_STREQ(num_to_str(-FLT_MAX).c_str(), expected);  // float widened to double
}

TEST(NumberText, StrToNumbers)
{
    EXPECT_EQ(str2i("12abc"), 12);
    EXPECT_EQ(str2i("abc"), 0);
    EXPECT_EQ(str2i(" -42"), -42);
    EXPECT_EQ(str2i("0x1F"), 0);  // base 10 only
    EXPECT_EQ(str2i("010"), 10);
    EXPECT_EQ(str2i(String()), 0);
    EXPECT_EQ(str2i("2147483648"), INT_MAX);
    EXPECT_EQ(str2i("99999999999999999999"), INT_MAX);
    EXPECT_EQ(str2i("-2147483649"), INT_MIN);

    EXPECT_DOUBLE_EQ(str2f("2.5e2"), 250.0);
    EXPECT_DOUBLE_EQ(str2f("\t-1.5x"), -1.5);
    EXPECT_EQ(str2f("abc"), 0.0);
    EXPECT_EQ(str2f(String()), 0.0);
}

// What write_message makes of a name: every control character and every byte
// outside well-formed UTF-8 as an escape, byte by byte; letters as they are,
// and a quote too: only suggested commands are quoted for the shell.
TEST(WriteMessage, EscapesControlsAndBrokenUtf8Only)
{
    // U+00E9, U+00A0 (the first after C1), U+07FF, U+661F, U+FFFD, U+1D11E, U+10FFFF
    const char* letters = "\xc3\xa9toile \xc2\xa0\xdf\xbf \xe6\x98\x9f\xef\xbf\xbd \xf0\x9d\x84\x9e\xf4\x8f\xbf\xbf";
    std::vector<std::pair<std::string, std::string>> table = {
        // clang-format off
        {"\t\n\r\x7f ~'", "\\t\\n\\r\\x7f ~'"}, {letters, letters},
        {"\xc0\xaf \xe0\x9f\xbf \xf0\x8f\xbf\xbf", "\\xc0\\xaf \\xe0\\x9f\\xbf \\xf0\\x8f\\xbf\\xbf"},  // overlong
        {"\xed\xa0\x80 \xf4\x90\x80\x80 \xf5\x80\xfe", "\\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xf5\\x80\\xfe"},  // surrogate, too high, no lead
        {"a\xc3 \xe6\x98z \xf0\x9d\x84", "a\\xc3 \\xe6\\x98z \\xf0\\x9d\\x84"},  // truncated
        // clang-format on
    };
    char escaped[16];
    for (int c = 1; c < 0xa0; c = c == 0x1f ? 0x80 : c + 1) {  // C0 but tab, newline, return; C1 in UTF-8
        std::snprintf(escaped, sizeof escaped, c < 0x20 ? "\\x%02x" : "\\xc2\\x%02x", c);
        if (c != '\t' && c != '\n' && c != '\r')
            table.push_back({c < 0x20 ? std::string(1, char(c)) : std::string("\xc2") + char(c), escaped});
    }
    for (const auto& row : table) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        EXPECT_TRUE(write_message(stream, "<", row.first.c_str(), {">"}));
        std::rewind(stream);
        char text[256] = {};
        std::size_t length = std::fread(text, 1, sizeof text, stream);
        std::fclose(stream);
        EXPECT_EQ(std::string(text, length), "<" + row.second + ">\n") << row.second;
    }
}
