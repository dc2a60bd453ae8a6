// The command line: one table of every option, from which come the usage
// line, the help, the switch lookups and the hints at what a mistyped
// command line meant; then the dump it asks for.
#ifndef LCDUMP_CLI_H
#define LCDUMP_CLI_H

// The whole program: options, then the dump (or the help or version when no
// file is named). Returns the exit status.
int run_lcdump(int argc, char** argv);

#endif
