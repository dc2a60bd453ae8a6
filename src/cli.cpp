#include "cli.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "batch.h"
#include "diagnostics.h"
#include "lcdump.h"
#include "measurement.h"
#include "options.h"
#include "output.h"
#include "platform.h"
#include "sstring.h"

namespace {

enum class Role {
    input,        // named in every run that dumps
    alternative,  // named instead of the input
    optional,     // may be added to one
    instead,      // asked for in place of a dump
};

// Every option the program knows, stated once: the usage line, the help,
// the lookups and the hints all come from here.
struct CliOption {
    const char* name;   // as written after one dash
    const char* alias;  // a second one-dash name, or null
    // What its value is called, or null for a switch. Options that take a
    // value have one spelling; switches may be written with two dashes too.
    const char* value;
    Role role;
    bool OutputForm::*form;  // the output form it turns on, if it is one
    const char* help[2];     // one or two lines
};

// clang-format off
const CliOption OPTIONS[] = {
    {"in", nullptr, "FILE", Role::input, nullptr, {"the measurement file; -in - reads standard input"}},
    {"list", nullptr, "LIST", Role::alternative, nullptr,
     {"every file named in LIST, one a line, each dumped into a",
      "file of its own: star.lc into star.txt (.csv, .fits)"}},
    {"outdir", nullptr, "DIR", Role::optional, nullptr, {"with -list: the outputs go into DIR, not beside the inputs"}},
    {"mirror", nullptr, nullptr, Role::optional, nullptr,
     {"with -outdir: each input's directories kept under DIR,", "field/star.lc into DIR/field/star.txt"}},
    {"force", nullptr, nullptr, Role::optional, nullptr,
     {"with -list: outputs that exist already are replaced", "(never a file the run reads)"}},
    {"file", nullptr, "OPTIONFILE", Role::optional, nullptr,
     {"further options from a file, one a line, without the",
      "dash (\"in star.lc\", \"csv\"); the command line wins"}},
    {"csv", nullptr, nullptr, Role::optional, &OutputForm::csv,
     {"comma-separated rows under a row of column names,", "and no count line"}},
    {"exact", nullptr, nullptr, Role::optional, &OutputForm::exact,
     {"every floating-point value in the shortest text that",
      "reads back to the same bits (may use exponent notation)"}},
    {"fits", nullptr, nullptr, Role::optional, &OutputForm::fits,
     {"a FITS binary table instead of text, every value's bits", "kept: lcdump -in star.lc -fits > star.fits"}},
    {"stats", nullptr, nullptr, Role::optional, &OutputForm::stats,
     {"one CSV row of summary figures per input instead of its",
      "records: the count, JD range, medians, flux1's MAD"}},
    {"help", "h", nullptr, Role::instead, nullptr, {"this help; also --help"}},
    {"version", nullptr, nullptr, Role::instead, nullptr, {"the version; also --version"}},
};
// clang-format on

// Text put together in a buffer that is never short of memory.
class Text {
public:
    Text& operator<<(const char* piece)
    {
        for (; *piece != '\0' && used_ + 1 < sizeof text_; ++piece) {
            text_[used_++] = *piece;
            column_ = *piece == '\n' ? 0 : column_ + 1;
        }
        text_[used_] = '\0';
        return *this;
    }
    Text& pad_to(std::size_t column)
    {
        while (column_ < column)
            *this << " ";
        return *this;
    }
    const char* c_str() const { return text_; }

private:
    char text_[4096] = "";
    std::size_t used_ = 0;
    std::size_t column_ = 0;
};

// The names of the options that pick chooses, each after dashes, with
// separator between them, and last before the last one.
template <class Pick>
Text& put_names(Text& text, const char* dashes, const char* separator, const char* last, Pick pick)
{
    std::size_t left = 0;
    for (const CliOption& option : OPTIONS)
        left += pick(option) ? 1u : 0u;
    const char* between = "";
    for (const CliOption& option : OPTIONS)
        if (pick(option)) {
            text << between << dashes << option.name;
            between = --left == 1 ? last : separator;
        }
    return text;
}

// "Usage: lcdump -in FILE | -list LIST [-outdir DIR] [-file OPTIONFILE] ..."
Text& put_synopsis(Text& text)
{
    text << "Usage: lcdump";
    for (const CliOption& option : OPTIONS) {
        if (option.role == Role::instead)
            continue;
        text << (option.role == Role::optional      ? " [-"
                 : option.role == Role::alternative ? " | -"
                                                    : " -")
             << option.name;
        if (option.value != nullptr)
            text << " " << option.value;
        text << (option.role == Role::optional ? "]" : "");
    }
    return text;
}

const char* usage_line()
{
    static Text text;
    put_synopsis(text) << " (or ";
    put_names(text, "-", ", ", ", ", [](const CliOption& o) { return o.role == Role::instead; });
    text << "). Try 'lcdump --help'";
    return text.c_str();
}

const char* help_text()
{
    static Text text;
    put_synopsis(text) << "\nWrite a binary light-curve measurement file as text, one line per record,\n"
                          "as a FITS binary table, or summed up in one CSV row.\n\n";
    for (const CliOption& option : OPTIONS) {
        text << "  -" << option.name;
        if (option.alias != nullptr)
            text << ", -" << option.alias;
        if (option.value != nullptr)
            text << " " << option.value;
        for (const char* line : option.help)
            if (line != nullptr)
                text.pad_to(20) << line << "\n";
    }
    text << "Switches take two dashes too (";
    put_names(text, "--", ", ", ", ",
              [](const CliOption& o) { return o.role == Role::optional && o.value == nullptr; });
    text << ");\n";
    put_names(text, "-", ", ", " and ", [](const CliOption& o) { return o.value != nullptr; });
    text << " take one.\n\nWithout -csv, the first line is the record count; then each record is a\nline of";
    for (const FieldInfo& field : FIELDS)
        text << " " << field.name;
    text << ", separated\nby single spaces and written as printf's \"%f\" (six decimals) and \"%d\".\n"
            "Exit status: 0 after a complete dump; 8 after a one-line message (with -list,\n"
            "one a file that failed, then a line that counts them).\n"
            "The manual page has it all: man lcdump\n";
    return text.c_str();
}

// Whether word is an option that takes the word after it as its value.
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

// Whether the n characters of word, read in lower case, are name with at
// most one edit: a character added, dropped or changed, or two neighbours
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
    const bool swapped = i + 1 < n && i + 1 < m && lower(word[i]) == name[i + 1] && lower(word[i + 1]) == name[i];
    return (i == n && i == m) || same(i + 1, i + 1) || same(i + 1, i) || same(i, i + 1) ||
           (swapped && same(i + 2, i + 2));
}

