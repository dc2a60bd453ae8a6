#include "lcdump.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "measurement_file.h"

namespace {

std::string printf_line(const Measurement& m)
{
    char line[MAX_LINE_LENGTH];
    return std::string(line, static_cast<std::size_t>(printf_line(m, line)));
}

std::string formatted(const Measurement& m)
{
    char line[MAX_LINE_LENGTH];
    return std::string(line, format_record(m, line));
}

template <class T>
T from_bits(std::uint64_t bits)
{
    T value;
    if (sizeof(T) == 4) {
        std::uint32_t u = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &u, 4);
    } else {
        std::memcpy(&value, &bits, 8);
    }
    return value;
}

// Dumps from in_fd to out_fd through streams of their own, which close both
// descriptors; the message, if there is one, comes back in message.
int dump_descriptors(int in_fd, const char* name, int out_fd, std::string& message)
{
    std::FILE* in = ::fdopen(in_fd, "rb");
    std::FILE* out = ::fdopen(out_fd, "wb");
    std::FILE* messages = std::tmpfile();
    int status = dump_measurements(in, name, out, messages);
    std::rewind(messages);
    message.clear();
    for (int c; (c = std::getc(messages)) != EOF;)
        message += static_cast<char>(c);
    std::fclose(messages);
    std::fclose(in);
    std::fclose(out);
    return status;
}

}  // namespace

TEST(DecodeRecord, ReadsLittleEndianFieldsInFileOrder)
{
    // The example record spelled out byte by byte, independent of the encoder.
    const unsigned char bytes[40] = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x98, 0x75, 0x40,  // JD 345.5
        0x11, 0x00, 0x00, 0x00,                          // obsID 17
        0x00, 0x40, 0x18, 0x43,                          // flux1 152.25
        0x00, 0x00, 0x60, 0x40,                          // err1 3.5
        0x00, 0x00, 0x52, 0x43,                          // sky 210
        0x00, 0x00, 0x40, 0x3f,                          // errs 0.75
        0x00, 0x00, 0x90, 0x3f,                          // chisq1 1.125
        0x2c, 0x00, 0x00, 0x00,                          // nuse 44
        0x00, 0x00, 0x48, 0x41,                          // effective_pix 12.5
    };
    Measurement m = decode_record(bytes);
    EXPECT_EQ(formatted(m), example_line());
    EXPECT_EQ(encode_record(m), std::string(reinterpret_cast<const char*>(bytes), 40));

    const unsigned char minus_two[4] = {0xfe, 0xff, 0xff, 0xff};
    EXPECT_EQ(decode_count(minus_two), -2);
    const unsigned char big[4] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(decode_count(big), 0x04030201);
}

