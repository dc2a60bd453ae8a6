// A preloadable library (LD_PRELOAD) that makes allocations fail on command,
// so the tests can run the real lcdump into every out-of-memory path.
//
// It replaces the global operator new and delete and counts allocations in
// three kinds, and it wraps fopen, whose stream needs memory too:
//   block  operator new(size, nothrow)    the word list's chained blocks
//   text   operator new[](size, nothrow)  String buffers
//   std    the throwing operator new and new[], used by the standard library
//   fopen  fopen, which then fails with ENOMEM
// LCDUMP_FAIL=KIND:N makes the Nth allocation of KIND fail, and every
// allocation of any kind after it, as when memory has run out.
// LCDUMP_FAIL_COUNTS=PATH makes the process write how many allocations of
// each kind it asked for to PATH when it ends.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum Kind { BLOCK, TEXT, STD, FOPEN, KINDS };
const char* const KIND_NAMES[KINDS] = {"block", "text", "std", "fopen"};

long counts[KINDS];
int fail_kind = -1;
long fail_at = 0;
bool failing = false;
bool configured = false;

void configure()
{
    configured = true;
    const char* setting = std::getenv("LCDUMP_FAIL");
    if (setting == nullptr)
        return;
    for (int kind = 0; kind < KINDS; ++kind) {
        std::size_t length = std::strlen(KIND_NAMES[kind]);
        if (std::strncmp(setting, KIND_NAMES[kind], length) == 0 && setting[length] == ':') {
            fail_kind = kind;
            fail_at = std::atol(setting + length + 1);
        }
    }
}

bool fails(Kind kind)
{
    if (!configured)
        configure();
    ++counts[kind];
    if (kind == fail_kind && counts[kind] == fail_at)
        failing = true;
    return failing;
}

void* allocate(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

// Written without stdio, which would need memory and count as an fopen.
__attribute__((destructor)) void write_counts()
{
    const char* path = std::getenv("LCDUMP_FAIL_COUNTS");
    if (path == nullptr)
        return;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    for (int kind = 0; kind < KINDS; ++kind)
        ::dprintf(fd, "%s %ld\n", KIND_NAMES[kind], counts[kind]);
    ::close(fd);
}

}  // namespace

void* operator new(std::size_t size)
{
    void* p = fails(STD) ? nullptr : allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* operator new[](std::size_t size)
{
    void* p = fails(STD) ? nullptr : allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return fails(BLOCK) ? nullptr : allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return fails(TEXT) ? nullptr : allocate(size);
}

extern "C" std::FILE* fopen(const char* path, const char* mode)
{
    using Fopen = std::FILE* (*)(const char*, const char*);
    static Fopen real = reinterpret_cast<Fopen>(::dlsym(RTLD_NEXT, "fopen"));
    if (fails(FOPEN)) {
        errno = ENOMEM;
        return nullptr;
    }
    return real(path, mode);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
