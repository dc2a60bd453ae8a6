#include "lcdump.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "options.h"

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

// Room for the widest "%f" of a double: 309 integer digits, sign, point, 6 decimals.
const std::size_t MAX_DOUBLE_TEXT = 320;

char* put_int(char* p, std::int32_t value)
{
    return std::to_chars(p, p + 12, value).ptr;
}

// std::to_chars in fixed notation with precision 6 gives exactly the digits of
// "%f"; only the non-finite values need spelling out the way printf does.
char* put_double(char* p, double value)
{
    if (!std::isfinite(value)) {
        const char* text = std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan")
                                             : (value < 0 ? "-inf" : "inf");
        std::size_t length = std::strlen(text);
        std::memcpy(p, text, length);
        return p + length;
    }
    return std::to_chars(p, p + MAX_DOUBLE_TEXT, value, std::chars_format::fixed, 6).ptr;
}

// Each line goes out in one write, so every line is flushed as it is ended.
bool write_all(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// One field of every record read, kept for the length of the dump. It grows
// in fixed chunks instead of doubling: nothing is ever copied, and memory
// stays at what has been read whether or not the input's size is known (a
// doubling array fed from a pipe peaked at 64 bytes a record, not 40), and a
// header that lies about the count cannot make it allocate more.
template <class T>
class Column {
public:
    void push_back(T value)
    {
        if (used_ == chunk_entries) {
            chunks_.emplace_back(new T[chunk_entries]);
            used_ = 0;
        }
        chunks_.back()[used_++] = value;
    }

private:
    // Large enough to be mapped from the system page by page as it fills.
    static const std::size_t chunk_entries = std::size_t(1) << 16;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t used_ = chunk_entries;
};

// The records, held field by field.
struct FieldArrays {
    Column<double> JD;
    Column<std::int32_t> obsID, nuse;
    Column<float> flux1, err1, sky, errs, chisq1, effective_pix;

    void append(const Measurement& m)
    {
        JD.push_back(m.JD);
        obsID.push_back(m.obsID);
        flux1.push_back(m.flux1);
        err1.push_back(m.err1);
        sky.push_back(m.sky);
        errs.push_back(m.errs);
        chisq1.push_back(m.chisq1);
        nuse.push_back(m.nuse);
        effective_pix.push_back(m.effective_pix);
    }
};

// Reads ahead in large blocks, but a read returns whatever a pipe holds, so
// the dump never waits for more than the next record.
class BlockReader {
public:
    explicit BlockReader(int fd) : fd_(fd) {}

    // Makes at least n unread bytes available; false at end of input or on a
    // read error (then error_number() is set).
    bool fill(std::size_t n)
    {
        while (end_ - start_ < n) {
            if (start_ > 0) {
                std::memmove(buffer_, buffer_ + start_, end_ - start_);
                end_ -= start_;
                start_ = 0;
            }
            ssize_t got = ::read(fd_, buffer_ + end_, sizeof buffer_ - end_);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                errno_ = errno;
                return false;
            }
            if (got == 0)
                return false;
            end_ += static_cast<std::size_t>(got);
        }
        return true;
    }

    const unsigned char* take(std::size_t n)
    {
        const unsigned char* bytes = buffer_ + start_;
        start_ += n;
        return bytes;
    }

    int error_number() const { return errno_; }

private:
    int fd_;
    int errno_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    unsigned char buffer_[1 << 16];
};

// The exit status of every run that could not complete.
const int FAILURE_STATUS = 8;

std::string write_error()
{
    return std::string("Error: can't write output: ") + std::strerror(errno);
}

std::string read_error(const std::string& name, int error_number)
{
    return "Error: " + name + ": can't read: " + std::strerror(error_number);
}

}  // namespace

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

std::size_t format_count(std::int32_t count, char* line)
{
    char* p = put_int(line, count);
    *p++ = '\n';
    return static_cast<std::size_t>(p - line);
}

std::size_t format_record(const Measurement& m, char* line)
{
    char* p = put_double(line, m.JD);
    *p++ = ' ';
    p = put_int(p, m.obsID);
    for (float value : {m.flux1, m.err1, m.sky, m.errs, m.chisq1}) {
        *p++ = ' ';
        p = put_double(p, value);
    }
    *p++ = ' ';
    p = put_int(p, m.nuse);
    *p++ = ' ';
    p = put_double(p, m.effective_pix);
    *p++ = '\n';
    return static_cast<std::size_t>(p - line);
}

int dump_measurements(int in_fd, const std::string& name, int out_fd, std::string& error)
{
    BlockReader reader(in_fd);
    char line[MAX_LINE_LENGTH];
    // Input that stops short is a read error when the system said so, and
    // otherwise an end of file where more was due.
    auto input_error = [&](const std::string& what_was_due) {
        return reader.error_number() != 0 ? read_error(name, reader.error_number())
                                          : "Error: " + name + ": " + what_was_due;
    };

    if (!reader.fill(COUNT_BYTES)) {
        error = input_error("no record count");
        return FAILURE_STATUS;
    }
    std::int32_t count = decode_count(reader.take(COUNT_BYTES));
    if (count < 0) {
        error = "Error: " + name + ": bad record count " + std::to_string(count);
        return FAILURE_STATUS;
    }
    if (!write_all(out_fd, line, format_count(count, line))) {
        error = write_error();
        return FAILURE_STATUS;
    }

    try {
        FieldArrays fields;
        for (std::int32_t n = 0; n < count; ++n) {
            if (!reader.fill(RECORD_BYTES)) {
                error = input_error("ends after " + std::to_string(n) + " of " +
                                    std::to_string(count) + " records");
                return FAILURE_STATUS;
            }
            Measurement m = decode_record(reader.take(RECORD_BYTES));
            fields.append(m);
            if (!write_all(out_fd, line, format_record(m, line))) {
                error = write_error();
                return FAILURE_STATUS;
            }
        }
    } catch (const std::bad_alloc&) {
        error = "Error: out of memory";
        return FAILURE_STATUS;
    }
    return 0;
}

int dump_file(const std::string& filename, int out_fd, std::string& error)
{
    int fd = ::open(filename.c_str(), O_RDONLY);
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        error = "Can't open file: " + filename;
        return FAILURE_STATUS;
    }
    int status = dump_measurements(fd, filename, out_fd, error);
    ::close(fd);
    return status;
}

int run_lcdump(int argc, char** argv)
{
    // Memory can run out in the standard library's strings and arrays too,
    // even while an error is being reported: every such case ends the run
    // with the one message for it, and never with an abort.
    try {
        OptionSet options(argc, argv);
        String filename = options.getOption("in", 1, "");
        std::string error;
        int status;
        if (filename.length() == 0) {
            error = "Usage: lcdump -in FILE [-file OPTIONFILE]";
            status = FAILURE_STATUS;
        } else {
            status = dump_file(filename.c_str(), STDOUT_FILENO, error);
        }
        if (status != 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::fflush(stderr);
        }
        return status;
    } catch (const std::bad_alloc&) {
        report_out_of_memory();
        return FAILURE_STATUS;
    }
}
