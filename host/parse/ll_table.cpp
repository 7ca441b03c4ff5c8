// The LL(1) table of a grammar, built from its productions the first time the grammar runs:
// nullable nonterminals, FIRST and FOLLOW sets, then one cell per nonterminal and terminal.
// Semantic actions are transparent: they derive the empty string.
#include <fmt/format.h>

#include <map>
#include <memory>
#include <mutex>

#include "host/parse/parse_internal.h"

namespace vsf::host::parse {

namespace {

// A set of terminals as bits.
class TermSet {
 public:
  explicit TermSet(int n = 0) : bits_((static_cast<size_t>(n) + 64) / 64, 0) {}
  bool add(int t) {
    uint64_t m = uint64_t{1} << (t % 64);
    uint64_t& w = bits_[static_cast<size_t>(t) / 64];
    bool fresh = (w & m) == 0;
    w |= m;
    return fresh;
  }
  bool addAll(const TermSet& o) {
    bool changed = false;
    for (size_t i = 0; i < bits_.size(); ++i) {
      uint64_t before = bits_[i];
      bits_[i] |= o.bits_[i];
      changed |= bits_[i] != before;
    }
    return changed;
  }
  bool has(int t) const { return (bits_[static_cast<size_t>(t) / 64] >> (t % 64)) & 1; }

 private:
  std::vector<uint64_t> bits_;
};

}  // namespace

LLTable::LLTable(const GrammarDescriptor& g)
    : vocabulary(g), source(g.productions), sourceLeft(g.productionLeft) {
  terminals = g.keywordCount;
  nonterminals = g.nonterminalCount();
  const int first = g.firstNonterminal;
  const int productions = g.productionCount();
  rhs.resize(static_cast<size_t>(productions));
  for (int p = 0; p < productions; ++p) {
    size_t at = g.productionStarts[static_cast<size_t>(p)];
    int n = g.productions[at];
    for (int k = n; k >= 1; --k) rhs[static_cast<size_t>(p)].push_back(g.productions[at + k]);
  }
  auto isNonterminal = [&](int s) { return s >= first; };

  nullable.assign(static_cast<size_t>(nonterminals), 0);
  std::vector<TermSet> firstSet(static_cast<size_t>(nonterminals), TermSet(terminals));
  std::vector<TermSet> follow(static_cast<size_t>(nonterminals), TermSet(terminals));

  // FIRST of a symbol string from position k; returns whether it can derive empty.
  auto firstOf = [&](const std::vector<int>& seq, size_t k, TermSet* out) {
    for (; k < seq.size(); ++k) {
      int s = seq[k];
      if (s < 0) continue;
      if (!isNonterminal(s)) {
        out->add(s);
        return false;
      }
      out->addAll(firstSet[static_cast<size_t>(s - first)]);
      if (!nullable[static_cast<size_t>(s - first)]) return false;
    }
    return true;
  };

  for (bool changed = true; changed;) {
    changed = false;
    for (int p = 0; p < productions; ++p) {
      size_t a = g.productionLeft[static_cast<size_t>(p)];
      TermSet f(terminals);
      bool empty = firstOf(rhs[static_cast<size_t>(p)], 0, &f);
      changed |= firstSet[a].addAll(f);
      if (empty && !nullable[a]) {
        nullable[a] = 1;
        changed = true;
      }
    }
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (int p = 0; p < productions; ++p) {
      size_t a = g.productionLeft[static_cast<size_t>(p)];
      const std::vector<int>& seq = rhs[static_cast<size_t>(p)];
      for (size_t k = 0; k < seq.size(); ++k) {
        if (seq[k] < 0 || !isNonterminal(seq[k])) continue;
        size_t b = static_cast<size_t>(seq[k] - first);
        TermSet f(terminals);
        if (firstOf(seq, k + 1, &f)) changed |= follow[b].addAll(follow[a]);
        changed |= follow[b].addAll(f);
      }
    }
  }

  cells.assign(static_cast<size_t>(nonterminals) * (terminals + 1), -1);
  auto claim = [&](size_t a, int t, int p) {
    int16_t& cell = cells[a * (terminals + 1) + t];
    if (cell < 0) {
      cell = static_cast<int16_t>(p);
    } else if (cell != p) {
      conflicts.push_back(fmt::format("{} on {}: productions {} and {}", g.nonterminalNames[a],
                                      g.word(t), cell, p));
    }
  };
  for (int p = 0; p < productions; ++p) {
    size_t a = g.productionLeft[static_cast<size_t>(p)];
    TermSet f(terminals);
    bool empty = firstOf(rhs[static_cast<size_t>(p)], 0, &f);
    for (int t = 1; t <= terminals; ++t) {
      if (f.has(t) || (empty && follow[a].has(t))) claim(a, t, p);
    }
  }
}

const LLTable& tableFor(const GrammarDescriptor* g) {
  static std::mutex mutex;
  static std::map<const GrammarDescriptor*, std::unique_ptr<LLTable>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<LLTable>& t = tables[g];
  // A descriptor freed and another made at the same address must not reuse the old table.
  if (!t || t->source != g->productions || t->sourceLeft != g->productionLeft)
    t = std::make_unique<LLTable>(*g);
  return *t;
}

}  // namespace vsf::host::parse
