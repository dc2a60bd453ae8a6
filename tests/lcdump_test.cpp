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
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "measurement_file.h"

namespace {

std::string printf_line(const Measurement& m)
{
    char line[MAX_OUTPUT_LINE];
    return std::string(line, static_cast<std::size_t>(printf_line(m, line)));
}

std::string formatted(const Measurement& m)
{
    char line[MAX_OUTPUT_LINE];
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

// Whether lcdump's line for a record with only jd and flux1 set is printf's.
// Millions of values are put to the test this way, so printf formats only
// the two of them, and nothing is allocated.
::testing::AssertionResult matches_printf(double jd, float flux1)
{
    char ours[MAX_OUTPUT_LINE], theirs[MAX_OUTPUT_LINE];
    Measurement m{jd, 0, flux1, 0, 0, 0, 0, 0, 0};
    const std::string_view line(ours, format_record(m, ours));
    const int length = std::snprintf(theirs, sizeof theirs, "%f 0 %f%s", jd, static_cast<double>(flux1),
                                     " 0.000000 0.000000 0.000000 0.000000 0 0.000000\n");
    const std::string_view expected(theirs, static_cast<std::size_t>(length));
    if (line == expected)
        return ::testing::AssertionSuccess();
    char values[64];
    std::snprintf(values, sizeof values, "%a and %a", jd, static_cast<double>(flux1));
    return ::testing::AssertionFailure() << values << " gave\n  " << line << "printf gives\n  " << expected;
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
    // clang-format off
    const double doubles[] = {0.0, -0.0, 0.25, -0.5, 1e-6, 1e-7, 5e-7, 1.0 / 128, 3.0 / 128,
                              2459000.123456789, 1e300, -1e300, DBL_MAX, -DBL_MAX, DBL_MIN,
                              std::numeric_limits<double>::denorm_min(), nan, -nan, inf, -inf,
                              999999.9999995, 0.9999995};
    const float floats[] = {0.0f, -0.0f, 1e-6f, FLT_MAX, -FLT_MAX, FLT_MIN,
                            std::numeric_limits<float>::denorm_min(), 1.0f / 128,
                            static_cast<float>(nan), -static_cast<float>(nan),
                            static_cast<float>(inf), -static_cast<float>(inf), 16777217.0f};
    // clang-format on
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
    // Ten million random doubles and floats. Uniform bits reach every
    // exponent, subnormals, NaN payloads and values whose "%f" text runs to
    // hundreds of digits; but they seldom land where the digits are worked
    // out in integers, and printf takes microseconds over each long one. So
    // all but one in sixteen keep their exponent within 2^-30..2^70, around
    // the integer range, where every printed digit counts.
    std::mt19937_64 rng(12345);
    for (int n = 0; n < 10000000; ++n) {
        std::uint64_t d = rng(), f = rng() >> 32;
        if (n % 16 != 0) {
            const std::uint64_t e = rng();
            d = (d & ~(std::uint64_t(0x7ff) << 52)) | (1023 - 30 + e % 100) << 52;
            f = (f & ~(std::uint64_t(0xff) << 23)) | (127 - 30 + (e >> 32) % 100) << 23;
        }
        ASSERT_TRUE(matches_printf(from_bits<double>(d), from_bits<float>(f))) << "record " << n;
    }
}

TEST(FormatRecord, MatchesPrintfAtTiesCarriesAndRangeLimits)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> edges = {0.0,
                                 std::numeric_limits<double>::denorm_min(),
                                 DBL_MIN,
                                 DBL_MAX,
                                 inf,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 from_bits<double>(0x7ff0000000000001)};
    // Only whole + odd/128 lie exactly halfway between two millionths; printf
    // rounds those to even. Near them, and near whole + 0.0000005 and
    // whole + 0.9999995, the exact binary value decides.
    for (double whole : {0.0, 1.0, 9.0, 99999.0, 2459000.0, 16777215.0, std::ldexp(1.0, 40), std::ldexp(1.0, 44) - 1,
                         std::ldexp(1.0, 45)}) {
        for (int odd = 1; odd < 256; odd += 2)
            edges.push_back(whole + odd / 128.0);
        edges.push_back(whole + 0.0000005);
        edges.push_back(whole + 0.9999995);
    }
    for (int odd = 1; odd < 100; odd += 2)
        edges.push_back(odd * 0.0000005);
    // Powers of ten, where the text grows by a digit; 1e22 is the last exact one.
    for (int k = -7; k <= 22; ++k)
        edges.push_back(std::stod("1e" + std::to_string(k)));
    // Powers of two: the integer formatting changes method at 2^-21, 2^-11,
    // 2^52 and 2^64, and every binade has a shift of its own.
    for (int k = -80; k <= 70; ++k)
        edges.push_back(std::ldexp(1.0, k));

    // Each with its neighbours and both signs, and the same for the nearest float.
    for (double edge : edges) {
        for (double x : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, inf)}) {
            const float f = static_cast<float>(x);
            for (float y : {f, std::nextafter(f, 0.0f), std::nextafter(f, static_cast<float>(inf))}) {
                ASSERT_TRUE(matches_printf(x, y));
                ASSERT_TRUE(matches_printf(-x, -y));
            }
        }
    }
}

