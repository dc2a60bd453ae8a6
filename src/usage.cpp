#include "usage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "diagnostics.h"
#include "sstring.h"

namespace {

const char USAGE[] =
    "Usage: lcdump -in FILE [-file OPTIONFILE] [-csv] [-exact] [-fits] (or -help, -version). Try 'lcdump --help'";

// Every option the program knows, without its dash. Those that take a value
// have one spelling; switches may be written with two dashes as well.
struct KnownOption {
    const char* name;
    bool takes_value;
};
const KnownOption KNOWN_OPTIONS[] = {{"in", true},    {"file", true}, {"csv", false},  {"exact", false},
                                     {"fits", false}, {"help", false}, {"h", false}, {"version", false}};

bool takes_value(const char* word)
{
    return std::strcmp(word, "-in") == 0 || std::strcmp(word, "-file") == 0;
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the first n characters of word, read in lower case, are name with
// at most one edit: a character added, dropped or changed, or two neighbours
// swapped.
bool within_one_edit(const char* word, std::size_t n, const char* name)
{
    const std::size_t m = std::strlen(name);
    std::size_t i = 0;
    while (i < n && i < m && lower(word[i]) == name[i])
        ++i;
    auto same = [&](std::size_t from_word, std::size_t from_name) {
        if (n - from_word != m - from_name)
            return false;
        for (std::size_t k = 0; from_word + k < n; ++k)
            if (lower(word[from_word + k]) != name[from_name + k])
                return false;
        return true;
    };
    if (i == n && i == m)
        return true;
    if (same(i + 1, i + 1) || same(i + 1, i) || same(i, i + 1))
        return true;
    return i + 1 < n && i + 1 < m && lower(word[i]) == name[i + 1] && lower(word[i + 1]) == name[i] &&
           same(i + 2, i + 2);
}

// The value of "-name=VALUE" or "--name=VALUE"; null for any other word, and
// for an empty value.
const char* value_after_equals(const char* word, const char* name)
{
    const char* rest = word + (word[1] == '-' ? 2 : 1);
    const std::size_t length = std::strlen(name);
    if (std::strncmp(rest, name, length) != 0 || rest[length] != '=' || rest[length + 1] == '\0')
        return nullptr;
    return rest + length + 1;
}

// Asks the file system without opening anything: opening a FIFO or a device
// to find out could wait forever, or disturb it.
bool names_regular_file(const char* word)
{
    try {
        std::error_code error;
        return std::filesystem::is_regular_file(word, error);
    } catch (...) {
        // No memory to hold the path, or on Windows a name the code page
        // cannot convert: the usage line alone must do.
        return false;
    }
}

struct Hint {
    const char* option;
    const char* value;
};

// The first word after the program's name that looks meant as the value of
// an option, with that option; {nullptr, nullptr} when there is none. Values
// given the right way are skipped, so an option file is no bare word.
Hint find_hint(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (word[0] != '-') {
            if (names_regular_file(word))
                return {"in", word};
            continue;
        }
        if (takes_value(word)) {
            ++i;
            continue;
        }
        for (const KnownOption& option : KNOWN_OPTIONS) {
            if (!option.takes_value)
                continue;
            if (word[1] == '-' && std::strcmp(word + 2, option.name) == 0 && i + 1 < argc && argv[i + 1][0] != '\0')
                return {option.name, argv[i + 1]};
            if (const char* value = value_after_equals(word, option.name))
                return {option.name, value};
        }
    }
    return {nullptr, nullptr};
}

// "lcdump: " + lead + word + middle + suggestion, with the word escaped and
// the suggestion's value quoted for the shell, as one line.
int fail_with(std::FILE* messages, const char* lead, const char* word, const char* middle, const char* option,
              const char* value, const char* end)
{
    bool written = std::fprintf(messages, "lcdump: %s", lead) >= 0;
    written = written && write_name(messages, word, false);
    written = written && std::fprintf(messages, "%s-%s", middle, option) >= 0;
    if (value != nullptr)
        written = written && std::fputc(' ', messages) != EOF && write_name(messages, value, true);
    written = written && std::fputs(end, messages) >= 0;
    (void)written;
    write_message(messages, "", "", "");
    return FAILURE_STATUS;
}

}  // namespace

bool switch_given(OptionSet& options, int argc, const char* name)
{
    const int words = options.wordCount();
    for (int i = 1; i < words; ++i) {
        const String word = options.word(i);
        const char* text = word.c_str();
        if (text == nullptr || text[0] != '-')
            continue;
        if (takes_value(text)) {
            ++i;
            continue;
        }
        if (std::strcmp(text + 1, name) == 0 || (i < argc && text[1] == '-' && std::strcmp(text + 2, name) == 0))
            return true;
    }
    return false;
}

int fail_near_miss(int argc, char** argv, std::FILE* messages)
{
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (takes_value(word)) {
            ++i;
            continue;
        }
        if (word[0] != '-' || word[1] == '\0')
            continue;
        const bool two_dashes = word[1] == '-';
        const char* name = word + (two_dashes ? 2 : 1);
        const char* equals = std::strchr(name, '=');
        const std::size_t length = equals != nullptr ? static_cast<std::size_t>(equals - name) : std::strlen(name);
        bool known = false;
        for (const KnownOption& option : KNOWN_OPTIONS)
            known = known || (equals == nullptr && std::strcmp(name, option.name) == 0 && !(two_dashes && option.takes_value));
        if (known)
            continue;
        for (const KnownOption& option : KNOWN_OPTIONS) {
            const std::size_t option_length = std::strlen(option.name);
            bool same_letters = length == option_length;
            for (std::size_t k = 0; same_letters && k < length; ++k)
                same_letters = lower(name[k]) == option.name[k];
            const bool exact = length == option_length && std::strncmp(name, option.name, length) == 0;
            // One-letter names such as -h are too short to have near-misses.
            const bool close = exact || (option_length >= 2 && same_letters) ||
                               (option_length >= 3 && within_one_edit(name, length, option.name));
            if (!close)
                continue;
            if (!option.takes_value)
                return fail_with(messages, "unknown switch ", word, "; did you mean ", option.name, nullptr, "?");
            const char* value = equals != nullptr ? equals + 1 : i + 1 < argc ? argv[i + 1] : "";
            return fail_with(messages, "unknown option ", word, "; did you mean ", option.name,
                             *value != '\0' ? value : nullptr, "?");
        }
    }
    return 0;
}

int fail_usage(int argc, char** argv, std::FILE* messages)
{
    const Hint hint = find_hint(argc, argv);
    if (hint.value != nullptr) {
        std::fprintf(messages, "lcdump: no input named; did you mean: lcdump -%s ", hint.option);
        write_name(messages, hint.value, true);
        write_message(messages, "", "", "");
    }
    write_message(messages, USAGE, "", "");
    return FAILURE_STATUS;
}
