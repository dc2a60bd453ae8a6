// The text forms of a dump: the count line or the CSV header row, then one
// line a record, as printf's "%f" and "%d" write the values or in their
// shortest exact text, separated by spaces or commas.
#ifndef LCDUMP_TEXTFORM_H
#define LCDUMP_TEXTFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "measurement.h"
#include "writer.h"

// Longest possible line: nine values at their widest "%f"/"%d" text.
const std::size_t MAX_OUTPUT_LINE = 1024;

// Writes the newline-ended text into line (MAX_OUTPUT_LINE bytes at least)
// and returns its length. Numbers read exactly as "%d" and "%f" write them.
std::size_t format_count(std::int32_t count, char* line);
std::size_t format_record(const Measurement& m, char* line);
// The same in the given form; format_header gives the CSV header row.
std::size_t format_record(const Measurement& m, const OutputForm& form, char* line);
std::size_t format_header(char* line);

// A writer (see writer.h) of the text forms. Each line leaves as it ends,
// so that a pipeline sees every record as soon as it has been read.
class TextWriter {
public:
    static constexpr bool holds_records = false;

    // flush_lines false gathers lines in the stream's buffer instead: for a
    // file that nobody reads before it is complete.
    TextWriter(std::FILE* out, const OutputForm& form, bool flush_lines = true)
        : out_(out),
          form_(form),
          flush_lines_(flush_lines)
    {
    }

    // Each false when the output could not take the line.
    bool begin(std::int32_t count);
    bool record(const Measurement& m) { return write_line(format_record(m, form_, line_)); }
    bool finish() { return true; }
    bool out_of_memory() const { return false; }

private:
    bool write_line(std::size_t length);

    std::FILE* out_;
    OutputForm form_;
    bool flush_lines_;
    char line_[MAX_OUTPUT_LINE];
};

#endif
