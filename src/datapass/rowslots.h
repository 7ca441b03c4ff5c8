// The levelization context's row slots switched between the analysis data and another data
// set (a held-out or SCORE data set), so that the design-row code reads that data set's rows
// unchanged; and the lookup of the model's variables in such a data set.
#pragma once

#include "datapass/options.h"

namespace vsf {

struct ZLevCtx;
struct HostDataSet;
struct VarDescriptor;

// The variable of `like`'s name in `dataSet`, of the same type: 0 and its descriptor (number
// set); rc::kVarNotFound when there is none of the name, rc::kVarType when its type differs.
[[nodiscard]] int findLikeVariable(HostDataSet* dataSet, const VarDescriptor& like,
                                   VarDescriptor* found);

// Points the row slots of both variable lists, the response, the weight and the frequency at
// `reader`'s variables (a null array, weight or frequency clears those slots).
void switchRowSlots(const AnalysisRowSlots& analysis, ZLevCtx* ctx, HostDataSet* reader,
                    VarDescriptor* const* classDescriptors, VarDescriptor* const* modelDescriptors,
                    VarDescriptor* response, VarDescriptor* weight, VarDescriptor* frequency);
// Back to the analysis data set's own variables, its reader at its group's first row.
void restoreRowSlots(const AnalysisRowSlots& analysis, ZLevCtx* ctx);

}  // namespace vsf
