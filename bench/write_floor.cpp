// The floor that flushing every line sets: the dump's text, made beforehand
// (lcbench writes it with printf), handed to write(2) one line a call. No
// record is read and no number formatted, so what is left is the cost of a
// system call a line; a dump that flushes each line cannot go below it.
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int fd = ::open(argv[1], O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return 1;
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    if (size == 0)
        return 0;
    // Mapped and faulted in at once, the text is in memory before the first
    // write, for less than reading it into a buffer of our own would cost.
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED)
        return 1;
    const char* line = static_cast<const char*>(map);
    const char* const end = line + size;
    while (line < end) {
        const void* newline = std::memchr(line, '\n', static_cast<std::size_t>(end - line));
        const char* next = newline ? static_cast<const char*>(newline) + 1 : end;
        if (::write(1, line, static_cast<std::size_t>(next - line)) != next - line)
            return 1;
        line = next;
    }
    return 0;
}
