#include "interrupt.h"

#include <csignal>
#include <cstdlib>

#include "diagnostics.h"

namespace {

volatile std::sig_atomic_t noted = 0;

const int STOPPING_SIGNALS[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

}  // namespace

extern "C" {
// Nothing but the note: no other work is safe in a signal handler.
static void note_signal(int signal_number)
{
    noted = signal_number;
}
}

void catch_interruptions()
{
    for (int signal_number : STOPPING_SIGNALS)
        if (std::signal(signal_number, note_signal) == SIG_IGN)
            // nohup, or a job started in the background by a script.
            std::signal(signal_number, SIG_IGN);
}

int interruption()
{
    return noted;
}

void end_by_interruption()
{
    const int signal_number = noted;
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    // Not reached: the default action of each of these signals ends the
    // process, and one that is blocked could not have been noted.
    std::_Exit(FAILURE_STATUS);
}
