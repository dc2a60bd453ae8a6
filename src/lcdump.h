// Dumping a light-curve measurement file as text: the record count on the
// first line, then one line per 40-byte record, each written as soon as it
// has been read.
#ifndef LCDUMP_LCDUMP_H
#define LCDUMP_LCDUMP_H

#include <cstddef>
#include <cstdint>
#include <string>

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

// Reads the measurement file from in_fd and writes its text to out_fd.
// Returns 0, or 8 with the one-line message (no newline) in error; the
// output then holds the count line and every complete record, nothing more.
// Memory that runs out gives "Error: out of memory", or std::bad_alloc when
// there is not even room for that message.
int dump_measurements(int in_fd, const std::string& name, int out_fd, std::string& error);

// Opens filename and dumps it as above.
int dump_file(const std::string& filename, int out_fd, std::string& error);

// The whole program: options, then the dump. Returns the exit status; never
// lets an exception out.
int run_lcdump(int argc, char** argv);

#endif
