#include "request.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

// clang-format off
namespace {
const char* const IN_HELP[] = {"the measurement file; -in - reads standard input", nullptr};
const char* const LIST_HELP[] = {"each file LIST names (one a line) into a file of its own:",
                                 "star.lc into star{extensions}"};
const char* const OUTDIR_HELP[] = {"with -list: the outputs go into DIR, not beside the inputs", nullptr};
const char* const REPORT_HELP[] = {"with -list: a survey page in DIR, made if missing:",
                                   "index.html, summary.csv and star.svg for each star"};
const char* const MIRROR_HELP[] = {"with -outdir or -report: each input's directories kept",
                                   "under DIR, field/star.lc into DIR/field/star.txt"};
const char* const FORCE_HELP[] = {"with -list: outputs that exist already are replaced",
                                  "(never a file the run reads)"};
const char* const FILE_HELP[] = {"further options from a file, one a line, without the",
                                 "dash (\"in star.lc\", \"csv\"); the command line wins"};
const char* const HELP_HELP[] = {"this help; also --help", nullptr};
const char* const VERSION_HELP[] = {"the version; also --version", nullptr};
}  // namespace

const OptionInfo PLAIN_OPTIONS[9] = {
    {"in", nullptr, "FILE", Role::input, IN_HELP, nullptr},
    {"list", nullptr, "LIST", Role::alternative, LIST_HELP, nullptr},
    {"outdir", nullptr, "DIR", Role::optional, OUTDIR_HELP, nullptr},
    {"report", nullptr, "DIR", Role::optional, REPORT_HELP, nullptr},
    {"mirror", nullptr, nullptr, Role::optional, MIRROR_HELP, &Request::mirror},
    {"force", nullptr, nullptr, Role::optional, FORCE_HELP, &Request::force},
    {"file", nullptr, "OPTIONFILE", Role::optional, FILE_HELP, nullptr},
    {"help", "h", nullptr, Role::instead, HELP_HELP, &Request::help},
    {"version", nullptr, nullptr, Role::instead, VERSION_HELP, &Request::version},
};
// clang-format on

