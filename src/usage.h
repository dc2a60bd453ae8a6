// The command line as people type it: switches written with one dash or two,
// near-misses of a switch caught before any output, and, when no input is
// named, a usage line with a hint at what was meant.
#ifndef LCDUMP_USAGE_H
#define LCDUMP_USAGE_H

#include <cstdio>

#include "options.h"

// Whether the switch name (given without dashes) is on: -name anywhere in
// the word list, or --name on the command line (its first argc words). A
// word that stands as the value of -in or -file is a name, never a switch.
bool switch_given(OptionSet& options, int argc, const char* name);

// Checks the command line for a word that is close to a known option but is
// none: another case (-Fits), one edit away from a name of three letters or
// more (-fit, -cvs, -exat), a value attached with '=' (--fits=yes, -file=x)
// or an option that takes a value written with two dashes (--file x). Writes
// the one line that says what was meant to messages and returns the exit
// status of a failed run; 0 when there is nothing to say. Values of -in and
// -file are names, and words not close to any option stay ignored.
int fail_near_miss(int argc, char** argv, std::FILE* messages);

// For a run that names no input: writes what the command line probably meant
// (a bare word naming an existing file, --in FILE, -in=FILE, --in=FILE and
// the same of -file), if anything, then the usage line with every option, to
// messages. Returns the exit status of a failed run.
int fail_usage(int argc, char** argv, std::FILE* messages);

#endif
