// Many files in one run: each measurement file a list names dumped into a file
// of its own, whole or not at all, never over a file the run reads, nor over
// one it did not make unless told to; the run goes on past the files that fail.
#ifndef LCDUMP_BATCH_H
#define LCDUMP_BATCH_H

#include <cstdio>

#include "forms.h"

// What a run over a list is asked to do.
struct ListRequest {
    const char* list_name = "-";  // "-": standard input
    // The outputs' directory; null: each output beside its input.
    const char* outdir = nullptr;
    // The outdir is a survey's page: made if missing, it gets a picture of
    // each input, their summary table and the page that shows them.
    bool report = false;
    // With outdir: each input's own directories kept under it.
    bool mirror = false;
    // An output that exists already is replaced (never a file the run reads).
    bool force = false;
    // The option file the run read, if any, which no output may replace.
    const char* option_file = nullptr;
    OutputForm form;
};

// Reads the whole list named by request (one name a line; empty lines
// skipped, a trailing CR dropped), then dumps, in the request's form, each
// file it names into its name with the last extension made .txt, .csv or
// .fits, beside it or under outdir, by way of an OutputFile (outputfile.h). A file that
// fails gets its one-line message and leaves nothing; after any failure,
// one more line counts them, and the run returns 8. With form.stats, no
// file is written: the summary rows go to standard output under one header
// row, and an output that fails ends the run. SIGINT, SIGTERM and SIGHUP
// stop the run at the next record, with the temporary removed, a line that
// says how far it got, and death by the same signal.
int dump_list(const ListRequest& request, std::FILE* messages);

#endif
