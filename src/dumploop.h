// The read loop of every dump: the records behind the count, each decoded
// once and handed to the form's writer as it arrives, or all at the end
// when the input must be seen whole first.
#ifndef LCDUMP_DUMPLOOP_H
#define LCDUMP_DUMPLOOP_H

#include <cstdint>
#include <cstdio>

#include "diagnostics.h"
#include "forms.h"
#include "input.h"
#include "interrupt.h"
#include "measurement.h"

// After a writer's false: which of its two failures it was.
template <class Writer>
int fail_writer(const Writer& writer, const DumpTarget& target, std::FILE* messages)
{
    return writer.out_of_memory() ? fail_out_of_memory(messages) : fail_output(messages, target.output_name);
}

// Dumps the records of input with a Writer made from target. A writer that
// writes as it goes gets each record as it has been read, unless the input
// must be held, when the loop keeps them and hands them over once the last
// has come. Whatever the form, the input is read and its faults are
// reported the same way.
template <class Writer>
int dump_with(Input& input, const DumpTarget& target, std::FILE* messages)
{
    Writer writer(target);
    const bool whole_input = target.form.info->whole_input();
    const bool hold = input.hold() && !whole_input;
    if (!hold && !writer.begin(input.count()))
        return fail_writer(writer, target, messages);
    FieldArrays held;
    for (std::int32_t n = 0; n < input.count(); ++n) {
        // A run asked to stop leaves between records, with nothing said:
        // the caller tidies up and tells how far it got.
        if (interruption() != 0)
            return FAILURE_STATUS;
        const unsigned char* bytes = input.next(n, messages);
        if (bytes == nullptr)
            return FAILURE_STATUS;
        const Measurement m = decode_record(bytes);
        if (!whole_input && !held.append(m))
            return fail_out_of_memory(messages);
        if (!hold && !writer.record(m))
            return fail_writer(writer, target, messages);
    }
    if (hold && !(writer.begin(input.count()) && held.each([&](const Measurement& m) { return writer.record(m); })))
        return fail_writer(writer, target, messages);
    if (interruption() != 0)
        return FAILURE_STATUS;
    if (!writer.finish())
        return fail_writer(writer, target, messages);
    return 0;
}

#endif
