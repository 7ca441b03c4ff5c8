// Test support for the display tables: a fitted selection from the fixtures of
// tests/data/displays (made by tests/reference/displays_fixtures.R) with a candidate table and an
// output manager, and the tables the output system received, read from its JSON document.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/group_support.h"
#include "common/test_host.h"

namespace vsf::test {

using Json = nlohmann::ordered_json;

// Starts a step's output: forgets what earlier tests sent, keeps the listing, and makes the
// manager the tables are sent to. A fit or bare state below makes one first of all.
class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  HostObject* manager() const { return manager_; }
  Json document() const;
  std::string listing() const { return listing_.str(); }

 private:
  std::ostringstream listing_;
  HostObject* manager_ = nullptr;
};

// Every table or factoid with the name, in document order, from any depth.
std::vector<Json> findTables(const Json& document, const std::string& name);
// Every graph, in document order, from any depth.
std::vector<Json> findGraphs(const Json& document);
// A variable of a graph: of its own pairs or of its nested lists; null when it has none.
Json graphVariable(const Json& graph, const std::string& name);
// The single table with the name (fails the test when there is not exactly one).
Json oneTable(const Json& document, const std::string& name);
// Names of the tables, groups and text lines in document order, with groups as "Name{...}".
std::string outline(const Json& document);
// A raw cell: its number, NaN for a missing value.
double cellNumber(const Json& cell);
// The missing value's code of a cell ("." or a letter or "-"), or "" for a number.
std::string cellMissing(const Json& cell);
// A factoid entry's value by its label.
Json entryValue(const Json& factoid, const std::string& label);

// A selection fitted along the path of a fixture case, one recorded step per model.
class DisplayFit {
 public:
  DisplayFit(const std::string& caseName, const GroupSettings& settings, bool noInt = false);
  OutputCapture out;  // the manager of the state's output
  VsfState& vsf() { return group_->vsf(); }
  SelectionState& sel() { return group_->s(); }
  // Enters the path's effects step by step, recording each step as the methods do.
  void runPath();
  // Records the current model as the next step; effect is the one that changed.
  void recordStep(int32_t effect);
  const Csv& path() const { return path_; }
  const std::vector<std::string>& labels() const { return labels_; }

 private:
  CaseData data_;
  Csv path_;
  std::unique_ptr<Group> group_;
  std::vector<std::string> labels_;
  std::vector<CandidateEntry> candidates_;
};

// A bare step state for the tables that need no fit: options, candidates with the labels
// given (effect i labelled labels[i]), a selection with the effect states given, a model pool.
class BareState {
 public:
  explicit BareState(const std::vector<std::string>& labels);
  ~BareState();
  OutputCapture out;  // the manager of the state's output
  VsfState& vsf() { return *state_; }
  SelectionState& sel() { return state_->group.selection; }
  HostPool* pool() const { return pool_; }
  // Step history of n steps: effect changed, effects in the model and SSE (by default 100 /
  // (1 + step)) per step, each step's criteria recorded from the state as it stands.
  void history(const std::vector<int32_t>& effect, const std::vector<int32_t>& effects,
               const std::vector<double>& sse = {});
  // Gives the effects these column counts (parameters numbered in effect order).
  void columns(const std::vector<int32_t>& counts);

 private:
  std::unique_ptr<VsfState> state_;
  std::vector<std::string> labels_;
  std::vector<CandidateEntry> candidates_;
  HostPool* pool_ = nullptr;
};

}  // namespace vsf::test
