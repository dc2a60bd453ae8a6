#include "lcdump.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "options.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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

// printf's spelling of the values that have no digits, in every output form.
char* put_nonfinite(char* p, double value)
{
    const char* text = std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan")
                                         : (value < 0 ? "-inf" : "inf");
    std::size_t length = std::strlen(text);
    std::memcpy(p, text, length);
    return p + length;
}

// The slow way, for what the integer path below leaves out: std::to_chars in
// fixed notation with precision 6 gives exactly the digits of "%f"; only the
// non-finite values need spelling out the way printf does.
char* put_double_by_to_chars(char* p, double value)
{
    if (!std::isfinite(value))
        return put_nonfinite(p, value);
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

// The shortest text that reads back to the same bits in the value's own
// type: a float as binary32, a double as binary64.
template <class Real>
char* put_shortest(char* p, Real value)
{
    if (!std::isfinite(value))
        return put_nonfinite(p, value);
    return std::to_chars(p, p + MAX_DOUBLE_TEXT, value).ptr;
}

// The nine fields in file order; put_real writes JD and each float field.
template <class PutReal>
std::size_t format_fields(const Measurement& m, char separator, PutReal put_real, char* line)
{
    char* p = put_real(line, m.JD);
    *p++ = separator;
    p = put_int(p, m.obsID);
    for (float value : {m.flux1, m.err1, m.sky, m.errs, m.chisq1}) {
        *p++ = separator;
        p = put_real(p, value);
    }
    *p++ = separator;
    p = put_int(p, m.nuse);
    *p++ = separator;
    p = put_real(p, m.effective_pix);
    *p++ = '\n';
    return static_cast<std::size_t>(p - line);
}

// Windows opens the standard streams in text mode, which writes "\n" as
// "\r\n" and ends binary input at a 0x1a byte. The program's bytes must be
// the same on every platform, so the streams it uses are switched to binary;
// elsewhere there is no difference to make.
void use_binary_mode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

// The records read, held field by field for the length of the dump: each
// chunk holds one array per field for the next 2^16 records. The chunks are
// chained, never copied, and allocated as the records arrive, so memory stays
// at what has been read whether or not the input's size is known (a doubling
// array fed from a pipe peaked at 64 bytes a record, not 40), and a header
// that lies about the count cannot make it allocate more. They come from
// malloc, so running out is a false return and never an exception that might
// itself find no memory.
class FieldArrays {
public:
    FieldArrays() = default;
    FieldArrays(const FieldArrays&) = delete;
    FieldArrays& operator=(const FieldArrays&) = delete;

    ~FieldArrays()
    {
        while (first_ != nullptr) {
            Chunk* next = first_->next;
            std::free(first_);
            first_ = next;
        }
    }

    // False when memory ran out.
    bool append(const Measurement& m)
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
    explicit RecordReader(std::FILE* in) : in_(in), whole_blocks_(std::fseek(in, 0, SEEK_CUR) == 0) {}

    // The next n bytes, or null at the end of the input or on a read error,
    // which leaves error_number() set.
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
    bool fill(std::size_t n)
    {
        std::memmove(block_, block_ + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
        while (end_ < n) {
            const std::size_t want = whole_blocks_ ? sizeof block_ - end_ : n - end_;
            errno = 0;
            const std::size_t got = std::fread(block_ + end_, 1, want, in_);
            const int error_number = errno;
            end_ += got;
            if (got == want)
                continue;
            if (!std::ferror(in_))
                break;
            // A signal that interrupts a read is no read error.
            if (error_number != EINTR) {
                error_number_ = error_number;
                break;
            }
            std::clearerr(in_);
        }
        return end_ >= n;
    }

    std::FILE* in_;
    bool whole_blocks_;
    int error_number_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    unsigned char block_[1 << 16];
};

// The exit status of every run that could not complete.
const int FAILURE_STATUS = 8;

int fail(std::FILE* messages, const char* before, const char* name, const char* after)
{
    write_message(messages, before, name, after);
    return FAILURE_STATUS;
}

// Input that stops short is a read error when the system said so, and
// otherwise an end of file where more was due.
int fail_input(int error_number, std::FILE* messages, const char* name, const char* what_was_due)
{
    if (error_number != 0) {
        char reason[256];
        std::snprintf(reason, sizeof reason, ": can't read: %s", std::strerror(error_number));
        return fail(messages, "Error: ", name, reason);
    }
    return fail(messages, "Error: ", name, what_was_due);
}

int fail_output(std::FILE* messages)
{
    char message[256];
    std::snprintf(message, sizeof message, "Error: can't write output: %s", std::strerror(errno));
    return fail(messages, message, "", "");
}

// The whole line leaves at once: the stream is flushed as each line ends.
bool write_line(std::FILE* out, const char* line, std::size_t length)
{
    return std::fwrite(line, 1, length, out) == length && std::fflush(out) == 0;
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
    return format_record(m, OutputForm(), line);
}

std::size_t format_record(const Measurement& m, const OutputForm& form, char* line)
{
    const char separator = form.csv ? ',' : ' ';
    if (form.exact)
        return format_fields(m, separator, [](char* p, auto value) { return put_shortest(p, value); }, line);
    return format_fields(m, separator, [](char* p, double value) { return put_double(p, value); }, line);
}

std::size_t format_header(char* line)
{
    const char header[] = "JD,obsID,flux1,err1,sky,errs,chisq1,nuse,effective_pix\n";
    std::memcpy(line, header, sizeof header - 1);
    return sizeof header - 1;
}

int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages,
                      const OutputForm& form)
{
    RecordReader reader(in);
    char line[MAX_LINE_LENGTH];

    const unsigned char* bytes = reader.take(COUNT_BYTES);
    if (bytes == nullptr) {
        // A directory opens on some systems and fails at the first read.
        if (reader.error_number() == EISDIR)
            return fail(messages, "Can't open file: ", name, "");
        return fail_input(reader.error_number(), messages, name, ": no record count");
    }
    std::int32_t count = decode_count(bytes);
    if (count < 0) {
        char what[64];
        std::snprintf(what, sizeof what, ": bad record count %d", static_cast<int>(count));
        return fail(messages, "Error: ", name, what);
    }
    // The header row stands where the count line would.
    std::size_t first_line = form.csv ? format_header(line) : format_count(count, line);
    if (!write_line(out, line, first_line))
        return fail_output(messages);

    FieldArrays fields;
    for (std::int32_t n = 0; n < count; ++n) {
        bytes = reader.take(RECORD_BYTES);
        if (bytes == nullptr) {
            char what[64];
            std::snprintf(what, sizeof what, ": ends after %d of %d records", static_cast<int>(n),
                          static_cast<int>(count));
            return fail_input(reader.error_number(), messages, name, what);
        }
        Measurement m = decode_record(bytes);
        if (!fields.append(m))
            return fail(messages, "Error: out of memory", "", "");
        if (!write_line(out, line, format_record(m, form, line)))
            return fail_output(messages);
    }
    return 0;
}

int dump_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form)
{
    // The stream's buffer, which serves the record-sized reads of a pipe;
    // its own would come from malloc, and this one cannot run out.
    static char buffer[1 << 16];
    const bool standard_input = std::strcmp(filename, "-") == 0;
    std::FILE* in = standard_input ? stdin : std::fopen(filename, "rb");
    if (in == nullptr) {
        // No memory for the stream is no fault of the file.
        if (errno == ENOMEM)
            return fail(messages, "Error: out of memory", "", "");
        return fail(messages, "Can't open file: ", filename, "");
    }
    if (standard_input)
        use_binary_mode(in);
    std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
    int status = dump_measurements(in, filename, out, messages, form);
    if (!standard_input)
        std::fclose(in);
    return status;
}

