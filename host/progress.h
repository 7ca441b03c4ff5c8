// Progress of long work (the data read, the passes over the stored rows, the steps of a
// selection) on standard error when it is a terminal: one line, rewritten in place at most ten
// times a second and cleared before anything else is written there. Never when standard error
// is a file or a pipe.
#pragma once

#include <string_view>

namespace vsf::host {

// Shows the line, when progress is shown and the last one has stood long enough.
void showProgress(std::string_view text);
// Clears the line shown, before other output goes to the terminal.
void clearProgress();
// Whether progress is shown: standard error is a terminal (tests may say otherwise).
bool progressShown();
void setProgressShown(bool shown);

}  // namespace vsf::host
