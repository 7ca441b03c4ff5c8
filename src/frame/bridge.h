// The post-fit bridge: the sibling module "zanmodbr" that serves the CODE and STORE
// statements, its object with the method table, and the statement texts kept for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/host/parse.h"

namespace vsf {

struct ZDesign;
struct ZLevCtx;
struct HostObject;
struct BridgeObject;
struct VsfState;
struct SelectionState;
struct HostPool;

// The statements of a step as written, one entry per statement, each ending with ";".
struct StatementCapture {
  std::string text;  // the text record: the statement being kept (grows as needed)
  int32_t count = 0;
  std::vector<std::string> statements;
};

// The module's methods, by their slot in its method table; a null method is skipped.
struct BridgeMethodTable {
  int (*close)(BridgeObject* object, int argument) = nullptr;            // slot 0
  int (*start)(BridgeObject* object, int mode, int argument) = nullptr;  // slot 1
  int (*afterHandOver)(BridgeObject* object, int argument) = nullptr;    // slot 4
  int (*setItem)(BridgeObject* object, int32_t key, const void* value,
                 int argument) = nullptr;                              // slot 5
  int (*groupHook)(BridgeObject* object) = nullptr;                    // slot 8
  int (*run)(BridgeObject* object) = nullptr;                          // slot 9
  int (*designHook)(BridgeObject* object, ZDesign* design) = nullptr;  // slot 16
};

// The module's fit record: the levelization context the set-up stores, and the block where
// the hand-over stores the mean square error and the error degrees of freedom.
struct BridgeFitRecord {
  ZLevCtx* levelization = nullptr;
  double block[8] = {};  // [1] mean square error, [4] error degrees of freedom
};

// The module's settings record: the output manager and the template names.
struct BridgeSettingsRecord {
  HostObject* manager = nullptr;
  char rootName[32] = {};
  int32_t rootLength = 0;
  char templateName[32] = {};
  int32_t templateLength = 0;
};

struct BridgeObject {
  int32_t status = 0;                   // merged into the step code after the hand-over
  void* module = nullptr;               // the module handle
  void* handOverWord = nullptr;         // cleared by the hand-over before every run
  StatementCapture* capture = nullptr;  // only while the module starts
  // Settings bytes the main set-up writes when a bridge exists.
  uint8_t noPrint = 0;        // NOPRINT given
  uint8_t graphicsOff = 0;    // graphics are off
  uint8_t methodNotNone = 0;  // the method is not NONE
  uint8_t always[5] = {};     // set in every step with a bridge
  const BridgeMethodTable* methods = nullptr;
  BridgeFitRecord* fit = nullptr;
  BridgeSettingsRecord* settings = nullptr;
};

// The module loader. The sibling module is not part of this program: a module is found only
// when one was registered under its name (the tests register a recorder), so a step that needs
// it goes on as the host does when the module cannot be loaded.
using BridgeInitialiser = int (*)(BridgeObject* object, void** out);
// Registers the initialiser of a module by name; a null initialiser removes the module.
void bridgeModuleRegister(const char* name, BridgeInitialiser initialiser);
// 0 and the module's handle, or nonzero when no module has the name.
[[nodiscard]] int bridgeModuleLoad(const char* name, void** handle);
[[nodiscard]] int bridgeModuleInterface(void* handle, BridgeInitialiser* initialiser);

// Hands the selected model of a fit to the bridge (allocations from the given pool, the
// selection's model pool): 0, or rc::kMemory for a failed allocation or a design without effects.
// An empty model is handed over as empty.
[[nodiscard]] int passSelectedModel(VsfState* state, SelectionState* sel, HostPool* pool);
// The group's selected model to the bridge when the step has one (after the fit, and at the
// end of the refit pass of model averaging); on a failure the selection's model pool goes.
// 0 or the failure's code.
[[nodiscard]] int handOverSelectedModel(VsfState* state);

// Parses the step between the host parser and the procedure's callbacks, keeps the statements'
// texts, and loads the sibling module when the step needs it.
BridgeObject* zbridge(VsfState* state, const GrammarDescriptor* grammar,
                      const ParseCallbacks* procedure);

}  // namespace vsf
