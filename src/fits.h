// A FITS file of the measurements: an empty primary HDU, then one binary
// table with a column per field, each value's bits as the file held them,
// both HDUs with the checksums that let a reader know the file is intact.
#ifndef LCDUMP_FITS_H
#define LCDUMP_FITS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "forms.h"
#include "measurement.h"

// FITS counts in blocks of this many bytes; every header and data unit is
// padded to a whole number of them.
const std::size_t FITS_BLOCK = 2880;

// The 16 characters that stand for a checksum in a CHECKSUM card: the
// complement of sum, each byte spread over four characters from 0-9, A-Z and
// a-z, so that adding them back to a unit whose sum is sum makes it all ones.
void fits_encode_checksum(std::uint32_t sum, char text[16]);

// An input as a table's HISTORY names it: its last component, or "standard
// input" for "-".
const char* fits_source(const char* name);

// A writer (see forms.h) that holds every row itself: the header carries
// the row count and the sum of the data, so nothing is written before
// finish(). Each row is encoded once, as it arrives, into the bytes that
// will be written, and the data sum is taken over those very bytes.
class FitsWriter {
public:
    // creator, at most 68 characters and no quote, names the program in
    // the table's CREATOR card; HISTORY cards say "CREATOR from SOURCE", so
    // that a table found on its own still tells where its rows came from.
    FitsWriter(std::FILE* out, const char* creator, const char* source);
    // As the dump makes it: lcdump as the creator, the input's fits_source
    // as the source.
    explicit FitsWriter(const DumpTarget& target);
    FitsWriter(const FitsWriter&) = delete;
    FitsWriter& operator=(const FitsWriter&) = delete;
    ~FitsWriter();

    // Each false when there was no memory for the rows.
    bool begin(std::int32_t count);
    bool record(const Measurement& m);
    // Writes the whole file; false when the output could not take it.
    bool finish();
    bool out_of_memory() const { return out_of_memory_; }

private:
    struct Chunk;
    // A chunk of rows behind the last, its first reserved bytes left for
    // the headers.
    bool add_chunk(std::size_t reserved);

    std::FILE* out_;
    const char* creator_;
    const char* source_;
    std::int32_t count_ = 0;
    // The ones' complement sum of the rows, carries not yet folded in.
    std::uint64_t data_sum_ = 0;
    Chunk* first_ = nullptr;
    Chunk* last_ = nullptr;
    bool out_of_memory_ = false;
};

#endif
