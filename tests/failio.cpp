// A preloadable library (LD_PRELOAD) that makes one read or write fail on
// command, so the tests can run the real lcdump into every I/O failure path.
//
// glibc's stdio reaches read(2) and write(2) by internal calls that no
// preloaded library sees, so this wraps fwrite (on standard output, or every file) and
// fread (on any stream), through which all of lcdump's data passes.
//   LCDUMP_FAILIO_OP=write|read   which calls are counted towards the failure
//   LCDUMP_FAILIO_AT=K            the Kth such call fails; every other one works
//   LCDUMP_FAILIO_KIND=ENOSPC|EIO|EPIPE: the call moves nothing, sets errno and
//       the stream's error flag, and returns 0, as a failed system call leaves
//       it; EINTR: the same with errno EINTR, as a signal leaves it; short:
//       half the bytes (at least one) move and their count is returned, with
//       no error, as a pipe or a slow device may take them
//   LCDUMP_FAILIO_FILES=1         count the writes to every file but standard
//       error, not to standard output alone
//   LCDUMP_FAILIO_COUNTS=PATH     at exit, "WRITES READS\n" into PATH
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

#include "preload_counts.h"

namespace {

long writes, reads;

struct Plan {
    bool writes = false;
    long at = 0;
    int error_number = 0;  // 0 for a short transfer
};

const Plan& plan()
{
    static const Plan p = [] {
        Plan made;
        const char* op = std::getenv("LCDUMP_FAILIO_OP");
        const char* at = std::getenv("LCDUMP_FAILIO_AT");
        const char* kind = std::getenv("LCDUMP_FAILIO_KIND");
        if (op == nullptr || at == nullptr || kind == nullptr)
            return made;
        made.writes = std::strcmp(op, "write") == 0;
        made.at = std::atol(at);
        made.error_number = std::strcmp(kind, "ENOSPC") == 0  ? ENOSPC
                            : std::strcmp(kind, "EIO") == 0   ? EIO
                            : std::strcmp(kind, "EPIPE") == 0 ? EPIPE
                            : std::strcmp(kind, "EINTR") == 0 ? EINTR
                                                              : 0;
        return made;
    }();
    return p;
}

// One call of the real function, or the planned failure in its place.
template <class Bytes>
std::size_t transfer(std::size_t (*real)(Bytes*, std::size_t, std::size_t, FILE*), bool fails, Bytes* bytes,
                     std::size_t size, std::size_t n, FILE* stream)
{
    if (!fails || n == 0)
        return real(bytes, size, n, stream);
    const int error_number = plan().error_number;
    if (error_number == 0)
        return real(bytes, size, n / 2 > 0 ? n / 2 : 1, stream);
    stream->_flags |= _IO_ERR_SEEN;
    errno = error_number;
    return 0;
}

template <class Function>
Function* real(Function*, const char* name)
{
    return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void write_counts_at_exit()
{
    char line[48];
    std::snprintf(line, sizeof line, "%ld %ld\n", writes, reads);
    write_counts("LCDUMP_FAILIO_COUNTS", line);
}

}  // namespace

extern "C" std::size_t fwrite(const void* bytes, std::size_t size, std::size_t n, FILE* stream)
{
    static const auto real_fwrite = real(&::fwrite, "fwrite");
    // With LCDUMP_FAILIO_FILES set, the writes to every file are counted,
    // those of messages to standard error apart.
    static const bool files = std::getenv("LCDUMP_FAILIO_FILES") != nullptr;
    const bool counted = files ? ::fileno(stream) != STDERR_FILENO : ::fileno(stream) == STDOUT_FILENO;
    const bool fails = counted && ++writes == plan().at && plan().writes;
    return transfer(real_fwrite, fails, bytes, size, n, stream);
}

extern "C" std::size_t fread(void* bytes, std::size_t size, std::size_t n, FILE* stream)
{
    static const auto real_fread = real(&::fread, "fread");
    const bool fails = ++reads == plan().at && !plan().writes;
    return transfer(real_fread, fails, bytes, size, n, stream);
}
