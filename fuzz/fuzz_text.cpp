// String, word splitting and the number helpers on arbitrary text. The input
// drives a sequence of operations on a small pool of Strings; beside each
// String runs a model (has it text, and which bytes), updated by the rules
// for copy, assignment and concatenation, and after every step the String
// must agree with its model. Word splitting is checked three ways against
// each other: string2words, repeated get_word and a plain split done here.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "check.h"
#include "iastring.h"
#include "sstring.h"

namespace {

struct Model {
    bool has_text = false;
    std::string text;  // may hold NUL bytes, as String(char) can make
};

void check_same(const String& s, const Model& m)
{
    FUZZ_CHECK(s.length() == static_cast<int>(m.text.size()));
    FUZZ_CHECK((s.c_str() != nullptr) == m.has_text);
    if (m.has_text) {
        FUZZ_CHECK(std::memcmp(s.c_str(), m.text.data(), m.text.size()) == 0);
        FUZZ_CHECK(s.c_str()[m.text.size()] == '\0');
    }
}

// The copy constructor: a copy of length 0 has no text.
Model copied(const Model& m)
{
    Model c;
    c.text = m.text;
    c.has_text = !m.text.empty();
    return c;
}

// Appending: no text takes the other one by assignment; otherwise the bytes add up.
void appended(Model& m, const Model& other)
{
    if (!m.has_text)
        m = other;
    else
        m.text += other.text;
}

// What a C-string view of the text sees: the bytes before the first NUL.
std::string c_text(const Model& m)
{
    return m.text.substr(0, m.text.find('\0'));
}

bool same_text(const String& s, const std::string& text)
{
    return s.c_str() != nullptr && s.length() == static_cast<int>(text.size()) &&
           std::memcmp(s.c_str(), text.data(), text.size()) == 0;
}

void check_words(String& s, const Model& m)
{
    std::vector<std::string> expected = m.has_text ? reference_split(m.text) : std::vector<std::string>();

    // string2words: the words in order, and nothing behind them touched.
    IAString words;
    const unsigned int filled = static_cast<unsigned int>(expected.size()) + 12;
    for (unsigned int i = 0; i < filled; ++i)
        words[i] = String("\x01untouched");
    int count = string2words(s, words);
    FUZZ_CHECK(count == static_cast<int>(expected.size()));
    for (unsigned int i = 0; i < filled; ++i) {
        if (i < expected.size())
            FUZZ_CHECK(same_text(words[i], expected[i]));
        else
            FUZZ_CHECK(words[i] == String("\x01untouched"));
    }

    // get_word from 0, then from each returned position, until -1.
    std::vector<std::string> got;
    int start = 0;
    for (int steps = 0;; ++steps) {
        FUZZ_CHECK(steps <= s.length() + 1);
        String w("\x01stale");
        int next = get_word(s, w, start);
        FUZZ_CHECK(w.c_str() != nullptr);  // a word, or an empty text
        if (w.length() > 0)
            got.push_back(std::string(w.c_str(), static_cast<std::size_t>(w.length())));
        if (next == -1)
            break;
        // The position just behind the word, which is white space.
        FUZZ_CHECK(next > start && next < s.length() && w.length() > 0);
        FUZZ_CHECK(reference_is_space(s[next]));
        FUZZ_CHECK(std::memcmp(s.c_str() + next - w.length(), w.c_str(), static_cast<std::size_t>(w.length())) == 0);
        start = next;
    }
    FUZZ_CHECK(got == expected);
}

void check_numbers(FuzzedDataProvider& p)
{
    char text[512];
    int i = p.ConsumeIntegral<int>();
    std::snprintf(text, sizeof text, "%d", i);
    FUZZ_CHECK(num_to_str(i) == String(text));

    float f;
    std::uint32_t fbits = p.ConsumeIntegral<std::uint32_t>();
    std::memcpy(&f, &fbits, sizeof f);
    std::snprintf(text, sizeof text, "%f", static_cast<double>(f));
    String fs = num_to_str(f);
    FUZZ_CHECK(same_text(fs, text));

    double d;
    std::uint64_t dbits = p.ConsumeIntegral<std::uint64_t>();
    std::memcpy(&d, &dbits, sizeof d);
    std::snprintf(text, sizeof text, "%f", d);
    String ds = num_to_str(d);
    FUZZ_CHECK(same_text(ds, text));
}

void check_conversions(const String& s, const Model& m)
{
    std::string text = c_text(m);
    long value = m.has_text ? std::strtol(text.c_str(), nullptr, 10) : 0;
    int expected_int = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
    FUZZ_CHECK(str2i(s) == expected_int);
    double expected_real = m.has_text ? std::strtod(text.c_str(), nullptr) : 0.0;
    double real = str2f(s);
    FUZZ_CHECK(std::memcmp(&real, &expected_real, sizeof real) == 0);

    std::ostringstream os;
    os << s << '|';
    FUZZ_CHECK(os.good());
    FUZZ_CHECK(os.str() == text + "|");
}

String make(FuzzedDataProvider& p, Model& m)
{
    switch (p.ConsumeIntegralInRange(0, 5)) {
    case 0:
        m = Model();
        return String();
    case 1:
        m = Model();
        return String(static_cast<const char*>(nullptr));
    case 2: {
        char c = p.ConsumeIntegral<char>();
        m.has_text = true;
        m.text = std::string(1, c);
        return String(c);
    }
    case 3: {
        // A C string ends at its first NUL.
        std::string t = p.ConsumeRandomLengthString(48);
        m.has_text = true;
        m.text = t.c_str();
        return String(t.c_str());
    }
    case 4:
        m.has_text = true;
        m.text.clear();
        return String("");
    default: {
        std::string t = p.ConsumeRandomLengthString(16).c_str();
        m.has_text = true;
        m.text = t + "\t" + t;
        return String(t.c_str()) + String("\t") + String(t.c_str());
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider p(data, size);
    const int POOL = 4;
    String pool[POOL];
    Model model[POOL];

    for (int steps = 0; steps < 64 && p.remaining_bytes() > 0; ++steps) {
        int a = p.ConsumeIntegralInRange(0, POOL - 1);
        int b = p.ConsumeIntegralInRange(0, POOL - 1);
        // Appending a text to itself doubles it: keep the texts short.
        const bool room = model[a].text.size() + model[b].text.size() <= 4096;
        switch (p.ConsumeIntegralInRange(0, 12)) {
        case 0:
            pool[a] = make(p, model[a]);
            break;
        case 1: {  // copy construction
            String c(pool[b]);
            Model cm = copied(model[b]);
            check_same(c, cm);
            FUZZ_CHECK(c.c_str() == nullptr || c.c_str() != pool[b].c_str());
            pool[a] = c;
            model[a] = cm;
            break;
        }
        case 2:  // assignment, self-assignment included
            pool[a] = pool[b];
            model[a] = model[b];
            FUZZ_CHECK(a == b || pool[a].c_str() == nullptr || pool[a].c_str() != pool[b].c_str());
            break;
        case 3:
            pool[a].assign(pool[b]);
            model[a] = model[b];
            break;
        case 4: {  // appending, to itself included
            if (!room)
                break;
            Model other = model[b];
            if (p.ConsumeBool())
                pool[a] += pool[b];
            else
                pool[a].append(pool[b]);
            appended(model[a], other);
            break;
        }
        case 5: {  // concatenation: a copy of the left, then appending the right
            if (!room)
                break;
            String sum = pool[a] + pool[b];
            Model sm = copied(model[a]);
            appended(sm, model[b]);
            check_same(sum, sm);
            check_same(pool[a], model[a]);
            check_same(pool[b], model[b]);
            pool[a] = sum;
            model[a] = sm;
            break;
        }
        case 6: {  // substrings inside the text, and an empty one anywhere in it
            int n = pool[b].length();
            if (!model[b].has_text)
                break;
            int i1 = p.ConsumeIntegralInRange(0, n);
            int i2 = p.ConsumeIntegralInRange(i1 - 1, n - 1);
            String part = pool[b].substring(i1, i2);
            Model pm;
            pm.has_text = true;
            pm.text = model[b].text.substr(static_cast<std::size_t>(i1), static_cast<std::size_t>(i2 - i1 + 1));
            check_same(part, pm);
            pool[a] = part;
            model[a] = pm;
            break;
        }
        case 7: {  // resize hands out a buffer of the size asked for
            int n = p.ConsumeIntegralInRange(-3, 40);
            bool ok = pool[a].resize(n);
            FUZZ_CHECK(ok == (n >= 0));
            model[a] = Model();
            if (ok) {
                FUZZ_CHECK(pool[a].length() == n && pool[a].c_str() != nullptr);
                std::string fill = std::string(static_cast<std::size_t>(n), 'r');
                std::memcpy(pool[a].c_str(), fill.c_str(), fill.size() + 1);
                model[a].has_text = true;
                model[a].text = fill;
            }
            break;
        }
        case 8: {  // comparison: C-string bytes, no text as the empty text
            bool equal = c_text(model[a]) == c_text(model[b]);
            FUZZ_CHECK((pool[a] == pool[b]) == equal);
            FUZZ_CHECK((pool[a] != pool[b]) == !equal);
            break;
        }
        case 9:
            check_words(pool[a], model[a]);
            break;
        case 10:
            check_conversions(pool[a], model[a]);
            break;
        case 11:
            check_numbers(p);
            break;
        default:  // indexing writes and reads single characters
            if (model[a].has_text && !model[a].text.empty()) {
                int at = p.ConsumeIntegralInRange(0, pool[a].length() - 1);
                char c = p.ConsumeIntegral<char>();
                pool[a][at] = c;
                model[a].text[static_cast<std::size_t>(at)] = c;
                const String& view = pool[a];
                FUZZ_CHECK(view[at] == c && view[view.length()] == '\0');
            }
            break;
        }
        for (int i = 0; i < POOL; ++i)
            check_same(pool[i], model[i]);
    }
    for (int i = 0; i < POOL; ++i) {
        check_words(pool[i], model[i]);
        check_conversions(pool[i], model[i]);
    }
    return 0;
}
