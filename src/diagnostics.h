// Every message a run can end with goes out through here: one line, names
// escaped so that no file name can break it or talk to the terminal, and the
// one exit status of a run that could not complete.
#ifndef LCDUMP_DIAGNOSTICS_H
#define LCDUMP_DIAGNOSTICS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

// The exit status of every run that could not complete.
const int FAILURE_STATUS = 8;

// A piece of a message after its name: text as it stands (none for null),
// or one of the kinds made below. Pieces point at what they show, so a
// message is put together without allocating.
class Piece {
public:
    Piece(const char* text = nullptr) : text_(text) {}
    // Another name, escaped as the message's own name is.
    static Piece name(const char* name) { return Piece(Kind::name, name, 0); }
    // A name also quoted for the shell, where it stands in a command that
    // a user may paste.
    static Piece shell_word(const char* word) { return Piece(Kind::shell_word, word, 0); }
    // A count for people to read, its digits grouped by thousands: 11,124.
    static Piece count(std::uint64_t value) { return Piece(Kind::count, nullptr, value); }
    // A signed number as "%d" writes it.
    static Piece number(std::int32_t value) { return Piece(Kind::number, nullptr, static_cast<std::uint64_t>(value)); }

    // Writes the piece; false when the stream refused it.
    bool write(std::FILE* stream) const;

private:
    enum class Kind { text, name, shell_word, count, number };
    Piece(Kind kind, const char* text, std::uint64_t value) : kind_(kind), text_(text), value_(value) {}

    Kind kind_ = Kind::text;
    const char* text_;
    std::uint64_t value_ = 0;
};

// The one writer of message lines: prefix, name (none for null) and the
// pieces of the detail, then a newline and a flush; true when all was
// written. In a name, a control character (a byte below 0x20, 0x7f, or a C1
// control U+0080 to U+009F in UTF-8) and every byte that is not part of
// well-formed UTF-8 is written as \t, \n, \r or \xHH, byte by byte, so a
// hostile file name can neither break the line nor send the terminal a
// control sequence; printable ASCII and other UTF-8 stay as they are.
bool write_message(std::FILE* stream, const char* prefix, const char* name, const Piece* detail, std::size_t pieces);
inline bool write_message(std::FILE* stream, const char* prefix, const char* name,
                          std::initializer_list<Piece> detail = {})
{
    return write_message(stream, prefix, name, detail.begin(), detail.size());
}

// From here on, until it is given null, every message line also goes to
// copy once it has gone to its own stream, for a run that quotes its
// messages elsewhere; the copy's failures are the copy's alone.
void copy_messages_to(std::FILE* copy);

// write_message, then the failure status, for the caller to return.
int fail(std::FILE* messages, const char* prefix, const char* name, std::initializer_list<Piece> detail = {});

// "Error: out of memory", written without allocating, and the failure status.
int fail_out_of_memory(std::FILE* messages);

// Ends the process with "Error: out of memory" on standard error and exit
// status FAILURE_STATUS.
[[noreturn]] void exit_out_of_memory();

// "Error: can't write output: REASON", REASON being errno's, and the failure
// status; with a name, "Error: can't write NAME: REASON".
int fail_output(std::FILE* messages, const char* name = nullptr);

// From here on, a name that begins or ends with white space is written
// within single quotes, as a name is quoted for the shell, so that blanks
// that are often the very fault can be seen.
void quote_names_with_blank_ends();

// Appends name to text escaped as messages show it, for the names that go
// into tables rather than messages; throws std::bad_alloc when the text
// cannot grow. (Messages allocate nothing.)
void append_name(std::string& text, const char* name);

#endif
