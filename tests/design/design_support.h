// Test support for the design subsystem: builds a levelized model description (CLASS variables
// with their levels and codings, continuous variables, design variables, effects) the way
// levelization leaves it, and sets up an observation the way zreadobs does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "common/test_host.h"
#include "design/design.h"
#include "effects/effects.h"
#include "frame/host/dataset.h"
#include "host/session.h"
#include "levelize/levelize.h"

namespace vsf::test {

struct ClassSpec {
  std::string name;
  std::vector<std::string> levels;  // formatted texts, in level order
  CodingCode coding = kCodingRef;
  int ref = -1;  // -1: the last level
  bool character = false;
  std::vector<double> values;  // numeric level values (default: parsed texts)
  std::string label;
  int width = 0;   // formatted width (default: longest text)
  int length = 8;  // value width of the host descriptor
  int split = 0;
  int cprefix = -1, lprefix = -1;
  std::vector<double> matrix;  // coding matrix, levels x (levels - 1)
};

// A character CLASS variable of these level texts.
inline ClassSpec cls(const std::string& name, std::vector<std::string> levels,
                     CodingCode coding = kCodingRef, int split = 0) {
  ClassSpec s;
  s.name = name;
  s.levels = std::move(levels);
  s.character = true;
  s.coding = coding;
  s.split = split;
  return s;
}

// A numeric CLASS variable of the levels 1 .. n.
inline ClassSpec cls(const std::string& name, int levels, CodingCode coding = kCodingRef,
                     int ref = -1) {
  ClassSpec s;
  s.name = name;
  for (int l = 0; l < levels; ++l) s.levels.push_back(std::to_string(l + 1));
  s.coding = coding;
  s.ref = ref;
  return s;
}

struct EffectSpec {
  std::string name;
  std::vector<int> cont, cross, nest, members;
};

struct DesignVarSpec {
  std::string name;
  int type = effkind::kCollection;
  int columns = 0;
  std::vector<int> values;              // model-variable indexes
  std::vector<int> classes;             // CLASS-list indexes
  std::vector<std::string> levelNames;  // preset level names (labels), or none
};

// Sets VALIDVARNAME for the life of the object.
class ValidVarName {
 public:
  explicit ValidVarName(const std::string& v) : saved_(host::session().options.validVarName) {
    host::session().options.validVarName = v;
  }
  ~ValidVarName() { host::session().options.validVarName = saved_; }

 private:
  std::string saved_;
};

class DesignBuilder {
 public:
  explicit DesignBuilder(uint32_t flags = dflag::kFullRank) {
    ensureHost();
    pool = kernel().poolCreate("design test", kPoolPlain);
    alloc.allocator = pool;
    d.flags = flags;
    d.allocator = pool;
    ctx.design = &d;
    ctx.alloc = &alloc;
  }
  ~DesignBuilder() { kernel().poolDestroy(pool); }
  DesignBuilder(const DesignBuilder&) = delete;
  DesignBuilder& operator=(const DesignBuilder&) = delete;

  int addClass(ClassSpec s) {
    classes_.push_back(std::move(s));
    return static_cast<int>(classes_.size()) - 1;
  }
  int addContinuous(const std::string& name, const std::string& label = "") {
    conts_.push_back({name, label});
    return static_cast<int>(conts_.size()) - 1;
  }
  int addDesignVar(DesignVarSpec s) {
    dvSpecs_.push_back(std::move(s));
    return static_cast<int>(dvSpecs_.size()) - 1;
  }
  int addEffect(EffectSpec s) {
    effects_.push_back(std::move(s));
    return static_cast<int>(effects_.size()) - 1;
  }
  // An observation's CLASS levels, collected into the observed combinations (QFR layout).
  void observe(const std::vector<int32_t>& levels) { observed_.push_back(levels); }

  // Lays out the records as levelization leaves them, then builds the level tables.
  void finish() {
    buildClassVars();
    buildContinuous();
    buildDesignVars();
    buildEffects();
    ctx.largestLevelCount = 1;
    for (const LevelVar& v : classVars_)
      ctx.largestLevelCount = std::max(ctx.largestLevelCount, v.levelCount);
    scratch_.assign(static_cast<size_t>(ctx.largestLevelCount), 0.0);
    ctx.levelScratch = reinterpret_cast<char*>(scratch_.data());
    levels_.assign(classVars_.size() + 1, -1);
    values_.assign(modelVars_.size() + 1, 0.0);
    ctx.levelIndexes = levels_.data();
    ctx.values = values_.data();
    EXPECT_EQ(zncols(&ctx), 0);
  }

  // What zreadobs leaves: levels, values, and per effect the product of its continuous
  // members and its combination index.
  void setObservation(const std::vector<int32_t>& levels, const std::vector<double>& values) {
    std::copy(levels.begin(), levels.end(), levels_.begin());
    std::copy(values.begin(), values.end(), values_.begin());
    for (int e = 0; e < d.effectCount; ++e) {
      const ZEffect& z = d.effects[e];
      double p = 1.0;
      for (int k = 0; k < z.contCount; ++k) p *= values[static_cast<size_t>(z.cont[k])];
      if (znotfinite(p)) p = kMissingDot();
      d.results[e].product = p;
      d.results[e].combination = combinationOf(z, levels);
    }
  }

