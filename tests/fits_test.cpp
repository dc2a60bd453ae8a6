// The FITS writer on its own: the cards as the standard lays them out, the
// checksum by the property that defines it, and a write failing in any of
// the several chunks of a table.
#include "fits.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "measurement_file.h"

namespace {

// The ones' complement sum of big-endian 32-bit words.
std::uint32_t ones_sum(const std::string& bytes, std::size_t from, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = from; i < from + n; i += 4)
        for (std::size_t k = 0; k < 4; ++k)
            sum += std::uint64_t(static_cast<unsigned char>(bytes[i + k])) << (24 - 8 * k);
    while (sum >> 32)
        sum = (sum & 0xffffffff) + (sum >> 32);
    return static_cast<std::uint32_t>(sum);
}

// An output that takes limit bytes, then refuses every write as a full disk
// does.
struct LimitedOutput {
    std::string bytes;
    std::size_t limit;

    static ssize_t write(void* cookie, const char* data, std::size_t n)
    {
        LimitedOutput& out = *static_cast<LimitedOutput*>(cookie);
        const std::size_t room = out.limit - out.bytes.size();
        if (room == 0) {
            // A cookie's write tells an error by taking nothing.
            errno = ENOSPC;
            return 0;
        }
        out.bytes.append(data, n < room ? n : room);
        return static_cast<ssize_t>(n < room ? n : room);
    }
};

// A FitsWriter run over records into an output that takes limit bytes;
// returns what it took, and the writer's verdict in finished.
std::string write_table(const std::vector<Measurement>& records, std::size_t limit, bool& finished)
{
    LimitedOutput output{std::string(), limit};
    cookie_io_functions_t functions = {nullptr, &LimitedOutput::write, nullptr, nullptr};
    std::FILE* out = ::fopencookie(&output, "wb", functions);
    std::setvbuf(out, nullptr, _IONBF, 0);
    {
        FitsWriter writer(out, "lcdump test", "star\x01.lc");
        finished = writer.begin(static_cast<std::int32_t>(records.size()));
        for (const Measurement& m : records)
            finished = finished && writer.record(m);
        finished = finished && writer.finish();
    }
    std::fclose(out);
    return output.bytes;
}

std::vector<Measurement> numbered(int count)
{
    std::vector<Measurement> records;
    for (int n = 0; n < count; ++n)
        records.push_back(numbered_record(n));
    return records;
}

}  // namespace

TEST(FitsWriter, CardsAndUnitsAreLaidOutAsTheStandardAsks)
{
    bool finished = false;
    const std::string file = write_table(numbered(3), 1 << 20, finished);
    ASSERT_TRUE(finished);
    ASSERT_EQ(file.size(), 3 * FITS_BLOCK);
    std::vector<std::string> table;
    for (std::size_t at = FITS_BLOCK; at < 2 * FITS_BLOCK; at += 80)
        table.push_back(file.substr(at, 80));
    for (const std::string& card : table)
        for (char c : card)
            ASSERT_TRUE(c >= 0x20 && c <= 0x7e) << card;
    // Fixed format: keyword in columns 1-8, "= " in 9-10, numbers and
    // logicals right-justified to column 30, strings quoted from column 11.
    EXPECT_EQ(table[0], "XTENSION= 'BINTABLE'           / binary table" + std::string(35, ' '));
    EXPECT_EQ(table[4].substr(0, 30), "NAXIS2  =                    3");
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string type = table[8 + 2 * i], form = table[9 + 2 * i];
        EXPECT_EQ(type.substr(0, 11 + std::strlen(FIELDS[i].name)),
                  "TTYPE" + n + std::string(3 - n.size(), ' ') + "= '" + FIELDS[i].name);
        EXPECT_EQ(form.substr(0, 13), "TFORM" + n + std::string(3 - n.size(), ' ') + "= '1" + FIELDS[i].tform);
    }
    EXPECT_EQ(table[8 + 2 * FIELD_COUNT].substr(0, 20), "TUNIT1  = 'd       '");
    EXPECT_EQ(table[11 + 2 * FIELD_COUNT], "HISTORY lcdump test from star\\x01.lc" + std::string(44, ' '));
    EXPECT_EQ(table[12 + 2 * FIELD_COUNT].substr(0, 8), "CHECKSUM");
    EXPECT_EQ(table[14 + 2 * FIELD_COUNT], "END" + std::string(77, ' '));
    // The rows: big-endian, the record's fields in order, then zeros to the block.
    EXPECT_EQ(file.substr(2 * FITS_BLOCK, 8), std::string("\x41\x42\xc2\xbc\x40\x00\x00\x00", 8));
    EXPECT_EQ(file.find_first_not_of('\0', 2 * FITS_BLOCK + 3 * RECORD_BYTES), std::string::npos);
}

