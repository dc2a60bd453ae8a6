#include "usage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sstring.h"

namespace {

const char USAGE[] =
    "Usage: lcdump -in FILE [-file OPTIONFILE] [-csv] [-exact] [-fits] (or -help, -version). Try 'lcdump --help'";

// The options that take a value, without their dash.
const char* const VALUE_OPTIONS[] = {"in", "file"};

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
        for (const char* name : VALUE_OPTIONS) {
            if (std::strcmp(word + 1, name) == 0) {
                ++i;
                break;
            }
            if (word[1] == '-' && std::strcmp(word + 2, name) == 0 && i + 1 < argc && argv[i + 1][0] != '\0')
                return {name, argv[i + 1]};
            if (const char* value = value_after_equals(word, name))
                return {name, value};
        }
    }
    return {nullptr, nullptr};
}

}  // namespace

bool switch_given(OptionSet& options, int argc, char** argv, const char* name)
{
    if (options.checkSwitch(name))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] == '-' && std::strcmp(argv[i] + 2, name) == 0)
            return true;
    }
    return false;
}

int fail_usage(int argc, char** argv, std::FILE* messages)
{
    const Hint hint = find_hint(argc, argv);
    if (hint.value != nullptr) {
        char before[64];
        std::snprintf(before, sizeof before, "lcdump: no input named; did you mean: lcdump -%s ", hint.option);
        write_message(messages, before, hint.value, "");
    }
    write_message(messages, USAGE, "", "");
    return 8;
}
