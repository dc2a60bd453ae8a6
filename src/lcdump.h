// Dumping a light-curve measurement file as text: the record count on the
// first line, then one line per 40-byte record, each written as soon as it
// has been read.
#ifndef LCDUMP_LCDUMP_H
#define LCDUMP_LCDUMP_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Measurement {
    double JD;
    std::int32_t obsID;
    float flux1;
    float err1;
    float sky;
    float errs;
    float chisq1;
    std::int32_t nuse;
    float effective_pix;
};

const std::size_t COUNT_BYTES = 4;
const std::size_t RECORD_BYTES = 40;
// Longest possible line: nine values at their widest "%f"/"%d" text.
const std::size_t MAX_LINE_LENGTH = 1024;

// Little-endian decoding, independent of the host's byte order; float and
// double bits are copied, never converted.
std::int32_t decode_count(const unsigned char* bytes);
Measurement decode_record(const unsigned char* bytes);

// How records are written. By default: the count line, then values as "%d"
// and "%f" write them, separated by single spaces.
struct OutputForm {
    // A header row of the field names instead of the count line, and commas
    // between the values.
    bool csv = false;
    // Floating-point values in the shortest text that reads back to the same
    // bits (float fields as binary32, JD as binary64); may use an exponent.
    bool exact = false;
};

// Writes the newline-ended text into line (MAX_LINE_LENGTH bytes at least)
// and returns its length. Numbers read exactly as "%d" and "%f" write them.
std::size_t format_count(std::int32_t count, char* line);
std::size_t format_record(const Measurement& m, char* line);
// The same in the given form; format_header gives the CSV header row.
std::size_t format_record(const Measurement& m, const OutputForm& form, char* line);
std::size_t format_header(char* line);

// Reads the measurement file from in and writes its text to out, flushing
// every line as it is ended. Returns 0, or 8 after writing the one-line
// message to messages; the output then holds the count line and every
// complete record, nothing more. Nothing here allocates but the record
// store, whose exhaustion gives "Error: out of memory".
int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages,
                      const OutputForm& form = OutputForm());

// Opens filename, or takes standard input for "-", and dumps it as above.
int dump_file(const char* filename, std::FILE* out, std::FILE* messages,
              const OutputForm& form = OutputForm());

// The whole program: options, then the dump (or the help or version when no
// file is named). Returns the exit status.
int run_lcdump(int argc, char** argv);

#endif
