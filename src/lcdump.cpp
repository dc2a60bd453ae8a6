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

// The slow way, for what the integer path below leaves out: std::to_chars in
// fixed notation with precision 6 gives exactly the digits of "%f"; only the
// non-finite values need spelling out the way printf does.
char* put_double_by_to_chars(char* p, double value)
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

// The hundred two-digit numbers in ASCII, the first digit in the low byte.
struct DigitPairs {
    std::uint16_t of[100];
};
constexpr DigitPairs make_digit_pairs()
{
    DigitPairs pairs{};
    for (int n = 0; n < 100; ++n)
        pairs.of[n] = static_cast<std::uint16_t>(('0' + n / 10) | ('0' + n % 10) << 8);
    return pairs;
}
constexpr DigitPairs digit_pairs = make_digit_pairs();

// The eight decimal digits of n < 10^8, leading zeros included, as the
// bytes of a word from the lowest up.
inline std::uint64_t eight_digits(std::uint32_t n)
{
    const std::uint32_t high = n / 10000, low = n % 10000;
    return std::uint64_t(digit_pairs.of[high / 100]) | std::uint64_t(digit_pairs.of[high % 100]) << 16 |
           std::uint64_t(digit_pairs.of[low / 100]) << 32 | std::uint64_t(digit_pairs.of[low % 100]) << 48;
}

// 10^t, but 0 for t = 0 so that zero has a digit too.
const std::uint32_t digit_thresholds[] = {0, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Whether the host stores a number low byte first; compilers fold it to a
// constant.
bool little_endian_host()
{
    const std::uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Store the bytes of a word, or of two digits, lowest first whatever the
// host's byte order: in one store where it is little-endian.
inline void put_word(char* p, std::uint64_t word)
{
    if (little_endian_host()) {
        std::memcpy(p, &word, sizeof word);
        return;
    }
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<char>(word >> (8 * i));
}

inline void put_pair(char* p, std::uint32_t n)
{
    const std::uint16_t pair = digit_pairs.of[n];
    if (little_endian_host()) {
        std::memcpy(p, &pair, sizeof pair);
        return;
    }
    p[0] = static_cast<char>(pair);
    p[1] = static_cast<char>(pair >> 8);
}

// g * 10^6 as the two 64-bit halves of its 128-bit product, from 32-bit
// halves of g: each partial product is below 2^52, so nothing overflows.
struct Wide {
    std::uint64_t high, low;
};
Wide times_million(std::uint64_t g)
{
    const std::uint64_t million = 1000000;
    const std::uint64_t low = (g & 0xffffffff) * million;
    const std::uint64_t middle = (g >> 32) * million + (low >> 32);
    return {middle >> 32, middle << 32 | (low & 0xffffffff)};
}

// "%f" of a double, as printf writes it. Wherever the whole part fits 64
// bits, which takes in any measurement, the digits are worked out in integers,
// several times faster than std::to_chars does it.
//
// Why that is exact: a finite double is significand * 2^-shift with
// significand < 2^53. For 0 < shift <= 64, shifting the significand left by
// 64 - shift drops the whole part's bits off the top and leaves the fraction
// as the 64-bit fixed-point number g / 2^64, exactly. g * 10^6 < 2^84 is
// formed exactly from 32-bit halves, so its high word is the count of
// millionths rounded down and its low word the remainder, in units of 2^-64.
// Rounding up when the remainder is above one half, or equal to it with an
// odd count, is round half to even on the exact binary value, which is how
// printf rounds; the count's parity is that of the value's whole number of
// millionths, 10^6 being even. Shifts 65 to 73 (below 2^-11, no whole part)
// do the same with g / 2^73, g = significand * 2^(73 - shift) < 2^61, whose
// remainder's low 9 bits are kept as a sticky bit: that keeps its order
// against one half. From shift 74 on the value is below 2^-21 < 0.0000005 and
// prints as zero; from shift 0 down it is a whole number, below 2^64 as far
// as shift -11.
char* put_double(char* p, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased_exponent = static_cast<int>(bits >> 52 & 0x7ff);
    const bool normal = biased_exponent != 0;
    const std::uint64_t significand = (bits & ((std::uint64_t(1) << 52) - 1)) | std::uint64_t(normal) << 52;
    const int shift = 1075 - biased_exponent - !normal;
    if (shift < -11)
        return put_double_by_to_chars(p, value);  // 2^64 or more, infinite, NaN
    const std::uint64_t half = std::uint64_t(1) << 63;
    std::uint64_t whole = 0, millionths = 0;
    if (shift <= 0) {
        whole = significand << -shift;
    } else if (shift <= 64) {
        whole = significand >> (shift < 64 ? shift : 63);
        const Wide scaled = times_million(significand << (64 - shift));
        millionths = scaled.high + (scaled.low > half - (scaled.high & 1));
        if (millionths == 1000000) {
            // 0.9999995 and up carry into the whole part, below 2^52 here.
            whole += 1;
            millionths = 0;
        }
    } else if (shift <= 73) {
        const Wide scaled = times_million(significand << (73 - shift));
        millionths = scaled.high >> 9;
        const std::uint64_t rest = scaled.high << 55 | scaled.low >> 9 | ((scaled.low & 0x1ff) != 0);
        millionths += rest > half - (millionths & 1);
    }

    // Negative zero and negative values that round to zero keep their sign.
    *p = '-';
    p += bits >> 63;

    // The whole part goes out as a word of eight digits shifted down past its
    // leading zeros; the point and the decimals then overwrite what it left
    // after its own digits.
    std::uint64_t whole_digits;
    std::size_t digits = 8;
    if (whole < 100000000) {
        const std::uint32_t w = static_cast<std::uint32_t>(whole);
        // The whole part has b = 53 - shift bits (b = 1 from shift 52 on), or
        // is 2^b after a carry, so it has t = floor(b log10 2) digits, or
        // t + 1 from 10^t on; b * 1233 >> 12 is that floor for b <= 27.
        const int bits_of_whole = shift < 52 ? 53 - shift : 1;
        const int t = bits_of_whole * 1233 >> 12;
        digits = static_cast<std::size_t>(t + 1 - (w < digit_thresholds[t]));
        whole_digits = eight_digits(w) >> (8 * (8 - digits));
    } else {
        p = std::to_chars(p, p + 20, whole / 100000000).ptr;
        whole_digits = eight_digits(static_cast<std::uint32_t>(whole % 100000000));
    }
    put_word(p, whole_digits);
    p += digits;
    *p = '.';
    const std::uint32_t fraction = static_cast<std::uint32_t>(millionths);
    put_pair(p + 1, fraction / 10000);
    put_pair(p + 3, fraction / 100 % 100);
    put_pair(p + 5, fraction % 100);
    return p + 7;
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
