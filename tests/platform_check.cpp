// Creating, renaming and telling files apart as the platform layer promises,
// checked on the system this runs on (Windows under wine, other processors
// under qemu, by windows_parity.sh), in the current directory: one line a
// check, then "N passed, N failed", and status 1 if any failed.
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "outputfile.h"
#include "platform.h"

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what)
{
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

std::string contents(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : "(none)";
}

void write(const char* name, const char* text)
{
    std::ofstream(name, std::ios::binary) << text;
}

}  // namespace

int main()
{
    // The same bytes as on every other system, "\n" not "\r\n".
    use_binary_mode(stdout);
    write("taken", "precious\n");
    errno = 0;
    std::FILE* over = create_new_file("taken");
    check(over == nullptr && errno == EEXIST, "an existing name is refused");
    check(contents("taken") == "precious\n", "and what it holds is untouched");

    std::FILE* fresh = create_new_file("fresh");
    check(fresh != nullptr && std::fputs("fresh\n", fresh) >= 0 && std::fclose(fresh) == 0, "a new name is made");
    check(contents("fresh") == "fresh\n", "and written in binary");

    errno = 0;
    check(!rename_no_replace("fresh", "taken") && errno == EEXIST, "a rename onto an existing name is refused");
    check(contents("taken") == "precious\n" && contents("fresh") == "fresh\n", "and both files are as they were");
    check(rename_no_replace("fresh", "moved") && contents("moved") == "fresh\n" && contents("fresh") == "(none)",
          "a rename onto a free name moves the file");
    check(replace_file("moved", "taken") && contents("taken") == "fresh\n", "replace_file replaces");

    FileIdentity a, b, c;
    write("other", "other\n");
    check(identify_file("taken", a) && identify_file("./taken", b) && a == b, "two names of one file, one identity");
    check(identify_file("other", c) && !(a == c), "two files, two identities");
    check(!identify_file("missing", c), "no file, no identity");

    {
        OutputFile first("taken"), second("taken");
        check(first.create() && second.create() && first.temporary() != second.temporary(),
              "two outputs of one name get temporaries of their own");
        std::fputs("first\n", first.stream());
        const std::string temporary = first.temporary();
        errno = 0;
        check(!first.commit(false) && errno == EEXIST && contents("taken") == "fresh\n",
              "an output is not put over an existing file unasked");
        check(contents(temporary.c_str()) == "(none)", "and its temporary is gone");
        std::fputs("second\n", second.stream());
        check(second.commit(true) && contents("taken") == "second\n", "with replace, it is");
    }
    std::remove("taken");
    std::remove("other");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
