// The output forms, one row each: its switch, its files' extension, where it
// may not go and what it needs, and the writer that makes it. The command
// line, the help, the names of outputs and the dump all read this table.
#ifndef LCDUMP_FORMS_H
#define LCDUMP_FORMS_H

#include <cstddef>
#include <cstdio>

class Input;
class SummaryTable;
struct Summary;
struct FormInfo;

// The table's rows, for a range-for.
struct FormList {
    const FormInfo* first;
    std::size_t count;
    const FormInfo* begin() const { return first; }
    const FormInfo* end() const;
};
extern const FormList FORMS;

// How one dump is written: its form's row and the modifiers given.
struct OutputForm {
    // The default form is the table's first row, the text that needs no
    // switch.
    explicit OutputForm(const FormInfo* row = FORMS.first) : info(row) {}

    const FormInfo* info;
    // Floating-point values in the shortest text that reads back to the
    // same bits (float fields as binary32, JD as binary64); may use an
    // exponent.
    bool exact = false;
    // For a summary: the period search's columns too.
    bool period = false;
    // For a picture: folded at fold_period days, given, instead of the
    // period the search finds, with no search and no periodogram.
    bool fold = false;
    double fold_period = 0;
    // For a form that writes one table to standard output: the table that
    // the input's row joins, begun and ended by the caller that puts many
    // rows in it; null for a table of this input alone.
    SummaryTable* table = nullptr;
    // For a picture on a survey's page: where its light curve's summary
    // goes, with the period the picture's search found; null for none.
    Summary* summary = nullptr;
};

// What a writer is made from: where it writes, the input it writes of, as
// given ("-" for standard input), and how. output_name is the file being
// written, for its messages; null for standard output, where each line
// leaves as it ends.
struct DumpTarget {
    std::FILE* out;
    const char* name;
    const OutputForm& form;
    const char* output_name;
};

// A switch that changes how a form writes, where the form takes it; one
// with a value is given as the switch and the word after it.
struct Modifier {
    const char* name;
    bool OutputForm::*flag;
    // What its value is called, or null for a switch alone.
    const char* value;
    const char* help[2];
};
extern const Modifier MODIFIERS[3];

// What may hold for a form, a bit each. A binary form is refused on a
// terminal, where it would be garbage, or worse. A form of whole input
// writes nothing before the last record has come. A table form writes no
// files but one table on standard output, a row per input.
enum FormTraits : unsigned { BINARY = 1u << 0, WHOLE_INPUT = 1u << 1, TABLE = 1u << 2 };

// Every writer is a plain class, made from a DumpTarget, on which the dump
// calls, in this order:
//   begin(count)  once, with the record count from the file, before any
//                 record;
//   record(m)     once per record, in file order, as each arrives;
//   finish()      once, after the last record.
// Each returns false when it failed; the dump then calls nothing more and
// reports, by out_of_memory(), either "out of memory" or the output's error
// (errno). A form of whole input keeps every record in its
// writer, which writes nothing before finish(); any other writes as it goes
// (a record's line leaves before the next record is read), and the dump
// keeps the records for it, so that input which must be seen whole first
// can be handed over at the end.
struct FormInfo {
    // Its switch, without the dash; null for the text form, which is the
    // one given when no switch is.
    const char* name;
    // For a form picked by two switches, the second one; the form is then
    // no switch of its own in the help.
    const char* also;
    // What it writes, for messages: "FITS data not written to a terminal".
    const char* what;
    // Of its files with -list; of a table form, the file it would be
    // redirected to.
    const char* extension;
    // Of FormTraits, those that hold for it.
    unsigned traits;
    // Those of MODIFIERS that it takes, a bit for each (1 << index); a
    // modifier it does not take can't be combined with it.
    unsigned modifiers;
    // Reads the records of input, whose count has been read, and writes
    // them; 0, or the failure status after the message.
    int (*dump)(Input& input, const DumpTarget& target, std::FILE* messages);
    // For a form with a switch: one or two lines of help.
    const char* help[2];

    bool writes_files() const { return (traits & TABLE) == 0; }
    bool binary() const { return (traits & BINARY) != 0; }
    bool whole_input() const { return (traits & WHOLE_INPUT) != 0; }
};

inline const FormInfo* FormList::end() const
{
    return first + count;
}

// The row of the form with that switch alone, or null.
const FormInfo* find_form(const char* name);

// The row of the form that the two switches pick together, in either
// order, or null where they don't go together.
const FormInfo* find_pair(const char* name, const char* other);

// For the modifier at index in MODIFIERS: whether the form takes it.
inline bool takes_modifier(const FormInfo& form, std::size_t index)
{
    return (form.modifiers >> index & 1u) != 0;
}

// Calls visit(name, help, form, modifier) for every switch that picks or
// modifies a form, in the order the help shows them: each form's switch,
// then the modifiers that the form is the first to take. form is the
// switch's row, or null for a modifier, whose index is modifier.
template <class Visit>
void for_each_form_switch(Visit visit)
{
    unsigned shown = 0;
    for (const FormInfo& form : FORMS) {
        if (form.name == nullptr || form.also != nullptr)
            continue;
        visit(form.name, form.help, &form, std::size_t{0});
        std::size_t i = 0;
        for (const Modifier& modifier : MODIFIERS) {
            if (takes_modifier(form, i) && (shown >> i & 1u) == 0) {
                shown |= 1u << i;
                visit(modifier.name, modifier.help, static_cast<const FormInfo*>(nullptr), i);
            }
            ++i;
        }
    }
}

#endif
