#include "batch.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <string>
#include <system_error>

#include "diagnostics.h"
#include "lcdump.h"
#include "numtext.h"
#include "output.h"
#include "platform.h"
#include "stats.h"

namespace {

// Beside the output, so that the rename stays on one file system, and the
// same on every run, so that a rerun replaces what a killed one left.
std::string temporary_for(const std::string& output)
{
    const std::size_t base = static_cast<std::size_t>(last_component(output.c_str()) - output.c_str());
    return output.substr(0, base) + "." + output.substr(base) + ".lcdump-tmp";
}

// Whether both names are one existing file; by their spelling where the
// file system cannot be asked (a name the Windows code page cannot convert).
bool same_file(const std::string& a, const std::string& b)
{
    try {
        std::error_code error;
        return std::filesystem::equivalent(a, b, error);
    } catch (const std::system_error&) {
        return a == b;
    }
}

// The output as the set of outputs written holds it: a 64-bit hash (FNV-1a)
// of one spelling for every way of naming the file, where the file system
// can say. A hash keeps the set at some 50 bytes a file over a long list;
// two outputs that differ share one with odds of about n^2 / 2^65.
std::uint64_t key_for(const std::string& output)
{
    std::string spelling = output;
    try {
        std::error_code error;
        const std::filesystem::path path = std::filesystem::weakly_canonical(output, error);
        if (!error)
            spelling = path.string();
    } catch (const std::system_error&) {
    }
    std::uint64_t hash = 14695981039346656037u;
    for (char c : spelling)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    return hash;
}

bool is_directory(const char* name)
{
    try {
        std::error_code error;
        return std::filesystem::is_directory(name, error);
    } catch (const std::system_error&) {
        return false;
    }
}

// "Error: INPUT: its output OUTPUT" + why, and the failure status.
int fail_output_of(std::FILE* messages, const std::string& input, const std::string& output, const char* why)
{
    std::fputs("Error: ", messages);
    write_name(messages, input.c_str(), false);
    std::fputs(": its output ", messages);
    write_name(messages, output.c_str(), false);
    return fail(messages, why, "", "");
}

// Dumps input into output by way of its temporary; 0, or the failure status
// after the message, with the temporary gone.
int convert(const std::string& input, const std::string& output, const OutputForm& form, std::FILE* messages)
{
    std::FILE* in = open_input(input.c_str(), messages);
    if (in == nullptr)
        return FAILURE_STATUS;
    const std::string temporary = temporary_for(output);
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        const int status = fail_output(messages, output.c_str());
        std::fclose(in);
        return status;
    }
    int status = dump_measurements(in, input.c_str(), out, messages, form, output.c_str());
    // A file system may refuse the data only when the file is closed.
    if (std::fclose(out) != 0 && status == 0)
        status = fail_output(messages, output.c_str());
    std::fclose(in);
    if (status == 0 && !replace_file(temporary.c_str(), output.c_str()))
        status = fail_output(messages, output.c_str());
    if (status != 0)
        std::remove(temporary.c_str());
    return status;
}

// The next line of list without its end, a CR before the newline included;
// false once the list is read.
bool read_line(std::FILE* list, std::string& line)
{
    line.clear();
    int c;
    while ((c = std::getc(list)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return c != EOF || !line.empty();
}

struct Tally {
    std::uint64_t files = 0;
    std::uint64_t failed = 0;
    // The summary table could not be written, so the run stopped.
    bool table_lost = false;
};

// Every name of the list in turn. Only names are kept from one file to the
// next: the outputs written, so that none is replaced by a later one.
void convert_all(std::FILE* list, const char* outdir, const OutputForm& form, std::FILE* messages, Tally& tally)
{
    std::set<std::uint64_t> written;
    std::string input;
    while (read_line(list, input)) {
        if (input.empty())
            continue;
        ++tally.files;
        if (form.stats) {
            const bool failed = dump_named_file(input.c_str(), stdout, messages, form) != 0;
            tally.failed += failed ? 1 : 0;
            // Every later row would be lost too; the message said why.
            tally.table_lost = failed && std::ferror(stdout) != 0;
            if (tally.table_lost)
                return;
            continue;
        }
        const std::string output = output_for(input, outdir, form);
        const std::uint64_t key = key_for(output);
        int status;
        if (written.count(key) != 0)
            status = fail_output_of(messages, input, output, " would replace one written earlier in this run");
        else if (same_file(input, output))
            status = fail_output_of(messages, input, output, " would replace the input itself");
        else
            status = convert(input, output, form, messages);
        if (status == 0)
            written.insert(key);
        else
            ++tally.failed;
    }
}

}  // namespace

int dump_list(const char* list_name, const char* outdir, const OutputForm& form, std::FILE* messages)
{
    if (outdir != nullptr && !is_directory(outdir))
        return fail(messages, "Error: ", outdir, ": no such directory");
    const bool standard_input = std::strcmp(list_name, "-") == 0;
    std::FILE* list = standard_input ? stdin : std::fopen(list_name, "rb");
    if (list == nullptr)
        return fail(messages, "Can't open file: ", list_name, "");
    // Every summary row under one header, which goes out even for an empty
    // list, so that the table always has its columns.
    OutputForm rows = form;
    rows.stats_header = false;
    if (form.stats && !(write_all(stdout, STATS_HEADER, std::strlen(STATS_HEADER)) && std::fflush(stdout) == 0)) {
        if (!standard_input)
            std::fclose(list);
        return fail_output(messages);
    }
    Tally tally;
    bool out_of_memory = false;
    try {
        convert_all(list, outdir, rows, messages, tally);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    const bool unread = std::ferror(list) != 0;
    const int error_number = errno;
    if (!standard_input)
        std::fclose(list);
    if (out_of_memory)
        return fail(messages, "Error: out of memory", "", "");
    if (unread) {
        char reason[256];
        std::snprintf(reason, sizeof reason, ": can't read: %s", std::strerror(error_number));
        fail(messages, "Error: ", list_name, reason);
    }
    if (tally.failed > 0 && !tally.table_lost) {
        char line[96] = "lcdump: ";
        char* p = put_grouped(line + std::strlen(line), tally.failed);
        std::memcpy(p, " of ", 4);
        p = put_grouped(p + 4, tally.files);
        std::strcpy(p, tally.files == 1 ? " file not " : " files not ");
        std::strcat(p, form.stats ? "summarised" : "converted");
        fail(messages, line, "", "");
    }
    return unread || tally.failed > 0 ? FAILURE_STATUS : 0;
}
