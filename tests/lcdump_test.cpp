// The dump through streams: one write per line, reads that signals
// interrupt, and a dump long enough to need many chunks of the record store.
#include "lcdump.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
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
