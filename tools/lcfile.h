// Writes a measurement file from a program's own made-up records, in the
// layout and byte order the dump reads, on any machine.
#ifndef LCDUMP_TOOLS_LCFILE_H
#define LCDUMP_TOOLS_LCFILE_H

#include <cstdio>
#include <vector>

#include "measurement.h"

// Writes the count and the records to path; false if any of it failed.
inline bool write_lc(const char* path, const std::vector<Measurement>& records)
{
    std::vector<unsigned char> bytes(COUNT_BYTES + RECORD_BYTES * records.size());
    encode_count(static_cast<std::int32_t>(records.size()), bytes.data());
    for (std::size_t i = 0; i < records.size(); ++i)
        encode_record(records[i], bytes.data() + COUNT_BYTES + RECORD_BYTES * i);
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

#endif
