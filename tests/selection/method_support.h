// Test support for the classical methods: a case of tests/data/methods (made by
// tests/reference/methods_fixtures.R) with its containment lists, fitted through fitModel on
// the stored rows of a test group, and the path the fit took.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/group_support.h"

namespace vsf::test {

struct MethodCase {
  std::string name;
  CaseData data;
  std::vector<std::string> effectNames;
  // Containment: the effects each effect contains, and the effects containing it.
  std::vector<std::vector<int32_t>> prerequisites, dependants;
  std::vector<int32_t> prerequisiteCount, dependantCount;
  std::vector<const int32_t*> prerequisiteLists, dependantLists;
  int effectIndex(const std::string& name) const;
};
MethodCase readMethodCase(const std::string& name);

// The options a MODEL statement leaves for a method, before the test's own changes: STOP is
// the SELECT criterion, the significance levels the method's defaults.
struct MethodSettings {
  GroupSettings group;
  std::optional<CriterionCode> stop;  // none: the SELECT criterion
  uint8_t hierarchy = 0;
  std::function<void(SelectionOptions&)> options;
};

class MethodFit {
 public:
  MethodFit(const MethodCase& c, const MethodSettings& settings);
  // fitModel on the group's rows: its result.
  int fit();
  SelectionState& s() { return group_->s(); }
  SelectionOptions& options() { return group_->options(); }
  Group& group() { return *group_; }
  // The selection steps as "+e" for an entry and "-e" for a removal, space separated.
  std::string path();
  // The effects of the current model, sorted, ";"-joined.
  std::string finalModel();
  // The effects entered by step i, "-": removed.
  std::vector<int> modelAtStep(int step);

 private:
  const MethodCase& case_;
  std::unique_ptr<Group> group_;
};

}  // namespace vsf::test
