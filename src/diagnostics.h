// Every message a run can end with goes out through here: one line, names
// escaped so that no file name can break it or talk to the terminal, and the
// one exit status of a run that could not complete.
#ifndef LCDUMP_DIAGNOSTICS_H
#define LCDUMP_DIAGNOSTICS_H

#include <cstdio>
#include <string>

// The exit status of every run that could not complete.
const int FAILURE_STATUS = 8;

// Writes "Error: out of memory" to standard error without allocating.
void report_out_of_memory();

// "Error: out of memory" to messages, and the failure status.
int fail_out_of_memory(std::FILE* messages);

// Ends the process with "Error: out of memory" and exit status FAILURE_STATUS.
[[noreturn]] void exit_out_of_memory();

// Writes one message line, before + name + after + newline, and flushes it;
// true when it was written. In the name, a control character (a byte below
// 0x20, 0x7f, or a C1 control U+0080 to U+009F in UTF-8) and every byte that
// is not part of well-formed UTF-8 is written as \t, \n, \r or \xHH, byte by
// byte, so a hostile file name can neither break the line nor send the
// terminal a control sequence; printable ASCII and other UTF-8 stay as they are.
bool write_message(std::FILE* stream, const char* before, const char* name, const char* after);

// Writes name as write_message does, without a newline; when shell_quoted
// and the name holds anything a shell reads specially, within single quotes
// ('it'\''s.lc), so that a command suggested with it can be pasted safely.
bool write_name(std::FILE* stream, const char* name, bool shell_quoted);

// From here on, a name that begins or ends with white space is written
// within single quotes, as write_name quotes for the shell, so that blanks
// that are often the very fault can be seen.
void quote_names_with_blank_ends();

// Appends name to text escaped as write_message writes it, for the names
// that go into tables rather than messages; throws std::bad_alloc when the
// text cannot grow. (write_name and write_message allocate nothing.)
void append_name(std::string& text, const char* name);

// write_message, then the failure status, for the caller to return.
int fail(std::FILE* messages, const char* before, const char* name, const char* after);

// "Error: can't write output: REASON", REASON being errno's, and the failure
// status; with a name, "Error: can't write NAME: REASON".
int fail_output(std::FILE* messages, const char* name = nullptr);

#endif
