#include "textform.h"

#include <cstring>

#include "numtext.h"
#include "output.h"

namespace {

// The fields in record order, integers as "%d", and put_real for JD and
// each float field.
template <class PutReal>
std::size_t format_fields(const Measurement& m, char separator, PutReal put_real, char* line)
{
    char* p = line;
    for_each_field(m, [&](const FieldInfo&, auto value) {
        if constexpr (std::is_integral<decltype(value)>::value)
            p = put_int(p, value);
        else
            p = put_real(p, value);
        *p++ = separator;
    });
    p[-1] = '\n';
    return static_cast<std::size_t>(p - line);
}

}  // namespace

std::size_t format_count(std::int32_t count, char* line)
{
    char* p = put_int(line, count);
    *p++ = '\n';
    return static_cast<std::size_t>(p - line);
}

std::size_t format_record(const Measurement& m, char* line)
{
    return format_record(m, OutputForm(), line);
}

std::size_t format_record(const Measurement& m, const OutputForm& form, char* line)
{
    const char separator = form.csv ? ',' : ' ';
    if (form.exact)
        return format_fields(
            m, separator, [](char* p, auto value) { return put_shortest(p, value); }, line);
    return format_fields(
        m, separator, [](char* p, double value) { return put_fixed(p, value); }, line);
}

std::size_t format_header(char* line)
{
    char* p = line;
    for (const FieldInfo& field : FIELDS) {
        const std::size_t length = std::strlen(field.name);
        std::memcpy(p, field.name, length);
        p += length;
        *p++ = ',';
    }
    p[-1] = '\n';
    return static_cast<std::size_t>(p - line);
}

bool TextWriter::begin(std::int32_t count)
{
    // The header row stands where the count line would.
    return write_line(form_.csv ? format_header(line_) : format_count(count, line_));
}

// The whole line leaves at once.
bool TextWriter::write_line(std::size_t length)
{
    return write_all(out_, line_, length) && (!flush_lines_ || std::fflush(out_) == 0);
}
