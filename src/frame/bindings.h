// The model's variables in other data sets: lookups by name and type, the held-out data sets'
// bindings, and the switch of the row slots between the analysis data and another reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsf {

struct VsfState;
struct VarDescriptor;
struct HostDataSet;
struct DataSetBinding;
struct ScoreRequest;
struct ZDesign;

// Finds the analysis variable `variable` by name in `dataSet` with the same type. 0 and the
// descriptor (kept for the step); rc::kVarNotFound no variable of that name, rc::kVarType
// another type. A nonzero message issues it (absent) or message + 1 (type) of set 848 with the
// variable's name, the data set's name and, when given, the other data set's name.
[[nodiscard]] int findDataSetVar(VsfState* state, const VarDescriptor& variable,
                                 HostDataSet* dataSet, VarDescriptor** descriptor, int message,
                                 HostDataSet* otherDataSet = nullptr);

// Binds VALDATA= (validation true) or TESTDATA= to the model's variables: 0, rc::kMemory, or
// rc::kVarNotFound / rc::kVarType after message 171 / 172 (validation) or 165 / 166 (test) and
// a step code of at least step::kInternal. A missing or mistyped FREQ or WEIGHT variable only
// switches that variable off.
[[nodiscard]] int bindHeldOutDataSet(VsfState* state, DataSetBinding* binding, bool validation);

// Points the row slots of both variable lists, the response, the weight and the frequency at
// another reader's variables (a null weight or frequency clears that slot), so that the
// design-row code reads that data set's rows unchanged.
void bindRowBuffers(VsfState* state, HostDataSet* reader, VarDescriptor* const* classDescriptors,
                    VarDescriptor* const* modelDescriptors, VarDescriptor* response,
                    VarDescriptor* weight, VarDescriptor* frequency);
void bindRowBuffers(VsfState* state, const DataSetBinding& binding);
// Back to the analysis data set's own variables, its reader at its group's first row.
void restoreRowBuffers(VsfState* state);

// One SCORE request's row slots (MAIN POOL): 0 or rc::kMemory.
[[nodiscard]] int allocScoreRowSlots(VsfState* state, ScoreRequest* request);

// The data set's name as the host gives it.
std::string dataSetName(HostDataSet* dataSet);

// The variables the effects read, in effect order: a flag per CLASS variable, and the order
// as model-variable indexes (j) and CLASS-list indexes (-1 - c).
void effectVariables(const ZDesign* design, std::vector<char>* classNeeded,
                     std::vector<int32_t>* order);

}  // namespace vsf
