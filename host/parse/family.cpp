// Statement parsing services: no statements are parsed yet.
#include "host/session.h"

namespace vsf::host {

namespace {

int run(const GrammarDescriptor*, int, const ParseCallbacks*) { return 0; }
StatementRecord* none() { return nullptr; }
int errorCount() { return 0; }
void clearErrorCount() {}

}  // namespace

const HostParseFamily kParseFamily = [] {
  HostParseFamily f{};
  f.run = run;
  f.procedureRecord = none;
  f.firstStatement = none;
  f.errorCount = errorCount;
  f.clearErrorCount = clearErrorCount;
  return f;
}();

}  // namespace vsf::host
