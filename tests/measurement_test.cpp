// Decoding the measurement file: little-endian fields in record order, on any
// host, every bit kept.
#include "measurement.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "measurement_file.h"

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
    unsigned char encoded[RECORD_BYTES];
    encode_record(in, encoded);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(encoded), RECORD_BYTES), bytes) << "as the tools write it";
}