  std::vector<double> row(const std::vector<int32_t>& levels, const std::vector<double>& values) {
    setObservation(levels, values);
    std::vector<double> r(static_cast<size_t>(d.columnCount), -7.0);
    zxrow(&ctx, nullptr, nullptr, r.data());
    return r;
  }

  std::vector<int32_t> levelRow(int effect, int column) const {
    const ZEffect& z = d.effects[effect];
    if (!z.levelTable) return {};
    const int32_t* r = z.levelTable + column * z.levelTableWidth;
    return std::vector<int32_t>(r, r + z.levelTableWidth);
  }

  std::string name(int column) const { return d.parmNames[0][column]; }
  std::string label(int column) const { return d.parmNames[1][column]; }
  std::vector<std::string> names() const {
    return std::vector<std::string>(d.parmNames[0], d.parmNames[0] + d.columnCount);
  }
  std::vector<std::string> labels() const {
    return std::vector<std::string>(d.parmNames[1], d.parmNames[1] + d.columnCount);
  }

  ZDesign d;
  ZLevCtx ctx;
  LevAllocRecord alloc;
  HostPool* pool = nullptr;

 private:
  struct Cont {
    std::string name, label;
  };

  static int32_t* ints(std::deque<std::vector<int32_t>>& store, const std::vector<int>& v) {
    store.emplace_back(v.begin(), v.end());
    store.back().push_back(0);
    return store.back().data();
  }

  void buildClassVars() {
    for (const ClassSpec& s : classes_) {
      VarDescriptor& desc = descs_.emplace_back();
      desc.name = s.name;
      desc.label = s.label;
      desc.type = s.character ? kVarCharacter : kVarNumeric;
      desc.length = s.length;
      LevelVar v;
      v.desc = &desc;
      v.levelCount = static_cast<int32_t>(s.levels.size());
      int width = s.width;
      for (const std::string& t : s.levels) width = std::max(width, static_cast<int>(t.size()));
      v.formattedWidth = width;
      auto& texts = texts_.emplace_back();
      auto& ptrs = textPtrs_.emplace_back();
      auto& recs = levelRecs_.emplace_back();
      for (size_t l = 0; l < s.levels.size(); ++l) {
        texts.push_back(s.levels[l] +
                        std::string(static_cast<size_t>(width) - s.levels[l].size(), ' '));
        LevelRecord r;
        r.value = l < s.values.size() ? s.values[l] : std::strtod(s.levels[l].c_str(), nullptr);
        recs.push_back(r);
      }
      for (size_t l = 0; l < texts.size(); ++l) {
        ptrs.push_back(texts[l].data());
        recs[l].text = texts[l].data();
        recs[l].length = static_cast<int32_t>(s.levels[l].size());
      }
      v.levelTexts = ptrs.data();
      v.levels = recs.data();
      v.coding = s.coding;
      v.refIndex = s.ref < 0 ? v.levelCount - 1 : s.ref;
      v.split = s.split;
      v.cprefix = s.cprefix;
      v.lprefix = s.lprefix;
      if (!s.matrix.empty()) v.codingMatrix = matrices_.emplace_back(s.matrix).data();
      classVars_.push_back(v);
    }
    d.classCount = static_cast<int32_t>(classVars_.size());
    d.classVars = classVars_.data();
  }

  void buildContinuous() {
    for (const Cont& c : conts_) {
      VarDescriptor& desc = descs_.emplace_back();
      desc.name = c.name;
      desc.label = c.label;
      LevelVar v;
      v.desc = &desc;
      modelVars_.push_back(v);
    }
    d.modelVarCount = static_cast<int32_t>(modelVars_.size());
    d.modelVars = modelVars_.data();
  }

  void buildDesignVars() {
    dvArray_.reserve(dvSpecs_.size());
    for (const DesignVarSpec& s : dvSpecs_) {
      ZDesignVar& v = dvArray_.emplace_back();
      names_.push_back(s.name);
      v.name = names_.back().data();
      v.nameLength = static_cast<int32_t>(s.name.size());
      v.type = s.type;
      v.valueCount = static_cast<int32_t>(s.values.size());
      v.values = ints(intStore_, s.values);
      v.classCount = static_cast<int32_t>(s.classes.size());
      v.classMembers = ints(intStore_, s.classes);
      v.columnCount = v.valueLength = s.columns;
      v.columnValues =
          columnStore_.emplace_back(static_cast<size_t>(std::max(1, s.columns)), 0.0).data();
      if (!s.levelNames.empty()) {
        auto& ptrs = dvLabelPtrs_.emplace_back();
        auto& lens = intStore_.emplace_back();
        for (const std::string& n : s.levelNames) {
          names_.push_back(n);
          ptrs.push_back(names_.back().data());
          lens.push_back(static_cast<int32_t>(n.size()));
          v.longestLabel = std::max(v.longestLabel, static_cast<int32_t>(n.size()));
        }
        v.labels = ptrs.data();
        v.labelLengths = lens.data();
      }
    }
    d.designVarCount = static_cast<int32_t>(dvArray_.size());
    d.designVars = dvArray_.empty() ? nullptr : dvArray_.data();
  }

