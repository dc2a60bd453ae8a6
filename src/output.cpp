#include "output.h"

#include <cerrno>

bool write_all(std::FILE* out, const void* bytes, std::size_t n)
{
    const char* next = static_cast<const char*>(bytes);
    while (n > 0) {
        errno = 0;
        const std::size_t put = std::fwrite(next, 1, n, out);
        next += put;
        n -= put;
        if (n == 0)
            break;
        // Progress, or a signal, is no failure: try the rest again.
        if (put == 0 && errno != EINTR)
            return false;
        std::clearerr(out);
    }
    return true;
}
