// The little the C++ library cannot do the same way everywhere: binary
// streams, telling a terminal apart, sizing files past 2 GiB, the parts of a
// path, creating and renaming files without ever replacing one by accident,
// and telling two names of one file apart from two files.
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

// Whether c separates the components of a path: '/' (and, on Windows, '\\'
// and the ':' after a drive letter).
bool is_path_separator(char c);

// The last component of path: what follows its last separator.
const char* last_component(const char* path);

// Renames from to to, replacing a file already called to (which std::rename
// refuses on Windows); false, with errno set, when it failed.
bool replace_file(const char* from, const char* to);

// Renames from to to only where nothing, not even a link, is called to;
// false, with errno set (EEXIST where something is), when it failed.
bool rename_no_replace(const char* from, const char* to);

// Creates name and opens it for binary writing, failing (EEXIST) where
// anything is called name already, a link included, so that no other file
// is ever written through it; null, with errno set, when it failed.
std::FILE* create_new_file(const char* name);

// What tells one file from another whatever its names: the device and the
// file's number on it.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long file = 0;
    bool operator==(const FileIdentity& other) const { return device == other.device && file == other.file; }
    bool operator<(const FileIdentity& other) const
    {
        return device != other.device ? device < other.device : file < other.file;
    }
};

// The identity of the file name leads to, links followed; false where
// there is none (no such file, or the system cannot tell).
bool identify_file(const char* name, FileIdentity& identity);

// Makes a write past a file-size limit fail as a write (EFBIG) instead of
// ending the process, where the system has such a signal.
void ignore_file_size_signal();

#endif
