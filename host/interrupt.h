// How the command meets signals: SIGINT and SIGTERM, SIGHUP (a closed terminal or session),
// SIGUSR1 and SIGUSR2, SIGQUIT, and the limits' SIGXCPU, SIGALRM and SIGVTALRM end the run with
// a log line after the files being written are removed, within a second whatever its writes
// wait for; a file-size limit and a closed pipe make writes fail (and say so) instead of
// killing.
#pragma once

namespace vsf::host {

// Call once, first in main.
void installSignalHandling();

// The run's exit status, unless a signal is ending it: then this waits for the end the signal
// makes (its own status).
int statusUnlessInterrupted(int status);

}  // namespace vsf::host