  int combinationOf(const ZEffect& z, const std::vector<int32_t>& levels) const {
    if (z.keyCount == 0) return 0;
    for (int c = 0; c < z.combinationCount; ++c) {
      bool same = true;
      for (int k = 0; k < z.keyCount; ++k)
        same = same && z.combinations[c * z.keyCount + k] == levels[static_cast<size_t>(z.key[k])];
      if (same) return c;
    }
    return z.combinationCount;
  }

  // Observed combinations in key order (nesting levels first, then crossed), stored crossed
  // first, as levelization lays them out.
  void observedCombinations(ZEffect& z) {
    std::map<std::vector<int32_t>, std::vector<int32_t>> seen;
    for (const auto& levels : observed_) {
      std::vector<int32_t> key, row;
      bool missing = false;
      for (int k = 0; k < z.nestCount; ++k) key.push_back(levels[static_cast<size_t>(z.nest[k])]);
      for (int k = 0; k < z.crossCount; ++k) key.push_back(levels[static_cast<size_t>(z.cross[k])]);
      for (int k = 0; k < z.keyCount; ++k) {
        row.push_back(levels[static_cast<size_t>(z.key[k])]);
        missing = missing || row.back() < 0;
      }
      if (!missing) seen[key] = row;
    }
    auto& table = intStore_.emplace_back();
    for (const auto& [key, row] : seen) table.insert(table.end(), row.begin(), row.end());
    z.combinationCount = static_cast<int32_t>(seen.size());
    z.combinations = table.empty() ? nullptr : table.data();
  }

  void buildEffects() {
    bool coded = d.flags & dflag::kFullRank;
    int total = 0;
    for (size_t i = 0; i < effects_.size(); ++i) {
      const EffectSpec& s = effects_[i];
      ZEffect z;
      effectNames_.push_back(s.name);
      z.name = effectNames_.back().data();
      z.contCount = static_cast<int32_t>(s.cont.size());
      z.cont = ints(intStore_, s.cont);
      std::vector<int> key = s.cross;
      key.insert(key.end(), s.nest.begin(), s.nest.end());
      z.keyCount = static_cast<int32_t>(key.size());
      z.key = ints(intStore_, key);
      z.crossCount = static_cast<int32_t>(s.cross.size());
      z.cross = z.key;
      z.nestCount = static_cast<int32_t>(s.nest.size());
      z.nest = z.key + z.crossCount;
      z.constructedCount = static_cast<int32_t>(s.members.size());
      z.constructed = ints(intStore_, s.members);
      long long c = 1;
      if (coded) {
        for (int k = 0; k < z.crossCount; ++k) {
          int levels = classVars_[static_cast<size_t>(z.cross[k])].levelCount;
          bool full = k == 0 && i == 0 && (d.flags & dflag::kNoIntercept);
          c *= full ? levels : levels - 1;
        }
        for (int k = 0; k < z.nestCount; ++k)
          c *= classVars_[static_cast<size_t>(z.nest[k])].levelCount;
      } else {
        if (z.keyCount)
          observedCombinations(z);
        else
          z.combinationCount = 1;
        c = z.combinationCount;
      }
      z.classColumnCount = static_cast<int32_t>(c);
      for (int m : s.members) c *= dvArray_[static_cast<size_t>(m)].columnCount;
      z.startColumn = total;
      z.columnCount = static_cast<int32_t>(c);
      total += z.columnCount;
      effectsArr_.push_back(z);
    }
    d.effectCount = static_cast<int32_t>(effectsArr_.size());
    d.effects = effectsArr_.data();
    d.columnCount = total;
    results_.assign(effectsArr_.size() + 1, EffectResult{});
    d.results = results_.data();
  }

  std::vector<ClassSpec> classes_;
  std::vector<Cont> conts_;
  std::vector<DesignVarSpec> dvSpecs_;
  std::vector<EffectSpec> effects_;
  std::vector<std::vector<int32_t>> observed_;
  std::deque<VarDescriptor> descs_;
  std::deque<std::vector<std::string>> texts_;
  std::deque<std::vector<char*>> textPtrs_;
  std::deque<std::vector<LevelRecord>> levelRecs_;
  std::deque<std::vector<double>> matrices_;
  std::deque<std::vector<int32_t>> intStore_;
  std::deque<std::vector<double>> columnStore_;
  std::deque<std::vector<char*>> dvLabelPtrs_;
  std::deque<std::string> names_;
  std::deque<std::string> effectNames_;
  std::vector<LevelVar> classVars_;
  std::vector<LevelVar> modelVars_;
  std::vector<ZDesignVar> dvArray_;
  std::vector<ZEffect> effectsArr_;
  std::vector<EffectResult> results_;
  std::vector<double> scratch_;
  std::vector<int32_t> levels_;
  std::vector<double> values_;
};

}  // namespace vsf::test
