#include "diagnostics.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "numtext.h"

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes that
// starts at p, or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
// A NUL ends the text and fails every check, so nothing behind it is read.
std::size_t utf8_sequence_length(const unsigned char* p)
{
    const unsigned char c = p[0];
    unsigned char low = 0x80, high = 0xbf;
    std::size_t length;
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        low = c == 0xe0 ? 0xa0 : low;
        high = c == 0xed ? 0x9f : high;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        low = c == 0xf0 ? 0x90 : low;
        high = c == 0xf4 ? 0x8f : high;
    } else {
        return 0;
    }
    if (p[1] < low || p[1] > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    }
    return length;
}

// Hands put(text, length) the name as messages show it, piece by piece:
// printable ASCII a byte at a time, whole UTF-8 characters as they are,
// everything else escaped.
template <class Put>
void escape_name(const char* name, Put put)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    while (*p != 0) {
        const unsigned char c = *p;
        // Printable ASCII and whole UTF-8 characters stay, except the C1
        // controls U+0080 to U+009F (0xc2 0x80 to 0xc2 0x9f), which a
        // terminal may obey as it does ESC: 0xc2 0x9b is CSI.
        const std::size_t length = c < 0x80 ? 1 : utf8_sequence_length(p);
        if ((length == 1 && c >= 0x20 && c != 0x7f) || (length > 1 && !(c == 0xc2 && p[1] < 0xa0))) {
            put(reinterpret_cast<const char*>(p), length);
            p += length;
            continue;
        }
        // One byte at a time, so the rest of a C1 control or of a broken
        // sequence is escaped on its own as a byte that cannot start a
        // character.
        const char* named = c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        const char hex[] = {'\\', 'x', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 0xf]};
        if (named != nullptr)
            put(named, 2);
        else
            put(hex, sizeof hex);
        ++p;
    }
}

// A shell takes a word made of these as it stands.
bool shell_safe(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("%+,-./:@_", c) != nullptr;
}

bool quoting_blank_ends = false;

std::FILE* message_copy = nullptr;

bool is_blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Writes name as messages show it, without a newline; when shell_quoted
// and the name holds anything a shell reads specially, within single quotes
// ('it'\''s.lc), so that a command suggested with it can be pasted safely.
bool write_name(std::FILE* stream, const char* name, bool shell_quoted)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    const std::size_t size = std::strlen(name);
    bool quote = (shell_quoted && size == 0) ||
                 (quoting_blank_ends && size > 0 && (is_blank(name[0]) || is_blank(name[size - 1])));
    for (const unsigned char* q = p; shell_quoted && *q != 0; ++q)
        quote = quote || !shell_safe(*q);
    bool written = !quote || std::fputc('\'', stream) != EOF;
    escape_name(name, [&](const char* text, std::size_t length) {
        // A quote cannot stand within quotes: close them, give it escaped,
        // and open them again.
        if (quote && *text == '\'') {
            text = "'\\''";
            length = 4;
        }
        // After a failure nothing more: a message with a hole in it could
        // name another file.
        written = written && std::fwrite(text, 1, length, stream) == length;
    });
    return (!quote || std::fputc('\'', stream) != EOF) && written;
}

}  // namespace

void quote_names_with_blank_ends()
{
    quoting_blank_ends = true;
}

void copy_messages_to(std::FILE* copy)
{
    message_copy = copy;
}

void append_name(std::string& text, const char* name)
{
    escape_name(name, [&text](const char* piece, std::size_t length) { text.append(piece, length); });
}

bool Piece::write(std::FILE* stream) const
{
    if (kind_ == Kind::text)
        return text_ == nullptr || std::fputs(text_, stream) >= 0;
    if (kind_ != Kind::count && kind_ != Kind::number)
        return write_name(stream, text_, kind_ == Kind::shell_word);
    char text[MAX_NUMBER_TEXT];
    const char* end =
        kind_ == Kind::count ? put_grouped(text, value_) : put_int(text, static_cast<std::int32_t>(value_));
    const std::size_t length = static_cast<std::size_t>(end - text);
    return std::fwrite(text, 1, length, stream) == length;
}

bool write_message(std::FILE* stream, const char* prefix, const char* name, const Piece* detail, std::size_t pieces)
{
    // After a failure nothing more: a message with a hole in it could name
    // another file.
    bool written = std::fputs(prefix, stream) >= 0 && (name == nullptr || write_name(stream, name, false));
    for (std::size_t i = 0; i < pieces; ++i)
        written = written && detail[i].write(stream);
    written = written && std::fputc('\n', stream) != EOF;
    written = std::fflush(stream) == 0 && written;
    if (message_copy != nullptr && stream != message_copy)
        write_message(message_copy, prefix, name, detail, pieces);
    return written;
}

int fail(std::FILE* messages, const char* prefix, const char* name, std::initializer_list<Piece> detail)
{
    write_message(messages, prefix, name, detail.begin(), detail.size());
    return FAILURE_STATUS;
}

int fail_out_of_memory(std::FILE* messages)
{
    return fail(messages, "Error: out of memory", nullptr);
}

void exit_out_of_memory()
{
    fail_out_of_memory(stderr);
    std::exit(FAILURE_STATUS);
}

int fail_output(std::FILE* messages, const char* name)
{
    return fail(messages, "Error: can't write ", name != nullptr ? name : "output", {": ", std::strerror(errno)});
}
