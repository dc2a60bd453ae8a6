// An output file made whole or not at all: written under an exclusive
// temporary name beside it, then renamed into place, or removed.
#ifndef LCDUMP_OUTPUTFILE_H
#define LCDUMP_OUTPUTFILE_H

#include <cstdio>
#include <string>

// One output of a run, from its making to its place. It is written under a
// temporary name of its own, .lcdump- and 12 hexadecimal digits in the
// output's directory (so that the rename stays on one file system), created
// exclusively, so that no link there can redirect it and no other run can
// share it; then it is closed, checked, and renamed into place whole, or
// removed.
class OutputFile {
public:
    explicit OutputFile(std::string name);
    // Removes the temporary unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary; false, with errno set, when it can't.
    bool create();
    std::FILE* stream() const { return stream_; }
    const std::string& name() const { return name_; }
    const std::string& temporary() const { return temporary_; }

    // Closes the temporary, which a file system may refuse only then, and
    // renames it to the final name, over a file already there only when
    // replace; false, with errno set (EEXIST for a file there and not
    // replaced), and the temporary gone, when either failed.
    bool commit(bool replace);

    // Closes and removes the temporary.
    void discard();

private:
    std::string name_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
};

#endif
