// The input of a dump: a named file or standard input opened for reading,
// its record count read and checked against its size, what it looks like
// when it is no measurement file, and every message about it.
#ifndef LCDUMP_INPUT_H
#define LCDUMP_INPUT_H

#include <cstdint>
#include <cstdio>

#include "measurement.h"

// Opens filename for reading, with the buffer every dump reads through; or
// writes why it can't to messages and gives null.
std::FILE* open_input(const char* filename, std::FILE* messages);

// Standard input, made ready as open_input makes a file.
std::FILE* standard_input();

// Other kinds of file that people hand lcdump by mistake, told by their
// first bytes: a remark on what it looks like, and where the remark ends in
// a command on the input, what follows the input's name in it.
struct Lookalike {
    const char* remark;
    const char* command_end;
};

// One input, from its record count to its last record, read through a
// RecordReader; name is the input as given, for the messages.
class Input {
public:
    Input(std::FILE* in, const char* name);

    // Reads the record count and checks it: 0, or the failure status after
    // the message (no memory for the reader, no count, a negative one, a
    // file too short for it), before anything has been written.
    int start(std::FILE* messages);

    std::int32_t count() const { return count_; }
    const char* name() const { return name_; }

    // Whether every record must have come before any is written: from a
    // pipe, which cannot be sized, input that looks like something else is
    // held until its last record, then dumped, or reported with nothing
    // written. Other input streams as it comes, so that a stream cut short
    // still gives the records it has.
    bool hold() const { return size_ < 0 && *kind_.remark != '\0'; }

    // The bytes of the record after the taken ones; null, after the
    // message, when the input ends or fails first.
    const unsigned char* next(std::int32_t taken, std::FILE* messages);

private:
    const char* name_;
    // Measured before the first read, from where the input stands; -1 when
    // it can't be.
    long long size_;
    RecordReader reader_;
    Lookalike kind_ = {"", nullptr};
    std::int32_t count_ = 0;
};

#endif
