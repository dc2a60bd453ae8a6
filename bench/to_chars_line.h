// The plainest fast way to format one record's line: std::to_chars for every
// value, straight from the record's little-endian bytes on a little-endian host.
#ifndef LCDUMP_BENCH_TO_CHARS_LINE_H
#define LCDUMP_BENCH_TO_CHARS_LINE_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace to_chars_line {

inline char* put(char* p, double value)
{
    return std::to_chars(p, p + 400, value, std::chars_format::fixed, 6).ptr;
}

inline char* put(char* p, std::int32_t value)
{
    return std::to_chars(p, p + 12, value).ptr;
}

template <class T>
T field(const unsigned char* record, std::size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

// Writes the newline-ended line of the 40-byte record into line (at least
// 1024 bytes) and returns its end.
inline char* format(const unsigned char* r, char* line)
{
    char* p = put(line, field<double>(r, 0));
    *p++ = ' ';
    p = put(p, field<std::int32_t>(r, 8));
    for (std::size_t offset = 12; offset < 32; offset += 4) {
        *p++ = ' ';
        p = put(p, static_cast<double>(field<float>(r, offset)));
    }
    *p++ = ' ';
    p = put(p, field<std::int32_t>(r, 32));
    *p++ = ' ';
    p = put(p, static_cast<double>(field<float>(r, 36)));
    *p++ = '\n';
    return p;
}

}  // namespace to_chars_line

#endif
