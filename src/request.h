// The command line: one table of every option, the form switches among
// them as the form table gives them, and the words read once into what the
// run is asked to do, with hints at what a mistyped word meant.
#ifndef LCDUMP_REQUEST_H
#define LCDUMP_REQUEST_H

#include <cstddef>

#include "forms.h"
#include "options.h"
#include "sstring.h"

enum class Role {
    input,        // named in every run that dumps
    alternative,  // named instead of the input
    optional,     // may be added to one
    instead,      // asked for in place of a dump
};

struct Request;

// One option as the usage line, the help, the reading of the words and the
// hints all see it.
struct OptionInfo {
    const char* name;   // as written after one dash
    const char* alias;  // a second one-dash name, or null
    // What its value is called, or null for a switch. Options that take a
    // value have one spelling; switches may be written with two dashes too.
    const char* value;
    Role role;
    const char* const* help;  // two lines, the second may be null
    // For a switch that is no form nor modifier, what it sets in a request.
    bool Request::*flag;
};

// The options that are neither forms nor modifiers, in the help's order.
extern const OptionInfo PLAIN_OPTIONS[9];

// Calls visit(const OptionInfo&) for every option in the help's order: the
// input, the alternatives and the options that may be added, then every
// form's switch and modifier, then what is asked for instead of a dump.
template <class Visit>
void for_each_option(Visit visit)
{
    for (const OptionInfo& option : PLAIN_OPTIONS)
        if (option.role != Role::instead)
            visit(option);
    for_each_form_switch([&](const char* name, const char* const* help, const FormInfo* form, std::size_t modifier) {
        const char* value = form == nullptr ? MODIFIERS[modifier].value : nullptr;
        visit(OptionInfo{name, nullptr, value, Role::optional, help, nullptr});
    });
    for (const OptionInfo& option : PLAIN_OPTIONS)
        if (option.role == Role::instead)
            visit(option);
}

// What a word meant, when it is close to an option but is none: the option
// (null for none), and the value to give it, or null.
struct Meant {
    const char* word;
    const char* option;
    bool takes_value;
    const char* value;
};

// What the words ask for. The values are the option set's own, first
// occurrence first, so the command line beats the option file.
struct Request {
    String input;
    String list;
    String outdir;
    bool outdir_named = false;  // -outdir is there, even with no value
    String report;
    bool report_named = false;
    // The option file the option set read, if any.
    const char* option_file = nullptr;
    OutputForm form;
    // With form.fold: its value as given, which form.fold_period holds
    // when it is a number of days above 0.
    String fold_word;
    bool mirror = false;
    bool force = false;
    bool help = false;
    bool version = false;
    // The first two switches given that can't be combined, as the message
    // names them, or nulls.
    const char* conflict[2] = {nullptr, nullptr};
    // The first modifier given that the form given does not take, as the
    // message names it, or null.
    const char* lone_modifier = nullptr;
    // The first word of the command line close to an option but none.
    Meant near_miss = {nullptr, nullptr, false, nullptr};
    // For a run that names no input: the first word that probably meant
    // one, a bare word naming an existing file, or an option that takes a
    // value written nearly right.
    Meant input_hint = {nullptr, nullptr, false, nullptr};
};

// Reads the words of options, whose first argc came from the command line,
// once. A word that stands as the value of an option that takes one (-in,
// -list, -outdir, -report, -file, -fold) is a name, never a switch; --NAME is a switch only on the command line, and
// hints come from the command line's words alone.
Request read_request(OptionSet& options, int argc, char** argv);

#endif
