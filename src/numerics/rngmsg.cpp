// The generator's message gate: severity and display level from the name/value store, and
// counters that stop notes and errors after 100 each.
#include "base/host.h"
#include "base/hostcalls.h"
#include "numerics/rng_internal.h"

namespace vsf {

int zrngmsg(int kind, uint32_t code, std::initializer_list<MsgArg> args) {
  if (!kernel().logStatus) return 0;
  int severity = kind;
  if (kind < 2) {
    severity = hxnrlook(
        "OSENV.ZAN_RNG_SEVERITY", kind,
        {{"ERROR", 4}, {"WARN", 3}, {"WARNING", 3}, {"NOTE", 2}, {"CHANGE", 1}, {"ZERO", 0}});
    if (severity < 2) {
      int display = hxnrlook("OSENV.ZAN_RNG_MESSAGES", 1,
                             {{"NO", 9},
                              {"NONE", 9},
                              {"ERROR", 4},
                              {"ERRORS", 4},
                              {"WARN", 3},
                              {"WARNING", 3},
                              {"WARNINGS", 3},
                              {"CHANGE", 1},
                              {"CHANGED", 1},
                              {"CHANGES", 1},
                              {"NOTE", 0},
                              {"NOTES", 0},
                              {"YES", 0},
                              {"ALL", 0}});
      if (severity < display) return 0;
      severity = 2;
    }
  }
  if (severity < 2) severity = 2;
  const char* counter = severity == 2 ? "OSENV.ZAN_RNG_NOTE_LIMIT" : "OSENV.ZAN_RNG_ERROR_LIMIT";
  if (hxnrlimit(counter, 100) < 0) return 0;
  int status = kernel().logStatus(severity, code, args.begin(), static_cast<int>(args.size()));
  if (status != 0) zmsgfwd(4, static_cast<uint32_t>(status), {});
  return status;
}

}  // namespace vsf
