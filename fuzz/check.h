// What the harnesses share: a property check that ends the fuzz run the way
// a crash does, after saying which property failed and where (so libFuzzer
// keeps the input that broke it); in-memory files; and a plain reference
// word split.
#ifndef LCDUMP_FUZZ_CHECK_H
#define LCDUMP_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "property failed: %s at %s:%d\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

// An anonymous in-memory file, made once and rewritten for every input.
inline int fuzz_memfd(const char* name)
{
    int fd = ::memfd_create(name, 0);
    FUZZ_CHECK(fd >= 0);
    return fd;
}

inline void fuzz_set_contents(int fd, const void* data, std::size_t size)
{
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, static_cast<const char*>(data) + done, size - done, static_cast<off_t>(done));
        FUZZ_CHECK(n > 0);
        done += static_cast<std::size_t>(n);
    }
    FUZZ_CHECK(::lseek(fd, 0, SEEK_SET) == 0);
}

inline std::string fuzz_contents(int fd)
{
    std::string text;
    char buffer[65536];
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        FUZZ_CHECK(n >= 0);
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

// White space of the classic locale, spelled out.
inline bool reference_is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The maximal runs of bytes that are not white space, in order.
inline std::vector<std::string> reference_split(const std::string& text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && reference_is_space(text[i]))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !reference_is_space(text[i]))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

#endif
