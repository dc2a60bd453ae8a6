#include "lcdump.h"

#include <cstring>
#include <new>

#include "diagnostics.h"
#include "input.h"
#include "platform.h"
#include "summary.h"

namespace {

// The command that would have written the dump to a file: the input's
// name with its extension made the form's, both quoted for the shell.
int fail_binary_to_terminal(const char* filename, const OutputForm& form, std::FILE* messages)
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
    return fail(messages, "lcdump: ", nullptr,
                {row.what, " not written to a terminal; redirect it: lcdump -in ", Piece::shell_word(filename), " -",
                 row.name, " > ", Piece::shell_word(output.empty() ? "FILE" : output.c_str())});
}

}  // namespace

std::string output_for(const std::string& input, const char* outdir, const OutputForm& form)
{
    const std::size_t base = static_cast<std::size_t>(last_component(input.c_str()) - input.c_str());
    std::size_t stem_end = input.rfind('.');
    if (stem_end == std::string::npos || stem_end <= base)
        stem_end = input.size();
    std::string output = input.substr(0, base);
    if (outdir != nullptr) {
        output = outdir;
        if (*last_component(outdir) != '\0')
            output += '/';
    }
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
    // Binary on a terminal is garbage at best, and a crafted file could send
    // it control sequences.
    if (form.info->binary() && is_terminal(out))
        return fail_binary_to_terminal(filename, form, messages);
    if (std::strcmp(filename, "-") == 0)
        return dump_measurements(standard_input(), filename, out, messages, form);
    return dump_named_file(filename, out, messages, form);
}