TEST(DecodeRecord, KeepsNaNPayloadsAndSignsBitForBit)
{
    Measurement in = example_record();
    in.JD = from_bits<double>(0xfff8000000000123ULL);
    in.flux1 = from_bits<float>(0x7fc00042u);
    in.err1 = -0.0f;
    std::string bytes = encode_record(in);
    Measurement out = decode_record(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(bits_of(out.JD), bits_of(in.JD));
    EXPECT_EQ(bits_of(out.flux1), bits_of(in.flux1));
    EXPECT_EQ(bits_of(out.err1), bits_of(in.err1));
}

TEST(FormatRecord, MatchesPrintfOnSpecialValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double doubles[] = {0.0, -0.0, 0.25, -0.5, 1e-6, 1e-7, 5e-7, 1.0 / 128, 3.0 / 128,
                              2459000.123456789, 1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN,
                              std::numeric_limits<double>::denorm_min(), nan, -nan, inf, -inf,
                              999999.9999995, 0.9999995};
    const float floats[] = {0.0f, -0.0f, 1e-6f, FLT_MAX, -FLT_MAX, FLT_MIN,
                            std::numeric_limits<float>::denorm_min(), 1.0f / 128,
                            static_cast<float>(nan), -static_cast<float>(nan),
                            static_cast<float>(inf), -static_cast<float>(inf), 16777217.0f};
    const std::int32_t ints[] = {0, -1, 1, INT_MIN, INT_MAX};
    for (double d : doubles) {
        for (float f : floats) {
            for (std::int32_t i : ints) {
                Measurement m{d, i, f, f, f, f, f, i, f};
                ASSERT_EQ(formatted(m), printf_line(m)) << "JD bits " << std::hex << bits_of(d);
            }
        }
    }
}

TEST(FormatRecord, MatchesPrintfOnRandomBitPatterns)
{
    // Random bits reach every exponent, including subnormals, NaN payloads and
    // values whose "%f" text runs to hundreds of digits.
    std::mt19937_64 rng(12345);
    for (int n = 0; n < 200000; ++n) {
        Measurement m{from_bits<double>(rng()), static_cast<std::int32_t>(rng()),
                      from_bits<float>(rng()), from_bits<float>(rng()), from_bits<float>(rng()),
                      from_bits<float>(rng()), from_bits<float>(rng()),
                      static_cast<std::int32_t>(rng()), from_bits<float>(rng())};
        std::string line = formatted(m);
        ASSERT_EQ(line, printf_line(m)) << "record " << n;
        ASSERT_LT(line.size(), MAX_LINE_LENGTH);
    }
}

TEST(FormatRecord, MatchesPrintfAcrossTheMagnitudesOfMeasurements)
{
    // Uniform bit patterns are mostly huge or tiny; measurements lie where
    // every printed digit matters. Exponents from 2^-26 to 2^47 take in the
    // rounding to zero, long fractions and many integer digits.
    std::mt19937_64 rng(2024);
    auto exponent = [&rng] { return static_cast<std::uint64_t>(static_cast<int>(rng() % 74) - 26); };
    for (int n = 0; n < 200000; ++n) {
        std::uint64_t sign = rng() & 1;
        double d = from_bits<double>(sign << 63 | (exponent() + 1023) << 52 | (rng() >> 12));
        float f[6];
        for (float& value : f)
            value = from_bits<float>((rng() & 1) << 31 | (exponent() + 127) << 23 | (rng() >> 41));
        Measurement m{d, 0, f[0], f[1], f[2], f[3], f[4], 0, f[5]};
        ASSERT_EQ(formatted(m), printf_line(m)) << "record " << n;
    }
}

TEST(FormatRecord, RoundsHalfwayAndCarriesLikePrintf)
{
    // Odd multiples of 1/128 are the only values exactly halfway between two
    // millionths, and printf rounds them to even; their neighbours round
    // away from the halfway point. Values just under a whole number carry
    // into the integer digits.
    std::vector<double> values;
    auto with_neighbours = [&values](double v) {
        for (double x : {v, std::nextafter(v, 0.0), std::nextafter(v, HUGE_VAL)})
            for (double sign : {1.0, -1.0})
                values.push_back(sign * x);
    };
    for (double whole : {0.0, 1.0, 9.0, 2459000.0, 999999.0, std::ldexp(1.0, 40), std::ldexp(1.0, 43) - 1})
        for (int odd = 1; odd < 256; odd += 2)
            with_neighbours(whole + odd / 128.0);
    for (double v : {0.9999995, 9.9999995, 99999.9999995, 2459000.9999995, 4.9999995e-7, 5e-7,
                     std::ldexp(1.0, 43), std::ldexp(1.0, -22), std::ldexp(1.0, -21), 1e-300})
        with_neighbours(v);

    for (double v : values) {
        Measurement m{v, 0, static_cast<float>(v), 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(formatted(m), printf_line(m)) << std::hexfloat << v;
    }
}

TEST(FormatRecord, WidestPossibleLineFits)
{
    Measurement m{-DBL_MAX, INT_MIN, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, INT_MIN, -FLT_MAX};
    EXPECT_EQ(formatted(m), printf_line(m));
    EXPECT_LT(formatted(m).size(), MAX_LINE_LENGTH);
}

TEST(FormatRecord, ExactValuesReadBackToTheirBits)
{
    // Random bit patterns reach every exponent, NaN and infinity; each value
    // must come back from strtod (JD) or strtof (the float fields) unchanged,
    // with NaN compared by its sign. The CSV form shares the formatter.
    std::mt19937_64 rng(77);
    OutputForm form;
    form.csv = true;
    form.exact = true;
    auto same = [](auto read, auto wrote) {
        return std::isnan(wrote) ? std::isnan(read) && std::signbit(read) == std::signbit(wrote)
                                 : bits_of(read) == bits_of(wrote);
    };
    char line[MAX_LINE_LENGTH];
    for (int n = 0; n < 1000000; ++n) {
        Measurement m{from_bits<double>(rng()), 0, from_bits<float>(rng()), from_bits<float>(rng()),
                      from_bits<float>(rng()), from_bits<float>(rng()), from_bits<float>(rng()), 0,
                      from_bits<float>(rng())};
        line[format_record(m, form, line)] = '\0';
        char* p = line;
        const double jd = std::strtod(p, &p);
        std::strtol(p + 1, &p, 10);
        float f[6];
        for (int i = 0; i < 6; ++i) {
            if (i == 5)
                std::strtol(p + 1, &p, 10);
            f[i] = std::strtof(p + 1, &p);
        }
        ASSERT_STREQ(p, "\n") << line;
        ASSERT_TRUE(same(jd, m.JD)) << line;
        const float wrote[6] = {m.flux1, m.err1, m.sky, m.errs, m.chisq1, m.effective_pix};
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(same(f[i], wrote[i])) << "field " << i << " of " << line;
    }
}

TEST(FormatCount, WritesDecimalLine)
{
    char line[MAX_LINE_LENGTH];
    EXPECT_EQ(std::string(line, format_count(0, line)), "0\n");
    EXPECT_EQ(std::string(line, format_count(INT_MAX, line)), "2147483647\n");
    EXPECT_EQ(std::string(line, format_count(INT_MIN, line)), "-2147483648\n");
}

TEST(DumpMeasurements, WritesEveryLineWithOneWrite)
{
    // A SOCK_SEQPACKET socket keeps every write a message of its own, so the
    // messages show exactly how the output was cut into writes: one per line
    // is what makes each line reach a reader the moment it is ended.
    std::vector<Measurement> records;
    for (int n = 0; n < 20; ++n)
        records.push_back(numbered_record(n));
    std::string bytes = encode_file(records);
    int input[2], output[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, output), 0);
    ASSERT_EQ(::write(input[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(input[1]);

    std::string error;
    EXPECT_EQ(dump_descriptors(input[0], "pipe", output[0], error), 0) << error;

    std::vector<std::string> writes;
    char message[MAX_LINE_LENGTH];
    for (ssize_t got; (got = ::recv(output[1], message, sizeof message, 0)) > 0;)
        writes.emplace_back(message, static_cast<std::size_t>(got));
    ::close(output[1]);
    ASSERT_EQ(writes.size(), records.size() + 1);
    EXPECT_EQ(writes[0], "20\n");
    for (std::size_t n = 0; n < records.size(); ++n)
        EXPECT_EQ(writes[n + 1], formatted(records[n])) << "record " << n;
}

TEST(DumpMeasurements, LargeDumpIsCompleteAndInOrder)
{
    // Enough records to fill the record store's first chunks and start more.
    const int count = 140000;
    std::vector<Measurement> records;
    std::string expected = std::to_string(count) + "\n";
    for (int n = 0; n < count; ++n) {
        records.push_back(numbered_record(n));
        expected += formatted(records.back());
    }
    std::string dir = make_temp_dir();
    write_file(dir + "/lc.bin", encode_file(records));
    int in = ::open((dir + "/lc.bin").c_str(), O_RDONLY);
    int out = ::open((dir + "/lc.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    std::string error;
    EXPECT_EQ(dump_descriptors(in, "lc.bin", out, error), 0) << error;

    std::ifstream written(dir + "/lc.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    std::system(("rm -rf " + dir).c_str());
    EXPECT_TRUE(text == expected) << "output of " << text.size() << " bytes differs from the "
                                  << expected.size() << " expected";
}
