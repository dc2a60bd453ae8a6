#include "fits.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fitsheader.h"
#include "output.h"
#include "platform.h"

namespace {

// Rows are held in chunks of this many blocks, each written whole at the
// end; the first chunk starts with room for the two header blocks. A chunk
// and its row part are whole numbers of 40-byte rows.
const std::size_t CHUNK_BYTES = 20 * FITS_BLOCK;
const std::size_t HEADER_BYTES = 2 * FITS_BLOCK;
static_assert(CHUNK_BYTES % RECORD_BYTES == 0 && (CHUNK_BYTES - HEADER_BYTES) % RECORD_BYTES == 0,
              "rows never straddle a chunk's end");

}  // namespace

struct FitsWriter::Chunk {
    Chunk* next;
    std::size_t used;
    unsigned char bytes[CHUNK_BYTES];
};

const char* fits_source(const char* name)
{
    return std::strcmp(name, "-") == 0 ? "standard input" : last_component(name);
}

FitsWriter::FitsWriter(std::FILE* out, const char* creator, const char* source)
    : out_(out),
      creator_(creator),
      source_(source)
{
}

FitsWriter::FitsWriter(const DumpTarget& target)
    : FitsWriter(target.out, "lcdump " LCDUMP_VERSION, fits_source(target.name))
{
}

FitsWriter::~FitsWriter()
{
    while (first_ != nullptr) {
        Chunk* next = first_->next;
        std::free(first_);
        first_ = next;
    }
}

bool FitsWriter::add_chunk(std::size_t reserved)
{
    Chunk* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk)));
    if (chunk == nullptr) {
        out_of_memory_ = true;
        return false;
    }
    chunk->next = nullptr;
    chunk->used = reserved;
    (last_ != nullptr ? last_->next : first_) = chunk;
    last_ = chunk;
    return true;
}

bool FitsWriter::begin(std::int32_t count)
{
    count_ = count;
    return add_chunk(HEADER_BYTES);
}

bool FitsWriter::record(const Measurement& m)
{
    if (last_->used == CHUNK_BYTES && !add_chunk(0))
        return false;
    unsigned char* row = last_->bytes + last_->used;
    for_each_field(m, [row](const FieldInfo& field, auto value) { fits_store_big_endian(row + field.offset, value); });
    // The sum is taken of the very bytes that will be written.
    data_sum_ += fits_sum_words(row, RECORD_BYTES);
    last_->used += RECORD_BYTES;
    return true;
}

bool FitsWriter::finish()
{
    fits_put_primary(first_->bytes);
    FitsHeader table(first_->bytes + FITS_BLOCK);
    fits_open_table(table, RECORD_BYTES, count_, FIELD_COUNT);
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const FieldInfo& field = FIELDS[i];
        const char form[] = {'1', field.tform, '\0'};
        table.string(FitsKey("TTYPE", i + 1), field.name, i == 0 ? "Julian Date" : "");
        table.string(FitsKey("TFORM", i + 1), form,
                     field.tform == 'D' ? "64-bit float"
                     : field.integer    ? "32-bit integer"
                                        : "32-bit float");
    }
    table.string("TUNIT1", "d", "days");
    fits_close_table(table, "MEASUREMENTS", "the measurement records", creator_, source_, fits_fold(data_sum_));

    for (const Chunk* c = first_; c != nullptr; c = c->next)
        if (!write_all(out_, c->bytes, c->used))
            return false;
    static const unsigned char zeros[FITS_BLOCK] = {};
    const std::size_t data_bytes = RECORD_BYTES * static_cast<std::size_t>(count_);
    return write_all(out_, zeros, (FITS_BLOCK - data_bytes % FITS_BLOCK) % FITS_BLOCK) && std::fflush(out_) == 0;
}
