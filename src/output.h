// Bytes out whole: a write that the system took only in part, or that a
// signal interrupted, goes on where it stopped, so a dump is never missing
// bytes in its middle.
#ifndef LCDUMP_OUTPUT_H
#define LCDUMP_OUTPUT_H

#include <cstddef>
#include <cstdio>

// Writes n bytes, leaving any flush to the caller; false, with errno set,
// when the output refused them. On an unbuffered stream every byte that reaches the system
// is counted, so none is written twice; a buffered stream may lose what it
// held when a write fails.
bool write_all(std::FILE* out, const void* bytes, std::size_t n);

#endif
