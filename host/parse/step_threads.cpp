// The threads a step's PERFORMANCE statement allows the host's own work of the step (the check
// of a CSV file it opens, the blocks read ahead): the data sets are opened as the PROC
// statement is parsed, before the procedure has read PERFORMANCE, so its tokens are read first.
#include <strings.h>

#include <algorithm>
#include <thread>

#include "host/parse/parse_internal.h"
#include "host/session.h"

namespace vsf::host::parse {

namespace {

bool is(const Token& t, const char* word) {
  return (t.cls == TokenClass::kName || t.word) && ::strcasecmp(t.pub.text.c_str(), word) == 0;
}

int machine() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

struct Said {
  bool any = false, on = false, off = false;
  int count = 0;  // 0: the host's
};

// The options of one PERFORMANCE statement, from the token after its name to its ';'.
Said readStatement(const std::vector<Token>& tokens, size_t* k) {
  Said said;
  for (; *k < tokens.size() && tokens[*k].cls != TokenClass::kEndStatement &&
         tokens[*k].cls != TokenClass::kEnd;
       ++*k) {
    const Token& t = tokens[*k];
    const bool valued = *k + 2 < tokens.size() && tokens[*k + 1].pub.text == "=";
    const Token& value = valued ? tokens[*k + 2] : t;
    if (is(t, "NOTHREADS") || (is(t, "THREADS") && valued && is(value, "NO"))) {
      said.any = said.off = true;
    } else if (is(t, "THREADS")) {
      said.any = said.on = true;
    } else if (is(t, "CPUCOUNT") && valued) {
      said.any = true;
      said.count = value.cls == TokenClass::kInteger ? static_cast<int>(value.pub.number)
                   : is(value, "MIN")                ? 1
                                                     : machine();  // MAX, ACTUAL
    }
  }
  return said;
}

}  // namespace

int performanceThreads(const std::vector<Token>& tokens) {
  Said said;  // the last statement's, as the procedure takes it
  for (size_t k = 0; k < tokens.size(); ++k)
    if ((k == 0 || tokens[k - 1].cls == TokenClass::kEndStatement) &&
        is(tokens[k], "PERFORMANCE")) {
      ++k;
      said = readStatement(tokens, &k);
    }
  if (!said.any) return 0;
  const SystemOptions& o = session().options;
  if (said.off || !(said.on || o.threads)) return 1;
  const int count = said.count > 0 ? said.count : o.cpuCount;
  return count > 0 ? std::min(count, kMaxCpuCount) : machine();
}

}  // namespace vsf::host::parse
