#include "lcdump.h"

#include <cstring>
#include <new>

#include "diagnostics.h"
#include "input.h"
#include "outputpath.h"
#include "platform.h"
#include "summary.h"

int fail_binary_to_terminal(const char* source_switch, const char* filename, const OutputForm& form,
                            std::FILE* messages)
{
    const FormInfo& row = *form.info;
    // Without memory for the name, the line still says what to do.
    std::string output;
    try {
        output =
            std::strcmp(filename, "-") == 0 ? std::string("out") + row.extension : output_for(filename, nullptr, form);
    } catch (const std::bad_alloc&) {
        output.clear();
    }
    // The form's switches, then each modifier given; one not given is two
    // empty pieces. -fold, the one with a value, goes with no binary form.
    static_assert(sizeof MODIFIERS / sizeof MODIFIERS[0] == 3, "every modifier given is in the command");
    auto dash = [&form](std::size_t i) { return form.*MODIFIERS[i].flag ? " -" : nullptr; };
    auto given = [&form](std::size_t i) { return form.*MODIFIERS[i].flag ? MODIFIERS[i].name : nullptr; };
    return fail(messages, "lcdump: ", nullptr,
                {row.what, " not written to a terminal; redirect it: lcdump ", source_switch, " ",
                 Piece::shell_word(filename), " -", row.name, row.also != nullptr ? " -" : nullptr, row.also, dash(0),
                 given(0), dash(1), given(1), " > ", Piece::shell_word(output.empty() ? "FILE" : output.c_str())});
}

std::string output_for(const std::string& input, const char* outdir, const OutputForm& form)
{
    const std::size_t base = static_cast<std::size_t>(last_component(input.c_str()) - input.c_str());
    std::size_t stem_end = input.rfind('.');
    if (stem_end == std::string::npos || stem_end <= base)
        stem_end = input.size();
    std::string output = input.substr(0, base);
    if (outdir != nullptr)
        output = in_directory(outdir);
    return output + input.substr(base, stem_end - base) + form.info->extension;
}

int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages, const OutputForm& form,
                      const char* output_name)
{
    Input input(in, name);
    if (const int status = input.start(messages))
        return status;
    if (form.info->writes_files() || form.table != nullptr)
        return form.info->dump(input, DumpTarget{out, name, form, output_name}, messages);
    // A table of this input alone: its header goes out with its row.
    SummaryTable table(out, form, true);
    OutputForm alone = form;
    alone.table = &table;
    if (const int status = form.info->dump(input, DumpTarget{out, name, alone, output_name}, messages))
        return status;
    if (!table.finish())
        return table.out_of_memory() ? fail_out_of_memory(messages) : fail_output(messages, output_name);
    return 0;
}

int dump_named_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form)
{
    std::FILE* in = open_input(filename, messages);
    if (in == nullptr)
        return FAILURE_STATUS;
    const int status = dump_measurements(in, filename, out, messages, form);
    std::fclose(in);
    return status;
}

int dump_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form)
{
    if (form.info->binary() && is_terminal(out))
        return fail_binary_to_terminal("-in", filename, form, messages);
    if (std::strcmp(filename, "-") == 0)
        return dump_measurements(standard_input(), filename, out, messages, form);
    return dump_named_file(filename, out, messages, form);
}
