// Statement parsing services: no statements are parsed yet.
#include "host/session.h"

namespace vsf::host {

namespace {

int run(const GrammarDescriptor*, int, const ParseCallbacks*) { return 0; }
StatementRecord* none() { return nullptr; }
int errorCount() { return 0; }
void clearErrorCount() {}

}  // namespace

const HostParseFamily kParseFamily = {run, none, none, errorCount, clearErrorCount};

}  // namespace vsf::host
