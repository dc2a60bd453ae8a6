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

#include <fcntl.h>
#include <unistd.h>

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

// Written without stdio, whose buffer would be one more allocation.
__attribute__((destructor)) void write_counts()
{
    const char* path = std::getenv("LCDUMP_FAIL_COUNTS");
    if (path == nullptr)
        return;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    char text[32];
    int length = std::snprintf(text, sizeof text, "%ld\n", count);
    if (::write(fd, text, static_cast<std::size_t>(length)) != length)
        ::unlink(path);
    ::close(fd);
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
