#include "outputfile.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>
#include <string>
#include <utility>

#include "platform.h"

namespace {

// Different in every run and for every temporary, so that no two runs, nor
// anyone who guesses, can share a temporary name; a name taken already is
// refused by create_new_file in any case and simply drawn again.
std::uint64_t next_random()
{
    static std::mt19937_64 generator = [] {
        std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device device;
            seed ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (const std::exception&) {
            // No source of randomness: the clock must do.
        }
        return std::mt19937_64(seed);
    }();
    return generator();
}

}  // namespace

OutputFile::OutputFile(std::string name) : name_(std::move(name)) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::create()
{
    const std::string directory =
        name_.substr(0, static_cast<std::size_t>(last_component(name_.c_str()) - name_.c_str()));
    // A name that is taken, by another run or by anyone, is drawn again; it
    // is never the temporary, so that nothing of another's is ever removed.
    for (int tries = 0; tries < 100; ++tries) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%012llx",
                      static_cast<unsigned long long>(next_random() & 0xffffffffffffu));
        std::string candidate = directory + ".lcdump-" + suffix;
        stream_ = create_new_file(candidate.c_str());
        if (stream_ != nullptr) {
            // Not a copy, which could run out of memory with the file made.
            temporary_.swap(candidate);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool OutputFile::commit(bool replace)
{
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (closed && (replace ? replace_file(temporary_.c_str(), name_.c_str())
                           : rename_no_replace(temporary_.c_str(), name_.c_str()))) {
        temporary_.clear();
        return true;
    }
    const int error_number = errno;
    discard();
    errno = error_number;
    return false;
}

void OutputFile::discard()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        std::remove(temporary_.c_str());
    temporary_.clear();
}
