// A preloadable library (LD_PRELOAD) that makes memory run out on command, so
// the tests can run the real lcdump into every out-of-memory path.
//
// It wraps malloc, calloc and realloc, through which every allocation of the
// process passes: lcdump's own, the C++ library's operator new, stdio's
// streams, and those made before main.
// LCDUMP_FAIL=N makes the Nth allocation fail, and every one after it, as when
// memory has run out. LCDUMP_FAIL_COUNTS=PATH makes the process write how many
// allocations it asked for to PATH when it ends.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "preload_counts.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
}

namespace {

long count;
long fail_at = -1;
bool configured = false;

bool fails()
{
    if (!configured) {
        configured = true;
        // getenv neither allocates nor needs anything set up.
        if (const char* setting = std::getenv("LCDUMP_FAIL"))
            fail_at = std::atol(setting);
    }
    ++count;
    if (fail_at > 0 && count >= fail_at) {
        errno = ENOMEM;  // as malloc itself reports it
        return true;
    }
    return false;
}

__attribute__((destructor)) void write_counts_at_exit()
{
    char line[32];
    std::snprintf(line, sizeof line, "%ld\n", count);
    write_counts("LCDUMP_FAIL_COUNTS", line);
}

}  // namespace

extern "C" void* malloc(std::size_t size)
{
    return fails() ? nullptr : __libc_malloc(size);
}

extern "C" void* calloc(std::size_t n, std::size_t size)
{
    return fails() ? nullptr : __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, std::size_t size)
{
    return fails() ? nullptr : __libc_realloc(p, size);
}
