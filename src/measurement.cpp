#include "measurement.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t load_u32(const unsigned char* b)
{
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::int32_t load_i32(const unsigned char* b)
{
    std::uint32_t u = load_u32(b);
    std::int32_t i;
    std::memcpy(&i, &u, sizeof i);
    return i;
}

float load_f32(const unsigned char* b)
{
    std::uint32_t u = load_u32(b);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

double load_f64(const unsigned char* b)
{
    std::uint64_t u = load_u32(b) | static_cast<std::uint64_t>(load_u32(b + 4)) << 32;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

}  // namespace

const char* const FIELD_NAMES[FIELD_COUNT] = {"JD",   "obsID",  "flux1", "err1",         "sky",
                                              "errs", "chisq1", "nuse",  "effective_pix"};

std::int32_t decode_count(const unsigned char* bytes)
{
    return load_i32(bytes);
}

Measurement decode_record(const unsigned char* bytes)
{
    Measurement m;
    m.JD = load_f64(bytes);
    m.obsID = load_i32(bytes + 8);
    m.flux1 = load_f32(bytes + 12);
    m.err1 = load_f32(bytes + 16);
    m.sky = load_f32(bytes + 20);
    m.errs = load_f32(bytes + 24);
    m.chisq1 = load_f32(bytes + 28);
    m.nuse = load_i32(bytes + 32);
    m.effective_pix = load_f32(bytes + 36);
    return m;
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
    c.JD[used_] = m.JD;
    c.obsID[used_] = m.obsID;
    c.flux1[used_] = m.flux1;
    c.err1[used_] = m.err1;
    c.sky[used_] = m.sky;
    c.errs[used_] = m.errs;
    c.chisq1[used_] = m.chisq1;
    c.nuse[used_] = m.nuse;
    c.effective_pix[used_] = m.effective_pix;
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
