#include "platform.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

void use_binary_mode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

bool is_terminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

namespace {

// Offsets as wide as files get: long is 32 bits on Windows.
#ifdef _WIN32
long long tell(std::FILE* stream)
{
    return _ftelli64(stream);
}
bool seek(std::FILE* stream, long long offset, int whence)
{
    return _fseeki64(stream, offset, whence) == 0;
}
#else
long long tell(std::FILE* stream)
{
    return ftello(stream);
}
bool seek(std::FILE* stream, long long offset, int whence)
{
    return fseeko(stream, offset, whence) == 0;
}
#endif

}  // namespace

long long bytes_left(std::FILE* stream)
{
    const long long here = tell(stream);
    if (here < 0 || !seek(stream, 0, SEEK_END))
        return -1;
    const long long end = tell(stream);
    if (!seek(stream, here, SEEK_SET))
        return -1;
    // An end at 0 is what a character device or a /proc file reports, which
    // says nothing of what it holds; an empty file reads as empty anyway.
    if (end <= 0 || end < here)
        return -1;
    return end - here;
}
