// How the command meets signals: SIGINT and SIGTERM end the run with a log line after the
// files being written are removed; a file-size limit makes writes fail instead of killing.
#pragma once

namespace vsf::host {

// Call once, first in main.
void installSignalHandling();

}  // namespace vsf::host
