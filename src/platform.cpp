#include "platform.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
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

// Offsets as wide as files get: long is 32 bits on Windows.
#ifdef _WIN32
#define LCDUMP_TELL _ftelli64
#define LCDUMP_SEEK _fseeki64
#else
#define LCDUMP_TELL ftello
#define LCDUMP_SEEK fseeko
#endif

long long bytes_left(std::FILE* stream)
{
    const long long here = LCDUMP_TELL(stream);
    if (here < 0 || LCDUMP_SEEK(stream, 0, SEEK_END) != 0)
        return -1;
    const long long end = LCDUMP_TELL(stream);
    if (LCDUMP_SEEK(stream, here, SEEK_SET) != 0)
        return -1;
    // An end at 0 is what a character device or a /proc file reports, which
    // says nothing of what it holds; an empty file reads as empty anyway.
    if (end <= 0 || end < here)
        return -1;
    return end - here;
}

const char* last_component(const char* path)
{
#ifdef _WIN32
    const char* separators = "/\\:";
#else
    const char* separators = "/";
#endif
    const char* last = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (std::strchr(separators, *p) != nullptr)
            last = p + 1;
    return last;
}

bool replace_file(const char* from, const char* to)
{
#ifdef _WIN32
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING))
        return true;
    // The reasons a message can name; others as an I/O error.
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
            : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_DISK_FULL                                       ? ENOSPC
                                                                             : EIO;
    return false;
#else
    return std::rename(from, to) == 0;
#endif
}
