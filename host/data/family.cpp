// The data-set family of our host over CSV files.
#include <fmt/format.h>

#include <mutex>
#include <set>
#include <string>

#include "host/data/dataset_internal.h"
#include "host/session.h"

namespace vsf::host {

void issueError(const std::string& text, bool ofGroup) {
  session().log.write("ERROR", text, ofGroup);
}

bool resolveOrReport(std::string_view name, DataSetName* out, uint32_t* status) {
  std::string error;
  if (resolveName(name, out, &error)) return true;
  issueError(error);
  if (status) *status = hs::kVarNotFound;
  return false;
}

namespace {
std::mutex gFailuresMutex;
std::set<std::string> gStepFailures;
}  // namespace

void failStep(const std::string& text, bool ofGroup) {
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(gFailuresMutex);
    first = gStepFailures.insert(text).second;
  }
  if (first) issueError(text, ofGroup);
  hostVector()->proc->endStep(step::kInternal, 0);
  throw StepEnd{step::kInternal};  // endStep does not return
}

void forgetStepFailures() {
  std::lock_guard<std::mutex> lock(gFailuresMutex);
  gStepFailures.clear();
}

namespace {

HostDataSet* open(std::string_view name, int direction, uint32_t* status) {
  if (direction == kDsOutput) return outCreate(name, 0, status);
  return openInput(name, status);
}

std::string lastName() { return session().lastDataSet; }

void close(HostDataSet* ds) {
  if (InputDataSet* in = asInput(ds))
    closeInput(in);
  else if (ds)
    outClose(ds, true);
}

}  // namespace

const HostDsFamily kDsFamily = [] {
  HostDsFamily f{};
  f.open = open;
  f.lastName = lastName;
  f.close = close;
  f.setBy = setBy;
  f.nextByGroup = nextByGroup;
  f.mode = setMode;
  f.setup = setupGroups;
  f.start = start;
  f.readNext = readNext;
  f.cloneReader = cloneReader;
  f.seekObs = seekObs;
  f.findVar = findVar;
  f.varByNumber = varByNumber;
  f.attr = attr;
  f.getNum = getNum;
  f.getChar = getChar;
  f.currentNumbers = currentNumbers;
  f.keepParsed = keepParsed;
  f.getFormatted = getFormatted;
  f.bindBegin = bindBegin;
  f.bindVar = bindVar;
  f.bindEnd = bindEnd;
  f.expandList = expandList;
  f.verify = verify;
  f.check = check;
  f.outCreate = outCreate;
  f.outCarry = outCarry;
  f.outVarAdd = outVarAdd;
  f.outReady = outReady;
  f.outLabel = outLabel;
  f.append = append;
  f.outClose = outClose;
  f.outProcessors = outProcessors;
  return f;
}();

}  // namespace vsf::host
