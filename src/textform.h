// The text forms of a dump: the count line or the CSV header row, then one
// line a record, as printf's "%f" and "%d" write the values or in their
// shortest exact text, separated by spaces or commas.
#ifndef LCDUMP_TEXTFORM_H
#define LCDUMP_TEXTFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "measurement.h"

// Longest possible line: nine values at their widest "%f"/"%d" text.
const std::size_t MAX_LINE_LENGTH = 1024;

// How records are written. By default: the count line, then values as "%d"
// and "%f" write them, separated by single spaces.
struct OutputForm {
    // A header row of the field names instead of the count line, and commas
    // between the values.
    bool csv = false;
    // Floating-point values in the shortest text that reads back to the same
    // bits (float fields as binary32, JD as binary64); may use an exponent.
    bool exact = false;
    // A FITS binary table instead of text, each value in its own binary
    // type; csv and exact then change nothing.
    bool fits = false;
};

// Writes the newline-ended text into line (MAX_LINE_LENGTH bytes at least)
// and returns its length. Numbers read exactly as "%d" and "%f" write them.
std::size_t format_count(std::int32_t count, char* line);
std::size_t format_record(const Measurement& m, char* line);
// The same in the given form; format_header gives the CSV header row.
std::size_t format_record(const Measurement& m, const OutputForm& form, char* line);
std::size_t format_header(char* line);

// Writes a dump in one of the text forms. Each line is flushed as it ends,
// so that a pipeline sees every record as soon as it has been read.
class TextWriter {
public:
    TextWriter(std::FILE* out, const OutputForm& form) : out_(out), form_(form) {}

    // Each false when the output could not take the line.
    bool begin(std::int32_t count);
    bool record(const Measurement& m) { return write_line(format_record(m, form_, line_)); }
    bool finish(const FieldArrays&) { return true; }

private:
    bool write_line(std::size_t length);

    std::FILE* out_;
    OutputForm form_;
    char line_[MAX_LINE_LENGTH];
};

#endif
