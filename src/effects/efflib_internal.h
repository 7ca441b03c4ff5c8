// The effects library's records: EffectRec (one effect of the MODEL statement) and ZEffLib
// (the library's state for a step), and the routines shared by its files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "effects/effects.h"
#include "frame/host/parse.h"

namespace vsf {

struct ThreadTreeNode;
struct ZTreeNode;

// A growable list of effect ids, kept in canonical order.
struct IdList {
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t* ids = nullptr;
};

// The lists of an EffectRec that zeffaddvar adds to: 1 and 5 continuous, 2 and 6 crossed,
// 3 nesting. Classes 5 and 6 are new names and EFFECT names.
namespace idlist {
constexpr int kCont = 1;
constexpr int kCross = 2;
constexpr int kNest = 3;
constexpr int kNewName = 5;
constexpr int kEffectName = 6;
}  // namespace idlist

struct EffectRec {
  EffectRec* link = nullptr;
  IdList cont;
  IdList cross;
  IdList nest;
  IdList nestValueVars;  // nesting by value: always empty here
  IdList nestValues;
  int32_t status = 0;
  int32_t kind = 0;
  char* name = nullptr;  // buffer of max(name length limit + 1, 25) characters
  int32_t nameLength = 0;
};

// Operator counters of one effect expression.
namespace op {
constexpr int kBar = 0;
constexpr int kRange = 1;      // a-b
constexpr int kRange2 = 2;     // a--b
constexpr int kRangeNum = 3;   // a-NUMERIC-b
constexpr int kRangeChar = 4;  // a-CHARACTER-b
constexpr int kPrefix = 5;     // a:
constexpr int kNumeric = 6;    // _NUMERIC_
constexpr int kCharacter = 7;  // _CHARACTER_
constexpr int kCount = 8;
}  // namespace op

struct ZEffLib {
  int32_t nameLimit = 20;
  int32_t mode = 1;
  int32_t termClass = 0;
  int32_t exprFlag = 0;
  EffectRec* current = nullptr;
  EffectRec* barHead = nullptr;
  EffectRec** barTail = &barHead;
  EffectRec* chainHead = nullptr;
  EffectRec** chainTail = &chainHead;
  int32_t prepared = 0;
  int32_t effectNameCount = 0;
  char** effectNames = nullptr;
  int32_t depth = 0;
  int32_t listStart = 0;
  int32_t action = 0;
  int32_t ops[op::kCount] = {};
  bool hasPrefix = false;
  std::string prefix;  // the name before ':'
  bool hasAfterStar = false;
  ParseToken afterStar;  // the token after a '*'
  int32_t fastSearch = 0;
  double handled = 0.0;  // effects handed to ADDEFF
  bool trace = false;
  // Fast search: referenced effects, the chain, the two variable lists (number -> position).
  ThreadTreeNode* refTree = nullptr;
  ZTreeNode* chainTree = nullptr;
  ThreadTreeNode* modelVarTree = nullptr;
  ThreadTreeNode* classTree = nullptr;
  bool listTreesBuilt = false;
  HostPool* heaps[2] = {nullptr, nullptr};
  void* step = nullptr;  // the step this library belongs to
};

// ---- The step's effects state (efflib.cpp) ----
ZEffLib* effLib();             // the current step's library, or null
HostPool* effectsPool();       // the step pool of effect and design records
void* effAlloc(size_t bytes);  // zeroed; ends the step with step::kInternal when refused
void effFree(void* block);
char* effStrdup(std::string_view text);
void effFail(int status);  // sets the parse status (step::kEffect or step::kInternal)
bool effFailed();
const char* effectNameText(int32_t id);  // the EFFECT name of a constructed id, or null
// The name an EFFECT statement declares (the first name of its name slot), blanks trimmed;
// empty when it has none.
std::string_view effectStatementName(const StatementRecord* s);
StatementRecord* procRecord();
HostDataSet* analysisDataSet();
std::vector<int>& modelVarList();
std::vector<int>& classVarList();

// ---- Records and the chain (efflib_chain.cpp) ----
EffectRec* zeffnew();
void zeffrecfree(EffectRec* e);
EffectRec* zeffcopy(const EffectRec* e);
void zeffaddvar(int32_t id, EffectRec* e, int list);
int zeffcompare(const EffectRec* a, const EffectRec* b);
int32_t zeffvarcount(const EffectRec* e);
[[nodiscard]] int ADDEFF(ZEffLib* lib, EffectRec* e);
[[nodiscard]] int AddBarEffects(ZEffLib* lib);
void zeffref(ZEffLib* lib, StatementRecord* statement, int slot, EffectRec* e);
void resetFastSearch(ZEffLib* lib, bool on);
void traceEffect(const EffectRec* e);
// Position of a variable number in the model-variable list (1) or the CLASS list (2), or -1.
int32_t listPosition(ZEffLib* lib, int list, int number);
int32_t appendModelVar(ZEffLib* lib, int number);
void truncateModelVars(ZEffLib* lib, int32_t count);

// ---- Names (efflib_name.cpp) ----
void zeffname(ZEffLib* lib, EffectRec* e);
// The name of a model-variable (list 1) or CLASS (list 2) position or constructed id.
std::string zeffidname(int32_t id, int list);

// ---- Variables, ranges and lists (efflib_vars.cpp) ----
// Resolves a name to an id: EFFECT names first, then the analysis data set's variables.
// Returns false after issuing the error.
bool zeffvarfind(std::string_view name, int32_t* id, bool* effectName);
// Classifies an id: 1 model variable, 2 CLASS, 5 new name, 6 EFFECT name; index is the
// position in its list (a new model variable is appended).
int zeffvarkind(int32_t id, int mode, int32_t* index, bool effectName);
[[nodiscard]] int expandOperator(ZEffLib* lib, int kind);
void checkNumericModelVars(ZEffLib* lib);
std::string nameLiteralText(const ParseToken& token);

// Releases the records of the bar expansion list.
void emptyBarList(ZEffLib* lib);

}  // namespace vsf
