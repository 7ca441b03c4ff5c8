// Test support: the stored rows of a BY group, written by a small row writer in the stored
// layout (as the data pass will), and a selection state over them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "datapass/utilfiles.h"
#include "datapass/workqueue.h"
#include "frame/state.h"
#include "selection/selection.h"
#include "statements/settings.h"

namespace vsf::test {

// The rows of a case: <folder>/<name>_rows.csv under tests/data, made by the scripts of
// tests/reference (selection_fixtures.R, methods_fixtures.R, displays_fixtures.R).
struct CaseData {
  std::vector<double> y, w, f;
  std::vector<int> fold, role;
  std::vector<std::vector<double>> x;  // per row: the design columns in effect order
  std::vector<int> effectColumns;
  size_t rows() const { return y.size(); }
};
CaseData readCase(const std::string& name, const std::string& folder = "selection");

struct ModelFixture {
  std::vector<int> effects;
  double n = 0, sse = 0, rank = 0, sst = 0, sigma2 = 0;
  double aic = 0, aicc = 0, sbc = 0, cp = 0, bic = 0, rsq = 0, adjrsq = 0;
  double press = 0, cvpress = 0, validAse = 0, testAse = 0, logp = 0;
  std::vector<double> coef;  // NaN for an aliased column
};
std::vector<ModelFixture> readModels(const std::string& name);

// The ways the crossproducts are kept: FULL, INCREMENTAL, INCREMENTAL with the per-effect
// store. Every one must give the same fit.
struct StorageMode {
  const char* name;
  bool full, store;
};
inline constexpr StorageMode kStorageModes[] = {
    {"full", true, false}, {"incremental", false, false}, {"incremental with store", false, true}};

struct GroupSettings {
  int files = 1;  // utility files; a pass is threaded when workers == files
  int workers = 1;
  int64_t resident = 1 << 30;  // blocks of a file kept in memory
  int pageSizeKb = 0;          // 0: the stream's default page
  bool full = true;            // FULL crossproducts, else INCREMENTAL
  bool store = false;          // incremental with the per-effect store
  std::vector<bool> sparse;    // per effect: stored sparse
  bool weight = false, freq = false, roles = false, kfold = false;
  int folds = 0;
  MethodCode method = kMethodForward;
  CriterionCode select = kCritSbc, choose = kCritNone;
  bool generalSearch = false;
  std::vector<double> resample;  // rows carry these resample frequencies (model averaging)
  bool centres = false;          // the data pass's shifts: crossproducts about centres
};

// Random rows for effects of the given column counts (effect 0 the intercept); CLASS-like
// effects get indicator columns.
CaseData syntheticCase(const std::vector<int>& effectColumns, int rows, unsigned seed);

// A BY group's state as the frame has it before the data pass: the extensions, the BY and
// page pools, the workers and the selection state wired to them; all freed at the end.
class GroupState {
 public:
  explicit GroupState(int workers);
  ~GroupState();
  GroupState(const GroupState&) = delete;
  GroupState& operator=(const GroupState&) = delete;

  SelectionState& s() { return state_->group.selection; }
  SelectionOptions& options() { return state_->settings.options; }
  VsfState& vsf() { return *state_; }
  // The rules', the paths' and the displays' records filled from the options as the set-up
  // fills them; a test that changes the options settles them again before it fits or shows.
  void settleOptionRecords();

 protected:
  std::unique_ptr<VsfState> state_;
};

// The group with the case's rows stored.
class Group : public GroupState {
 public:
  Group(const CaseData& data, const GroupSettings& settings);

  // A fresh fit: model pool, crossproducts of the settings' mode, the start state.
  int prepare();
  // Enters the effects in order (the store grows after each entry, as the methods do); the
  // corrected total is read after the intercept. 0 or the first failure.
  int enter(const std::vector<int>& effects);
  // The full model's error variance, as a selection run derives it.
  double fullSigma2();
  // Estimates of the model's columns in entry order; NaN for a column left out.
  std::vector<double> estimates();
  std::string flagsText();

 private:
  void layout();
  void write();
  int crossproducts();

  const CaseData& data_;
  GroupSettings g_;
  std::vector<int32_t> sparseIndex_, layoutColumn_, denseOffset_, columnCount_, sparseEffects_;
  std::vector<double> colMeans_, colScales_, colShifts_;
};

// The state's view with the displays' record filled from its options as the set-up fills it:
// a display, graph or output test sets the options it needs, then shows through this view.
StepView* settledView(VsfState& state);

// The bytes of a matrix, for bit-for-bit comparisons.
std::vector<double> packed(const double* a, int order);

}  // namespace vsf::test
