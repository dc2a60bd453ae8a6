// The command line as people type it: switches written with one dash or two,
// and, when no input is named, a usage line with a hint at what was meant.
#ifndef LCDUMP_USAGE_H
#define LCDUMP_USAGE_H

#include <cstdio>

#include "options.h"

// Whether the switch name (given without dashes) is on: -name on the command
// line or name in the option file, as OptionSet sees them, or --name on the
// command line. Only switches have the second spelling: an option that takes
// a value keeps its one, so an option file's "-in x" line stays no input.
bool switch_given(OptionSet& options, int argc, char** argv, const char* name);

// For a run that names no input: writes what the command line probably meant
// (a bare word naming an existing file, --in FILE, -in=FILE, --in=FILE and
// the same of -file), if anything, then the usage line with every option, to
// messages. Returns the exit status of a failed run.
int fail_usage(int argc, char** argv, std::FILE* messages);

#endif
