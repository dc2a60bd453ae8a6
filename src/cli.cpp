#include "cli.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "diagnostics.h"
#include "lcdump.h"
#include "measurement.h"
#include "options.h"
#include "output.h"
#include "platform.h"
#include "sstring.h"

namespace {

// Every option the program knows, stated once: the usage line, the help,
// the lookups and the hints all come from here.
enum class Role {
    input,     // named in every run that dumps
    optional,  // may be added to one
    instead,   // asked for in place of a dump
};

struct CliOption {
    // As written after one dash.
    const char* name;
    // A second one-dash name, or null.
    const char* alias;
    // What its value is called, or null for a switch. Options that take a
    // value have one spelling; switches may be written with two dashes too.
    const char* value;
    Role role;
    // The output form it turns on, if it is one.
    bool OutputForm::*form;
    // One or two lines of help, split at '\n'.
    const char* help;
};

const CliOption OPTIONS[] = {
    {"in", nullptr, "FILE", Role::input, nullptr, "the measurement file; -in - reads standard input"},
    {"file", nullptr, "OPTIONFILE", Role::optional, nullptr,
     "further options from a file, one a line, without the\ndash (\"in star.lc\", \"csv\"); the command line wins"},
    {"csv", nullptr, nullptr, Role::optional, &OutputForm::csv,
     "comma-separated rows under a row of column names,\nand no count line"},
    {"exact", nullptr, nullptr, Role::optional, &OutputForm::exact,
     "every floating-point value in the shortest text that\nreads back to the same bits (may use exponent notation)"},
    {"fits", nullptr, nullptr, Role::optional, &OutputForm::fits,
     "a FITS binary table instead of text, every value's bits\nkept: lcdump -in star.lc -fits > star.fits"},
    {"help", "h", nullptr, Role::instead, nullptr, "this help; also --help"},
    {"version", nullptr, nullptr, Role::instead, nullptr, "the version; also --version"},
};

// Text put together in a buffer that is never short of memory.
class Text {
public:
    Text& operator<<(const char* piece)
    {
        while (*piece != '\0' && used_ + 1 < sizeof text_)
            text_[used_++] = *piece++;
        text_[used_] = '\0';
        return *this;
    }
    // Spaces up to column.
    Text& pad_to(std::size_t column)
    {
        while (used_ - line_start() < column)
            *this << " ";
        return *this;
    }
    const char* c_str() const { return text_; }

private:
    std::size_t line_start() const
    {
        std::size_t i = used_;
        while (i > 0 && text_[i - 1] != '\n')
            --i;
        return i;
    }
    char text_[4096] = "";
    std::size_t used_ = 0;
};

// "-in FILE [-file OPTIONFILE] [-csv] [-exact] [-fits]"
Text& put_synopsis(Text& text)
{
    text << "Usage: lcdump";
    for (const CliOption& option : OPTIONS) {
        if (option.role == Role::instead)
            continue;
        text << (option.role == Role::optional ? " [-" : " -") << option.name;
        if (option.value != nullptr)
            text << " " << option.value;
        if (option.role == Role::optional)
            text << "]";
    }
    return text;
}

const char* usage_line()
{
    static Text text;
    put_synopsis(text) << " (or ";
    const char* separator = "";
    for (const CliOption& option : OPTIONS)
        if (option.role == Role::instead) {
            text << separator << "-" << option.name;
            separator = ", ";
        }
    text << "). Try 'lcdump --help'";
    return text.c_str();
}

const char* help_text()
{
    static Text text;
    put_synopsis(text) << "\n"
                       << "Write a binary light-curve measurement file as text, one line per record,\n"
                          "or as a FITS binary table.\n\n";
    for (const CliOption& option : OPTIONS) {
        text << "  -" << option.name;
        if (option.alias != nullptr)
            text << ", -" << option.alias;
        if (option.value != nullptr)
            text << " " << option.value;
        for (const char* line = option.help; *line != '\0';) {
            const char* end = std::strchr(line, '\n');
            char piece[96] = "";
            const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - line) : std::strlen(line);
            std::memcpy(piece, line, length < sizeof piece - 1 ? length : sizeof piece - 1);
            text.pad_to(20) << piece << "\n";
            line = end != nullptr ? end + 1 : line + length;
        }
    }
    text << "Switches take two dashes too (";
    const char* separator = "";
    for (const CliOption& option : OPTIONS)
        if (option.role == Role::optional && option.value == nullptr) {
            text << separator << "--" << option.name;
            separator = ", ";
        }
    text << ");";
    separator = " ";
    for (const CliOption& option : OPTIONS)
        if (option.value != nullptr) {
            text << separator << "-" << option.name;
            separator = " and ";
        }
    text << " take one.\n\n"
         << "Without -csv, the first line is the record count; then each record is a\n"
            "line of";
    for (const FieldInfo& field : FIELDS)
        text << " " << field.name;
    text << ", separated\n"
            "by single spaces and written as printf's \"%f\" (six decimals) and \"%d\".\n"
            "Exit status: 0 after a complete dump; 8 after a one-line message.\n"
            "The manual page has it all: man lcdump\n";
    return text.c_str();
}

