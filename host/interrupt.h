// How the command meets signals: SIGINT and SIGTERM, and SIGHUP (a closed terminal or session),
// SIGUSR1 and SIGUSR2 likewise, end the run with a log line after the files being written are
// removed; a file-size limit and a closed pipe make writes fail (and say so) instead of
// killing.
#pragma once

namespace vsf::host {

// Call once, first in main.
void installSignalHandling();

}  // namespace vsf::host
