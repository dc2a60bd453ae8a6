// The little the C++ library cannot do the same way everywhere: binary
// streams, telling a terminal apart, sizing files past 2 GiB, the parts of a
// path, and replacing a file by another.
#ifndef LCDUMP_PLATFORM_H
#define LCDUMP_PLATFORM_H

#include <cstdio>

// Windows opens the standard streams in text mode, which writes "\n" as
// "\r\n" and ends binary input at a 0x1a byte; this switches a stream to
// binary there, and does nothing elsewhere.
void use_binary_mode(std::FILE* stream);

// Whether the stream is a terminal.
bool is_terminal(std::FILE* stream);

// The bytes from the stream's position to the end of what it reads, when
// that can be known: a file, or a device that tells its size. -1 for a pipe,
// a terminal, or a device or system file whose end says nothing (/dev/zero,
// /proc): those may hold more than their size claims. The position is left
// where it was.
long long bytes_left(std::FILE* stream);

// The last component of path: what follows its last '/' (or, on Windows,
// its last '\\' or ':').
const char* last_component(const char* path);

// Renames from to to, replacing a file already called to (which std::rename
// refuses on Windows); false, with errno set, when it failed.
bool replace_file(const char* from, const char* to);

#endif