bool takes_value(const char* word)
{
    for (const CliOption& option : OPTIONS)
        if (option.value != nullptr && word[0] == '-' && std::strcmp(word + 1, option.name) == 0)
            return true;
    return false;
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
        for (const CliOption& option : OPTIONS) {
            if (option.value == nullptr)
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

// Whether the switch name (given without dashes) is on: -name anywhere in
// the word list, or --name on the command line (its first argc words). A
// word that stands as the value of -in or -file is a name, never a switch.
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

bool option_given(OptionSet& options, int argc, const CliOption& option)
{
    return switch_given(options, argc, option.name) ||
           (option.alias != nullptr && switch_given(options, argc, option.alias));
}

// The first word of the command line that is close to an option but is
// none: in another case (-Fits), one edit away from a name of three letters
// or more (-fit, -cvs, -exat), with a value attached by '=' (--fits=yes,
// -file=x), or an option that takes a value written with two dashes
// (--file x). Writes the one line that says what was meant and returns the
// failure status; 0 when there is nothing to say. Values of -in and -file
// are names, and words not close to any option stay ignored.
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
        auto is = [&](const CliOption& option, const char* known) {
            return known != nullptr && equals == nullptr && std::strcmp(name, known) == 0 &&
                   !(two_dashes && option.value != nullptr);
        };
        bool valid = false;
        for (const CliOption& option : OPTIONS)
            valid = valid || is(option, option.name) || is(option, option.alias);
        if (valid)
            continue;
        auto close_to = [&](const char* known) {
            if (known == nullptr)
                return false;
            const std::size_t known_length = std::strlen(known);
            bool same_letters = length == known_length;
            for (std::size_t k = 0; same_letters && k < length; ++k)
                same_letters = lower(name[k]) == known[k];
            // One-letter names such as -h are too short to have near-misses.
            return (same_letters && (known_length >= 2 || std::strncmp(name, known, length) == 0)) ||
                   (known_length >= 3 && within_one_edit(name, length, known));
        };
        for (const CliOption& option : OPTIONS) {
            if (!close_to(option.name) && !close_to(option.alias))
                continue;
            if (option.value == nullptr)
                return fail_with(messages, "unknown switch ", word, "; did you mean ", option.name, nullptr, "?");
            const char* value = equals != nullptr ? equals + 1 : i + 1 < argc ? argv[i + 1] : "";
            return fail_with(messages, "unknown option ", word, "; did you mean ", option.name,
                             *value != '\0' ? value : nullptr, "?");
        }
    }
    return 0;
}

// For a run that names no input: what the command line probably meant, if
// anything, then the usage line.
int fail_usage(int argc, char** argv, std::FILE* messages)
{
    const Hint hint = find_hint(argc, argv);
    if (hint.value != nullptr) {
        std::fprintf(messages, "lcdump: no input named; did you mean: lcdump -%s ", hint.option);
        write_name(messages, hint.value, true);
        write_message(messages, "", "", "");
    }
    return fail(messages, usage_line(), "", "");
}

// Help and version are asked for only when there is nothing to dump, so a
// word such as -h in a long command line never keeps a file from its dump.
int show(const char* text)
{
    if (!write_all(stdout, text, std::strlen(text)))
        return fail_output(stderr);
    return 0;
}

}  // namespace

int run_lcdump(int argc, char** argv)
{
    // Unbuffered: every write goes straight to the system, which is as the
    // text forms want it (each line leaves as it ends, in one write) and
    // lets a write that was cut short go on exactly where it stopped.
    use_binary_mode(stdout);
    use_binary_mode(stderr);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    OptionSet options(argc, argv);
    String filename = options.getOption("in", 1, "");
    if (filename.length() == 0) {
        if (switch_given(options, argc, "help") || switch_given(options, argc, "h"))
            return show(help_text());
        if (switch_given(options, argc, "version"))
            return show("lcdump " LCDUMP_VERSION "\n");
        return fail_usage(argc, argv, stderr);
    }
    if (int status = fail_near_miss(argc, argv, stderr))
        return status;
    OutputForm form;
    for (const CliOption& option : OPTIONS)
        if (option.form != nullptr && option_given(options, argc, option))
            form.*option.form = true;
    if (form.fits && form.csv)
        return fail(stderr, "Error: -fits and -csv can't be combined", "", "");
    return dump_file(filename.c_str(), stdout, stderr, form);
}
