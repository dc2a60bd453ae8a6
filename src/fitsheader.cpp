#include "fitsheader.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fits.h"

namespace {

const std::size_t CARD = 80;
// Where a header's value ends: fixed-format logicals and numbers end in
// column 30, and comments follow it.
const std::size_t VALUE_END = 30;

// The text columns of a HISTORY card.
const std::size_t HISTORY_WIDTH = CARD - 8;

// Hands use each byte of the parts as a header may hold it: printable ASCII
// as itself, any other byte as \xHH; stops where use says false, and says
// whether it got to the end.
template <class Use>
bool each_piece(std::initializer_list<const char*> parts, Use use)
{
    for (const char* part : parts)
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(part); *p != 0; ++p) {
            char piece[5] = {static_cast<char>(*p), '\0'};
            const bool plain = *p >= 0x20 && *p <= 0x7e;
            if (!plain)
                std::snprintf(piece, sizeof piece, "\\x%02x", *p);
            if (!use(piece, plain ? std::size_t(1) : std::size_t(4)))
                return false;
        }
    return true;
}

// Lays "CREATOR from SOURCE" out on at most cards HISTORY cards, no \xHH
// split between two, keeping reserve columns free on the last for the "..."
// that ends a text cut short; with header, writes them. Says whether the
// whole text fitted.
bool lay_out_history(FitsHeader* header, const char* creator, const char* source, std::size_t cards,
                     std::size_t reserve)
{
    std::size_t card = 0, column = HISTORY_WIDTH;
    char* text = nullptr;
    return each_piece({creator, " from ", source}, [&](const char* piece, std::size_t length) {
        if (column + length > HISTORY_WIDTH - (card == cards ? reserve : 0)) {
            if (card == cards) {
                if (text != nullptr)
                    std::memcpy(text + column, "...", 3);
                return false;
            }
            ++card;
            column = 0;
            text = header != nullptr ? header->history() : nullptr;
        }
        if (text != nullptr)
            std::memcpy(text + column, piece, length);
        column += length;
        return true;
    });
}

}  // namespace

std::uint32_t fits_fold(std::uint64_t sum)
{
    while (sum >> 32)
        sum = (sum & 0xffffffff) + (sum >> 32);
    return static_cast<std::uint32_t>(sum);
}

std::uint32_t fits_sum_words(const unsigned char* bytes, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; i += 4)
        sum += std::uint64_t(bytes[i]) << 24 | std::uint64_t(bytes[i + 1]) << 16 | std::uint64_t(bytes[i + 2]) << 8 |
               bytes[i + 3];
    return fits_fold(sum);
}

FitsKey::FitsKey(const char* stem, std::size_t column)
{
    const std::size_t length = std::strlen(stem);
    std::memcpy(text_, stem, length);
    *std::to_chars(text_ + length, text_ + sizeof text_ - 1, column).ptr = '\0';
}

FitsHeader::FitsHeader(unsigned char* block, std::size_t blocks)
    : text_(reinterpret_cast<char*>(block)),
      size_(blocks * FITS_BLOCK)
{
    std::memset(text_, ' ', size_);
}

std::size_t FitsHeader::blocks_for(std::size_t cards)
{
    return (cards * CARD + FITS_BLOCK - 1) / FITS_BLOCK;
}

void FitsHeader::logical(const char* keyword, bool value, const char* comment)
{
    char* value_end = start(keyword) + VALUE_END;
    value_end[-1] = value ? 'T' : 'F';
    remark(value_end, comment);
}

void FitsHeader::integer(const char* keyword, std::int64_t value, const char* comment)
{
    char digits[20];
    const std::size_t length =
        static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    char* value_end = start(keyword) + VALUE_END;
    std::memcpy(value_end - length, digits, length);
    remark(value_end, comment);
}

char* FitsHeader::string(const char* keyword, const char* value, const char* comment)
{
    char* card = start(keyword);
    char* open = card + 10;
    const std::size_t length = std::strlen(value);
    *open = '\'';
    std::memcpy(open + 1, value, length);
    char* close = open + 1 + (length < 8 ? 8 : length);
    *close = '\'';
    remark(close + 1 > card + VALUE_END ? close + 1 : card + VALUE_END, comment);
    return open + 1;
}

