// The fixture of the end-to-end tests: a scratch directory, files written
// into it, and the built lcdump run on them (behind LCDUMP_RUNNER when set).
#ifndef LCDUMP_TESTS_E2E_FIXTURE_H
#define LCDUMP_TESTS_E2E_FIXTURE_H

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "measurement_file.h"
#include "run_program.h"

class Lcdump : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string file(const std::string& name, const std::string& bytes)
    {
        std::string path = dir + "/" + name;
        write_file(path, bytes);
        return path;
    }

    static RunResult lcdump(std::vector<std::string> args, const RunOptions& options = RunOptions())
    {
        return run_program(command_line(LCDUMP_BINARY, args), options);
    }

    static std::string lines_for(int first, int count)
    {
        std::string text;
        char line[MAX_OUTPUT_LINE];
        for (int n = first; n < first + count; ++n)
            text.append(line, format_record(numbered_record(n), line));
        return text;
    }

    static std::string numbered_file(int count)
    {
        std::vector<Measurement> records;
        for (int n = 0; n < count; ++n)
            records.push_back(numbered_record(n));
        return encode_file(records);
    }

    std::string dir;
};

inline void expect_result(const RunResult& r, const std::string& out, const std::string& err, int status)
{
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.status, status);
}

// Tests that limit the address space or replace the allocator cannot run
// under the sanitizers, which reserve terabytes of address space and bring
// their own allocator, nor under a runner such as valgrind.
inline bool allocator_is_ours()
{
#ifdef LCDUMP_SANITIZED
    return false;
#else
    return !under_runner();
#endif
}

#endif
