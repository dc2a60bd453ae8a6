// The option set and option file reader on arbitrary command-line words and
// arbitrary option-file bytes. The word list the option set builds is read
// back through its own lookups and compared with a reading of the same words
// and lines done here independently; then the lookups of "in" (text, number,
// switch, argument count) are compared with the precedence rules applied to
// that independent list.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "check.h"
#include "options.h"

namespace {

// A word never found in the list: lookups that return it found nothing.
const char* const ABSENT_A = "\002absent-a";
const char* const ABSENT_B = "\002absent-b";
// Word 1 of every list, so that offset k behind it reads word k + 1.
const char* const MARK_NAME = "\x01mark";

// The option file: lines ended by '\n' (the last may lack it); a line of more
// than 199 bytes ends the reading; a line is text up to its first NUL byte,
// as a C string; '#' first or no text means no words; otherwise the first
// word gets a dash in front.
std::vector<std::string> read_lines(const std::string& content)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t newline = content.find('\n', pos);
        std::size_t end = newline == std::string::npos ? content.size() : newline;
        if (end - pos > 199)
            break;
        std::string line = content.substr(pos, end - pos);
        pos = newline == std::string::npos ? content.size() : newline + 1;
        line = line.substr(0, line.find('\0'));
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> line_words = reference_split(line);
        if (line_words.empty())
            continue;
        line_words[0] = "-" + line_words[0];
        words.insert(words.end(), line_words.begin(), line_words.end());
    }
    return words;
}

// The lookups applied to a plain list of words.
struct Model {
    std::vector<std::string> words;

    int locate(const std::string& name) const
    {
        for (std::size_t i = 0; i < words.size(); ++i)
            if (words[i] == "-" + name)
                return static_cast<int>(i);
        return -1;
    }

    bool value(const std::string& name, int index, std::string& text) const
    {
        int p = locate(name);
        long long k = static_cast<long long>(p) + index;
        if (p > 0 && k < static_cast<long long>(words.size())) {
            text = words[static_cast<std::size_t>(k)];
            return true;
        }
        return false;
    }

    int num_args(const std::string& name) const
    {
        int p = locate(name);
        std::size_t i = static_cast<std::size_t>(p + 1);
        while (i < words.size() && (words[i].empty() || words[i][0] != '-'))
            ++i;
        return static_cast<int>(i) - p;
    }
};

// A String from getOption holds its text, or no text when it is empty.
bool same_word(const String& s, const std::string& text)
{
    if (text.empty())
        return s.length() == 0 && s.c_str() == nullptr;
    return s.length() == static_cast<int>(text.size()) && s.c_str() != nullptr &&
           std::memcmp(s.c_str(), text.data(), text.size()) == 0 && s.c_str()[text.size()] == '\0';
}

int reference_int(const std::string& text)
{
    long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::min<long>(std::max<long>(value, INT_MIN), INT_MAX));
}

bool same_double(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_lookups(OptionSet& options, const Model& model, const std::string& name)
{
    for (int index = 0; index < 3; ++index) {
        std::string text;
        bool found = model.value(name, index, text);
        String got = options.getOption(String(name.c_str()), index, String(ABSENT_A));
        FUZZ_CHECK(found ? same_word(got, text) : got == String(ABSENT_A));
        int number = options.getOption(String(name.c_str()), index, 12345);
        FUZZ_CHECK(number == (found && !text.empty() ? reference_int(text) : 12345));
        double real = options.getOption(String(name.c_str()), index, 0.5);
        FUZZ_CHECK(same_double(real, found && !text.empty() ? std::strtod(text.c_str(), nullptr) : 0.5));
    }
    FUZZ_CHECK(options.checkSwitch(String(name.c_str())) == (model.locate(name) > 0));
    FUZZ_CHECK(options.numArgs(String(name.c_str())) == model.num_args(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int file_fd = fuzz_memfd("options");
    static const std::string file_path = "/proc/self/fd/" + std::to_string(file_fd);

    FuzzedDataProvider provider(data, size);
    // The command line: the program path, the mark, then up to 12 words of
    // the input (a C string ends at its first NUL). Our -file goes at a place
    // the input chooses, but behind every "-file" the input wrote, so the
    // last one (which is what counts) is ours.
    std::vector<std::string> args;
    args.push_back(provider.ConsumeRandomLengthString(64).c_str());
    if (args[0] == std::string("-") + MARK_NAME)
        args[0] = "prog";  // the mark must be found at word 1
    args.push_back(std::string("-") + MARK_NAME);
    int extra = provider.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < extra; ++i)
        args.push_back(provider.ConsumeRandomLengthString(32).c_str());
    std::size_t last_file = 0;
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i] == "-file")
            last_file = i + 1;
    std::size_t place = provider.ConsumeIntegralInRange<std::size_t>(2, args.size());
    place = std::max(place, last_file + 1);
    if (place > args.size())
        place = args.size();
    args.insert(args.begin() + static_cast<long>(place), {"-file", file_path});
    std::string content = provider.ConsumeRemainingBytesAsString();
    fuzz_set_contents(file_fd, content.data(), content.size());

    Model model;
    model.words = args;
    std::vector<std::string> file_words = read_lines(content);
    model.words.insert(model.words.end(), file_words.begin(), file_words.end());

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    OptionSet options(static_cast<int>(args.size()), argv.data());

    // The whole list, read through the mark at word 1: word n is found at
    // offset n - 1 behind it, and past the last word only the default comes.
    const std::size_t n = model.words.size();
    for (std::size_t i = 1; i <= n; ++i) {
        String a = options.getOption(MARK_NAME, static_cast<int>(i - 1), String(ABSENT_A));
        String b = options.getOption(MARK_NAME, static_cast<int>(i - 1), String(ABSENT_B));
        if (i < n) {
            FUZZ_CHECK(same_word(a, model.words[i]));
            FUZZ_CHECK(same_word(b, model.words[i]));
        } else {
            FUZZ_CHECK(a == String(ABSENT_A) && b == String(ABSENT_B));
        }
    }

    check_lookups(options, model, "in");
    check_lookups(options, model, "file");
    // A name the input chooses among its own words.
    if (n > 2) {
        const std::string& word = model.words[n / 2];
        if (!word.empty() && word[0] == '-')
            check_lookups(options, model, word.substr(1));
    }

    // Reading the same words again starts the list afresh.
    options.parseCommand(static_cast<int>(args.size()), argv.data());
    String last = options.getOption(MARK_NAME, static_cast<int>(n - 2), String(ABSENT_A));
    FUZZ_CHECK(same_word(last, model.words[n - 1]));
    return 0;
}
