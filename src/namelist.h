// The names of a -list run: the list read whole, one name a line, before
// anything is converted.
#ifndef LCDUMP_NAMELIST_H
#define LCDUMP_NAMELIST_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The list's names, read whole before anything is converted so that no
// output can replace a file named further on: one buffer, each name ending
// in its NUL, which no name can hold.
class NameList {
public:
    void add(const std::string& name)
    {
        starts_.push_back(text_.size());
        text_.append(name.c_str(), name.size() + 1);
    }
    std::size_t size() const { return starts_.size(); }
    const char* operator[](std::size_t i) const { return text_.c_str() + starts_[i]; }

private:
    std::string text_;
    std::vector<std::size_t> starts_;
};

// Reads every name of list into names: one name a line, empty lines
// skipped, a CR before the newline (or at the end) dropped. A line that
// holds a NUL byte or is longer than a file name can be, and a list that
// cannot be read, fail the whole list, with one message that names it as
// list_name. 0, or the failure status after the message, before anything
// is converted.
int read_list(std::FILE* list, const char* list_name, NameList& names, std::FILE* messages);

#endif
