#include "lcdump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fits.h"
#include "options.h"
#include "usage.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Windows opens the standard streams in text mode, which writes "\n" as
// "\r\n" and ends binary input at a 0x1a byte. The program's bytes must be
// the same on every platform, so the streams it uses are switched to binary;
// elsewhere there is no difference to make.
void use_binary_mode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

// The exit status of every run that could not complete.
const int FAILURE_STATUS = 8;

int fail(std::FILE* messages, const char* before, const char* name, const char* after)
{
    write_message(messages, before, name, after);
    return FAILURE_STATUS;
}

// Input that stops short is a read error when the system said so, and
// otherwise an end of file where more was due.
int fail_input(int error_number, std::FILE* messages, const char* name, const char* what_was_due)
{
    if (error_number != 0) {
        char reason[256];
        std::snprintf(reason, sizeof reason, ": can't read: %s", std::strerror(error_number));
        return fail(messages, "Error: ", name, reason);
    }
    return fail(messages, "Error: ", name, what_was_due);
}

int fail_output(std::FILE* messages)
{
    char message[256];
    std::snprintf(message, sizeof message, "Error: can't write output: %s", std::strerror(errno));
    return fail(messages, message, "", "");
}

const char* const OUT_OF_MEMORY = "Error: out of memory";

// Reads the records behind the count and hands each to the writer as it
// arrives, then the whole store at the end; whatever the output form, the
// input is read and its faults are reported the same way.
template <class Writer>
int dump_records(RecordReader& reader, const char* name, std::int32_t count, Writer& writer, std::FILE* messages)
{
    if (!writer.begin(count))
        return fail_output(messages);
    FieldArrays fields;
    for (std::int32_t n = 0; n < count; ++n) {
        const unsigned char* bytes = reader.take(RECORD_BYTES);
        if (bytes == nullptr) {
            char what[64];
            std::snprintf(what, sizeof what, ": ends after %d of %d records", static_cast<int>(n),
                          static_cast<int>(count));
            return fail_input(reader.error_number(), messages, name, what);
        }
        Measurement m = decode_record(bytes);
        if (!fields.append(m))
            return fail(messages, OUT_OF_MEMORY, "", "");
        if (!writer.record(m))
            return fail_output(messages);
    }
    if (!writer.finish(fields))
        return fail_output(messages);
    return 0;
}

}  // namespace

int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages,
                      const OutputForm& form)
{
    RecordReader reader(in);
    if (!reader.has_block())
        return fail(messages, OUT_OF_MEMORY, "", "");

    const unsigned char* bytes = reader.take(COUNT_BYTES);
    if (bytes == nullptr) {
        // A directory opens on some systems and fails at the first read.
        if (reader.error_number() == EISDIR)
            return fail(messages, "Can't open file: ", name, "");
        return fail_input(reader.error_number(), messages, name, ": no record count");
    }
    std::int32_t count = decode_count(bytes);
    if (count < 0) {
        char what[64];
        std::snprintf(what, sizeof what, ": bad record count %d", static_cast<int>(count));
        return fail(messages, "Error: ", name, what);
    }
    if (form.fits) {
        FitsWriter writer(out, "lcdump " LCDUMP_VERSION);
        if (!writer.has_buffer())
            return fail(messages, OUT_OF_MEMORY, "", "");
        return dump_records(reader, name, count, writer, messages);
    }
    TextWriter writer(out, form);
    return dump_records(reader, name, count, writer, messages);
}

int dump_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form)
{
    // The stream's buffer, which serves the record-sized reads of a pipe;
    // its own would come from malloc, and this one cannot run out.
    static char buffer[1 << 16];
    const bool standard_input = std::strcmp(filename, "-") == 0;
    std::FILE* in = standard_input ? stdin : std::fopen(filename, "rb");
    if (in == nullptr) {
        // No memory for the stream is no fault of the file.
        if (errno == ENOMEM)
            return fail(messages, OUT_OF_MEMORY, "", "");
        return fail(messages, "Can't open file: ", filename, "");
    }
    if (standard_input)
        use_binary_mode(in);
    std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
    int status = dump_measurements(in, filename, out, messages, form);
    if (!standard_input)
        std::fclose(in);
    return status;
}

namespace {

const char HELP[] =
    "Usage: lcdump -in FILE [-file OPTIONFILE] [-csv] [-exact] [-fits]\n"
    "Write a binary light-curve measurement file as text, one line per record,\n"
    "or as a FITS binary table.\n"
    "\n"
    "  -in FILE          the measurement file; -in - reads standard input\n"
    "  -file OPTIONFILE  further options from a file, one a line, without the\n"
    "                    dash (\"in lc.bin\", \"csv\"); the command line wins\n"
    "  -csv              comma-separated rows under a row of column names,\n"
    "                    and no count line\n"
    "  -exact            every floating-point value in the shortest text that\n"
    "                    reads back to the same bits (may use exponent notation)\n"
    "  -fits             a FITS binary table instead of text, every value's bits\n"
    "                    kept: lcdump -in lc.bin -fits > lc.fits\n"
    "  -help, -h         this help; also --help\n"
    "  -version          the version; also --version\n"
    "Switches take two dashes too (--csv, --exact, --fits); -in and -file take one.\n"
    "\n"
    "Without -csv, the first line is the record count; then each record is a\n"
    "line of JD obsID flux1 err1 sky errs chisq1 nuse effective_pix, separated\n"
    "by single spaces and written as printf's \"%f\" (six decimals) and \"%d\".\n"
    "Exit status: 0 after a complete dump; 8 after a one-line message.\n"
    "The manual page has it all: man lcdump (or doc/lcdump.1 in the source).\n";

// Help and version are asked for only when there is nothing to dump, so a
// word such as -h in a long command line never keeps a file from its dump.
int show(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0)
        return fail_output(stderr);
    return 0;
}

}  // namespace

int run_lcdump(int argc, char** argv)
{
    // Every line is flushed as it ends; the buffer only gathers a line into
    // one write, and being static it cannot fail to be had.
    static char output_buffer[MAX_LINE_LENGTH * 4];
    use_binary_mode(stdout);
    use_binary_mode(stderr);
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    OptionSet options(argc, argv);
    String filename = options.getOption("in", 1, "");
    if (filename.length() == 0) {
        if (options.checkSwitch("help") || options.checkSwitch("-help") || options.checkSwitch("h"))
            return show(HELP);
        if (options.checkSwitch("version") || options.checkSwitch("-version"))
            return show("lcdump " LCDUMP_VERSION "\n");
        return fail_usage(argc, argv, stderr);
    }
    OutputForm form;
    form.csv = switch_given(options, argc, argv, "csv");
    form.exact = switch_given(options, argc, argv, "exact");
    form.fits = switch_given(options, argc, argv, "fits");
    if (form.fits && form.csv)
        return fail(stderr, "Error: -fits and -csv can't be combined", "", "");
    return dump_file(filename.c_str(), stdout, stderr, form);
}
