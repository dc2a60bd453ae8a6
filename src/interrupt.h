// Stopping a long run cleanly: a signal that asks the process to end is only
// noted, the work in hand stops at its next record and tidies up, and the
// process then ends by that signal, as if it had never been caught.
#ifndef LCDUMP_INTERRUPT_H
#define LCDUMP_INTERRUPT_H

// From here on, SIGINT, SIGTERM and, where there is one, SIGHUP are noted
// instead of ending the process; one that was ignored stays ignored.
void catch_interruptions();

// The signal noted, or 0.
int interruption();

// Ends the process by the signal noted, with its default action, so that
// the shell or the batch system sees the death it sent (130, 143).
[[noreturn]] void end_by_interruption();

#endif
