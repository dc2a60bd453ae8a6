#include "fits.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "numtext.h"
#include "output.h"
#include "platform.h"

namespace {

const std::size_t CARD = 80;
// Where a header's value ends: fixed-format logicals and numbers end in
// column 30, and comments follow it.
const std::size_t VALUE_END = 30;
// Rows are held in chunks of this many blocks, each written whole at the
// end; the first chunk starts with room for the two header blocks. A chunk
// and its row part are whole numbers of 40-byte rows.
const std::size_t CHUNK_BYTES = 20 * FITS_BLOCK;
const std::size_t HEADER_BYTES = 2 * FITS_BLOCK;
static_assert(CHUNK_BYTES % RECORD_BYTES == 0 && (CHUNK_BYTES - HEADER_BYTES) % RECORD_BYTES == 0,
              "rows never straddle a chunk's end");

// The value's bits, most significant byte first, as FITS stores them.
template <class T>
void store_big_endian(unsigned char* p, T value)
{
    BitsOf<T> bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (std::size_t i = 0; i < sizeof bits; ++i)
        p[i] = static_cast<unsigned char>(bits >> (8 * (sizeof bits - 1 - i)));
}

// FITS checksums add 32-bit words in ones' complement: each carry out of the
// top bit comes back in at the bottom.
std::uint32_t fold(std::uint64_t sum)
{
    while (sum >> 32)
        sum = (sum & 0xffffffff) + (sum >> 32);
    return static_cast<std::uint32_t>(sum);
}

std::uint32_t sum_words(const unsigned char* bytes, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; i += 4)
        sum += std::uint64_t(bytes[i]) << 24 | std::uint64_t(bytes[i + 1]) << 16 | std::uint64_t(bytes[i + 2]) << 8 |
               bytes[i + 3];
    return fold(sum);
}

// One header block, filled card by card in place, in the output buffer: a
// block on the stack would make -fits need more stack than the text forms.
// Every header here fits one block.
class Header {
public:
    explicit Header(unsigned char* block) : text_(reinterpret_cast<char*>(block))
    {
        std::memset(text_, ' ', FITS_BLOCK);
    }

    void logical(const char* keyword, bool value, const char* comment)
    {
        char* value_end = start(keyword) + VALUE_END;
        value_end[-1] = value ? 'T' : 'F';
        remark(value_end, comment);
    }

    void integer(const char* keyword, std::int32_t value, const char* comment)
    {
        char digits[12];
        const std::size_t length = static_cast<std::size_t>(put_int(digits, value) - digits);
        char* value_end = start(keyword) + VALUE_END;
        std::memcpy(value_end - length, digits, length);
        remark(value_end, comment);
    }

    // A quoted text of at most 68 characters and no quote; the quotes hold at
    // least eight characters, as the standard asks of fixed-format strings.
    // Returns where the text starts, for a value that is filled in later.
    char* string(const char* keyword, const char* value, const char* comment)
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

    // A HISTORY card; returns its text columns, 9 to 80, blank, to fill.
    char* history()
    {
        char* card = text_ + CARD * cards_++;
        std::memcpy(card, "HISTORY", 7);
        return card + 8;
    }

    std::size_t cards_left() const { return FITS_BLOCK / CARD - cards_; }

    void end() { std::memcpy(text_ + CARD * cards_++, "END", 3); }

    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(text_); }

private:
    char* start(const char* keyword)
    {
        char* card = text_ + CARD * cards_++;
        std::memcpy(card, keyword, std::strlen(keyword));
        card[8] = '=';
        return card;
    }

    static void remark(char* after_value, const char* comment)
    {
        if (comment != nullptr && *comment != '\0') {
            after_value[1] = '/';
            std::memcpy(after_value + 3, comment, std::strlen(comment));
        }
    }

    char* text_;
    std::size_t cards_ = 0;
};

// The last two cards of every header: the sum of the data unit, and the
// checksum that makes the whole unit, header and data, sum to all ones.
void seal(Header& header, std::uint32_t data_sum)
{
    char* checksum = header.string("CHECKSUM", "0000000000000000", "HDU checksum");
    char data_sum_text[11];
    *std::to_chars(data_sum_text, data_sum_text + 10, data_sum).ptr = '\0';
    header.string("DATASUM", data_sum_text, "data unit checksum");
    header.end();
    const std::uint32_t sum = fold(std::uint64_t(sum_words(header.bytes(), FITS_BLOCK)) + data_sum);
    fits_encode_checksum(sum, checksum);
}

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
bool lay_out_history(Header* header, const char* creator, const char* source, std::size_t cards, std::size_t reserve)
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

