#include "summaryfits.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fits.h"
#include "fitsheader.h"
#include "numtext.h"
#include "output.h"

namespace {

// The least nuse is a 64-bit integer column whose TNULL is the least 64-bit
// value: every nuse a file can hold is a 32-bit integer, so no file's least
// nuse is ever taken for the null, and the column stays an integer, which a
// float with NaN for "none" would not.
const std::int64_t NO_NUSE = std::numeric_limits<std::int64_t>::min();

bool is_nuse(const SummaryColumn& column)
{
    return column.count == &Summary::nuse_min;
}

// The bytes of the column in a row.
std::size_t width_of(const SummaryColumn& column)
{
    return column.count != nullptr && !is_nuse(column) ? 4 : 8;
}

// The column's value in row at p, big-endian; the width of width_of.
void store_value(unsigned char* p, const SummaryColumn& column, const Summary& summary)
{
    if (is_nuse(column))
        fits_store_big_endian(p, summary.has_nuse ? std::int64_t{summary.nuse_min} : NO_NUSE);
    else if (column.count != nullptr)
        fits_store_big_endian(p, summary.*column.count);
    else
        fits_store_big_endian(p, summary.*column.figure);
}

// The data unit, one block at a time through block: deliver(block) takes
// each whole block, the last padded with zeros, and says whether to go on.
// Made twice, once to sum it for the header and once to write it, so that
// nothing but the rows is held.
template <class Deliver>
bool each_data_block(const std::vector<SummaryTable::Row>& rows, bool period, std::size_t name_width,
                     unsigned char* block, Deliver deliver)
{
    std::size_t used = 0;
    // n bytes from bytes, or zeros where bytes is null.
    auto put = [&](const unsigned char* bytes, std::size_t n) {
        while (n > 0) {
            const std::size_t part = std::min(n, FITS_BLOCK - used);
            if (bytes != nullptr) {
                std::memcpy(block + used, bytes, part);
                bytes += part;
            } else {
                std::memset(block + used, 0, part);
            }
            used += part;
            n -= part;
            if (used == FITS_BLOCK) {
                used = 0;
                if (!deliver(static_cast<const unsigned char*>(block)))
                    return false;
            }
        }
        return true;
    };
    for (const SummaryTable::Row& row : rows) {
        // A name shorter than the column ends in NULs, which end a FITS
        // string: a name that ends in a blank keeps it.
        bool going = put(reinterpret_cast<const unsigned char*>(row.name.data()), row.name.size()) &&
                     put(nullptr, name_width - row.name.size());
        for_each_summary_column(period, [&](const SummaryColumn& column) {
            unsigned char value[8];
            store_value(value, column, row.summary);
            going = going && put(value, width_of(column));
        });
        if (!going)
            return false;
    }
    return used == 0 || put(nullptr, FITS_BLOCK - used);
}

// The table's header: the name column, then a column for each of
// SUMMARY_COLUMNS that the run has.
void put_table_header(FitsHeader& table, const std::vector<SummaryTable::Row>& rows, bool period,
                      std::size_t name_width, std::size_t row_bytes, std::size_t fields, std::uint32_t data_sum)
{
    fits_open_table(table, static_cast<std::int64_t>(row_bytes), static_cast<std::int64_t>(rows.size()),
                    static_cast<std::int64_t>(fields));
    char name_form[24];
    char* form_end = std::to_chars(name_form, name_form + sizeof name_form - 2, name_width).ptr;
    form_end[0] = 'A';
    form_end[1] = '\0';
    table.string("TTYPE1", "file", "the input's name");
    table.string("TFORM1", name_form, "text, NUL-padded");
    std::size_t n = 1;
    for_each_summary_column(period, [&](const SummaryColumn& column) {
        ++n;
        table.string(FitsKey("TTYPE", n), column.name, "");
        table.string(FitsKey("TFORM", n),
                     is_nuse(column)           ? "1K"
                     : column.count != nullptr ? "1J"
                                               : "1D",
                     is_nuse(column)           ? "64-bit integer"
                     : column.count != nullptr ? "32-bit integer"
                                               : "64-bit float");
        if (column.unit != nullptr)
            table.string(FitsKey("TUNIT", n), column.unit, "");
        if (is_nuse(column))
            table.integer(FitsKey("TNULL", n), NO_NUSE, "no records, no nuse");
    });
    // One input is named; a list's table says how many rows it holds.
    char count[40];
    const char* source = count;
    if (rows.size() == 1)
        source = fits_source(rows.front().name.c_str());
    else
        std::strcpy(put_grouped(count, rows.size()), " files");
    fits_close_table(table, "SUMMARY", "summary figures, a row per input", "lcdump " LCDUMP_VERSION, source, data_sum);
}

}  // namespace

bool write_summary_fits(std::FILE* out, const std::vector<SummaryTable::Row>& rows, bool period, bool& out_of_memory)
{
    std::size_t name_width = 1;
    for (const SummaryTable::Row& row : rows)
        name_width = std::max(name_width, row.name.size());
    std::size_t fields = 1, row_bytes = name_width, units = 0;
    for_each_summary_column(period, [&](const SummaryColumn& column) {
        ++fields;
        row_bytes += width_of(column);
        units += column.unit != nullptr ? 1 : 0;
    });
    // The shape's eight cards, two a column, the units and nuse's TNULL,
    // and the four cards of fits_close_table with at least one HISTORY card.
    const std::size_t header_blocks = FitsHeader::blocks_for(8 + 2 * fields + units + 1 + 2 + 1 + 3);
    const std::size_t header_bytes = (1 + header_blocks) * FITS_BLOCK;
    // The headers, then one block of the data unit.
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(header_bytes + FITS_BLOCK));
    if (buffer == nullptr) {
        out_of_memory = true;
        return false;
    }
    unsigned char* data_block = buffer + header_bytes;
    std::uint64_t data_sum = 0;
    each_data_block(rows, period, name_width, data_block, [&data_sum](const unsigned char* block) {
        data_sum += fits_sum_words(block, FITS_BLOCK);
        return true;
    });
    fits_put_primary(buffer);
    FitsHeader table(buffer + FITS_BLOCK, header_blocks);
    put_table_header(table, rows, period, name_width, row_bytes, fields, fits_fold(data_sum));
    const bool written =
        write_all(out, buffer, header_bytes) &&
        each_data_block(rows, period, name_width, data_block,
                        [out](const unsigned char* block) { return write_all(out, block, FITS_BLOCK); }) &&
        std::fflush(out) == 0;
    // The write's errno outlasts the buffer.
    const int error = errno;
    std::free(buffer);
    errno = error;
    return written;
}
