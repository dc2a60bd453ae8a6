// The text forms of a dump: the count line or the CSV header row, then one
// line a record, as printf's "%f" and "%d" write the values or in their
// shortest exact text, separated by spaces or commas.
#ifndef LCDUMP_TEXTFORM_H
#define LCDUMP_TEXTFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "forms.h"
#include "measurement.h"
#include "output.h"

// Longest possible line: nine values at their widest "%f"/"%d" text.
const std::size_t MAX_OUTPUT_LINE = 1024;

// Writes the newline-ended text into line (MAX_OUTPUT_LINE bytes at least)
// and returns its length. Numbers read exactly as "%d" and "%f" write them.
std::size_t format_count(std::int32_t count, char* line);
std::size_t format_record(const Measurement& m, char* line);
// The same with values separated by separator, and with exact in their
// shortest exact text; format_header gives the row of the field names.
std::size_t format_record(const Measurement& m, char separator, bool exact, char* line);
std::size_t format_header(char separator, char* line);

// The two text forms: values separated by spaces under the count line, and
// CSV, separated by commas under a header row of the field names.
struct PlainText {
    static constexpr char separator = ' ';
    static constexpr bool header_row = false;
};
struct CsvText {
    static constexpr char separator = ',';
    static constexpr bool header_row = true;
};

// A writer (see forms.h) of a text form. Each line leaves as it ends, so
// that a pipeline sees every record as soon as it has been read; lines
// into a named file, which nobody reads before it is complete, gather in
// the stream's buffer instead.
template <class Style>
class TextWriter {
public:
    explicit TextWriter(const DumpTarget& target)
        : out_(target.out),
          exact_(target.form.exact),
          flush_lines_(target.output_name == nullptr)
    {
    }

    // Each false when the output could not take the line.
    bool begin(std::int32_t count)
    {
        return write_line(Style::header_row ? format_header(Style::separator, line_) : format_count(count, line_));
    }
    bool record(const Measurement& m) { return write_line(format_record(m, Style::separator, exact_, line_)); }
    bool finish() { return true; }
    bool out_of_memory() const { return false; }

private:
    // The whole line leaves at once.
    bool write_line(std::size_t length)
    {
        return write_all(out_, line_, length) && (!flush_lines_ || std::fflush(out_) == 0);
    }

    std::FILE* out_;
    bool exact_;
    bool flush_lines_;
    char line_[MAX_OUTPUT_LINE];
};

#endif