// What a word meant, when it is close to an option but is none: in another
// case (-Fits), one edit away from a name of three letters or more (-fit,
// -cvs, -exat), with a value attached by '=' (--fits=yes, -in=x), or an
// option that takes a value written with two dashes (--file x). value is
// what followed '=', or else the next word, for an option that takes one.
// One-letter names such as -h are too short to have near-misses.
struct Meant {
    const CliOption* option;
    const char* value;
};

Meant near_miss(const char* word, const char* next)
{
    if (word[0] != '-' || word[1] == '\0')
        return {nullptr, nullptr};
    const bool two_dashes = word[1] == '-';
    const char* name = word + (two_dashes ? 2 : 1);
    const char* equals = std::strchr(name, '=');
    const std::size_t length = equals != nullptr ? static_cast<std::size_t>(equals - name) : std::strlen(name);
    for (const CliOption& option : OPTIONS)
        for (const char* known : {option.name, option.alias})
            if (known != nullptr && equals == nullptr && std::strcmp(name, known) == 0 &&
                !(two_dashes && option.value != nullptr))
                return {nullptr, nullptr};
    for (const CliOption& option : OPTIONS)
        for (const char* known : {option.name, option.alias}) {
            if (known == nullptr)
                continue;
            const std::size_t known_length = std::strlen(known);
            bool same_letters = length == known_length;
            for (std::size_t k = 0; same_letters && k < length; ++k)
                same_letters = lower(name[k]) == known[k];
            if ((same_letters && (known_length >= 2 || std::strncmp(name, known, length) == 0)) ||
                (known_length >= 3 && within_one_edit(name, length, known))) {
                const char* value = option.value == nullptr ? nullptr : equals != nullptr ? equals + 1 : next;
                return {&option, value != nullptr && *value != '\0' ? value : nullptr};
            }
        }
    return {nullptr, nullptr};
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

// "lcdump: " + lead, then the option the words meant with its value quoted
// for the shell, then end, as one line.
int fail_meant(std::FILE* messages, const char* lead, const char* word, const Meant& meant, const char* end)
{
    return fail(messages, "lcdump: ", nullptr,
                {lead, Piece::name(word), word[0] != '\0' ? "; did you mean -" : "-", Piece::name(meant.option->name),
                 meant.value != nullptr ? " " : "", meant.value != nullptr ? Piece::shell_word(meant.value) : "", end});
}

// For a run that names no input: what the command line probably meant (a
// bare word naming an existing file, or an option that takes a value
// written nearly right), if anything, then the usage line.
int fail_usage(int argc, char** argv, std::FILE* messages)
{
    for (int i = 1; i < argc; ++i) {
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (takes_value(argv[i])) {
            ++i;
            continue;
        }
        Meant meant = argv[i][0] == '-' ? near_miss(argv[i], next) : Meant{nullptr, nullptr};
        if (argv[i][0] != '-' && names_regular_file(argv[i]))
            meant = {&OPTIONS[0], argv[i]};
        if (meant.value != nullptr) {
            fail_meant(messages, "no input named; did you mean: lcdump ", "", meant, "");
            break;
        }
    }
    return fail(messages, usage_line(), nullptr);
}

// The first word of the command line close to an option but none: one line
// that says what was meant, and the failure status; 0 when there is none.
// Values of -in and -file are names, and words not close to any option stay
// ignored.
int fail_near_miss(int argc, char** argv, std::FILE* messages)
{
    for (int i = 1; i < argc; ++i) {
        if (takes_value(argv[i])) {
            ++i;
            continue;
        }
        const Meant meant = near_miss(argv[i], i + 1 < argc ? argv[i + 1] : nullptr);
        if (meant.option != nullptr)
            return fail_meant(messages, meant.option->value != nullptr ? "unknown option " : "unknown switch ", argv[i],
                              meant, "?");
    }
    return 0;
}

// Whether the switch name is on: -name anywhere in the word list, or --name
// on the command line (its first argc words). A word that stands as the
// value of -in or -file is a name, never a switch.
bool switch_given(OptionSet& options, int argc, const char* name)
{
    const int words = options.wordCount();
    for (int i = 1; i < words; ++i) {
        const String word = options.word(i);
        const char* text = word.c_str();
        if (text == nullptr || text[0] != '-')
            continue;
        if (takes_value(text))
            ++i;
        else if (std::strcmp(text + 1, name) == 0 || (i < argc && text[1] == '-' && std::strcmp(text + 2, name) == 0))
            return true;
    }
    return false;
}

bool option_given(OptionSet& options, int argc, const CliOption& option)
{
    return switch_given(options, argc, option.name) ||
           (option.alias != nullptr && switch_given(options, argc, option.alias));
}

// The option file the command line names: the word after its last -file.
const char* option_file(int argc, char** argv)
{
    const char* name = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-file") == 0)
            name = argv[i + 1];
    return name != nullptr && *name != '\0' ? name : nullptr;
}

// Help and version are asked for only when there is nothing to dump, so a
// word such as -h in a long command line never keeps a file from its dump.
int show(const char* text)
{
    return write_all(stdout, text, std::strlen(text)) && std::fflush(stdout) == 0 ? 0 : fail_output(stderr);
}

}  // namespace

