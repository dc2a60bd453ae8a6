// FITS headers, filled card by card where they will be written: the empty
// primary header, a binary table's opening and closing cards, the HISTORY
// cards that say where a table came from, and the checksums that seal a unit.
#ifndef LCDUMP_FITSHEADER_H
#define LCDUMP_FITSHEADER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "measurement.h"

// FITS checksums add 32-bit words in ones' complement: each carry out of the
// top bit comes back in at the bottom.
std::uint32_t fits_fold(std::uint64_t sum);

// The ones' complement sum of n bytes (a multiple of 4) as big-endian
// 32-bit words.
std::uint32_t fits_sum_words(const unsigned char* bytes, std::size_t n);

// The value's bits, most significant byte first, as FITS stores them.
template <class T>
void fits_store_big_endian(unsigned char* p, T value)
{
    BitsOf<T> bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (std::size_t i = 0; i < sizeof bits; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * (sizeof bits - 1 - i)));
}

// A keyword of a table's column: stem and the column's number, TTYPE3.
class FitsKey {
public:
    FitsKey(const char* stem, std::size_t column);
    operator const char*() const { return text_; }

private:
    char text_[32];
};

// A header of whole blocks, filled card by card in place, in the output
// buffer: a block on the stack would make -fits need more stack than the
// text forms.
class FitsHeader {
public:
    // Blanks the blocks of FITS_BLOCK bytes at block, which the header then
    // fills.
    explicit FitsHeader(unsigned char* block, std::size_t blocks = 1);

    // The blocks a header of that many cards takes.
    static std::size_t blocks_for(std::size_t cards);

    void logical(const char* keyword, bool value, const char* comment);
    void integer(const char* keyword, std::int64_t value, const char* comment);
    // A quoted text of at most 68 characters and no quote; the quotes hold at
    // least eight characters, as the standard asks of fixed-format strings.
    // Returns where the text starts, for a value that is filled in later.
    char* string(const char* keyword, const char* value, const char* comment);
    // A HISTORY card; returns its text columns, 9 to 80, blank, to fill.
    char* history();
    void end();

    std::size_t cards_left() const;
    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(text_); }
    std::size_t size() const { return size_; }

private:
    char* start(const char* keyword);
    static void remark(char* after_value, const char* comment);

    char* text_;
    std::size_t size_;
    std::size_t cards_ = 0;
};

// The whole header of a primary HDU with no data, before a table, sealed.
void fits_put_primary(unsigned char* block);

// A binary table's first cards: its shape, rows of row_bytes bytes in
// fields columns, no heap.
void fits_open_table(FitsHeader& header, std::int64_t row_bytes, std::int64_t rows, std::int64_t fields);

// A table's last cards: its EXTNAME and CREATOR, the HISTORY of
// fits_put_history, and the seal of fits_seal. The cards before it leave
// at least four free.
void fits_close_table(FitsHeader& header, const char* extname, const char* extname_comment, const char* creator,
                      const char* source, std::uint32_t data_sum);

// The HISTORY cards of a table, "CREATOR from SOURCE" with every byte that
// is not printable ASCII as \xHH, on what its header block has left beside
// the three cards of fits_seal; a text too long for them ends in "...".
void fits_put_history(FitsHeader& header, const char* creator, const char* source);

// The last cards of every header: DATASUM, the sum of its data unit,
// data_sum; CHECKSUM, which makes the whole unit, header and data, sum to
// all ones; and END.
void fits_seal(FitsHeader& header, std::uint32_t data_sum);

#endif
