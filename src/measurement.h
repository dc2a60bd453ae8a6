// The measurement file: its layout, decoding that does not depend on the
// host's byte order, a reader that takes it block by block, and the records
// held field by field for the length of a run.
#ifndef LCDUMP_MEASUREMENT_H
#define LCDUMP_MEASUREMENT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Measurement {
    double JD;
    std::int32_t obsID;
    float flux1;
    float err1;
    float sky;
    float errs;
    float chisq1;
    std::int32_t nuse;
    float effective_pix;
};

const std::size_t COUNT_BYTES = 4;
const std::size_t RECORD_BYTES = 40;

// The fields' names in record order, as every output form names them.
const std::size_t FIELD_COUNT = 9;
extern const char* const FIELD_NAMES[FIELD_COUNT];

// Little-endian decoding, independent of the host's byte order; float and
// double bits are copied, never converted.
std::int32_t decode_count(const unsigned char* bytes);
Measurement decode_record(const unsigned char* bytes);

// The records read, held field by field: each chunk holds one array per field
// for the next 2^16 records. The chunks are chained, never copied, and
// allocated as the records arrive, so memory stays at what has been read
// whether or not the input's size is known (a doubling array fed from a pipe
// peaked at 64 bytes a record, not 40), and a header that lies about the
// count cannot make it allocate more. They come from malloc, so running out
// is a false return and never an exception that might itself find no memory.
class FieldArrays {
public:
    FieldArrays() = default;
    FieldArrays(const FieldArrays&) = delete;
    FieldArrays& operator=(const FieldArrays&) = delete;
    ~FieldArrays();

    // False when memory ran out.
    bool append(const Measurement& m);

    // Calls visit(const Measurement&) for every record held, in order, until
    // it returns false; returns whether it never did.
    template <class Visit>
    bool each(Visit visit) const
    {
        for (const Chunk* c = first_; c != nullptr; c = c->next) {
            const std::size_t used = c == last_ ? used_ : chunk_records;
            for (std::size_t i = 0; i < used; ++i)
                if (!visit(Measurement{c->JD[i], c->obsID[i], c->flux1[i], c->err1[i], c->sky[i], c->errs[i],
                                       c->chisq1[i], c->nuse[i], c->effective_pix[i]}))
                    return false;
        }
        return true;
    }

private:
    // Large enough that each array is mapped from the system page by page as
    // it fills.
    static const std::size_t chunk_records = std::size_t(1) << 16;
    struct Chunk {
        Chunk* next;
        double JD[chunk_records];
        std::int32_t obsID[chunk_records], nuse[chunk_records];
        float flux1[chunk_records], err1[chunk_records], sky[chunk_records], errs[chunk_records],
            chisq1[chunk_records], effective_pix[chunk_records];
    };
    Chunk* first_ = nullptr;
    Chunk* last_ = nullptr;
    std::size_t used_ = chunk_records;
};

// Takes the input a block at a time. A file that can seek never makes a read
// wait, so there a block is as much as the buffer holds. Anything else, a
// pipe or a terminal, may hold a read until its whole request has come, so
// there each read asks for the next record only, and a record that arrives is
// printed at once.
class RecordReader {
public:
    explicit RecordReader(std::FILE* in);
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;
    ~RecordReader();

    // False when there was no memory for the block; take() then gives null.
    bool has_block() const { return block_ != nullptr; }

    // The next n bytes (n at most 64 KiB), or null at the end of the input or
    // on a read error, which leaves error_number() set.
    const unsigned char* take(std::size_t n)
    {
        if (end_ - start_ < n && !fill(n))
            return nullptr;
        const unsigned char* bytes = block_ + start_;
        start_ += n;
        return bytes;
    }

    int error_number() const { return error_number_; }

private:
    bool fill(std::size_t n);

    // On the heap: a block this size on the stack kills the program with no
    // message under a small stack limit.
    static const std::size_t block_bytes = std::size_t(1) << 16;
    std::FILE* in_;
    bool whole_blocks_;
    int error_number_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    unsigned char* block_;
};

#endif
