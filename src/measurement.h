// The measurement file: its layout, decoding that does not depend on the
// host's byte order, a reader that takes it block by block, and the records
// held field by field for the length of a run.
#ifndef LCDUMP_MEASUREMENT_H
#define LCDUMP_MEASUREMENT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

// The record's layout, stated once: each field's name, its type in memory,
// its offset in the 40-byte record and the letter that types its FITS column
// (D a 64-bit float, J a 32-bit integer, E a 32-bit float). The struct, the
// held arrays, the decoding and every output form are made from this list.
#define LCDUMP_FIELDS(FIELD)           \
    FIELD(JD, double, 0, 'D')          \
    FIELD(obsID, std::int32_t, 8, 'J') \
    FIELD(flux1, float, 12, 'E')       \
    FIELD(err1, float, 16, 'E')        \
    FIELD(sky, float, 20, 'E')         \
    FIELD(errs, float, 24, 'E')        \
    FIELD(chisq1, float, 28, 'E')      \
    FIELD(nuse, std::int32_t, 32, 'J') \
    FIELD(effective_pix, float, 36, 'E')

struct Measurement {
#define LCDUMP_MEMBER(name, type, offset, tform) type name;
    LCDUMP_FIELDS(LCDUMP_MEMBER)
#undef LCDUMP_MEMBER
};

const std::size_t COUNT_BYTES = 4;
const std::size_t RECORD_BYTES = 40;

// An unsigned integer as wide as a field of type T, to hold its bits.
template <class T>
using BitsOf = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;

// What the output forms need to know of a field.
struct FieldInfo {
    const char* name;
    std::size_t offset;
    bool integer;
    char tform;
};

constexpr FieldInfo FIELDS[] = {
#define LCDUMP_INFO(name, type, offset, tform) {#name, offset, std::is_integral<type>::value, tform},
    LCDUMP_FIELDS(LCDUMP_INFO)
#undef LCDUMP_INFO
};
constexpr std::size_t FIELD_COUNT = sizeof FIELDS / sizeof FIELDS[0];

// The struct has the file's layout, with no padding, and each FITS letter is
// as wide as its field and says whether it is an integer.
static_assert(sizeof(Measurement) == RECORD_BYTES, "a Measurement is a record's 40 bytes");
#define LCDUMP_CHECK(name, type, offset, tform)                                                          \
    static_assert(offsetof(Measurement, name) == (offset) && sizeof(type) == ((tform) == 'D' ? 8 : 4) && \
                      std::is_integral<type>::value == ((tform) == 'J'),                                 \
                  #name " lies where the file has it, typed as its FITS column");
LCDUMP_FIELDS(LCDUMP_CHECK)
#undef LCDUMP_CHECK

// Calls visit(const FieldInfo&, value) for each field of m, in record order;
// value is the member itself, so a visit may also set it.
template <class Record, class Visit>
void for_each_field(Record& m, Visit&& visit)
{
    std::size_t i = 0;
#define LCDUMP_VISIT(name, type, offset, tform) visit(FIELDS[i++], m.name);
    LCDUMP_FIELDS(LCDUMP_VISIT)
#undef LCDUMP_VISIT
}

// Little-endian decoding, independent of the host's byte order; float and
// double bits are copied, never converted.
std::int32_t decode_count(const unsigned char* bytes);
Measurement decode_record(const unsigned char* bytes);
// The inverse, for programs that write measurement files: COUNT_BYTES or
// RECORD_BYTES at bytes.
void encode_count(std::int32_t count, unsigned char* bytes);
void encode_record(const Measurement& m, unsigned char* bytes);

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
#define LCDUMP_ELEMENT(name, type, offset, tform) c->name[i],
                if (!visit(Measurement{LCDUMP_FIELDS(LCDUMP_ELEMENT)}))
#undef LCDUMP_ELEMENT
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
#define LCDUMP_ARRAY(name, type, offset, tform) type name[chunk_records];
        LCDUMP_FIELDS(LCDUMP_ARRAY)
#undef LCDUMP_ARRAY
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