// The HISTORY cards of the table, on what its header block has left beside
// CHECKSUM, DATASUM and END.
void put_history(Header& header, const char* creator, const char* source)
{
    const std::size_t cards = header.cards_left() - 3;
    const bool whole = lay_out_history(nullptr, creator, source, cards, 0);
    lay_out_history(&header, creator, source, cards, whole ? 0 : 3);
}

}  // namespace

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

struct FitsWriter::Chunk {
    Chunk* next;
    std::size_t used;
    unsigned char bytes[CHUNK_BYTES];
};

FitsWriter::FitsWriter(std::FILE* out, const char* creator, const char* source)
    : out_(out),
      creator_(creator),
      source_(source)
{
}

FitsWriter::FitsWriter(const DumpTarget& target)
    : FitsWriter(target.out, "lcdump " LCDUMP_VERSION,
                 std::strcmp(target.name, "-") == 0 ? "standard input" : last_component(target.name))
{
}

FitsWriter::~FitsWriter()
{
    while (first_ != nullptr) {
        Chunk* next = first_->next;
        std::free(first_);
        first_ = next;
    }
}

bool FitsWriter::add_chunk(std::size_t reserved)
{
    Chunk* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk)));
    if (chunk == nullptr) {
        out_of_memory_ = true;
        return false;
    }
    chunk->next = nullptr;
    chunk->used = reserved;
    (last_ != nullptr ? last_->next : first_) = chunk;
    last_ = chunk;
    return true;
}

bool FitsWriter::begin(std::int32_t count)
{
    count_ = count;
    return add_chunk(HEADER_BYTES);
}

bool FitsWriter::record(const Measurement& m)
{
    if (last_->used == CHUNK_BYTES && !add_chunk(0))
        return false;
    unsigned char* row = last_->bytes + last_->used;
    for_each_field(m, [row](const FieldInfo& field, auto value) { store_big_endian(row + field.offset, value); });
    // The sum is taken of the very bytes that will be written.
    data_sum_ += sum_words(row, RECORD_BYTES);
    last_->used += RECORD_BYTES;
    return true;
}

bool FitsWriter::finish()
{
    Header primary(first_->bytes);
    primary.logical("SIMPLE", true, "conforms to the FITS standard");
    primary.integer("BITPIX", 8, "bytes");
    primary.integer("NAXIS", 0, "no data in the primary HDU");
    primary.logical("EXTEND", true, "a binary table follows");
    seal(primary, 0);

    Header table(first_->bytes + FITS_BLOCK);
    table.string("XTENSION", "BINTABLE", "binary table");
    table.integer("BITPIX", 8, "bytes");
    table.integer("NAXIS", 2, "a table of rows");
    table.integer("NAXIS1", static_cast<std::int32_t>(RECORD_BYTES), "bytes a row");
    table.integer("NAXIS2", count_, "rows");
    table.integer("PCOUNT", 0, "no heap");
    table.integer("GCOUNT", 1, "one table");
    table.integer("TFIELDS", static_cast<std::int32_t>(FIELD_COUNT), "columns");
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const FieldInfo& field = FIELDS[i];
        char type_key[16] = "TTYPE", form_key[16] = "TFORM", form[] = {'1', field.tform, '\0'};
        *put_int(type_key + 5, static_cast<std::int32_t>(i + 1)) = '\0';
        *put_int(form_key + 5, static_cast<std::int32_t>(i + 1)) = '\0';
        table.string(type_key, field.name, i == 0 ? "Julian Date" : "");
        table.string(form_key, form,
                     field.tform == 'D' ? "64-bit float"
                     : field.integer    ? "32-bit integer"
                                        : "32-bit float");
    }
    table.string("TUNIT1", "d", "days");
    table.string("EXTNAME", "MEASUREMENTS", "the measurement records");
    table.string("CREATOR", creator_, "");
    put_history(table, creator_, source_);
    seal(table, fold(data_sum_));

    for (const Chunk* c = first_; c != nullptr; c = c->next)
        if (!write_all(out_, c->bytes, c->used))
            return false;
    static const unsigned char zeros[FITS_BLOCK] = {};
    const std::size_t data_bytes = RECORD_BYTES * static_cast<std::size_t>(count_);
    return write_all(out_, zeros, (FITS_BLOCK - data_bytes % FITS_BLOCK) % FITS_BLOCK) && std::fflush(out_) == 0;
}
