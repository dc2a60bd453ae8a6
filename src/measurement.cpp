#include "measurement.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The value of type T whose bits the little-endian bytes at b hold, on a
// host of either byte order; the bits are copied, never converted.
template <class T>
T load(const unsigned char* b)
{
    BitsOf<T> bits = 0;
    for (std::size_t i = 0; i < sizeof bits; ++i)
        bits |= static_cast<BitsOf<T>>(static_cast<BitsOf<T>>(b[i]) << (8 * i));
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <class T>
void store(T value, unsigned char* b)
{
    BitsOf<T> bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (std::size_t i = 0; i < sizeof bits; ++i)
        b[i] = static_cast<unsigned char>(bits >> (8 * i));
}

}  // namespace

std::int32_t decode_count(const unsigned char* bytes)
{
    return load<std::int32_t>(bytes);
}

Measurement decode_record(const unsigned char* bytes)
{
    Measurement m;
    for_each_field(m, [bytes](const FieldInfo& field, auto& value) {
        value = load<std::remove_reference_t<decltype(value)>>(bytes + field.offset);
    });
    return m;
}

void encode_count(std::int32_t count, unsigned char* bytes)
{
    store(count, bytes);
}

void encode_record(const Measurement& m, unsigned char* bytes)
{
    for_each_field(m, [bytes](const FieldInfo& field, auto value) { store(value, bytes + field.offset); });
}

FieldArrays::~FieldArrays()
{
    while (first_ != nullptr) {
        Chunk* next = first_->next;
        std::free(first_);
        first_ = next;
    }
}

bool FieldArrays::append(const Measurement& m)
{
    if (used_ == chunk_records) {
        Chunk* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk)));
        if (chunk == nullptr)
            return false;
        chunk->next = nullptr;
        (last_ != nullptr ? last_->next : first_) = chunk;
        last_ = chunk;
        used_ = 0;
    }
    Chunk& c = *last_;
#define LCDUMP_STORE(name, type, offset, tform) c.name[used_] = m.name;
    LCDUMP_FIELDS(LCDUMP_STORE)
#undef LCDUMP_STORE
    ++used_;
    return true;
}

RecordReader::RecordReader(std::FILE* in)
    : in_(in),
      whole_blocks_(std::fseek(in, 0, SEEK_CUR) == 0),
      block_(static_cast<unsigned char*>(std::malloc(block_bytes)))
{
}

RecordReader::~RecordReader()
{
    std::free(block_);
}

bool RecordReader::fill(std::size_t n)
{
    if (block_ == nullptr)
        return false;
    std::memmove(block_, block_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    while (end_ < n) {
        const std::size_t want = whole_blocks_ ? block_bytes - end_ : n - end_;
        errno = 0;
        const std::size_t got = std::fread(block_ + end_, 1, want, in_);
        const int error_number = errno;
        end_ += got;
        if (got == want)
            continue;
        if (std::ferror(in_)) {
            // A signal that interrupts a read is no read error.
            if (error_number != EINTR) {
                error_number_ = error_number;
                break;
            }
            std::clearerr(in_);
        } else if (std::feof(in_)) {
            break;
        }
        // Less than was asked, but neither the end nor an error: ask again.
    }
    return end_ >= n;
}
