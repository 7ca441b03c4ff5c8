#include "common/group_support.h"

#include <cmath>
#include <random>
#include <sstream>

#include "base/host.h"
#include "common/csv.h"
#include "common/test_host.h"
#include "datapass/rowblock.h"
#include "frame/phases.h"
#include "frame/setup_internal.h"
#include "numerics/numerics.h"
#include "selection/selection_internal.h"

namespace vsf::test {

CaseData readCase(const std::string& name, const std::string& folder) {
  const Csv t = readCsv(folder + "/" + name + "_rows.csv");
  CaseData d;
  for (size_t c = 5; c < t.header.size(); ++c) {
    int e = std::stoi(t.header[c].substr(1, t.header[c].find('_') - 1));
    if (e >= static_cast<int>(d.effectColumns.size())) d.effectColumns.resize(e + 1, 0);
    d.effectColumns[e] += 1;
  }
  for (const auto& row : t.rows) {
    d.y.push_back(Csv::cellNumber(row[0]));
    d.w.push_back(Csv::cellNumber(row[1]));
    d.f.push_back(Csv::cellNumber(row[2]));
    d.fold.push_back(static_cast<int>(Csv::cellNumber(row[3])));
    d.role.push_back(static_cast<int>(Csv::cellNumber(row[4])));
    std::vector<double> x;
    for (size_t c = 5; c < row.size(); ++c) x.push_back(Csv::cellNumber(row[c]));
    d.x.push_back(x);
  }
  return d;
}

std::vector<ModelFixture> readModels(const std::string& name) {
  const Csv t = readCsv("selection/" + name + "_models.csv");
  std::vector<ModelFixture> out;
  for (size_t r = 0; r < t.rows.size(); ++r) {
    ModelFixture m;
    std::stringstream es(t.text(r, "effects"));
    for (std::string e; std::getline(es, e, ';');) m.effects.push_back(std::stoi(e));
    m.n = t.number(r, "n"), m.sse = t.number(r, "sse"), m.rank = t.number(r, "rank");
    m.sst = t.number(r, "sst"), m.sigma2 = t.number(r, "sigma2"), m.aic = t.number(r, "aic");
    m.aicc = t.number(r, "aicc"), m.sbc = t.number(r, "sbc"), m.cp = t.number(r, "cp");
    m.bic = t.number(r, "bic"), m.rsq = t.number(r, "rsq"), m.adjrsq = t.number(r, "adjrsq");
    m.press = t.number(r, "press"), m.cvpress = t.number(r, "cvpress");
    m.validAse = t.number(r, "valid_ase"), m.testAse = t.number(r, "test_ase");
    m.logp = t.number(r, "logp");
    out.push_back(m);
  }
  const Csv c = readCsv("selection/" + name + "_coef.csv");
  for (const auto& row : c.rows)
    out[static_cast<size_t>(std::stoi(row[0]))].coef.push_back(Csv::cellNumber(row[2]));
  return out;
}

GroupState::GroupState(int workers) : state_(std::make_unique<VsfState>()) {
  ensureHost();
  VsfState& v = *state_;
  ExtensionSet& x = v.res.extensions;
  x.kernel = &kernel();
  x.stream = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  x.streamx = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  x.tools = dynamic_cast<HxTools*>(kernel().extensionLoad("hxtools"));
  v.group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
  v.group.pagePool = kernel().poolCreate("VARSIFTER PAGE POOL", kPoolPage);
  v.settings.threads.effectiveThreaded = workers > 1;
  v.settings.threads.effectiveWorkers = v.settings.threads.requestedWorkers = workers;
  v.res.workers = PassWorkers{static_cast<uint8_t>(workers > 1), workers};
  if (workers > 1) (void)createThreadPool(&v, workers);
  SelectionState& s = v.group.selection;
  s.rules = &v.rules, s.pathOptions = &v.pathOptions, s.cv = &v.cv, s.engine = &v.engine,
  s.utilFiles = &v.group.utilFiles;
  s.workers = &v.res.workers, s.puddle = &v.res.puddle, s.stepCode = &v.stepCode;
  s.candidates = &v.group.candidates;
}

void GroupState::settleOptionRecords() {
  settleRunOptions(state_.get());
  settleEngineOptions(state_.get());
  settleDisplayOptions(state_.get());
}

StepView* settledView(VsfState& state) {
  settleDisplayOptions(&state);
  return &state.view;
}

GroupState::~GroupState() {
  VsfState& v = *state_;
  destroyThreadPool(&v);
  freeSelectionState(&v.group.selection);
  closeUtilFiles(&v.group.utilFiles, v.group.byPool);
  kernel().poolDestroy(v.group.byPool);
  kernel().poolDestroy(v.group.pagePool);
  v.res.extensions.stream->release();
  v.res.extensions.streamx->release();
  v.res.extensions.tools->release();
}

Group::Group(const CaseData& data, const GroupSettings& settings)
    : GroupState(settings.workers), data_(data), g_(settings) {
  SelectionOptions& o = options();
  o.weightPresent = g_.weight, o.freqPresent = g_.freq, o.rolesPresent = g_.roles;
  o.kfold = g_.kfold, o.folds = g_.folds, o.method = g_.method, o.select = g_.select;
  o.choose = g_.choose, o.buildFullSscp = g_.full, o.effectStore = g_.store;
  o.generalSearch = g_.generalSearch;
  o.modelAveragingRun = o.resampling = !g_.resample.empty();
  settleOptionRecords();  // as the set-up ends; prepare() settles them again
  layout();
  write();
}

// Dense effects take the first columns, in effect order; sparse effects follow.
void Group::layout() {
  SelectionState& s = state_->group.selection;
  const int E = static_cast<int>(data_.effectColumns.size());
  g_.sparse.resize(E, false);
  sparseIndex_.assign(E, -1), layoutColumn_.assign(E, 0), denseOffset_.assign(E, -1);
  columnCount_.assign(data_.effectColumns.begin(), data_.effectColumns.end());
  int dense = 0, p = 0, largest = 0, single = 0;
  for (int e = 0; e < E; ++e) {
    p += columnCount_[e];
    largest = std::max(largest, columnCount_[e]);
    single += columnCount_[e] == 1;
    if (!g_.sparse[e]) {
      denseOffset_[e] = dense;
      layoutColumn_[e] = 1 + dense;
      dense += columnCount_[e];
    }
  }
  int column = 1 + dense;
  for (int e = 0; e < E; ++e)
    if (g_.sparse[e]) {
      sparseIndex_[e] = static_cast<int>(sparseEffects_.size());
      sparseEffects_.push_back(e);
      layoutColumn_[e] = column;
      column += columnCount_[e];
    }
  colMeans_.assign(p, 0), colScales_.assign(p, 0);
  s.layout.effectCount = E, s.layout.paramCount = p, s.layout.denseValues = dense;
  s.layout.foldCount = g_.folds;
  s.layout.sparseEffectCount = static_cast<int>(sparseEffects_.size());
  s.layout.largestEffectColumns = largest, s.layout.singleColumnEffects = single,
  s.layout.firstSelectable = 1;
  s.layout.sparseIndex = sparseIndex_.data(), s.layout.layoutColumn = layoutColumn_.data();
  s.layout.denseOffset = denseOffset_.data(), s.layout.columnCount = columnCount_.data();
  s.layout.sparseEffects = sparseEffects_.data();
  s.layout.colMeans = colMeans_.data(), s.layout.colScales = colScales_.data();
  // The data pass's shifts: the first training row's values, the intercept's too.
  if (g_.centres) {
    size_t first = 0;
    while (first + 1 < data_.rows() && g_.roles && data_.role[first] != 1) ++first;
    colShifts_ = data_.x[first];
    s.layout.colShifts = colShifts_.data();
    s.layout.responseShift = data_.y[first];
  }
}

void Group::write() {
  VsfState& v = *state_;
  SelectionState& s = v.group.selection;
  UtilFileArray& files = v.group.utilFiles;
  (void)createUtilFileArray(&files, v.group.byPool, g_.files, 1, kAllocZero);
  for (int i = 0; i < g_.files; ++i) {
    UtilFileRecord* r = nullptr;
    (void)addUtilFile(&files, &v.res.extensions, g_.pageSizeKb, 40 * s.layout.paramCount, &r);
    r->residentCapacity = std::min<int64_t>(g_.resident, 4096);
    r->columnCount = s.layout.paramCount;
  }
  RowBlockWriter w{&files, v.group.pagePool};
  const int E = s.layout.effectCount;
  for (size_t i = 0; i < data_.rows(); ++i) {
    std::vector<double> values;
    std::vector<int32_t> tags, ends, indices;
    const double wt = g_.weight ? data_.w[i] : 1.0, fr = g_.freq ? data_.f[i] : 1.0;
    const int role = g_.roles ? data_.role[i] : 1;
    if (g_.weight) values.push_back(wt);
    if (g_.freq) values.push_back(fr);
    const bool drawn = !g_.resample.empty();
    if (drawn) values.push_back(g_.resample[i]);
    values.push_back(data_.y[i]);
    std::vector<double> sparseValues;
    for (int e = 0, col = 0; e < E; col += columnCount_[e], ++e) {
      for (int j = 0; j < columnCount_[e]; ++j) {
        double x = data_.x[i][col + j];
        if (!g_.sparse[e]) {
          values.push_back(x);
        } else if (x != 0) {
          sparseValues.push_back(x);
          indices.push_back(j);
        }
      }
      if (g_.sparse[e]) ends.push_back(static_cast<int32_t>(sparseValues.size()));
    }
    values.insert(values.end(), sparseValues.begin(), sparseValues.end());
    if (g_.kfold) tags.push_back(data_.fold[i]);
    if (g_.roles) tags.push_back(role);
    tags.insert(tags.end(), ends.begin(), ends.end());
    tags.insert(tags.end(), indices.begin(), indices.end());
    const auto n = static_cast<int>(values.size());
    (void)appendRow(&w, values.data(), n, tags.data(), static_cast<int>(tags.size()),
                    num::allFinite(values.data(), n));
    const double used = drawn ? g_.resample[i] : fr;
    if (role == 1) {
      s.totals.obsUsed += 1, s.totals.trainFreq += used, s.totals.trainWeight += wt * used;
      s.totals.sumWy += wt * used * data_.y[i];
      for (size_t c = 0; c < colMeans_.size(); ++c) {
        colMeans_[c] += wt * used * data_.x[i][c];  // sums until the moments below
        colScales_[c] += wt * used * data_.x[i][c] * data_.x[i][c];
      }
    } else if (role == 2) {
      s.totals.validRows += 1, s.totals.validFreq += fr, s.totals.validWeight += wt * fr;
    } else if (role == 4) {
      s.totals.testRows += 1, s.totals.testFreq += fr, s.totals.testWeight += wt * fr;
    }
  }
  (void)finishRows(&w);
  s.totals.rowsStored = static_cast<double>(data_.rows());
  // The columns' moments, as the data pass leaves them for the path methods.
  const double W = s.totals.trainWeight, n = s.totals.trainFreq;
  for (size_t c = 0; c < colMeans_.size(); ++c) {
    const double variance = (colScales_[c] - colMeans_[c] * colMeans_[c] / W) / (n - 1);
    colScales_[c] = variance > 0 ? 1 / std::sqrt(variance) : missingValue('.');
    colMeans_[c] /= W;
  }
  s.totals.responseMean = s.totals.sumWy / W;
  // With write-back: the path methods rewrite rows.
  (void)reopenUtilFiles(&files, s.totals.rowsStored, true, false, &v.stepCode);
}

int Group::crossproducts() {
  SelectionState& s = state_->group.selection;
  const int64_t T = tri(s.sweep.sscpOrder);
  if (s.sweep.fullMode) {
    if (int rc = runDataPass(&s, kernSscp, 0); rc != 0) return rc;
    complementFolds(&s, s.sweep.sscp, &FoldRecord::sscp, 0, T);
    copyDoubles(s.sweep.swept, s.sweep.sscp, T);
    for (int f = 0; f < s.folds; ++f) copyDoubles(s.foldRecs[f].swept, s.foldRecs[f].sscp, T);
    return 0;
  }
  if (int rc = runDataPass(&s, kernSumSquares, 0); rc != 0) return rc;
  s.sweep.sscp[0] = s.sweep.swept[0] = s.sweep.centres ? s.totals.centredWyy : s.totals.sumWyy;
  if (kfoldOn(&s)) {
    if (int rc = runDataPass(&s, kernFoldResponseSS, 0); rc != 0) return rc;
    for (int f = 0; f < s.folds; ++f)
      s.foldRecs[f].sscp[0] = s.foldRecs[f].swept[0] = s.sweep.sscp[0] - s.foldRecs[f].sscp[0];
  }
  if (int rc = runDataPass(&s, kernEffectBlocks, 0); rc != 0) return rc;
  if (kfoldOn(&s))
    for (int e = 0; e < s.layout.effectCount; ++e) {
      const int64_t n = tri(s.layout.columnCount[e]);
      for (int64_t i = 0; i < n; ++i) {
        double sum = 0;
        for (int f = 0; f < s.folds; ++f) sum += s.foldRecs[f].blocks[e][i];
        s.sweep.effectBlocks[e][i] = sum;
        for (int f = 0; f < s.folds; ++f)
          s.foldRecs[f].blocks[e][i] = sum - s.foldRecs[f].blocks[e][i];
      }
    }
  return s.sweep.storeOn ? buildResponseStore(&s) : 0;
}

int Group::prepare() {
  SelectionState& s = state_->group.selection;
  settleOptionRecords();
  resetSelectionState(&s);
  s.runFlags = plainRunFlags(*s.pathOptions);  // as the fit driver starts a fit
  if (int rc = buildModelPool(&s); rc != 0) return rc;
  if (int rc = settleCentres(&s); rc != 0) return rc;
  if (int rc = crossproducts(); rc != 0) return rc;
  s.totals.totalSS = s.totals.correctedSS = s.sweep.sscp[0];
  s.fit.trainSse = s.sweep.swept[0];
  if (!s.engine->noInt) s.sweep.states[0] = EffectState::kIntercept;
  return 0;
}

int Group::enter(const std::vector<int>& effects) {
  SelectionState& s = state_->group.selection;
  for (int e : effects) {
    if (int rc = enterEffect(&s, e, 0, 0); rc != 0) return rc;
    if (s.sweep.storeOn)
      if (int rc = growEffectCrossproducts(&s, e); rc != 0) return rc;
    if (e == 0) s.totals.correctedSS = s.sweep.swept[0];
  }
  return 0;
}

double Group::fullSigma2() {
  std::vector<int> all;
  for (int e = 0; e < state_->group.selection.layout.effectCount; ++e) all.push_back(e);
  if (prepare() != 0 || enter(all) != 0) return NAN;
  const SelectionState& s = state_->group.selection;
  return s.fit.trainSse / (s.totals.trainFreq - s.sweep.sweptColumns);
}

std::vector<double> Group::estimates() {
  const SelectionState& s = state_->group.selection;
  std::vector<double> out;
  for (int pos = 0; pos < s.sweep.effectsInModel; ++pos) {
    const int e = s.sweep.entryOrder[pos];
    for (int j = 0; j < s.layout.columnCount[e]; ++j) {
      const int64_t g = s.sweep.firstColumn[e] + j;
      out.push_back(s.sweep.flags[g] == '1' ? -s.sweep.swept[pk(g, 0)] : NAN);
    }
  }
  return out;
}

std::string Group::flagsText() {
  const SelectionState& s = state_->group.selection;
  return std::string(s.sweep.flags, s.sweep.flags + s.sweep.sscpOrder);
}

CaseData syntheticCase(const std::vector<int>& effectColumns, int rows, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal;
  std::uniform_int_distribution<int> pick(0, 1 << 20);
  CaseData d;
  d.effectColumns = effectColumns;
  for (int i = 0; i < rows; ++i) {
    std::vector<double> x;
    double y = normal(gen);
    for (size_t e = 0; e < effectColumns.size(); ++e) {
      const int c = effectColumns[e];
      if (e == 0) {
        x.insert(x.end(), c, 1.0);
      } else if (c == 1) {
        x.push_back(normal(gen) * (1 + e));
      } else {
        const int level = pick(gen) % (c + 1);  // one level has no column: all zero
        for (int j = 0; j < c; ++j) x.push_back(j == level ? 1.0 : 0.0);
      }
      y += 0.3 * x.back() * (static_cast<int>(e % 3) - 1);
    }
    d.y.push_back(y);
    d.w.push_back(0.5 + (i % 4) * 0.25);
    d.f.push_back(1 + i % 3);
    d.fold.push_back(i % 5);
    d.role.push_back(i % 9 == 4 ? 2 : (i % 9 == 7 ? 4 : 1));
    d.x.push_back(x);
  }
  return d;
}

std::vector<double> packed(const double* a, int order) {
  return std::vector<double>(a, a + tri(order));
}

}  // namespace vsf::test
