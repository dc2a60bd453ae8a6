#include "textform.h"

#include <cstring>

#include "numtext.h"

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
    return format_record(m, PlainText::separator, false, line);
}

std::size_t format_record(const Measurement& m, char separator, bool exact, char* line)
{
    if (exact)
        return format_fields(
            m, separator, [](char* p, auto value) { return put_shortest(p, value); }, line);
    return format_fields(
        m, separator, [](char* p, double value) { return put_fixed(p, value); }, line);
}

std::size_t format_header(char separator, char* line)
{
    char* p = line;
    for (const FieldInfo& field : FIELDS) {
        const std::size_t length = std::strlen(field.name);
        std::memcpy(p, field.name, length);
        p += length;
        *p++ = separator;
    }
    p[-1] = '\n';
    return static_cast<std::size_t>(p - line);
}
