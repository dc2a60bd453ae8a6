#include "help.h"

#include <cstddef>
#include <cstring>

#include "measurement.h"
#include "request.h"

namespace {

// Text that knows the column it has come to, for the help's second column.
class Text {
public:
    Text& operator<<(const std::string& piece)
    {
        text_ += piece;
        const std::size_t newline = piece.rfind('\n');
        column_ = newline == std::string::npos ? column_ + piece.size() : piece.size() - newline - 1;
        return *this;
    }
    Text& pad_to(std::size_t column) { return *this << std::string(column > column_ ? column - column_ : 0, ' '); }
    std::string take() { return std::move(text_); }
    std::size_t column() const { return column_; }

private:
    std::string text_;
    std::size_t column_ = 0;
};

// The names of the options that pick chooses, each after dashes, with
// separator between them, and last before the last one; a name that would
// pass the 79th column, with what follows it, starts a new line where wrap.
template <class Pick>
Text& put_names(Text& text, const char* dashes, const char* separator, const char* last, Pick pick, bool wrap = false)
{
    std::size_t left = 0;
    for_each_option([&](const OptionInfo& option) { left += pick(option) ? 1u : 0u; });
    const char* between = "";
    for_each_option([&](const OptionInfo& option) {
        if (pick(option)) {
            const std::string name = std::string(dashes) + option.name;
            std::string gap = between;
            if (wrap && text.column() + gap.size() + name.size() + 2 > 79)
                gap = gap.substr(0, gap.find_last_not_of(' ') + 1) + "\n";
            text << gap << name;
            between = --left == 1 ? last : separator;
        }
    });
    return text;
}

// "Usage: lcdump -in FILE | -list LIST [-outdir DIR] [-file OPTIONFILE] ..."
Text& put_synopsis(Text& text)
{
    text << "Usage: lcdump";
    for_each_option([&](const OptionInfo& option) {
        if (option.role == Role::instead)
            return;
        text << (option.role == Role::optional      ? " [-"
                 : option.role == Role::alternative ? " | -"
                                                    : " -")
             << option.name;
        if (option.value != nullptr)
            text << " " << option.value;
        text << (option.role == Role::optional ? "]" : "");
    });
    return text;
}

// ".txt (.csv, .fits)": the extensions of the outputs, the default's first.
std::string extensions()
{
    std::string first, others;
    for (const FormInfo& form : FORMS) {
        if (!form.writes_files())
            continue;
        if (first.empty())
            first = form.extension;
        else
            others += (others.empty() ? "" : ", ") + std::string(form.extension);
    }
    return others.empty() ? first : first + " (" + others + ")";
}

// A line of an option's help, with its "{extensions}" filled in.
std::string help_line(const char* line)
{
    std::string text = line;
    const char* const mark = "{extensions}";
    const std::size_t at = text.find(mark);
    return at == std::string::npos ? text : text.replace(at, std::strlen(mark), extensions());
}

}  // namespace

std::string usage_line()
{
    Text text;
    put_synopsis(text) << " (or ";
    put_names(text, "-", ", ", ", ", [](const OptionInfo& o) { return o.role == Role::instead; });
    text << "). Try 'lcdump --help'";
    return text.take();
}

std::string help_text()
{
    Text text;
    put_synopsis(text) << "\nWrite a binary light-curve measurement file as text, one line per record,\n"
                          "as a FITS binary table, or summed up in one CSV row.\n\n";
    for_each_option([&](const OptionInfo& option) {
        text << "  -" << option.name;
        if (option.alias != nullptr)
            text << ", -" << option.alias;
        if (option.value != nullptr)
            text << " " << option.value;
        for (std::size_t i = 0; i < 2; ++i)
            if (option.help[i] != nullptr)
                text.pad_to(20) << help_line(option.help[i]) << "\n";
    });
    text << "Switches take two dashes too (";
    put_names(
        text, "--", ", ", ", ", [](const OptionInfo& o) { return o.role == Role::optional && o.value == nullptr; },
        true);
    text << ");\n";
    put_names(text, "-", ", ", " and ", [](const OptionInfo& o) { return o.value != nullptr; });
    text << " take one.\n\nWithout -csv, the first line is the record count; then each record is a\nline of";
    for (const FieldInfo& field : FIELDS)
        text << " " << field.name;
    text << ", separated\nby single spaces and written as printf's \"%f\" (six decimals) and \"%d\".\n"
            "Exit status: 0 after a complete dump; 8 after a one-line message (with -list,\n"
            "one a file that failed, then a line that counts them).\n"
            "The manual page has it all: man lcdump\n";
    return text.take();
}