TEST(FitsWriter, ChecksumsMakeEachUnitSumToNegativeZero)
{
    // What the checksum is for: each HDU, header and data, sums to all ones,
    // and DATASUM is the data unit's own sum, both computed here from the
    // bytes alone. Over several chunks and an odd number of blocks.
    bool finished = false;
    const std::string file = write_table(numbered(5000), 1 << 30, finished);
    ASSERT_TRUE(finished);
    ASSERT_EQ(file.size() % FITS_BLOCK, 0u);
    EXPECT_EQ(ones_sum(file, 0, FITS_BLOCK), 0xffffffffu);
    EXPECT_EQ(ones_sum(file, FITS_BLOCK, file.size() - FITS_BLOCK), 0xffffffffu);
    const std::size_t card = file.rfind("DATASUM = '");
    ASSERT_NE(card, std::string::npos);
    EXPECT_EQ(std::stoul(file.substr(card + 11, 10)), ones_sum(file, 2 * FITS_BLOCK, file.size() - 2 * FITS_BLOCK));

    // The encoding alone: put where the card puts it, three bytes into a
    // word, the text adds to a unit exactly the complement of the sum it
    // encodes, beyond what sixteen '0' placeholders add; and it is made of
    // letters and digits only.
    std::mt19937 rng(5);
    for (int n = 0; n < 100000; ++n) {
        const std::uint32_t sum = n < 2 ? static_cast<std::uint32_t>(-n) : static_cast<std::uint32_t>(rng());
        char text[16];
        fits_encode_checksum(sum, text);
        std::string unit(20, '\0'), zeros(20, '\0');
        unit.replace(3, 16, text, 16);
        zeros.replace(3, 16, 16, '0');
        std::uint64_t both = std::uint64_t(ones_sum(unit, 0, 20)) + sum;
        both = (both & 0xffffffff) + (both >> 32);
        ASSERT_EQ(both, ones_sum(zeros, 0, 20)) << sum;
        for (char c : text)
            ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << sum;
    }
}

TEST(FitsWriter, AWriteRefusedAnywhereEndsTheTableAtOnce)
{
    // The table spans three chunks; the output refuses its writes from
    // points in each of them, at and around their ends.
    const std::vector<Measurement> records = numbered(3000);
    bool finished = false;
    const std::string whole = write_table(records, 1 << 30, finished);
    ASSERT_TRUE(finished);
    for (std::size_t limit : {std::size_t(0), std::size_t(1), 2 * FITS_BLOCK, 20 * FITS_BLOCK - 1, 20 * FITS_BLOCK,
                              20 * FITS_BLOCK + 1, 40 * FITS_BLOCK, 41 * FITS_BLOCK + 7, whole.size() - 1}) {
        const std::string part = write_table(records, limit, finished);
        EXPECT_FALSE(finished) << limit << " took " << part.size() << " of " << whole.size();
        EXPECT_LE(part.size(), limit);
        EXPECT_EQ(part, whole.substr(0, part.size())) << limit;
    }
}
