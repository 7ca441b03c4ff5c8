// What the output writers and scoring share: the selected model as they apply it to an
// observation (its terms, the variables it uses, the check that it applies, its design row and
// prediction), the definition of output variables, and scoring one data set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vsf {

struct StepView;
struct SelectionState;
struct ZLevCtx;
struct ZDesign;
struct OutputSlots;

// One candidate of the model: its design effect, the columns it stands for (through the column
// map when it has one) and where its estimates start.
struct ModelTerm {
  int32_t candidate = 0;
  int32_t effect = 0;
  int32_t columns = 0;
  const int32_t* map = nullptr;
  int32_t firstEstimate = 0;
};

struct AppliedModel {
  bool present = false;
  std::vector<ModelTerm> terms;  // in entry order
  int32_t parameters = 0;        // columns of the terms
  const double* estimates = nullptr;
  // What the terms use: per CLASS variable, per continuous variable, per design variable.
  std::vector<uint8_t> classUsed, contUsed, designVarUsed;
};

// The model whose candidates are the `count` entries of `entryOrder`; estimates and firstParam
// may be null (the OUTDESIGN pass has none).
void buildAppliedModel(const StepView* state, const int32_t* entryOrder, int32_t count,
                       const int32_t* firstParam, const double* estimates, bool present,
                       AppliedModel* model);
// The group's selected model: the selection's final (or chosen) model when its status is 0.
void selectedModel(const StepView* state, const SelectionState* sel, AppliedModel* model);

// Why the model cannot be applied to an observation.
// (kNoLag: a LAG effect finds no observation of the subject NLAG= periods back.)
enum class RowFit { kApplies, kNoModel, kBadValue, kNoLag, kMissingLevel, kNewLevel, kMembers };
// Checks the decoded observation against the model; new-level counts (one per design effect,
// may be null) grow for each effect meeting a level combination the fit did not see.
RowFit checkModelRow(ZLevCtx* ctx, const AppliedModel& model, std::vector<int32_t>* newLevels);
// Whether the observation's whole design row (FULLMODEL's) lacks a value: its zreadobs status
// says a value some effect needs, of the model or not, is missing. Only the design data set's
// row is then missing; the model's prediction does not need those values.
bool fullRowIncomplete(uint32_t status);

// The observation's design row as the data pass built it (the whole row).
void buildModelDesignRow(ZLevCtx* ctx, double* row);
// The linear predictor of the row: each term's columns times its estimates, in entry order.
double predictRow(const AppliedModel& model, const ZDesign* d, const double* row);
// The design data set's values: the model's columns of the row, in entry order, into the first
// of `count` consecutive slots; or (FULLMODEL) the first `count` columns of the whole row, the
// intercept's left out under NOINT.
void copyModelColumns(const AppliedModel& model, const ZDesign* d, const double* row,
                      double* const* slots, size_t count);
void copyFullRow(const double* row, int noInt, double* const* slots, size_t count);

// ---- Output variables ----
struct HostDataSet;
struct StepSettings;
// Adds one variable to an output data set: its value slot, or null when the host refused it.
void* addVariable(HostDataSet* out, const std::string& name, int type = 1, int length = 8,
                  const std::string& label = {});
// A numeric variable whose slot starts missing.
double* addNumber(HostDataSet* out, const std::string& name, const std::string& label = {});
// Carries every variable of the source; the host's status.
[[nodiscard]] int carryAll(HostDataSet* out, HostDataSet* source);
// `_ROLE_` is written when partition roles are in use and a PARTITION statement was given;
// `_CVINDEX_` under k-fold or external cross validation.
bool roleColumnWanted(const StepView* s);
bool foldColumnWanted(const StepView* s);
// The role text of a role tag, blank padded to 8.
void setRoleText(char* slot, int32_t role);

// Scores one SCORE request's data set, its model variables bound (ownReader: a data set of its
// own, not the analysis reader); 0.
struct ScoreRequest;
struct ScoreOutput;
struct OutputSink;
struct ZDesignVar;
[[nodiscard]] int scoreDataSet(StepView* state, ZLevCtx* lev, SelectionState* sel,
                               const ScoreRequest& request, ScoreOutput* out, int index,
                               bool ownReader,
                               void (*lagDesigns)(OutputSink*, const ZDesignVar&, const ZDesign*));

// The data set's name as the host gives it.
std::string dataSetNameOf(HostDataSet* dataSet);
// Every computed value of a row missing (the per-sample ones too).
void clearComputed(OutputSlots* slots);

// The host's "." missing value.
double dotMissing();
// Names: the response's predicted-value and residual defaults ("p_" or "r_" and the response
// name, at most 32 characters).
std::string prefixedName(const char* prefix, const std::string& response);

}  // namespace vsf
