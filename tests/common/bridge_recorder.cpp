// The recording module: it answers the method table of the bridge and records what it
// receives. Storing a model for later use is not its job.
#include "common/bridge_recorder.h"

#include <cstring>

#include "effects/effects.h"
#include "frame/bridge.h"

namespace vsf {

namespace {

BridgeModuleRecord& record() {
  static BridgeModuleRecord r;
  return r;
}

// The module's records of one object; the fit record comes first, so the object's fit
// pointer leads back to it.
struct ModuleState {
  BridgeFitRecord fit;
  BridgeSettingsRecord settings;
};

int close(BridgeObject* object, int) {
  ++record().closes;
  delete reinterpret_cast<ModuleState*>(object->fit);
  object->fit = nullptr;
  object->settings = nullptr;
  return 0;
}

int start(BridgeObject* object, int, int) {
  BridgeModuleRecord& r = record();
  ++r.starts;
  if (!object->capture) return 1;  // nothing to store
  r.statements = object->capture->statements;
  return 0;
}

int afterHandOver(BridgeObject*, int) {
  ++record().handOvers;
  return 0;
}

int setItem(BridgeObject*, int32_t key, const void* value, int) {
  record().itemKeys.push_back(key);
  if (key == 3) record().pendingEstimates = static_cast<const double*>(value);
  return 0;
}

int groupHook(BridgeObject*) {
  ++record().groupHooks;
  return 0;
}

// The estimates are as many as the columns of the design the levelization context holds
// while the module runs: the reduced design of the selected effects.
int run(BridgeObject* object) {
  BridgeModuleRecord& r = record();
  ++r.runs;
  const ZLevCtx* lev = object->fit ? object->fit->levelization : nullptr;
  if (r.pendingEstimates && lev && lev->design)
    r.estimates.emplace_back(r.pendingEstimates, r.pendingEstimates + lev->design->columnCount);
  r.pendingEstimates = nullptr;
  return 0;
}

int designHook(BridgeObject*, ZDesign*) {
  ++record().designHooks;
  return 0;
}

const BridgeMethodTable kMethods = [] {
  BridgeMethodTable t;
  t.close = close;
  t.start = start;
  t.afterHandOver = afterHandOver;
  t.setItem = setItem;
  t.groupHook = groupHook;
  t.run = run;
  t.designHook = designHook;
  return t;
}();

// The initialiser: the method table, the fit record and the settings record.
int initialise(BridgeObject* object, void** out) {
  auto* state = new ModuleState();
  std::memcpy(state->settings.rootName, "Stat", 4);
  state->settings.rootLength = 4;
  std::memcpy(state->settings.templateName, "VarSifter", 9);
  state->settings.templateLength = 9;
  object->methods = &kMethods;
  object->fit = &state->fit;
  object->settings = &state->settings;
  if (out) *out = state;
  return 0;
}

}  // namespace

BridgeModuleRecord& bridgeModuleRecord() {
  bridgeModuleRegister("zanmodbr", initialise);
  return record();
}

void bridgeRecorderRemove() { bridgeModuleRegister("zanmodbr", nullptr); }

}  // namespace vsf
