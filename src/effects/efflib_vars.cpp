// Names of an effect expression: resolving them to the model-variable and CLASS lists, and
// expanding ranges (a-b, a--b, a-NUMERIC-b, a-CHARACTER-b), prefixes (a:) and the list
// keywords (_NUMERIC_, _CHARACTER_) into one-variable effects.
#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "effects/efflib_internal.h"
#include "grammar/grammar.h"

namespace vsf {

std::string nameLiteralText(const ParseToken& token) {
  const std::string& t = token.text;
  // 'abc'n and "abc"n stand for the name abc.
  if (t.size() >= 3 && (t[0] == '\'' || t[0] == '"') && (t.back() == 'n' || t.back() == 'N') &&
      t[t.size() - 2] == t[0]) {
    return t.substr(1, t.size() - 3);
  }
  return t;
}

bool zeffvarfind(std::string_view name, int32_t* id, bool* effectName) {
  // Whole, not cut to a name's 32 characters: a longer name is no variable's, and the error
  // quotes it as written.
  std::string n(name);
  *effectName = false;
  if (ZEffLib* lib = effLib()) {
    for (int32_t i = 0; i < lib->effectNameCount; ++i) {
      if (!equalsNoCase(lib->effectNames[i], n)) continue;
      if (static_cast<int64_t>(kConstructedIdBase) - i < INT32_MIN) {
        hostMsg(174, 32, {9999999});
        effFail(step::kEffect);
        return false;
      }
      *id = kConstructedIdBase - i;
      *effectName = true;
      return true;
    }
  }
  HostDataSet* ds = analysisDataSet();
  int number = -1;
  if (!ds || hostv().ds->findVar(ds, n, &number) != 0) {
    // A statement's word, RUN or QUIT read as a variable: the statement before it lacks its
    // ";".
    hostMsg(174, beginsStatement(n) ? 120 : 6, {std::string_view(n)});
    effFail(step::kEffect);
    return false;
  }
  *id = number;
  return true;
}

int zeffvarkind(int32_t id, int, int32_t* index, bool effectName) {
  *index = id;
  if (effectName) return 6;
  if (id < 0) return 5;
  ZEffLib* lib = effLib();
  if ((*index = listPosition(lib, 1, id)) >= 0) return 1;
  if ((*index = listPosition(lib, 2, id)) >= 0) return 2;
  *index = appendModelVar(lib, id);
  return 1;
}

namespace {

// The name of a range endpoint: a term of one variable that is not an EFFECT name.
bool zeffendpoint(const EffectRec* term, std::string* name) {
  if (!term || zeffvarcount(term) != 1) {
    hostMsg(174, 7);
    effFail(step::kEffect);
    return false;
  }
  if (term->cross.count == 1 && term->cross.ids[0] <= kConstructedIdBase) {
    hostMsg(174, 4);
    effFail(step::kEffect);
    hostEndStep(step::kEffect);
  }
  if (term->cont.count == 1)
    *name = zeffidname(term->cont.ids[0], 1);
  else if (term->cross.count == 1)
    *name = zeffidname(term->cross.ids[0], 2);
  else
    *name = zeffidname(term->nest.ids[0], 2);
  return true;
}

// One variable of an expanded list becomes an effect of its own.
void zeffaddsingle(ZEffLib* lib, int number) {
  int32_t index = 0;
  int kind = zeffvarkind(number, lib->mode, &index, false);
  EffectRec* e = zeffnew();
  zeffaddvar(index, e, kind == 2 ? idlist::kCross : idlist::kCont);
  int r = ADDEFF(lib, e);
  if (r < 0) return;
  if (r == 1) zeffname(lib, e);
  zeffref(lib, hostv().parse->currentStatement(), 1, lib->current);
  if (r == 0) zeffrecfree(e);
}

}  // namespace

int expandOperator(ZEffLib* lib, int kind) {
  std::string first, second;
  if (kind >= op::kRange && kind <= op::kRangeChar) {
    const EffectRec* a = lib->barHead;
    if (!zeffendpoint(a, &first) || !zeffendpoint(a->link, &second)) return rc::kFailed;
  } else if (kind == op::kPrefix) {
    if (!lib->hasPrefix) {
      hostMsg(174, 93);
      effFail(step::kEffect);
      return rc::kFailed;
    }
    first = lib->prefix;
  }
  HostDataSet* ds = analysisDataSet();
  if (!ds) {
    hostMsg(174, 94);
    effFail(step::kInternal);
    return rc::kFailed;
  }
  std::vector<int> numbers;
  if (hostv().ds->expandList(ds, first, second, kind + 1, &numbers) != 0) {
    effFail(step::kEffect);
    return rc::kFailed;
  }
  emptyBarList(lib);
  for (int number : numbers) {
    if (kind != op::kPrefix) {
      zeffaddsingle(lib, number);
      continue;
    }
    // A prefix list replaces the term made for the prefix: each variable alone on the bar list.
    int32_t index = 0;
    int k = zeffvarkind(number, lib->mode, &index, false);
    EffectRec* e = zeffnew();
    zeffaddvar(index, e, k == 2 ? idlist::kCross : idlist::kCont);
    *lib->barTail = e;
    lib->barTail = &e->link;
    if (AddBarEffects(lib) < 0) return rc::kFailed;
  }
  emptyBarList(lib);
  return 0;
}

// Variables that entered the model-variable list in this expression are continuous: they
// must be numeric.
void checkNumericModelVars(ZEffLib* lib) {
  std::vector<int>& vars = modelVarList();
  HostDataSet* ds = analysisDataSet();
  if (!ds) return;
  for (size_t i = static_cast<size_t>(lib->listStart); i < vars.size(); ++i) {
    VarDescriptor d;
    if (hostv().ds->varByNumber(ds, vars[i], &d) != 0 || d.type != kVarCharacter) continue;
    hostMsg(174, 8, {std::string_view(d.name)});
    effFail(step::kEffect);
    truncateModelVars(lib, lib->listStart);
    return;
  }
}

}  // namespace vsf
