// What the preloadable libraries share: they say how many calls they saw by
// writing a line into the file an environment variable names, as the process
// ends; without stdio, which the process may have left in any state and
// whose buffer would be one more allocation.
#ifndef LCDUMP_TESTS_PRELOAD_COUNTS_H
#define LCDUMP_TESTS_PRELOAD_COUNTS_H

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

inline void write_counts(const char* variable, const char* line)
{
    const char* path = std::getenv(variable);
    if (path == nullptr)
        return;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    const std::size_t length = std::strlen(line);
    if (::write(fd, line, length) != static_cast<ssize_t>(length))
        ::unlink(path);
    ::close(fd);
}

#endif
