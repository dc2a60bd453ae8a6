// The measurement file as the tools write it: a little-endian int32 record
// count, then one 40-byte little-endian record per measurement. Written byte
// by byte, so that the files come out the same on any machine.
#ifndef LCDUMP_TOOLS_LCFILE_H
#define LCDUMP_TOOLS_LCFILE_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

struct Record {
    double jd;
    std::int32_t obsID;
    float flux1;
    float err1;
    float sky;
    float errs;
    float chisq1;
    std::int32_t nuse;
    float effective_pix;
};

inline void put_u32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void put_f32(std::vector<unsigned char>& out, float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    put_u32(out, u);
}

inline void put_f64(std::vector<unsigned char>& out, double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    put_u32(out, static_cast<std::uint32_t>(u));
    put_u32(out, static_cast<std::uint32_t>(u >> 32));
}

// Writes the count and the records to path; false if any of it failed.
inline bool write_lc(const char* path, const std::vector<Record>& records)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(4 + 40 * records.size());
    put_u32(bytes, static_cast<std::uint32_t>(records.size()));
    for (const Record& r : records) {
        put_f64(bytes, r.jd);
        put_u32(bytes, static_cast<std::uint32_t>(r.obsID));
        put_f32(bytes, r.flux1);
        put_f32(bytes, r.err1);
        put_f32(bytes, r.sky);
        put_f32(bytes, r.errs);
        put_f32(bytes, r.chisq1);
        put_u32(bytes, static_cast<std::uint32_t>(r.nuse));
        put_f32(bytes, r.effective_pix);
    }
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

#endif
