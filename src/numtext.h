// Numbers as text, written into a caller's buffer: integers and doubles
// exactly as printf's "%d" and "%f" write them, and floating-point values in
// the shortest text that reads back to the same bits.
#ifndef LCDUMP_NUMTEXT_H
#define LCDUMP_NUMTEXT_H

#include <cstddef>
#include <cstdint>

// Room for the widest text of any one number: "%f" of the largest double is
// 309 integer digits, a sign, the point and six decimals.
const std::size_t MAX_NUMBER_TEXT = 320;

// Each writes the text at p, without a terminating NUL, and returns the end.
char* put_int(char* p, std::int32_t value);
// A count for people to read, its digits in groups of three: 11,124.
char* put_grouped(char* p, std::uint64_t value);
// "%f": fixed point, six decimals, rounded half to even on the exact binary
// value; nan, -nan, inf and -inf as glibc spells them.
char* put_fixed(char* p, double value);
// The shortest text that reads back to the same bits in the value's own
// type; may use exponent notation. Non-finite values as put_fixed writes them.
char* put_shortest(char* p, float value);
char* put_shortest(char* p, double value);

#endif
