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

// Writes the newline-ended text into line (MAX_LINE_LENGTH bytes at least)
// and returns its length. Numbers read exactly as "%d" and "%f" write them.
std::size_t format_count(std::int32_t count, char* line);
std::size_t format_record(const Measurement& m, char* line);

// Reads the measurement file from in and writes its text to out, flushing
// every line as it is ended. Returns 0, or 8 after writing the one-line
// message to messages; the output then holds the count line and every
// complete record, nothing more. Nothing here allocates but the record
// store, whose exhaustion gives "Error: out of memory".
int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages);

// Opens filename, or takes standard input for "-", and dumps it as above.
int dump_file(const char* filename, std::FILE* out, std::FILE* messages);

// The whole program: options, then the dump. Returns the exit status.
int run_lcdump(int argc, char** argv);

#endif
