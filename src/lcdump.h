// Dumping a light-curve measurement file: as text, the record count on the
// first line, then one line per 40-byte record, each written as soon as it
// has been read; or as a FITS binary table once every record has been read.
#ifndef LCDUMP_LCDUMP_H
#define LCDUMP_LCDUMP_H

#include <cstdio>
#include <string>

#include "forms.h"

// Reads the measurement file from in and writes its dump to out. Returns 0,
// or 8 after writing the one-line message to messages; a text dump then holds
// the count line and every complete record, nothing more, and a FITS dump
// nothing at all. Nothing here allocates but the reader's block, the record
// store and the FITS writer's buffer, whose exhaustion gives
// "Error: out of memory". A failed write names output_name, when given, as
// the file that could not be written. A FITS dump names its source in the
// header: name's last component, or "standard input" for "-".
int dump_measurements(std::FILE* in, const char* name, std::FILE* out, std::FILE* messages,
                      const OutputForm& form = OutputForm(), const char* output_name = nullptr);

// Where a dump of input in form goes when it goes to a file: the input's
// last component with its last extension (not a leading dot) made the
// form's, in outdir or, for a null outdir, beside the input.
std::string output_for(const std::string& input, const char* outdir, const OutputForm& form);

// Refuses a binary form on a terminal, where it would be garbage at best
// and a crafted file could send it control sequences, with the command that
// writes it to a file: "lcdump SOURCE_SWITCH FILENAME -FORM ... > OUTPUT".
int fail_binary_to_terminal(const char* source_switch, const char* filename, const OutputForm& form,
                            std::FILE* messages);

// Opens filename, "-" being a file of that name, and dumps it as above;
// with its message when it can't be opened.
int dump_named_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form);

// Opens filename, or takes standard input for "-", and dumps it as above;
// a binary form to a terminal fails before anything is read.
int dump_file(const char* filename, std::FILE* out, std::FILE* messages, const OutputForm& form = OutputForm());

#endif
