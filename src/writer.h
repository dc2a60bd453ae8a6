// What every writer of a dump promises, and the choice of one. Writers are
// plain classes picked once by a template, never through virtual calls.
#ifndef LCDUMP_WRITER_H
#define LCDUMP_WRITER_H

// The dump calls, on one writer and in this order:
//   begin(count)  once, with the record count from the file, before any
//                 record;
//   record(m)     once per record, in file order, as each arrives;
//   finish()      once, after the last record.
// Each returns false when it failed; the dump then calls nothing more and
// reports, by out_of_memory(), either "out of memory" or the output's error
// (errno). A writer whose holds_records is false writes as it goes (a
// record's line leaves before the next record is read), and the dump keeps
// the records for it, so that input which must be seen whole first can be
// handed over at the end. One whose holds_records is true keeps every record
// itself, writes nothing before finish(), and needs no copy kept.

// How records are written. By default: the count line, then values as "%d"
// and "%f" write them, separated by single spaces.
struct OutputForm {
    // A header row of the field names instead of the count line, and commas
    // between the values.
    bool csv = false;
    // Floating-point values in the shortest text that reads back to the same
    // bits (float fields as binary32, JD as binary64); may use an exponent.
    bool exact = false;
    // A FITS binary table instead of text, each value in its own binary
    // type; csv and exact then change nothing.
    bool fits = false;
    // One CSV row of summary figures instead of the records; the other
    // forms do not go with it.
    bool stats = false;
    // With stats, the header row before the row; false for a caller that
    // puts many rows under one header.
    bool stats_header = true;
};

#endif