int run_lcdump(int argc, char** argv)
{
    // Unbuffered: every write goes straight to the system, which is as the
    // text forms want it (each line leaves as it ends, in one write) and
    // lets a write that was cut short go on exactly where it stopped.
    // Messages, on the other hand, are gathered and leave in one write when
    // they end, each with a flush.
    static char message_buffer[1024];
    use_binary_mode(stdout);
    use_binary_mode(stderr);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, message_buffer, _IOFBF, sizeof message_buffer);

    OptionSet options(argc, argv);
    String filename = options.getOption("in", 1, "");
    String list = options.getOption("list", 1, "");
    String outdir = options.getOption("outdir", 1, "");
    if (filename.length() == 0 && list.length() == 0) {
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
        return fail(stderr, "Error: -fits and -csv can't be combined", nullptr);
    // The summary is CSV, exact and written to standard output already.
    for (const CliOption& option : OPTIONS)
        if (form.stats && option.form != nullptr && option.form != &OutputForm::stats && form.*option.form)
            return fail(stderr, "Error: -stats and -", option.name, {" can't be combined"});
    const bool mirror = switch_given(options, argc, "mirror"), force = switch_given(options, argc, "force");
    // An unset variable in -outdir "$OUTDIR" would put the outputs beside
    // the inputs instead.
    if (outdir.length() == 0 && options.checkSwitch("outdir"))
        return fail(stderr, "Error: -outdir names no directory", nullptr);
    if (form.stats && (outdir.length() > 0 || force))
        return fail(stderr, "Error: -stats and -", force ? "force" : "outdir", {" can't be combined"});
    if (list.length() > 0 && filename.length() > 0)
        return fail(stderr, "Error: -list and -in can't be combined", nullptr);
    if (mirror && outdir.length() == 0)
        return fail(stderr, "Error: -mirror goes with -outdir", nullptr);
    if (list.length() > 0) {
        ListRequest request;
        request.list_name = list.c_str();
        request.outdir = outdir.length() > 0 ? outdir.c_str() : nullptr;
        request.mirror = mirror;
        request.force = force;
        request.option_file = option_file(argc, argv);
        request.form = form;
        return dump_list(request, stderr);
    }
    if (outdir.length() > 0 || force)
        return fail(stderr, "Error: -", force ? "force" : "outdir", {" goes with -list"});
    return dump_file(filename.c_str(), stdout, stderr, form);
}
