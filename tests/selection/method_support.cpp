#include "selection/method_support.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "common/csv.h"
#include "penalized/penalized.h"
#include "selection/methods_internal.h"

namespace vsf::test {

namespace {

std::vector<int32_t> intList(const std::string& text, char sep) {
  std::vector<int32_t> out;
  std::stringstream ss(text);
  for (std::string t; std::getline(ss, t, sep);)
    if (!t.empty()) out.push_back(std::stoi(t));
  return out;
}

}  // namespace

int MethodCase::effectIndex(const std::string& n) const {
  for (size_t i = 0; i < effectNames.size(); ++i)
    if (effectNames[i] == n) return static_cast<int>(i);
  return -1;
}

MethodCase readMethodCase(const std::string& name) {
  MethodCase c;
  c.name = name;
  c.data = readCase(name, "methods");
  const Csv effects = readCsv("methods/" + name + "_effects.csv");
  const size_t E = effects.rows.size();
  c.prerequisites.resize(E);
  c.dependants.resize(E);
  for (size_t e = 0; e < E; ++e) {
    c.effectNames.push_back(effects.text(e, "name"));
    c.prerequisites[e] = intList(effects.text(e, "prerequisites"), ';');
    for (int32_t q : c.prerequisites[e])
      c.dependants[static_cast<size_t>(q)].push_back(static_cast<int32_t>(e));
  }
  for (size_t e = 0; e < E; ++e) {
    c.prerequisiteCount.push_back(static_cast<int32_t>(c.prerequisites[e].size()));
    c.dependantCount.push_back(static_cast<int32_t>(c.dependants[e].size()));
    c.prerequisiteLists.push_back(c.prerequisites[e].data());
    c.dependantLists.push_back(c.dependants[e].data());
  }
  return c;
}

MethodFit::MethodFit(const MethodCase& c, const MethodSettings& m) : case_(c) {
  group_ = std::make_unique<Group>(c.data, m.group);
  SelectionOptions& o = group_->options();
  o.stop = m.stop.value_or(o.select);
  o.hierarchy = m.hierarchy;
  const bool stepwise = o.method == kMethodStepwise;
  o.entryLevel = stepwise ? 0.15 : 0.5;
  o.stayLevel = stepwise ? 0.15 : 0.1;
  o.fullSweepMode = m.group.full ? 1 : 0;
  CandidateData& hierarchy = group_->vsf().group.candidates;
  hierarchy.prerequisiteCount = c.prerequisiteCount.data();
  hierarchy.prerequisites = c.prerequisiteLists.data();
  hierarchy.dependantCount = c.dependantCount.data();
  hierarchy.dependants = c.dependantLists.data();
  if (m.options) m.options(o);
  // The candidate table's count of forced effects, as the data pass copies it.
  group_->s().layout.firstSelectable = o.forcedEffects;
}

int MethodFit::fit() {
  group_->settleOptionRecords();
  return fitModel(&group_->s(), nullptr);
}

std::string MethodFit::path() {
  const SelectionState& st = group_->s();
  const int start = st.engine->method == kMethodBackward ? 1 : st.layout.firstSelectable;
  std::string out;
  for (int i = start; i < st.steps.stepCount; ++i) {
    const bool entered = st.steps.effects[i] > st.steps.effects[i - 1];
    if (!out.empty()) out += ' ';
    out += (entered ? "+" : "-") + std::to_string(st.steps.effect[i]);
  }
  return out;
}

std::string MethodFit::finalModel() {
  const SelectionState& st = group_->s();
  std::vector<int> e(st.sweep.entryOrder, st.sweep.entryOrder + st.sweep.effectsInModel);
  std::sort(e.begin(), e.end());
  std::string out;
  for (int k : e) out += (out.empty() ? "" : ";") + std::to_string(k);
  return out;
}

std::vector<int> MethodFit::modelAtStep(int step) {
  const SelectionState& st = group_->s();
  std::set<int> model;
  if (st.engine->method == kMethodBackward) {
    for (int e = 0; e < st.layout.effectCount; ++e) model.insert(e);
    for (int a = 0; a < st.sweep.aliasedCount; ++a) model.erase(st.sweep.aliasedList[a]);
  }
  for (int i = st.engine->method == kMethodBackward ? 1 : 0; i <= step; ++i) {
    const int e = st.steps.effect[i];
    if (st.steps.effects[i] > st.steps.effects[i - 1])
      model.insert(e);
    else
      model.erase(e);
  }
  return std::vector<int>(model.begin(), model.end());
}

}  // namespace vsf::test