TEST(FormatRecord, WidestPossibleLineFits)
{
    Measurement m{-DBL_MAX, INT_MIN, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, INT_MIN, -FLT_MAX};
    EXPECT_EQ(formatted(m), printf_line(m));
    EXPECT_LT(formatted(m).size(), MAX_OUTPUT_LINE);
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
    char line[MAX_OUTPUT_LINE];
    for (int n = 0; n < 1000000; ++n) {
        // clang-format off
        Measurement m{from_bits<double>(rng()), 0, from_bits<float>(rng()), from_bits<float>(rng()),
                      from_bits<float>(rng()), from_bits<float>(rng()), from_bits<float>(rng()), 0,
                      from_bits<float>(rng())};
        // clang-format on
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
    char line[MAX_OUTPUT_LINE];
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
    char message[MAX_OUTPUT_LINE];
    for (ssize_t got; (got = ::recv(output[1], message, sizeof message, 0)) > 0;)
        writes.emplace_back(message, static_cast<std::size_t>(got));
    ::close(output[1]);
    ASSERT_EQ(writes.size(), records.size() + 1);
    EXPECT_EQ(writes[0], "20\n");
    for (std::size_t n = 0; n < records.size(); ++n)
        EXPECT_EQ(writes[n + 1], formatted(records[n])) << "record " << n;
}

TEST(DumpMeasurements, ReadsInterruptedBySignalsAreRetried)
{
    // A handler installed without SA_RESTART makes a blocked read of a pipe
    // fail with EINTR; the dump must read on, not report a read error. The
    // records trickle in while a timer interrupts this thread every 200 us.
    struct sigaction ignore = {}, old_action, old_pipe;
    ignore.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGALRM, &ignore, &old_action), 0);
    ignore.sa_handler = SIG_IGN;  // a dump that stops early must not kill the writer
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &old_pipe), 0);
    std::string bytes = encode_file({example_record(), numbered_record(1), numbered_record(2)});
    int input[2], output[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::pipe(output), 0);
    std::thread writer([&] {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
        for (char c : bytes) {
            ::usleep(500);
            if (::write(input[1], &c, 1) != 1)
                break;
        }
        ::close(input[1]);
    });
    struct itimerval every = {{0, 200}, {0, 200}}, stop = {};
    ::setitimer(ITIMER_REAL, &every, nullptr);
    std::string error;
    int status = dump_descriptors(input[0], "pipe", output[1], error);
    ::setitimer(ITIMER_REAL, &stop, nullptr);
    writer.join();
    ::sigaction(SIGALRM, &old_action, nullptr);
    ::sigaction(SIGPIPE, &old_pipe, nullptr);
    char text[1024];
    ssize_t got = ::read(output[0], text, sizeof text);
    ::close(output[0]);
    EXPECT_EQ(status, 0) << error;
    EXPECT_EQ(std::string(text, got > 0 ? static_cast<std::size_t>(got) : 0),
              "3\n" + formatted(example_record()) + formatted(numbered_record(1)) + formatted(numbered_record(2)));
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
    EXPECT_TRUE(text == expected) << "output of " << text.size() << " bytes differs from the " << expected.size()
                                  << " expected";
}
