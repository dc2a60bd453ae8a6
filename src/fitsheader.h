// A FITS header block, filled card by card where it will be written; the
// HISTORY cards that say where a table came from; and the checksums that
// seal a header and data unit.
#ifndef LCDUMP_FITSHEADER_H
#define LCDUMP_FITSHEADER_H

#include <cstddef>
#include <cstdint>

// FITS checksums add 32-bit words in ones' complement: each carry out of the
// top bit comes back in at the bottom.
std::uint32_t fits_fold(std::uint64_t sum);

// The ones' complement sum of n bytes (a multiple of 4) as big-endian
// 32-bit words.
std::uint32_t fits_sum_words(const unsigned char* bytes, std::size_t n);

// One header block, filled card by card in place, in the output buffer: a
// block on the stack would make -fits need more stack than the text forms.
// Every header here fits one block.
class FitsHeader {
public:
    // Blanks the FITS_BLOCK bytes at block, which the header then fills.
    explicit FitsHeader(unsigned char* block);

    void logical(const char* keyword, bool value, const char* comment);
    void integer(const char* keyword, std::int32_t value, const char* comment);
    // A quoted text of at most 68 characters and no quote; the quotes hold at
    // least eight characters, as the standard asks of fixed-format strings.
    // Returns where the text starts, for a value that is filled in later.
    char* string(const char* keyword, const char* value, const char* comment);
    // A HISTORY card; returns its text columns, 9 to 80, blank, to fill.
    char* history();
    void end();

    std::size_t cards_left() const;
    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(text_); }

private:
    char* start(const char* keyword);
    static void remark(char* after_value, const char* comment);

    char* text_;
    std::size_t cards_ = 0;
};

// The HISTORY cards of a table, "CREATOR from SOURCE" with every byte that
// is not printable ASCII as \xHH, on what its header block has left beside
// the three cards of fits_seal; a text too long for them ends in "...".
void fits_put_history(FitsHeader& header, const char* creator, const char* source);

// The last cards of every header: DATASUM, the sum of its data unit,
// data_sum; CHECKSUM, which makes the whole unit, header and data, sum to
// all ones; and END.
void fits_seal(FitsHeader& header, std::uint32_t data_sum);

#endif