char* FitsHeader::history()
{
    char* card = text_ + CARD * cards_++;
    std::memcpy(card, "HISTORY", 7);
    return card + 8;
}

void FitsHeader::end()
{
    std::memcpy(text_ + CARD * cards_++, "END", 3);
}

std::size_t FitsHeader::cards_left() const
{
    return size_ / CARD - cards_;
}

char* FitsHeader::start(const char* keyword)
{
    char* card = text_ + CARD * cards_++;
    std::memcpy(card, keyword, std::strlen(keyword));
    card[8] = '=';
    return card;
}

void FitsHeader::remark(char* after_value, const char* comment)
{
    if (comment != nullptr && *comment != '\0') {
        after_value[1] = '/';
        std::memcpy(after_value + 3, comment, std::strlen(comment));
    }
}

void fits_put_history(FitsHeader& header, const char* creator, const char* source)
{
    const std::size_t cards = header.cards_left() - 3;
    const bool whole = lay_out_history(nullptr, creator, source, cards, 0);
    lay_out_history(&header, creator, source, cards, whole ? 0 : 3);
}

void fits_seal(FitsHeader& header, std::uint32_t data_sum)
{
    char* checksum = header.string("CHECKSUM", "0000000000000000", "HDU checksum");
    char data_sum_text[11];
    *std::to_chars(data_sum_text, data_sum_text + 10, data_sum).ptr = '\0';
    header.string("DATASUM", data_sum_text, "data unit checksum");
    header.end();
    const std::uint32_t sum = fits_fold(std::uint64_t(fits_sum_words(header.bytes(), header.size())) + data_sum);
    fits_encode_checksum(sum, checksum);
}

void fits_put_primary(unsigned char* block)
{
    FitsHeader primary(block);
    primary.logical("SIMPLE", true, "conforms to the FITS standard");
    primary.integer("BITPIX", 8, "bytes");
    primary.integer("NAXIS", 0, "no data in the primary HDU");
    primary.logical("EXTEND", true, "a binary table follows");
    fits_seal(primary, 0);
}

void fits_open_table(FitsHeader& header, std::int64_t row_bytes, std::int64_t rows, std::int64_t fields)
{
    header.string("XTENSION", "BINTABLE", "binary table");
    header.integer("BITPIX", 8, "bytes");
    header.integer("NAXIS", 2, "a table of rows");
    header.integer("NAXIS1", row_bytes, "bytes a row");
    header.integer("NAXIS2", rows, "rows");
    header.integer("PCOUNT", 0, "no heap");
    header.integer("GCOUNT", 1, "one table");
    header.integer("TFIELDS", fields, "columns");
}

void fits_close_table(FitsHeader& header, const char* extname, const char* extname_comment, const char* creator,
                      const char* source, std::uint32_t data_sum)
{
    header.string("EXTNAME", extname, extname_comment);
    header.string("CREATOR", creator, "");
    fits_put_history(header, creator, source);
    fits_seal(header, data_sum);
}

void fits_encode_checksum(std::uint32_t sum, char text[16])
{
    // Characters between the digits and the letters, which the encoding avoids.
    auto punctuation = [](int c) { return (c >= 0x3a && c <= 0x40) || (c >= 0x5b && c <= 0x60); };
    const std::uint32_t value = ~sum;
    char spread[16];
    for (int i = 0; i < 4; ++i) {
        const int byte = static_cast<int>(value >> (24 - 8 * i) & 0xff);
        int ch[4];
        for (int& c : ch)
            c = '0' + byte / 4;
        ch[0] += byte % 4;
        // Moving one unit between the two of a pair keeps their sum.
        for (bool moved = true; moved;) {
            moved = false;
            for (int j = 0; j < 4; j += 2)
                if (punctuation(ch[j]) || punctuation(ch[j + 1])) {
                    ++ch[j];
                    --ch[j + 1];
                    moved = true;
                }
        }
        for (int j = 0; j < 4; ++j)
            spread[4 * j + i] = static_cast<char>(ch[j]);
    }
    // Rotated one place to the right, so that the text starts on a word's
    // second byte and the sum of the characters lines up with the words.
    for (int i = 0; i < 16; ++i)
        text[i] = spread[(i + 15) % 16];
}
