// The speed floor for a dump that flushes every line: read the file in large
// blocks, format each line with std::to_chars and hand it to write(2) in one
// call. It skips all that a real tool must do (byte order, errors, keeping
// the records), so a correct dump can come close to it but hardly beat it.
#include <fcntl.h>
#include <unistd.h>

#include "to_chars_line.h"

namespace {

// Fills buffer from fd as far as the file allows; a short count means the end.
std::size_t read_full(int fd, unsigned char* buffer, std::size_t size)
{
    std::size_t done = 0;
    for (ssize_t got; done < size && (got = ::read(fd, buffer + done, size - done)) > 0;)
        done += static_cast<std::size_t>(got);
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int fd = ::open(argv[1], O_RDONLY);
    unsigned char header[4];
    if (fd < 0 || read_full(fd, header, sizeof header) != sizeof header)
        return 1;
    std::int32_t count = to_chars_line::field<std::int32_t>(header, 0);
    char line[1024];
    char* end = to_chars_line::put(line, count);
    *end++ = '\n';
    if (::write(1, line, static_cast<std::size_t>(end - line)) < 0)
        return 1;

    static unsigned char block[40 * 1638];
    for (std::int32_t n = 0; n < count;) {
        std::size_t records = read_full(fd, block, sizeof block) / 40;
        if (records == 0)
            return 1;
        for (const unsigned char* r = block; r < block + 40 * records && n < count; r += 40, ++n) {
            end = to_chars_line::format(r, line);
            if (::write(1, line, static_cast<std::size_t>(end - line)) < 0)
                return 1;
        }
    }
    return 0;
}