namespace {

const char HELP[] =
    "Usage: lcdump -in FILE [-file OPTIONFILE] [-csv] [-exact]\n"
    "Write a binary light-curve measurement file as text, one line per record.\n"
    "\n"
    "  -in FILE          the measurement file; -in - reads standard input\n"
    "  -file OPTIONFILE  further options from a file, one a line, without the\n"
    "                    dash (\"in lc.bin\", \"csv\"); the command line wins\n"
    "  -csv              comma-separated rows under a row of column names,\n"
    "                    and no count line\n"
    "  -exact            every floating-point value in the shortest text that\n"
    "                    reads back to the same bits (may use exponent notation)\n"
    "  -help, -h         this help\n"
    "  -version          the version\n"
    "\n"
    "Without -csv, the first line is the record count; then each record is a\n"
    "line of JD obsID flux1 err1 sky errs chisq1 nuse effective_pix, separated\n"
    "by single spaces and written as printf's \"%f\" (six decimals) and \"%d\".\n"
    "Exit status: 0 after a complete dump; 8 after a one-line message.\n"
    "The manual page has it all: man lcdump (or doc/lcdump.1 in the source).\n";

// Help and version are asked for only when there is nothing to dump, so a
// word such as -h in a long command line never keeps a file from its dump.
int show(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0)
        return fail_output(stderr);
    return 0;
}

}  // namespace

int run_lcdump(int argc, char** argv)
{
    // Every line is flushed as it ends; the buffer only gathers a line into
    // one write, and being static it cannot fail to be had.
    static char output_buffer[MAX_LINE_LENGTH * 4];
    use_binary_mode(stdout);
    use_binary_mode(stderr);
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    OptionSet options(argc, argv);
    String filename = options.getOption("in", 1, "");
    if (filename.length() == 0) {
        if (options.checkSwitch("help") || options.checkSwitch("-help") || options.checkSwitch("h"))
            return show(HELP);
        if (options.checkSwitch("version") || options.checkSwitch("-version"))
            return show("lcdump " LCDUMP_VERSION "\n");
        return fail(stderr, "Usage: lcdump -in FILE [-file OPTIONFILE]", "", "");
    }
    OutputForm form;
    form.csv = options.checkSwitch("csv");
    form.exact = options.checkSwitch("exact");
    return dump_file(filename.c_str(), stdout, stderr, form);
}
