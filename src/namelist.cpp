#include "namelist.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "diagnostics.h"

namespace {

// No file name is longer on the systems lcdump runs on; a longer line is
// no name, and reading it whole could take all the memory there is.
const std::size_t MAX_NAME_BYTES = 4096;

// "Error: LIST: line N" + what, for a list line that is no name.
int fail_list_line(std::FILE* messages, const char* list_name, std::uint64_t line, const char* what)
{
    return fail(messages, "Error: ", list_name, {": line ", Piece::count(line), what});
}

}  // namespace

int read_list(std::FILE* list, const char* list_name, NameList& names, std::FILE* messages)
{
    std::string line;
    std::uint64_t number = 1;
    for (int c; (c = std::getc(list)) != EOF;) {
        if (c != '\n') {
            if (c == '\0')
                return fail_list_line(messages, list_name, number,
                                      " holds a NUL byte; a list holds one name a line, as find -print writes them");
            line += static_cast<char>(c);
            // A CR may still follow, to be dropped before a newline.
            if (line.size() > MAX_NAME_BYTES + 1)
                return fail_list_line(messages, list_name, number, " is longer than a file name can be (4,096 bytes)");
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > MAX_NAME_BYTES)
            return fail_list_line(messages, list_name, number, " is longer than a file name can be (4,096 bytes)");
        if (!line.empty())
            names.add(line);
        line.clear();
        ++number;
    }
    if (std::ferror(list) != 0) {
        // A directory opens on some systems and fails at the first read.
        if (errno == EISDIR)
            return fail(messages, "Error: ", list_name, {": the list is a directory"});
        return fail(messages, "Error: ", list_name, {": can't read: ", std::strerror(errno)});
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!line.empty())
        names.add(line);
    return 0;
}
