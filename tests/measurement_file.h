// Builds measurement files byte by byte (little-endian), and scratch
// directories to put them in.
#ifndef LCDUMP_TESTS_MEASUREMENT_FILE_H
#define LCDUMP_TESTS_MEASUREMENT_FILE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "lcdump.h"
#include "textform.h"

inline void append_u32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

template <class T>
std::uint64_t bits_of(T value)
{
    static_assert(sizeof(T) == 4 || sizeof(T) == 8, "4 or 8 byte values only");
    std::uint64_t u = 0;
    if (sizeof(T) == 4) {
        std::uint32_t u32;
        std::memcpy(&u32, &value, 4);
        u = u32;
    } else {
        std::memcpy(&u, &value, 8);
    }
    return u;
}

inline std::string encode_count(std::int32_t count)
{
    std::string out;
    append_u32(out, static_cast<std::uint32_t>(count));
    return out;
}

inline std::string encode_record(const Measurement& m)
{
    std::string out;
    std::uint64_t jd = bits_of(m.JD);
    append_u32(out, static_cast<std::uint32_t>(jd));
    append_u32(out, static_cast<std::uint32_t>(jd >> 32));
    append_u32(out, static_cast<std::uint32_t>(m.obsID));
    for (float f : {m.flux1, m.err1, m.sky, m.errs, m.chisq1})
        append_u32(out, static_cast<std::uint32_t>(bits_of(f)));
    append_u32(out, static_cast<std::uint32_t>(m.nuse));
    append_u32(out, static_cast<std::uint32_t>(bits_of(m.effective_pix)));
    return out;
}

inline std::string encode_file(const std::vector<Measurement>& records)
{
    std::string out = encode_count(static_cast<std::int32_t>(records.size()));
    for (const Measurement& m : records)
        out += encode_record(m);
    return out;
}

// The record used throughout: it has one value of every kind.
inline Measurement example_record()
{
    return Measurement{345.5, 17, 152.25f, 3.5f, 210.0f, 0.75f, 1.125f, 44, 12.5f};
}
inline const char* example_line()
{
    return "345.500000 17 152.250000 3.500000 210.000000 0.750000 1.125000 44 12.500000\n";
}

inline Measurement numbered_record(int n)
{
    return Measurement{
        2459000.5 + n * 0.01, n, 1000.0f + static_cast<float>(n), 10.0f, 200.0f, 1.0f, 1.0f, n % 7, 12.0f};
}

// The line as C's printf writes it: the reference lcdump must equal byte for
// byte. line needs MAX_OUTPUT_LINE bytes; returns the length.
inline int printf_line(const Measurement& m, char* line)
{
    return std::snprintf(line, MAX_OUTPUT_LINE, "%f %d %f %f %f %f %f %d %f\n", m.JD, m.obsID,
                         static_cast<double>(m.flux1), static_cast<double>(m.err1), static_cast<double>(m.sky),
                         static_cast<double>(m.errs), static_cast<double>(m.chisq1), m.nuse,
                         static_cast<double>(m.effective_pix));
}

inline std::string contents(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("can't write " + path);
}

inline std::string make_temp_dir()
{
    std::string pattern = "/tmp/lcdump_test.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return name.data();
}

// The value of type T with the given bits (the low 32 for a float).
template <class T>
T from_bits(std::uint64_t bits)
{
    T value;
    if (sizeof(T) == 4) {
        std::uint32_t u = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &u, 4);
    } else {
        std::memcpy(&value, &bits, 8);
    }
    return value;
}

// lcdump's default line for m.
inline std::string formatted(const Measurement& m)
{
    char line[MAX_OUTPUT_LINE];
    return std::string(line, format_record(m, line));
}

// How many of an exhaustive check's cases to run: all of them under make ci
// (LCDUMP_FULL_CHECKS set), a sample that keeps make test quick otherwise.
inline int sample_size(int full, int quick)
{
    return std::getenv("LCDUMP_FULL_CHECKS") != nullptr ? full : quick;
}

#endif
