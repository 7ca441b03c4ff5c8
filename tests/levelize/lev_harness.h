// Test support for levelization: a CSV data set of tests/data/levelize read through our
// host, a model description built field by field (as the statement readers would fill it),
// the levelization context, the BY-group loop of the step driver and the messages issued.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "common/fake_host.h"
#include "common/test_host.h"
#include "effects/effects.h"
#include "frame/host/host_vector.h"
#include "host/data/data.h"
#include "host/session.h"
#include "levelize/levelize.h"
#include "levelize/levelize_internal.h"

namespace vsf::test {

class LevHarness : public FakeHost {
 public:
  // Opens tests/data/levelize/<dataSet>.csv, grouped by the BY variables when given.
  explicit LevHarness(const std::string& dataSet, std::vector<std::string> by = {}) {
    ensureHost();
    static int counter = 0;
    util_ = std::filesystem::temp_directory_path() /
            ("vsf_lev_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(util_);
    host::session().options.library = std::string(VSF_TEST_DATA) + "/levelize";
    host::session().options.utilPath = util_;
    recordMessages();
    load();
    uint32_t status = 1;
    input = hostv().ds->open(dataSet, kDsInput, &status);
    EXPECT_NE(input, nullptr) << dataSet;
    if (!by.empty()) {
      std::vector<ByVariable> vars;
      for (auto& b : by) vars.push_back(ByVariable{b, false});
      hostv().ds->setBy(input, vars.data(), static_cast<int>(vars.size()), false);
    }
    alloc.reader = input;
    ctx.alloc = &alloc;
    ctx.design = &design;
  }

  // Levelizes on another context (the one a VsfState embeds) from now on.
  void useContext(ZLevCtx* other) {
    other->alloc = &alloc;
    other->design = &design;
    lev = other;
  }

  ~LevHarness() override {
    if (heap_) endGroup();
    zlevfree(lev, -1);
    host::closeStepDataSets();
    host::session().options.utilPath.clear();
    host::session().options.library = ".";
    std::filesystem::remove_all(util_);
  }

  // A descriptor of the data set's variable, kept for the harness's life.
  VarDescriptor* descriptor(const std::string& name) {
    int number = -1;
    EXPECT_EQ(hostv().ds->findVar(input, name, &number), 0) << name;
    VarDescriptor& d = descriptors_.emplace_back();
    hostv().ds->varByNumber(input, number, &d);
    return &d;
  }

  // CLASS variables with the defaults the effect records give them.
  LevelVar& addClass(const std::string& name) {
    LevelVar& v = classVars_.emplace_back();
    v.desc = descriptor(name);
    v.order = 'U';
    v.refIndex = -2;
    v.formattedWidth = v.desc->type == kVarCharacter ? v.desc->length : 12;
    return v;
  }
  LevelVar& addModelVar(const std::string& name) {
    LevelVar& v = modelVars_.emplace_back();
    v.desc = descriptor(name);
    return v;
  }
  LevelVar* extraVar(const std::string& name) {
    LevelVar& v = extras_.emplace_back();
    v.desc = descriptor(name);
    return &v;
  }

  // An effect: crossed and nesting CLASS-list indexes, continuous model-variable indexes.
  void addEffect(std::vector<int32_t> cross, std::vector<int32_t> nest = {},
                 std::vector<int32_t> cont = {}) {
    effects_.push_back(EffectSpec{std::move(cross), std::move(nest), std::move(cont)});
  }

  // Points the design at the records; the intercept first unless noIntercept.
  void build(bool noIntercept = false) {
    design.classCount = static_cast<int32_t>(classVars_.size());
    classArray_.assign(classVars_.begin(), classVars_.end());
    design.classVars = classArray_.data();
    modelArray_.assign(modelVars_.begin(), modelVars_.end());
    design.modelVarCount = static_cast<int32_t>(modelArray_.size());
    design.modelVars = modelArray_.data();
    if (noIntercept) design.flags |= dflag::kNoIntercept;
    if (!noIntercept) effects_.insert(effects_.begin(), EffectSpec{});
    effectArray_.assign(effects_.size(), ZEffect());
    keys_.resize(effects_.size());
    for (size_t e = 0; e < effects_.size(); ++e) {
      const EffectSpec& s = effects_[e];
      ZEffect& z = effectArray_[e];
      z.name = const_cast<char*>(e == 0 && !noIntercept ? "Intercept" : "effect");
      z.owner = &design;
      z.contCount = static_cast<int32_t>(s.cont.size());
      z.cont = const_cast<int32_t*>(s.cont.data());
      z.crossCount = static_cast<int32_t>(s.cross.size());
      z.nestCount = static_cast<int32_t>(s.nest.size());
      z.keyCount = z.crossCount + z.nestCount;
      if (z.keyCount == 0) continue;
      std::vector<int32_t>& key = keys_[e];
      key = s.cross;
      key.insert(key.end(), s.nest.begin(), s.nest.end());
      key.resize(2 * static_cast<size_t>(z.keyCount), 0);
      z.key = key.data();
      z.cross = z.key;
      z.nest = z.key + z.crossCount;
      z.multipliers = z.key + z.keyCount;
    }
    design.effectCount = static_cast<int32_t>(effectArray_.size());
    design.effects = effectArray_.data();
    results_.assign(effectArray_.size(), EffectResult());
    design.results = results_.data();
  }

  // The step driver's loop: the next BY group with a fresh group heap.
  bool nextGroup() {
    if (heap_) endGroup();
    if (hostv().ds->nextByGroup(input) != 1) return false;
    alloc.allocator = hostv().proc->heapNew(0, 1024, 0x1004);
    heap_ = alloc.allocator;
    ++groups_;
    return true;
  }
  // Levels are collected afresh (the driver resets the first counts), then zlev.
  int levelize() {
    if (design.classCount > 0) design.classVars[0].levelCount = 0;
    if (design.modelVarCount > 0) design.modelVars[0].levelCount = 0;
    return zlev(lev);
  }
  void endGroup() {
    zlevfree(lev, -1);
    if (heap_) hostv().proc->heapFree(heap_);
    heap_ = nullptr;
    alloc.allocator = nullptr;
  }

  // The level texts of a CLASS variable in level order, without trailing blanks.
  std::vector<std::string> levels(int var) const {
    const LevelVar& v = design.classVars[var];
    std::vector<std::string> out;
    for (int k = 0; k < v.levelCount; ++k)
      out.emplace_back(
          trimRight(std::string_view(v.levelTexts[k], static_cast<size_t>(v.formattedWidth))));
    return out;
  }

  ZDesign design;
  ZLevCtx ctx;
  ZLevCtx* lev = &ctx;
  LevAllocRecord alloc;
  HostDataSet* input = nullptr;

 private:
  struct EffectSpec {
    std::vector<int32_t> cross, nest, cont;
  };

  std::filesystem::path util_;
  std::deque<VarDescriptor> descriptors_;
  std::deque<LevelVar> classVars_, modelVars_, extras_;
  std::vector<LevelVar> classArray_, modelArray_;
  std::vector<EffectSpec> effects_;
  std::vector<ZEffect> effectArray_;
  std::vector<std::vector<int32_t>> keys_;
  std::vector<EffectResult> results_;
  HostPool* heap_ = nullptr;
  int groups_ = 0;
};

}  // namespace vsf::test
