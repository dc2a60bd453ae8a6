#include "lcdump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "diagnostics.h"
#include "fits.h"
#include "interrupt.h"
#include "numtext.h"
#include "options.h"
#include "output.h"
#include "platform.h"
#include "stats.h"

namespace {

// Other kinds of file that people hand lcdump by mistake, told by their first
// four bytes, and what to say of them: a remark, and where the remark ends
// in a command on the input, what follows the input's name in it. The kind only explains a failure: any
// bytes can also begin a measurement file (a count of 559,903 is stored as
// 1f 8b 08 00, the start of a gzip stream), so a file that holds its
// records is dumped whatever it looks like.
struct Lookalike {
    const char* remark;
    const char* command_end;
};

Lookalike looks_like(const unsigned char* first, const char* name)
{
    if (first[0] == 0x1f && first[1] == 0x8b)
        return std::strcmp(name, "-") == 0
                   ? Lookalike{"; it looks like gzip data: decompress it first, with gzip -dc", nullptr}
                   : Lookalike{"; it looks like gzip data: gzip -dc ", " | lcdump -in -"};
    if (std::memcmp(first, "SIMP", 4) == 0)
        return {"; it looks like a FITS file already, which astropy, TOPCAT and fv read as it is", nullptr};
    for (std::size_t i = 0; i < COUNT_BYTES; ++i) {
        const unsigned char c = first[i];
        if ((c < 0x20 || c > 0x7e) && c != '\t' && c != '\n' && c != '\r')
            return {"", nullptr};
    }
    // lcdump's own text and CSV begin so.
    return {"; it looks like text, such as lcdump's own output, not a measurement file", nullptr};
}

// "Error: NAME" + what, then what the input looks like and what to do.
int fail_input_as(std::FILE* messages, const char* name, const char* what, Lookalike kind)
{
    if (kind.command_end == nullptr)
        return fail(messages, "Error: ", name, {what, kind.remark});
    return fail(messages, "Error: ", name, {what, kind.remark, Piece::shell_word(name), kind.command_end});
}

// Input that stops short is a read error when the system said so, and
// otherwise an end of file where more was due.
int fail_input(int error_number, std::FILE* messages, const char* name, const char* what_was_due,
               Lookalike kind = {"", nullptr})
{
    if (error_number != 0)
        return fail(messages, "Error: ", name, {": can't read: ", std::strerror(error_number)});
    return fail_input_as(messages, name, what_was_due, kind);
}

// Copies text to p, without its NUL, and returns the end: the messages with
// counts are put together as numtext's put_ functions write numbers.
char* put_text(char* p, const char* text)
{
    const std::size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    return p + n;
}

// The input stream's buffer, which serves the record-sized reads of a pipe;
// its own would come from malloc, and this one cannot run out. One input is
// open at a time.
char input_buffer[1 << 16];

// After a writer's false: which of its two failures it was.
template <class Writer>
int fail_writer(const Writer& writer, std::FILE* messages, const char* output_name)
{
    return writer.out_of_memory() ? fail_out_of_memory(messages) : fail_output(messages, output_name);
}

// Reads the records behind the count and hands each to the writer as it
// arrives, keeping them for a writer that does not keep them itself. With
// hold, a writing writer gets them all only once the last has arrived.
// Whatever the output form, the input is read and its faults are reported
// the same way.
template <class Writer>
int dump_records(RecordReader& reader, const char* name, std::int32_t count, Writer& writer, std::FILE* messages,
                 bool hold, Lookalike kind, const char* output_name)
{
    hold = hold && !Writer::holds_records;
    if (!hold && !writer.begin(count))
        return fail_writer(writer, messages, output_name);
    FieldArrays fields;
    for (std::int32_t n = 0; n < count; ++n) {
        // A run asked to stop leaves between records, with nothing said:
        // the caller tidies up and tells how far it got.
        if (interruption() != 0)
            return FAILURE_STATUS;
        const unsigned char* bytes = reader.take(RECORD_BYTES);
        if (bytes == nullptr) {
            // Grouped as the "holds" message groups its counts.
            char what[64];
            char* p = put_text(what, ": ends after ");
            p = put_grouped(p, static_cast<std::uint64_t>(n));
            p = put_text(p, " of ");
            p = put_grouped(p, static_cast<std::uint64_t>(count));
            p = put_text(p, " records");
            *p = '\0';
            return fail_input(reader.error_number(), messages, name, what, kind);
        }
        Measurement m = decode_record(bytes);
        if (!Writer::holds_records && !fields.append(m))
            return fail_out_of_memory(messages);
        if (!hold && !writer.record(m))
            return fail_writer(writer, messages, output_name);
    }
    if (hold && !(writer.begin(count) && fields.each([&](const Measurement& m) { return writer.record(m); })))
        return fail_writer(writer, messages, output_name);
    if (interruption() != 0)
        return FAILURE_STATUS;
    if (!writer.finish())
        return fail_writer(writer, messages, output_name);
    return 0;
}

// The command that would have written the table to a file: the input's
// name with its extension made .fits, both quoted for the shell.
int fail_fits_to_terminal(const char* filename, std::FILE* messages)
{
    const char* lead = "lcdump: FITS data not written to a terminal; redirect it: lcdump -in ";
    try {
        const OutputForm fits{false, false, true};
        const std::string output = std::strcmp(filename, "-") == 0 ? "out.fits" : output_for(filename, nullptr, fits);
        return fail(messages, lead, nullptr,
                    {Piece::shell_word(filename), " -fits > ", Piece::shell_word(output.c_str())});
    } catch (const std::bad_alloc&) {
        // Without memory for the name, the line still says what to do.
        return fail(messages, lead, nullptr, {Piece::shell_word(filename), " -fits > FILE"});
    }
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
    return output + input.substr(base, stem_end - base) + (form.fits ? ".fits" : form.csv ? ".csv" : ".txt");
}

int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages, const OutputForm& form,
                      const char* output_name)
{
    // Measured before the first read, from where the input stands.
    const long long size = bytes_left(in);
    RecordReader reader(in);
    if (!reader.has_block())
        return fail_out_of_memory(messages);

    const unsigned char* bytes = reader.take(COUNT_BYTES);
    if (bytes == nullptr) {
        // A directory opens on some systems and fails at the first read.
        if (reader.error_number() == EISDIR)
            return fail(messages, "Can't open file: ", name);
        return fail_input(reader.error_number(), messages, name, ": no record count");
    }
    const Lookalike kind = looks_like(bytes, name);
    const std::int32_t count = decode_count(bytes);
    if (count < 0) {
        char what[64];
        std::snprintf(what, sizeof what, ": bad record count %d", static_cast<int>(count));
        return fail_input_as(messages, name, what, kind);
    }
    // A file too short for its count is named before any output, so that a
    // pipeline never takes its first records for the whole.
    const long long needed = static_cast<long long>(COUNT_BYTES + RECORD_BYTES * static_cast<std::uint64_t>(count));
    if (size >= 0 && size < needed) {
        char what[160];
        char* p = put_text(what, ": holds ");
        p = put_grouped(p, static_cast<std::uint64_t>(size - static_cast<long long>(COUNT_BYTES)) / RECORD_BYTES);
        p = put_text(p, " of ");
        p = put_grouped(p, static_cast<std::uint64_t>(count));
        p = put_text(p, " records (");
        p = put_grouped(p, static_cast<std::uint64_t>(size));
        p = put_text(p, " bytes; ");
        p = put_grouped(p, static_cast<std::uint64_t>(needed));
        p = put_text(p, " needed)");
        *p = '\0';
        return fail_input_as(messages, name, what, kind);
    }
    // From a pipe, which cannot be sized, input that looks like something
    // else is held until its last record has come: dumped then, or reported
    // with nothing written. Other input streams as it comes, so that a cut
    // short stream still gives the records it has.
    const bool hold = size < 0 && *kind.remark != '\0';
    if (form.stats) {
        StatsWriter writer(out, name, form.stats_header);
        return dump_records(reader, name, count, writer, messages, hold, kind, output_name);
    }
    if (form.fits) {
        FitsWriter writer(out, "lcdump " LCDUMP_VERSION,
                          std::strcmp(name, "-") == 0 ? "standard input" : last_component(name));
        return dump_records(reader, name, count, writer, messages, hold, kind, output_name);
    }
    // A named output is a temporary file that no reader sees until it is
    // complete, so its lines need not leave one system call each.
    TextWriter writer(out, form, output_name == nullptr);
    return dump_records(reader, name, count, writer, messages, hold, kind, output_name);
}

std::FILE* open_input(const char* filename, std::FILE* messages)
{
    std::FILE* in = std::fopen(filename, "rb");
    // No memory for the stream is no fault of the file.
    if (in == nullptr && errno == ENOMEM)
        fail_out_of_memory(messages);
    else if (in == nullptr)
        fail(messages, "Can't open file: ", filename);
    if (in == nullptr)
        return nullptr;
    std::setvbuf(in, input_buffer, _IOFBF, sizeof input_buffer);
    return in;
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
    if (form.fits && is_terminal(out))
        return fail_fits_to_terminal(filename, messages);
    if (std::strcmp(filename, "-") == 0) {
        use_binary_mode(stdin);
        std::setvbuf(stdin, input_buffer, _IOFBF, sizeof input_buffer);
        return dump_measurements(stdin, filename, out, messages, form);
    }
    return dump_named_file(filename, out, messages, form);
}
