// The measurement dump on arbitrary bytes. The input is the whole measurement
// file; it is dumped from an in-memory regular file, in the default form and
// with -csv, -exact and -csv -exact, and once more through a pipe fed in small
// pieces by another thread (so reads return partial records). Every run must
// give exactly the expected status and message, and text that says what the
// default form says. The expectation is worked out here independently: fields
// are copied out of the bytes at their offsets and printed with "%f" and "%d";
// an -exact value must read back to the bits of its field. The regular file
// is dumped through -fits too: the same status and message, nothing written
// on failure, and otherwise the bytes of every record; and through -stats:
// nothing on failure, else one row that counts the records. Each form's dump is
// then repeated into an output that fills up at a position taken from the
// input's last bytes: it must fail with the write error, having written
// exactly the bytes before that position.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include "check.h"
#include "lcdump.h"
#include "stats.h"
#include "summary.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the reference decoding copies bytes as they lie");

namespace {

const char* const NAME = "lc.bin";

template <class T>
T field(const std::uint8_t* record, std::size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

std::string reference_line(const std::uint8_t* r)
{
    char text[2048];
    int n = std::snprintf(text, sizeof text, "%f %d %f %f %f %f %f %d %f\n", field<double>(r, 0),
                          field<std::int32_t>(r, 8), static_cast<double>(field<float>(r, 12)),
                          static_cast<double>(field<float>(r, 16)), static_cast<double>(field<float>(r, 20)),
                          static_cast<double>(field<float>(r, 24)), static_cast<double>(field<float>(r, 28)),
                          field<std::int32_t>(r, 32), static_cast<double>(field<float>(r, 36)));
    FUZZ_CHECK(n > 0 && static_cast<std::size_t>(n) < sizeof text);
    return std::string(text, static_cast<std::size_t>(n));
}

struct Expected {
    std::string out;
    std::string error;
    int status;
};

std::string grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

// What a message adds when the first four bytes look like another kind of
// file: gzip's magic, the start of a FITS file, or printable text.
std::string lookalike(const std::uint8_t* data)
{
    if (data[0] == 0x1f && data[1] == 0x8b)
        return std::string("; it looks like gzip data: gzip -dc ") + NAME + " | lcdump -in -";
    if (std::memcmp(data, "SIMP", 4) == 0)
        return "; it looks like a FITS file already, which astropy, TOPCAT and fv read as it is";
    for (int i = 0; i < 4; ++i)
        if ((data[i] < 0x20 || data[i] > 0x7e) && data[i] != '\t' && data[i] != '\n' && data[i] != '\r')
            return "";
    return "; it looks like text, such as lcdump's own output, not a measurement file";
}

// The error table: what each kind of file must produce. A file that can be
// sized and is too short for its count is named before any output; from a
// pipe, input that looks like another kind of file is held, so that it too
// writes nothing when it ends early.
Expected expect(const std::uint8_t* data, std::size_t size, bool sized)
{
    char text[64];
    if (size < 4)
        return {"", std::string("Error: ") + NAME + ": no record count", 8};
    std::int32_t count = field<std::int32_t>(data, 0);
    const std::string hint = lookalike(data);
    if (count < 0) {
        std::snprintf(text, sizeof text, "%d", count);
        return {"", std::string("Error: ") + NAME + ": bad record count " + text + hint, 8};
    }
    std::snprintf(text, sizeof text, "%d\n", count);
    Expected e{text, "", 0};
    std::size_t present = (size - 4) / 40;
    std::size_t complete = present < static_cast<std::size_t>(count) ? present : static_cast<std::size_t>(count);
    if (complete < static_cast<std::size_t>(count) && sized)
        return {"",
                std::string("Error: ") + NAME + ": holds " + grouped(present) + " of " + grouped(count) + " records (" +
                    grouped(size) + " bytes; " + grouped(4 + 40 * std::uint64_t(count)) + " needed)" + hint,
                8};
    for (std::size_t n = 0; n < complete; ++n)
        e.out += reference_line(data + 4 + 40 * n);
    if (complete < static_cast<std::size_t>(count)) {
        e.error = std::string("Error: ") + NAME + ": ends after " + grouped(complete) + " of " + grouped(count) +
                  " records" + hint;
        e.status = 8;
        if (!hint.empty())
            e.out.clear();
    }
    return e;
}

// Whether form is the one of that switch.
bool is(const OutputForm& form, const char* name)
{
    return form.info == find_form(name);
}

// One record's line in form against the default line: the same text with
// its separator, or under -exact values that read back to the record's bits
// (a NaN to its sign: -exact does not keep its payload).
void check_line(std::string line, const OutputForm& form, const std::uint8_t* r)
{
    FUZZ_CHECK(line.find(is(form, "csv") ? ' ' : ',') == std::string::npos);
    std::replace(line.begin(), line.end(), ',', ' ');
    const std::vector<std::string> values = reference_split(line);
    FUZZ_CHECK(form.exact ? values.size() == 9 && std::count(line.begin(), line.end(), ' ') == 8
                          : line == reference_line(r));
    auto reads_back = [](auto value, auto bits) {
        FUZZ_CHECK(std::isnan(bits) ? std::isnan(value) && std::signbit(value) == std::signbit(bits)
                                    : std::memcmp(&value, &bits, sizeof value) == 0);
    };
    for (std::size_t i = 0; form.exact && i < 9; ++i) {
        char* end = nullptr;
        if (i == 1 || i == 7)
            FUZZ_CHECK(values[i] == std::to_string(field<std::int32_t>(r, 4 + 4 * i)));
        else if (i == 0)
            reads_back(std::strtod(values[i].c_str(), &end), field<double>(r, 0));
        else
            reads_back(std::strtof(values[i].c_str(), &end), field<float>(r, 4 + 4 * i));
        FUZZ_CHECK(end == nullptr || *end == '\0');
    }
}

// The output of a dump in form as the default form's text, checked line by
// line on the way; the CSV header row stands for the count line.
std::string as_default_form(const std::string& out, const OutputForm& form, const std::uint8_t* data, std::size_t size)
{
    std::string text;
    for (std::size_t start = 0, n = 0; start < out.size(); ++n) {
        const std::size_t end = out.find('\n', start);
        FUZZ_CHECK(end != std::string::npos && 4 + 40 * n <= size);
        std::string line = out.substr(start, end + 1 - start);
        start = end + 1;
        if (n > 0) {
            check_line(line, form, data + 4 + 40 * (n - 1));
            line = reference_line(data + 4 + 40 * (n - 1));
        } else if (is(form, "csv")) {
            FUZZ_CHECK(line == "JD,obsID,flux1,err1,sky,errs,chisq1,nuse,effective_pix\n");
            line = std::to_string(field<std::int32_t>(data, 0)) + "\n";
        }
        text += line;
    }
    return text;
}

// A FITS dump fails as the text dump does but writes nothing; otherwise its
// table holds the records' bytes, each field turned big-endian, then zeros to
// the end of the block.
void compare_fits(const Expected& e, int status, const std::string& fits, const std::string& message,
                  const std::uint8_t* data)
{
    FUZZ_CHECK(status == e.status);
    FUZZ_CHECK(message == (e.error.empty() ? "" : e.error + "\n"));
    if (status != 0) {
        FUZZ_CHECK(fits.empty());
        return;
    }
    const std::size_t count = static_cast<std::size_t>(field<std::int32_t>(data, 0));
    const std::size_t naxis2 = fits.find("NAXIS2  = ", 2880);
    FUZZ_CHECK(naxis2 < 5760 && std::stoul(fits.substr(naxis2 + 10, 20)) == count);
    const std::size_t rows = 40 * count;
    FUZZ_CHECK(fits.size() == 5760 + (rows + 2879) / 2880 * 2880);
    static const int widths[] = {8, 4, 4, 4, 4, 4, 4, 4, 4};
    const char* row = fits.data() + 5760;
    for (std::size_t n = 0; n < count; ++n) {
        const std::uint8_t* record = data + 4 + 40 * n;
        for (int width : widths) {
            for (int i = 0; i < width; ++i)
                FUZZ_CHECK(static_cast<std::uint8_t>(row[i]) == record[width - 1 - i]);
            row += width;
            record += width;
        }
    }
    FUZZ_CHECK(fits.find_first_not_of('\0', 5760 + rows) == std::string::npos);
}

void compare(const Expected& e, int status, const std::string& out, const std::string& message)
{
    FUZZ_CHECK(status == e.status);
    FUZZ_CHECK(message == (e.error.empty() ? "" : e.error + "\n"));
    FUZZ_CHECK(out == e.out);
}

// A summary: nothing after a failure, else the header and one row that
// names the file, counts its records and holds a value for every column.
void compare_stats(const Expected& e, int status, const std::string& out, const std::string& message, bool period)
{
    FUZZ_CHECK(status == e.status);
    FUZZ_CHECK(message == (e.error.empty() ? "" : e.error + "\n"));
    const std::string header = summary_header(period);
    const std::string row = std::string(NAME) + "," + e.out.substr(0, e.out.find('\n')) + ",";
    const auto commas = std::count(header.begin(), header.end(), ',');
    FUZZ_CHECK(status != 0
                   ? out.empty()
                   : out.compare(0, header.size(), header) == 0 && out.compare(header.size(), row.size(), row) == 0 &&
                         std::count(out.begin(), out.end(), ',') == 2 * commas && out.back() == '\n');
}

// A form that writes only at the end, checked for the failures and their
// messages alone: nothing after one, else what its output starts with.
void compare_whole(const Expected& e, int status, const std::string& out, const std::string& message,
                   const std::string& start)
{
    FUZZ_CHECK(status == e.status);
    FUZZ_CHECK(message == (e.error.empty() ? "" : e.error + "\n"));
    FUZZ_CHECK(status != 0 ? out.empty() : out.compare(0, start.size(), start) == 0);
}

// The dump through streams on duplicates of the descriptors, so that closing
// the streams leaves the harness's own descriptors open; out is closed too.
int dump(int in_fd, std::FILE* out, int message_fd, const OutputForm& form = OutputForm())
{
    std::FILE* in = ::fdopen(::dup(in_fd), "rb");
    std::FILE* messages = ::fdopen(::dup(message_fd), "wb");
    FUZZ_CHECK(in != nullptr && out != nullptr && messages != nullptr);
    int status = dump_measurements(in, NAME, out, messages, form);
    std::fclose(in);
    std::fclose(out);
    std::fclose(messages);
    return status;
}

std::FILE* stream_of(int fd)
{
    return ::fdopen(::dup(fd), "wb");
}

// An output that takes room bytes, then fails as a full disk does (a cookie
// stream's write reports an error by 0, never by -1).
struct FullDisk {
    std::string written;
    std::size_t room;
};

ssize_t write_until_full(void* cookie, const char* bytes, std::size_t n)
{
    FullDisk& disk = *static_cast<FullDisk*>(cookie);
    const std::size_t taken = std::min(n, disk.room - disk.written.size());
    if (taken == 0) {
        errno = ENOSPC;
        return 0;
    }
    disk.written.append(bytes, taken);
    return static_cast<ssize_t>(taken);
}

// Writes the bytes into the pipe in pieces of 1 to 64 bytes, the sizes drawn
// from the bytes themselves, yielding between pieces.
void feed(int fd, const std::uint8_t* data, std::size_t size)
{
    std::uint32_t state = 2166136261u ^ static_cast<std::uint32_t>(size);
    for (std::size_t done = 0; done < size;) {
        state = (state ^ data[done]) * 16777619u;
        std::size_t piece = 1 + (state >> 7) % 64;
        if (piece > size - done)
            piece = size - done;
        ssize_t n = ::write(fd, data + done, piece);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
        ::sched_yield();
    }
    ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int in_fd = fuzz_memfd("lc-in");
    static const int out_fd = fuzz_memfd("lc-out");
    static const int message_fd = fuzz_memfd("lc-messages");
    // Every input fits in the pipe, so the feeding thread never waits for a
    // dump that stopped early.
    if (size > 60000)
        return 0;
    Expected e = expect(data, size, true);

    // Every form of the table, with and without each modifier it takes.
    std::vector<OutputForm> forms;
    for (const FormInfo& row : FORMS)
        for (unsigned modifiers = 0; modifiers < 4; ++modifiers)
            if ((modifiers & ~row.modifiers) == 0) {
                forms.emplace_back(&row);
                forms.back().exact = (modifiers & 1u) != 0;
                forms.back().period = (modifiers & 2u) != 0;
            }
    for (const OutputForm& form : forms) {
        fuzz_set_contents(in_fd, data, size);
        fuzz_set_contents(out_fd, "", 0);
        fuzz_set_contents(message_fd, "", 0);
        int status = dump(in_fd, stream_of(out_fd), message_fd, form);
        const std::string whole = fuzz_contents(out_fd);
        if (is(form, "fits"))
            compare_fits(e, status, whole, fuzz_contents(message_fd), data);
        else if (is(form, "stats"))
            compare_stats(e, status, whole, fuzz_contents(message_fd), form.period);
        else if (is(form, "periodogram"))
            compare_whole(e, status, whole, fuzz_contents(message_fd), "frequency,power\n");
        else if (is(form, "svg"))
            compare_whole(e, status, whole, fuzz_contents(message_fd), "<?xml version=\"1.0\"");
        else if (form.info->also != nullptr)
            compare_whole(e, status, whole, fuzz_contents(message_fd), "SIMPLE  =");
        else
            compare(e, status, as_default_form(whole, form, data, size), fuzz_contents(message_fd));
        if (whole.empty())
            continue;
        // Unbuffered, as lcdump's standard output is.
        FullDisk disk{"", (data[size - 1] | data[size - 2] << 8 | data[size - 3] << 16) % whole.size()};
        std::FILE* full = ::fopencookie(&disk, "wb", {nullptr, write_until_full, nullptr, nullptr});
        FUZZ_CHECK(full != nullptr && std::setvbuf(full, nullptr, _IONBF, 0) == 0);
        fuzz_set_contents(in_fd, data, size);
        fuzz_set_contents(message_fd, "", 0);
        FUZZ_CHECK(dump(in_fd, full, message_fd, form) == 8);
        FUZZ_CHECK(disk.written == whole.substr(0, disk.room));
        FUZZ_CHECK(fuzz_contents(message_fd) == "Error: can't write output: No space left on device\n");
    }

    int fds[2];
    FUZZ_CHECK(::pipe(fds) == 0);
    fuzz_set_contents(out_fd, "", 0);
    fuzz_set_contents(message_fd, "", 0);
    std::thread writer(feed, fds[1], data, size);
    int status = dump(fds[0], stream_of(out_fd), message_fd);
    writer.join();
    ::close(fds[0]);
    compare(expect(data, size, false), status, fuzz_contents(out_fd), fuzz_contents(message_fd));
    return 0;
}