namespace {

// Whether word is an option that takes the word after it as its value.
bool takes_value(const char* word)
{
    bool found = false;
    for_each_option([&](const OptionInfo& option) {
        found = found || (option.value != nullptr && word[0] == '-' && std::strcmp(word + 1, option.name) == 0);
    });
    return found;
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

// What a word that is no option meant: one in another case (-Fits), one
// edit away from a name of three letters or more (-fit, -cvs, -exat), with
// a value attached by '=' (--fits=yes, -in=x), or an option that takes a
// value written with two dashes (--file x). The value is what followed
// '=', or else the next word, for an option that takes one. One-letter
// names such as -h are too short to have near-misses.
Meant near_miss(const char* word, const char* next)
{
    Meant meant = {word, nullptr, false, nullptr};
    if (word[0] != '-' || word[1] == '\0')
        return meant;
    const char* name = word + (word[1] == '-' ? 2 : 1);
    const char* equals = std::strchr(name, '=');
    const std::size_t length = equals != nullptr ? static_cast<std::size_t>(equals - name) : std::strlen(name);
    for_each_option([&](const OptionInfo& option) {
        for (const char* known : {option.name, option.alias}) {
            if (known == nullptr || meant.option != nullptr)
                continue;
            const std::size_t known_length = std::strlen(known);
            bool same_letters = length == known_length;
            for (std::size_t k = 0; same_letters && k < length; ++k)
                same_letters = lower(name[k]) == known[k];
            if ((same_letters && (known_length >= 2 || std::strncmp(name, known, length) == 0)) ||
                (known_length >= 3 && within_one_edit(name, length, known))) {
                const char* value = option.value == nullptr ? nullptr : equals != nullptr ? equals + 1 : next;
                meant = {word, option.name, option.value != nullptr,
                         value != nullptr && *value != '\0' ? value : nullptr};
            }
        }
    });
    return meant;
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

// The form switches and modifiers given, in the help's order, and which
// may go together: a form with the modifiers it takes, and modifiers with
// each other; two forms never.
class FormSwitches {
public:
    // Marks the switch name if it is one; false when it is none.
    bool give(const char* name)
    {
        std::size_t i = 0;
        bool found = false;
        for_each_form_switch([&](const char* known, const char* const*, const FormInfo* form, std::size_t modifier) {
            if (!found && std::strcmp(known, name) == 0) {
                given_[i] = {known, form, modifier};
                found = true;
            }
            ++i;
        });
        return found;
    }

    // The form and its modifiers into form, and the first pair that can't
    // be combined, a later switch named first, into conflict; a modifier
    // that the form does not take, into lone.
    void settle(OutputForm& form, const char* conflict[2], const char*& lone) const
    {
        for (const Given& later : given_)
            if (later.name != nullptr && later.form != nullptr)
                form.info = form.info->name == nullptr ? later.form : pair_of(*form.info, *later.form);
            else if (later.name != nullptr)
                form.*MODIFIERS[later.modifier].flag = true;
        for (std::size_t a = 0; a < SIZE && conflict[0] == nullptr; ++a)
            for (std::size_t b = 0; b < a && conflict[0] == nullptr && given_[a].name != nullptr; ++b)
                if (given_[b].name != nullptr && !go_together(given_[a], given_[b], *form.info)) {
                    conflict[0] = given_[a].name;
                    conflict[1] = given_[b].name;
                }
        for (const Given& given : given_)
            if (lone == nullptr && given.name != nullptr && given.form == nullptr &&
                !takes_modifier(*form.info, given.modifier))
                lone = given.name;
    }

private:
    struct Given {
        const char* name;
        const FormInfo* form;
        std::size_t modifier;
    };
    static const FormInfo* pair_of(const FormInfo& x, const FormInfo& y)
    {
        const FormInfo* pair = find_pair(x.name, y.name);
        return pair != nullptr ? pair : &y;
    }
    // A modifier goes with a form switch that takes it, or that picks with
    // another the settled form, which takes it: -period with -stats -fits.
    static bool go_together(const Given& x, const Given& y, const FormInfo& settled)
    {
        if (x.form != nullptr && y.form != nullptr)
            return find_pair(x.name, y.name) != nullptr;
        if (x.form != nullptr)
            return takes_modifier(*x.form, y.modifier) || takes_modifier(settled, y.modifier);
        return y.form == nullptr || takes_modifier(*y.form, x.modifier) || takes_modifier(settled, x.modifier);
    }
    static const std::size_t SIZE = 32;
    Given given_[SIZE] = {};
};

// Sets the switch of that name, or its alias, if it is one of the options
// that are no form; false when it is none.
bool set_switch(Request& request, const char* name)
{
    for (const OptionInfo& option : PLAIN_OPTIONS)
        for (const char* known : {option.name, option.alias})
            if (option.flag != nullptr && known != nullptr && std::strcmp(known, name) == 0) {
                request.*option.flag = true;
                return true;
            }
    return false;
}

// The number of days word states, or 0 where it is none above 0 that is
// finite: strtod's reading, all of the word, as a finite double > 0.
double days_above_zero(const char* word)
{
    if (word == nullptr)
        return 0;
    char* end = nullptr;
    const double days = std::strtod(word, &end);
    return end != word && *end == '\0' && std::isfinite(days) && days > 0 ? days : 0;
}

}  // namespace

Request read_request(OptionSet& options, int argc, char** argv)
{
    Request request;
    request.input = options.getOption("in", 1, "");
    request.list = options.getOption("list", 1, "");
    request.outdir = options.getOption("outdir", 1, "");
    request.outdir_named = options.checkSwitch("outdir");
    request.report = options.getOption("report", 1, "");
    request.report_named = options.checkSwitch("report");
    const bool named_input = request.input.length() > 0 || request.list.length() > 0;
    FormSwitches forms;
    const int words = options.wordCount();
    bool value_next = false;
    for (int i = 1; i < words; ++i) {
        // As the option set takes it: the word after the last -file.
        if (i < argc && std::strcmp(argv[i], "-file") == 0)
            request.option_file = i + 1 < argc && argv[i + 1][0] != '\0' ? argv[i + 1] : nullptr;
        const String word = options.word(i);
        const char* text = word.c_str();
        if (value_next || text == nullptr || takes_value(text)) {
            // A modifier with a value: -fold P.
            if (!value_next && text != nullptr)
                forms.give(text + 1);
            value_next = !value_next && text != nullptr;
            continue;
        }
        const bool dashed = text[0] == '-';
        // --NAME is a switch on the command line only: an option file's
        // line "-fits" gives the word --fits, which no lookup finds.
        const char* name = !dashed ? nullptr : text[1] != '-' ? text + 1 : i < argc ? text + 2 : nullptr;
        if (name != nullptr && (forms.give(name) || set_switch(request, name)))
            continue;
        if (i >= argc)
            continue;
        // Hints read the command line's own words, where argv[i] is text.
        const Meant meant = near_miss(argv[i], i + 1 < argc ? argv[i + 1] : nullptr);
        if (request.near_miss.option == nullptr && meant.option != nullptr)
            request.near_miss = meant;
        if (named_input || request.input_hint.value != nullptr)
            continue;
        if (meant.value != nullptr)
            request.input_hint = {"", meant.option, true, meant.value};
        else if (!dashed && names_regular_file(argv[i]))
            request.input_hint = {"", "in", true, argv[i]};
    }
    // A survey's page holds a picture of each star, with its summary.
    if (request.report_named)
        request.form.info = find_form("svg");
    forms.settle(request.form, request.conflict, request.lone_modifier);
    if (request.report_named && request.conflict[0] == nullptr && request.form.info != find_form("svg")) {
        request.conflict[0] = request.form.info->name;
        request.conflict[1] = "report";
    }
    if (request.form.fold) {
        request.fold_word = options.getOption("fold", 1, "");
        request.form.fold_period = days_above_zero(request.fold_word.c_str());
    }
    return request;
}
