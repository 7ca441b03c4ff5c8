#include "displays/display_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "base/host.h"
#include "base/hostcalls.h"
#include "common/graph_rows.h"
#include "common/test_host.h"
#include "host/output/output.h"
#include "host/session.h"

namespace vsf::test {

namespace {

// Labels of the effects of each fixture case, effect 0 the intercept.
const std::map<std::string, std::vector<std::string>>& caseLabels() {
  static const std::map<std::string, std::vector<std::string>> labels = {
      {"mtcars", {"Intercept", "wt", "hp", "qsec"}},
      {"mtcars_noint", {"Intercept", "wt", "hp"}},
      {"diabetes", {"Intercept", "sex", "bmi", "bp", "s5"}},
  };
  return labels;
}

void collect(const Json& items, const std::string& name, std::vector<Json>* out) {
  for (const Json& item : items) {
    const std::string type = item.value("type", "");
    if ((type == "table" || type == "factoid") && item.value("name", "") == name)
      out->push_back(item);
    if (type == "group") collect(item["items"], name, out);
  }
}

void outlineOf(const Json& items, std::string* out) {
  for (const Json& item : items) {
    const std::string type = item.value("type", "");
    if (!out->empty() && out->back() != '{') *out += ' ';
    if (type == "group") {
      *out += item.value("name", "") + "{";
      outlineOf(item["items"], out);
      *out += "}";
    } else if (type == "table" || type == "factoid") {
      *out += item.value("name", "");
    } else if (type == "text") {
      *out += "text";
    } else if (type == "rule") {
      *out += "rule";
    } else {
      *out += type;
    }
  }
}

// A candidate per effect, labelled and of the given column count.
void setCandidates(VsfState& v, const std::vector<std::string>& labels,
                   const std::vector<int>& columns, std::vector<CandidateEntry>* out) {
  for (size_t e = 0; e < labels.size(); ++e) {
    CandidateEntry c;
    c.effect = static_cast<int32_t>(e);
    c.columns = columns[e];
    c.label = labels[e].c_str();
    c.labelLength = static_cast<int32_t>(labels[e].size());
    out->push_back(c);
    v.group.longestCandidateLabel = std::max(v.group.longestCandidateLabel, c.labelLength);
  }
  v.group.candidates.table = out;
  v.group.candidates.count = static_cast<int32_t>(out->size());
}

}  // namespace

OutputCapture::OutputCapture() {
  ensureHost();
  host::output::reset();
  host::output::setListingStream(&listing_);
  void* h = nullptr;
  OutputArgItem create[3] = {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
                             argOutHandle(key::kHandle, &h)};
  EXPECT_EQ(zhdlcall(host::outputRoot(), nullptr, op::kCreate, 3, create), 0);
  manager_ = static_cast<HostObject*>(h);
}

OutputCapture::~OutputCapture() { host::output::setListingStream(nullptr); }

Json OutputCapture::document() const {
  host::output::finish();
  return Json::parse(host::output::jsonText());
}

std::vector<Json> findTables(const Json& document, const std::string& name) {
  std::vector<Json> out;
  collect(document["output"], name, &out);
  return out;
}

Json oneTable(const Json& document, const std::string& name) {
  std::vector<Json> all = findTables(document, name);
  EXPECT_EQ(all.size(), 1u) << name;
  return all.empty() ? Json() : all.front();
}

std::vector<Json> findGraphs(const Json& document) {
  std::vector<Json> out;
  std::function<void(const Json&)> walk = [&](const Json& items) {
    for (const Json& item : items) {
      if (item.value("type", "") == "graph") out.push_back(withGraphRows(item, document));
      if (item.value("type", "") == "group") walk(item["items"]);
    }
  };
  walk(document["output"]);
  return out;
}

Json graphVariable(const Json& graph, const std::string& name) {
  for (const Json& p : graph["variables"])
    if (p["name"] == name) return p["value"];
  for (const Json& list : graph["lists"])
    for (const Json& p : list)
      if (p["name"] == name) return p["value"];
  return Json();
}

std::string outline(const Json& document) {
  std::string out;
  outlineOf(document["output"], &out);
  return out;
}

double cellNumber(const Json& cell) {
  if (cell.is_number()) return cell.get<double>();
  return NAN;
}

std::string cellMissing(const Json& cell) {
  if (cell.is_object() && cell.contains("missing")) return cell["missing"].get<std::string>();
  return "";
}

Json entryValue(const Json& factoid, const std::string& label) {
  for (const Json& e : factoid["entries"])
    if (e["label"] == label) return e["value"];
  ADD_FAILURE() << "no entry " << label;
  return Json();
}

DisplayFit::DisplayFit(const std::string& caseName, const GroupSettings& settings, bool noInt)
    : data_(readCase("displays_" + caseName, "displays")),
      path_(readCsv("displays/displays_" + caseName + "_path.csv")),
      labels_(caseLabels().at(caseName)) {
  group_ = std::make_unique<Group>(data_, settings);
  VsfState& v = group_->vsf();
  v.res.output.manager = out.manager();
  v.settings.options.noInt = noInt;
  setCandidates(v, labels_, data_.effectColumns, &candidates_);
}

void DisplayFit::runPath() {
  SelectionState& s = sel();
  ASSERT_EQ(group_->prepare(), 0);
  double mean = 0;
  for (double y : data_.y) mean += y;
  mean /= static_cast<double>(data_.y.size());
  double corrected = 0;
  for (double y : data_.y) corrected += (y - mean) * (y - mean);
  s.totals.responseMean = mean;
  if (vsf().settings.options.noInt) {
    s.sweep.states[0] = EffectState::kHeldOut;
    s.totals.correctedSS = corrected;
    s.layout.firstSelectable = 0;
  }
  std::vector<bool> in(labels_.size(), false);
  for (size_t k = 0; k < path_.rows.size(); ++k) {
    std::stringstream list(path_.text(k, "effects"));
    int32_t changed = -1;
    for (std::string e; std::getline(list, e, ';');) {
      int effect = std::stoi(e);
      if (in[effect]) continue;
      in[effect] = true;
      ASSERT_EQ(group_->enter({effect}), 0);
      changed = effect;
    }
    recordStep(changed);
  }
}

void DisplayFit::recordStep(int32_t effect) {
  SelectionState& s = sel();
  StepHistory& h = s.steps;
  const int32_t k = s.steps.stepCount;
  int32_t parameters = 0;
  for (int32_t i = 0; i < s.sweep.effectsInModel; ++i)
    parameters += s.layout.columnCount[s.sweep.entryOrder[i]];
  h.effect[k] = effect;
  h.sweptColumns[k] = s.sweep.sweptColumns;
  h.parameters[k] = parameters;
  h.effects[k] = s.sweep.effectsInModel;
  h.sse[k] = s.fit.trainSse;
  recordStepCriteria(&s.steps, k, recordedFit(&s, k));
  auto at = [&](int64_t i, int64_t j) { return s.sweep.swept[i * (i + 1) / 2 + j]; };
  for (int32_t e = 0; e < s.layout.effectCount; ++e) {
    if (s.sweep.states[e] == EffectState::kFree || s.sweep.states[e] == EffectState::kHeldOut)
      continue;
    for (int32_t j = 0; j < s.layout.columnCount[e]; ++j) {
      const int64_t g = s.sweep.firstColumn[e] + j;
      const int32_t parm = s.sweep.firstParam[e] + j;
      const bool swept = s.sweep.flags[g] == '1';
      s.sweep.estimates[parm] = swept ? -at(g, 0) : 0;
      s.sweep.invDiag[parm] = swept ? at(g, g) : -1.0;
    }
  }
  s.steps.stepCount += 1;
}

BareState::BareState(const std::vector<std::string>& labels)
    : state_(std::make_unique<VsfState>()), labels_(labels) {
  ensureHost();
  pool_ = kernel().poolCreate("model pool", kPoolPlain);
  VsfState& v = *state_;
  v.res.output.manager = out.manager();
  v.group.byPool = pool_;
  setCandidates(v, labels_, std::vector<int>(labels_.size(), 1), &candidates_);
  SelectionState& s = v.group.selection;
  s.cv = &v.cv, s.engine = &v.engine;
  s.modelPool = pool_;
  s.layout.effectCount = static_cast<int32_t>(labels_.size());
  s.layout.paramCount = s.layout.effectCount;
  const size_t E = labels_.size();
  s.sweep.states = static_cast<EffectState*>(kernel().poolAlloc(pool_, E + 1, kAllocZero));
  s.sweep.firstParam = static_cast<int32_t*>(kernel().poolAlloc(pool_, 4 * (E + 1), kAllocZero));
  s.layout.columnCount = static_cast<int32_t*>(kernel().poolAlloc(pool_, 4 * (E + 1), kAllocZero));
  s.sweep.estimates = static_cast<double*>(kernel().poolAlloc(pool_, 8 * (E + 1), kAllocZero));
  s.sweep.stdEstimates = static_cast<double*>(kernel().poolAlloc(pool_, 8 * (E + 1), kAllocZero));
  s.sweep.invDiag = static_cast<double*>(kernel().poolAlloc(pool_, 8 * (E + 1), kAllocZero));
  s.sweep.candidateValues =
      static_cast<double*>(kernel().poolAlloc(pool_, 8 * (E + 1), kAllocZero));
  for (size_t e = 0; e < E; ++e) {
    s.sweep.firstParam[e] = static_cast<int32_t>(e);
    s.layout.columnCount[e] = 1;
    s.sweep.invDiag[e] = -1.0;
  }
}

BareState::~BareState() { kernel().poolDestroy(pool_); }

void BareState::columns(const std::vector<int32_t>& counts) {
  SelectionState& s = state_->group.selection;
  int32_t p = 0;
  for (size_t e = 0; e < counts.size(); ++e) {
    candidates_[e].columns = counts[e];
    s.layout.columnCount[e] = counts[e];
    s.sweep.firstParam[e] = p;
    p += counts[e];
  }
  s.layout.paramCount = p;
  auto reals = [&](int32_t n) {
    return static_cast<double*>(kernel().poolAlloc(pool_, 8 * (n + 1), kAllocZero));
  };
  s.sweep.estimates = reals(p), s.sweep.stdEstimates = reals(p), s.sweep.invDiag = reals(p);
  for (int32_t i = 0; i < p; ++i) s.sweep.invDiag[i] = -1.0;
}

void BareState::history(const std::vector<int32_t>& effect, const std::vector<int32_t>& effects,
                        const std::vector<double>& sse) {
  SelectionState& s = state_->group.selection;
  const int32_t n = static_cast<int32_t>(effect.size());
  ASSERT_EQ(growStepHistory(&s, n), 0);
  StepHistory& h = s.steps;
  for (int32_t i = 0; i < n; ++i) {
    h.effect[i] = effect[i];
    h.effects[i] = effects[i];
    h.parameters[i] = h.sweptColumns[i] = effects[i];
    h.sse[i] = sse.empty() ? 100.0 / (1 + i) : sse[i];
    recordStepCriteria(&s.steps, i, recordedFit(&s, i));
  }
  s.steps.stepCount = n;
}

}  // namespace vsf::test
