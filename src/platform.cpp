#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
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

bool is_path_separator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

const char* last_component(const char* path)
{
    const char* last = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (is_path_separator(*p))
            last = p + 1;
    return last;
}

#ifdef _WIN32
namespace {

// The reasons a message can name; others as an I/O error.
bool failed_with_last_error()
{
    const DWORD error = GetLastError();
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
            : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_DISK_FULL                                       ? ENOSPC
            : error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS    ? EEXIST
                                                                             : EIO;
    return false;
}

}  // namespace
#endif

bool replace_file(const char* from, const char* to)
{
#ifdef _WIN32
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) || failed_with_last_error();
#else
    return std::rename(from, to) == 0;
#endif
}

bool rename_no_replace(const char* from, const char* to)
{
#ifdef _WIN32
    return MoveFileExA(from, to, 0) || failed_with_last_error();
#else
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    // Only a file system that cannot do it atomically goes on below.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // A second name that cannot replace anything, then the first one gone.
    if (link(from, to) == 0) {
        unlink(from);
        return true;
    }
    if (errno == EEXIST)
        return false;
    // Where a file system has no links (FAT, some network shares), asking
    // first is the best there is.
    struct stat status;
    if (lstat(to, &status) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from, to) == 0;
#endif
}

std::FILE* create_new_file(const char* name)
{
#ifdef _WIN32
    const int descriptor = _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* stream = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
#else
    const int descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL, 0666);
    std::FILE* stream = descriptor < 0 ? nullptr : fdopen(descriptor, "wb");
#endif
    if (stream == nullptr && descriptor >= 0) {
        const int error_number = errno;
#ifdef _WIN32
        _close(descriptor);
#else
        close(descriptor);
#endif
        std::remove(name);
        errno = error_number;
    }
    return stream;
}

bool identify_file(const char* name, FileIdentity& identity)
{
#ifdef _WIN32
    // Directories open only with backup semantics; nothing is read or written.
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known)
        return false;
    identity.device = information.dwVolumeSerialNumber;
    identity.file = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
#else
    struct stat status;
    if (stat(name, &status) != 0)
        return false;
    identity.device = static_cast<unsigned long long>(status.st_dev);
    identity.file = static_cast<unsigned long long>(status.st_ino);
    return true;
#endif
}

void ignore_file_size_signal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
