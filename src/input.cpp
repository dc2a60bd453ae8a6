#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "diagnostics.h"
#include "platform.h"

namespace {

// The input stream's buffer, which serves the record-sized reads of a pipe;
// its own would come from malloc, and this one cannot run out. One input is
// open at a time.
char input_buffer[1 << 16];

// What the first four bytes look like. The kind only explains a failure:
// any bytes can also begin a measurement file (a count of 559,903 is stored
// as 1f 8b 08 00, the start of a gzip stream), so a file that holds its
// records is dumped whatever it looks like.
Lookalike looks_like(const unsigned char* first, const char* name)
{
    if (first[0] == 0x1f && first[1] == 0x8b)
        return std::strcmp(name, "-") == 0
                   ? Lookalike{"; it looks like gzip data: decompress it first, with gzip -dc", nullptr}
                   : Lookalike{"; it looks like gzip data: gzip -dc ", " | lcdump -in -"};
    if (std::memcmp(first, "SIMP", 4) == 0)
        return {"; it looks like a FITS file already, which astropy, TOPCAT and fv read as it is", nullptr};
    for (std::size_t i = 0; i < COUNT_BYTES; ++i) {
        const unsigned char c = first[i];
        if ((c < 0x20 || c > 0x7e) && c != '\t' && c != '\n' && c != '\r')
            return {"", nullptr};
    }
    // lcdump's own text and CSV begin so.
    return {"; it looks like text, such as lcdump's own output, not a measurement file", nullptr};
}

// "Error: NAME" + what, then what the input looks like and what to do.
int fail_input_as(std::FILE* messages, const char* name, std::initializer_list<Piece> what, Lookalike kind)
{
    Piece detail[16];
    const std::size_t n = std::min(what.size(), sizeof detail / sizeof detail[0] - 3);
    std::copy(what.begin(), what.begin() + n, detail);
    detail[n] = kind.remark;
    if (kind.command_end != nullptr) {
        detail[n + 1] = Piece::shell_word(name);
        detail[n + 2] = kind.command_end;
    }
    write_message(messages, "Error: ", name, detail, n + 3);
    return FAILURE_STATUS;
}

// Input that stops short is a read error when the system said so, and
// otherwise an end of file where more was due.
int fail_input(int error_number, std::FILE* messages, const char* name, std::initializer_list<Piece> what_was_due,
               Lookalike kind)
{
    if (error_number != 0)
        return fail(messages, "Error: ", name, {": can't read: ", std::strerror(error_number)});
    return fail_input_as(messages, name, what_was_due, kind);
}

}  // namespace

std::FILE* open_input(const char* filename, std::FILE* messages)
{
    std::FILE* in = std::fopen(filename, "rb");
    if (in == nullptr) {
        // No memory for the stream is no fault of the file.
        if (errno == ENOMEM)
            fail_out_of_memory(messages);
        else
            fail(messages, "Can't open file: ", filename);
        return nullptr;
    }
    std::setvbuf(in, input_buffer, _IOFBF, sizeof input_buffer);
    return in;
}

std::FILE* standard_input()
{
    use_binary_mode(stdin);
    std::setvbuf(stdin, input_buffer, _IOFBF, sizeof input_buffer);
    return stdin;
}

Input::Input(std::FILE* in, const char* name) : name_(name), size_(bytes_left(in)), reader_(in) {}

int Input::start(std::FILE* messages)
{
    if (!reader_.has_block())
        return fail_out_of_memory(messages);
    const unsigned char* bytes = reader_.take(COUNT_BYTES);
    if (bytes == nullptr) {
        // A directory opens on some systems and fails at the first read.
        if (reader_.error_number() == EISDIR)
            return fail(messages, "Can't open file: ", name_);
        return fail_input(reader_.error_number(), messages, name_, {": no record count"}, kind_);
    }
    kind_ = looks_like(bytes, name_);
    count_ = decode_count(bytes);
    if (count_ < 0)
        return fail_input_as(messages, name_, {": bad record count ", Piece::number(count_)}, kind_);
    // A file too short for its count is named before any output, so that a
    // pipeline never takes its first records for the whole.
    const long long needed = static_cast<long long>(COUNT_BYTES + RECORD_BYTES * static_cast<std::uint64_t>(count_));
    if (size_ >= 0 && size_ < needed) {
        const std::uint64_t held =
            static_cast<std::uint64_t>(size_ - static_cast<long long>(COUNT_BYTES)) / RECORD_BYTES;
        return fail_input_as(messages, name_,
                             {": holds ", Piece::count(held), " of ", Piece::count(static_cast<std::uint64_t>(count_)),
                              " records (", Piece::count(static_cast<std::uint64_t>(size_)), " bytes; ",
                              Piece::count(static_cast<std::uint64_t>(needed)), " needed)"},
                             kind_);
    }
    return 0;
}

const unsigned char* Input::next(std::int32_t taken, std::FILE* messages)
{
    const unsigned char* bytes = reader_.take(RECORD_BYTES);
    if (bytes == nullptr)
        fail_input(reader_.error_number(), messages, name_,
                   {": ends after ", Piece::count(static_cast<std::uint64_t>(taken)), " of ",
                    Piece::count(static_cast<std::uint64_t>(count_)), " records"},
                   kind_);
    return bytes;
}
