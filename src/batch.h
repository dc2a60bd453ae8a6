// Many files in one run: every measurement file named in a list dumped into
// a file of its own, each written whole or not at all, the run going on past
// the files that fail.
#ifndef LCDUMP_BATCH_H
#define LCDUMP_BATCH_H

#include <cstdio>

#include "writer.h"

// Dumps, in form, every file named in list_name, one name a line ("-":
// standard input; empty lines skipped, a trailing CR dropped), each into its
// name with the last extension made .txt, .csv or .fits, beside it or in
// outdir when that is not null. Each output is written under a temporary
// name, .NAME.lcdump-tmp beside the final NAME, and renamed into place once
// complete. A file that fails gets its one-line message and leaves nothing;
// after any failure, one more line counts them, and the run returns 8.
// With form.stats, no file is written: the summary rows go to standard
// output under one header row, and an output that fails ends the run.
int dump_list(const char* list_name, const char* outdir, const OutputForm& form, std::FILE* messages);

#endif
