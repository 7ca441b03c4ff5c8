// Effect names: the members' names joined by '*', nesting in parentheses, each name cut
// evenly until the whole fits the name length limit.
#include <algorithm>
#include <cstring>

#include "base/host.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

constexpr std::string_view kLongName = "LONGNAME EFFECT";

void store(const ZEffLib* lib, EffectRec* e, std::string_view text) {
  size_t room = static_cast<size_t>(std::max(lib->nameLimit + 1, 25)) - 1;
  text = text.substr(0, room);
  text.copy(e->name, text.size());
  e->name[text.size()] = '\0';
  e->nameLength = static_cast<int32_t>(text.size());
}

int32_t joinedLength(const std::vector<std::string>& pieces, bool nesting) {
  int32_t n = 0;
  for (const auto& p : pieces) n += static_cast<int32_t>(p.size()) + 1;
  return nesting ? n : n - 1;
}

// Cuts the longest pieces one character at a time, in order, until the name fits; false
// when even one-character pieces are too long.
bool shorten(std::vector<std::string>* pieces, bool nesting, int32_t limit) {
  size_t m = 0;
  for (const auto& p : *pieces) m = std::max(m, p.size());
  while (joinedLength(*pieces, nesting) > limit) {
    if (m < 2) return false;
    --m;
    for (auto& p : *pieces) {
      if (p.size() > m) p.resize(m);
      if (joinedLength(*pieces, nesting) <= limit) return true;
    }
  }
  return true;
}

}  // namespace

std::string zeffidname(int32_t id, int list) {
  if (id <= kConstructedIdBase) {
    const char* n = effectNameText(id);
    return n ? n : "";
  }
  const std::vector<int>& vars = list == 1 ? modelVarList() : classVarList();
  HostDataSet* ds = analysisDataSet();
  if (id < 0 || static_cast<size_t>(id) >= vars.size() || !ds) return "";
  VarDescriptor d;
  if (hostv().ds->varByNumber(ds, vars[static_cast<size_t>(id)], &d) != 0) return "";
  return d.name;
}

void zeffname(ZEffLib* lib, EffectRec* e) {
  if (zeffvarcount(e) > 16) {
    hostMsg(174, 10);
    store(lib, e, kLongName);
    return;
  }
  std::vector<std::string> pieces;
  for (int32_t i = 0; i < e->cont.count; ++i) pieces.push_back(zeffidname(e->cont.ids[i], 1));
  for (int32_t i = 0; i < e->cross.count; ++i) pieces.push_back(zeffidname(e->cross.ids[i], 2));
  size_t firstNest = pieces.size();
  for (int32_t i = 0; i < e->nest.count; ++i) pieces.push_back(zeffidname(e->nest.ids[i], 2));
  if (pieces.empty()) {
    store(lib, e, "Intercept");
    return;
  }
  bool nesting = e->nest.count > 0;
  if (!shorten(&pieces, nesting, lib->nameLimit)) {
    hostMsg(174, 10);
    store(lib, e, kLongName);
    return;
  }
  std::string name;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) name += (nesting && i == firstNest) ? '(' : '*';
    name += pieces[i];
  }
  if (nesting) {
    if (firstNest == 0) name.insert(name.begin(), '(');
    name += ')';
  }
  store(lib, e, name);
  if (lib->trace) traceEffect(e);
}

}  // namespace vsf
