// EFFECT statement expansion: how many design variables each constructed effect needs, their
// records and names, and the variables they add to the design's lists.
#include <cmath>
#include <new>
#include <string>

#include "base/host.h"
#include "base/strings.h"
#include "effects/effect_stmt_internal.h"
#include "effects/effinfo_internal.h"
#include "effects/efflib_internal.h"

namespace vsf {

namespace {

// Fails the expansion: the message is issued, the build code raised.
int refuse(ZDesign* d, int code) {
  raiseBuildCode(d, code);
  return 1;
}

// The terms of a POLYNOMIAL: C(m + d, d) - 1, as a product of ratios; 2147483646 once a step
// would pass it.
int32_t polynomialTermCount(const EffectStatement& e) {
  int32_t degree = e.integer(es::kDegree, 1);
  double r = 1.0;
  for (int32_t i = 1; i <= degree; ++i) {
    r = r * static_cast<double>(e.members + i) / static_cast<double>(i);
    if (r > 2147483647.0) {
      r = 2147483647.0;
      break;
    }
  }
  return static_cast<int32_t>(std::lround(r)) - 1;
}

// The widest effect whose crossproducts, with the intercept and the response, one packed
// matrix holds.
int64_t mostEffectColumns() {
  static const int64_t most = [] {
    int64_t n = 1;
    while (packedElementCount(n + 3) >= 0) ++n;
    return n;
  }();
  return most;
}

}  // namespace

int statementFitsMemory(ZDesign* d, const EffectStatement& e, std::string_view kind,
                        std::string_view option, std::string_view value, int64_t designVars,
                        int64_t columns) {
  const std::string_view name = e.name;
  if (const int64_t most = mostEffectColumns(); columns > most) {
    hostMsg(
        848, 6152,
        {option, value, kind, name, static_cast<long long>(columns), static_cast<long long>(most)});
    return refuse(d, step::kMemory);
  }
  const double records = kDesignVarBytes * static_cast<double>(designVars),
               crossproducts =
                   4.0 * static_cast<double>(columns) * static_cast<double>(columns + 1);
  const std::string holds =
      crossproducts > records
          ? hostMsgText(848, 6153, {static_cast<long long>(columns), kind, name})
          : hostMsgText(848, 6154, {static_cast<long long>(designVars), kind, name});
  if (optionFitsMemory(option, value, records + crossproducts, holds)) return 0;
  return refuse(d, step::kMemory);
}

namespace {

// First pass for one statement: its design-variable count and whether it needs a lag table.
int countStatement(ZDesign* d, EffectStatement* e) {
  if (e->vars().empty()) {
    hostMsg(174, 67, {std::string_view(e->name)});
    return refuse(d, step::kStatement);
  }
  e->members = zeffvarcount(e->vars());
  switch (e->type) {
    case effkind::kSpline:
      if (int rc = countSpline(d, *e, &e->spline)) return rc;
      e->designVars = e->spline.designVars;
      break;
    case effkind::kPolynomial: {
      // Each term is a design variable of its own, or a column of the one NOSEPARATE keeps.
      const int32_t terms = polynomialTermCount(*e);
      const bool one = e->flag(ef::kNoSeparate);
      e->designVars = one ? 1 : terms;
      if (int rc = statementFitsMemory(d, *e, "POLYNOMIAL", "DEGREE",
                                       std::to_string(e->integer(es::kDegree, 1)), e->designVars,
                                       one ? terms : 1))
        return rc;
      break;
    }
    case effkind::kLag:
      e->designVars = 1;
      // A key of several variables without DESIGNROLE= takes a table of the design's; with it
      // the record keeps its two tables, by the DESIGNROLE= value.
      e->lagTable = e->list(es::kWithin).size() >= 2 && !e->given(es::kDesignRole);
      break;
    default:
      e->designVars = 1;
      break;
  }
  return 0;
}

// DETAILS(DELIMITER=): a blank unless a character is given.
char separatorOf(const EffectStatement& e, const char* designVarName) {
  if (!e.flag(ef::kDetails) || !e.given(es::kDelimiter)) return ' ';
  const std::string& t = e.text(es::kDelimiter);
  if (t.empty()) {
    hostMsg(174, 65, {designVarName});
    return ' ';
  }
  if (t.size() > 1) hostMsg(174, 64, {designVarName});
  return t[0];
}

ZDesignVar* startRecord(ZDesignVar* v, const EffectStatement& e, int32_t index,
                        std::string_view name) {
  v->name = effStrdup(name);
  v->nameLength = static_cast<int32_t>(name.size());
  v->label = v->name;
  v->labelLength = v->nameLength;
  v->type = e.type;
  v->statement = e.number;
  v->replicates = e.designVars;
  v->recordIndex = index;
  v->first = index == 0;
  v->details = e.flag(ef::kDetails);
  v->report = index == 0 && v->details;
  return v;
}

int32_t* idsOf(const std::vector<int32_t>& ids) {
  if (ids.empty()) return nullptr;
  auto* p = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * ids.size()));
  for (size_t i = 0; i < ids.size(); ++i) p[i] = ids[i];
  return p;
}

int buildMultimember(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v) {
  std::vector<int> members = distinctVars(e.vars());
  std::vector<int32_t> classes;
  for (int number : members) {
    int32_t c = zclassfind(d, number);
    if (c < 0) {
      VarDescriptor* desc = effDescriptor(ds, number);
      hostMsg(174, 24, {std::string_view(desc ? desc->name : std::string())});
      return refuse(d, step::kInternal);
    }
    classes.push_back(c);
  }
  std::vector<int32_t> weights;
  if (e.given(es::kMmWeight)) {
    if (e.list(es::kMmWeight).size() != members.size()) {
      hostMsg(174, 23, {std::string_view(e.name)});
      return refuse(d, step::kInternal);
    }
    zaddmodelvars(ds, d, e.list(es::kMmWeight), &weights);
  }
  for (int32_t c : classes) d->classVars[c].multimember = 1;
  startRecord(v, e, 0, e.name);
  v->classCount = static_cast<int32_t>(classes.size());
  v->classMembers = idsOf(classes);
  v->valueCount = static_cast<int32_t>(weights.size());
  v->values = idsOf(weights);
  v->allMissingOk = e.flag(ef::kNoEffect);
  v->weightedSum = e.flag(ef::kStdize);
  v->separator = separatorOf(e, v->name);
  return 0;
}

int buildCollection(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v) {
  std::vector<int32_t> classes, values;
  bool failed = false;
  for (int number : distinctVars(e.vars())) {
    int32_t c = zclassfind(d, number);
    if (c >= 0) {
      classes.push_back(c);
      continue;
    }
    std::vector<int32_t> index;
    if (!zaddmodelvars(ds, d, {number}, &index)) {
      hostMsg(174, 25, {number});
      failed = true;
      continue;
    }
    values.push_back(index[0]);
  }
  if (failed) return refuse(d, step::kInternal);
  startRecord(v, e, 0, e.name);
  v->classCount = static_cast<int32_t>(classes.size());
  v->classMembers = idsOf(classes);
  v->valueCount = static_cast<int32_t>(values.size());
  v->values = idsOf(values);
  v->separator = separatorOf(e, v->name);
  return 0;
}

// The CLASS-list index of a variable, added with reference coding when absent.
int32_t lagClassVar(ZDesign* d, HostDataSet* ds, int number) {
  int32_t c = zclassfind(d, number);
  if (c >= 0) return c;
  c = zaddclassvar(ds, d, number);
  if (c >= 0) d->classVars[c].coding = kCodingRef;
  return c;
}

int buildLag(ZDesign* d, HostDataSet* ds, const EffectStatement& e, ZDesignVar* v,
             int32_t* lagTablesUsed) {
  if (!e.given(es::kPeriod) || e.list(es::kPeriod).empty()) {
    hostMsg(174, 76, {std::string_view(e.name)});
    return refuse(d, step::kInternal);
  }
  if (!e.given(es::kWithin) || e.list(es::kWithin).empty()) {
    hostMsg(174, 75, {std::string_view(e.name)});
    return refuse(d, step::kInternal);
  }
  auto* lag = new (effAlloc(sizeof(LagRecord))) LagRecord();
  lag->distance = e.integer(es::kNLag, 1);
  lag->time = lagClassVar(d, ds, e.list(es::kPeriod)[0]);
  std::vector<int32_t> keys;
  for (int number : e.list(es::kWithin)) keys.push_back(lagClassVar(d, ds, number));
  lag->keyCount = static_cast<int32_t>(keys.size());
  lag->keys = idsOf(keys);
  lag->keyBuffer = static_cast<int32_t*>(effAlloc(sizeof(int32_t) * keys.size()));
  lag->tables[0] = &lag->defaultTable;
  if (e.given(es::kDesignRole) && !e.list(es::kDesignRole).empty()) {
    // Rows whose DESIGNROLE= value is 0 carry a history of their own (the alternative table);
    // the value is read unscaled.
    lag->designRole = 1;
    lag->designRoleVar = e.list(es::kDesignRole)[0];
    VarDescriptor* desc = effDescriptor(ds, lag->designRoleVar);
    std::vector<int32_t> index;
    if (!desc || desc->type != kVarNumeric || !zaddmodelvars(ds, d, {lag->designRoleVar}, &index) ||
        index[0] < 0) {
      hostMsg(174, 90,
              {std::string_view(desc ? desc->name : std::string()), std::string_view(e.name)});
      return refuse(d, step::kInternal);
    }
    lag->switchVar = index[0];
    lag->tables[1] = &lag->alternativeTable;
  }
  if (e.lagTable) lag->tables[2] = &d->lagTables[(*lagTablesUsed)++];
  int lagged = e.vars()[0];
  lag->lagged = zclassfind(d, lagged);
  if (lag->lagged < 0) {
    VarDescriptor* desc = effDescriptor(ds, lagged);
    hostMsg(174, 74, {std::string_view(desc ? desc->name : std::string())});
    return refuse(d, step::kInternal);
  }
  startRecord(v, e, 0, e.name);
  v->lag = lag;
  v->classCount = 1;
  v->classMembers = idsOf({lag->lagged});
  return 0;
}

std::vector<const StatementRecord*> effectStatements() {
  std::vector<const StatementRecord*> out;
  for (const StatementRecord* s = hostv().parse->firstStatement(); s; s = s->next)
    if (s->name == "EFFECT") out.push_back(s);
  return out;
}

// Whether an effect of the model has a design variable of the statement's.
bool modelUses(const ZDesign& d, const DesignVarLookup& made) {
  for (int32_t k = 0; k < d.effectCount; ++k) {
    const ZEffect& z = d.effects[k];
    for (int32_t j = 0; j < z.constructedCount; ++j)
      if (z.constructed[j] >= made.first && z.constructed[j] < made.first + made.count) return true;
  }
  return false;
}

}  // namespace

int zeffsepfits(ZDesign* d) {
  int32_t n = 0;
  for (const StatementRecord* s : effectStatements()) {
    EffectStatement e(s, n++);
    if (e.type != effkind::kPolynomial || e.flag(ef::kNoSeparate) || !d->lookup ||
        !modelUses(*d, d->lookup[e.number]))
      continue;
    StatementPlace place(s);
    e.members = zeffvarcount(e.vars());
    const int32_t terms = polynomialTermCount(e);
    if (int rc = statementFitsMemory(d, e, "POLYNOMIAL", "DEGREE",
                                     std::to_string(e.integer(es::kDegree, 1)), terms, terms))
      return rc;
  }
  return 0;
}

int expandEffects(ZDesign* d, HostDataSet* ds, DesignVarLookup** lookup) {
  std::vector<EffectStatement> stmts;
  for (const StatementRecord* s : effectStatements())
    stmts.emplace_back(s, static_cast<int32_t>(stmts.size()));
  int64_t total = 0;
  int32_t lagTables = 0;
  for (EffectStatement& e : stmts) {
    StatementPlace place(e.s);
    if (int rc = countStatement(d, &e)) return rc;
    total += e.designVars;
    lagTables += e.lagTable ? 1 : 0;
  }
  if (total > 2147483647) {
    hostMsg(848, 140);
    return refuse(d, step::kInternal);
  }
  // Statements each within the memory may pass it together.
  if (MemoryShortfall m; !fitsMemory(kDesignVarBytes * static_cast<double>(total), &m)) {
    hostMsg(848, 6150, {static_cast<long long>(total), m.needMb, m.availableMb});
    return refuse(d, step::kMemory);
  }
  d->effectStatementCount = static_cast<int32_t>(stmts.size());
  *lookup = static_cast<DesignVarLookup*>(effAlloc(sizeof(DesignVarLookup) * (stmts.size() + 1)));
  d->designVarCount = static_cast<int32_t>(total);
  d->designVars =
      static_cast<ZDesignVar*>(effAlloc(sizeof(ZDesignVar) * static_cast<size_t>(total + 1)));
  for (int64_t i = 0; i < total; ++i) new (d->designVars + i) ZDesignVar();
  d->lagTableCount = lagTables;
  d->lagTables = static_cast<LagGroupTable*>(
      effAlloc(sizeof(LagGroupTable) * static_cast<size_t>(lagTables + 1)));
  for (int32_t i = 0; i < lagTables; ++i) new (d->lagTables + i) LagGroupTable();

  int32_t next = 0, lagUsed = 0;
  for (EffectStatement& e : stmts) {
    StatementPlace place(e.s);
    (*lookup)[e.number] = {next, e.designVars};
    ZDesignVar* v = d->designVars + next;
    int rc = 0;
    switch (e.type) {
      case effkind::kMultimember:
        rc = buildMultimember(d, ds, e, v);
        break;
      case effkind::kCollection:
        rc = buildCollection(d, ds, e, v);
        break;
      case effkind::kSpline:
        rc = buildSpline(d, ds, e, v);
        break;
      case effkind::kPolynomial:
        rc = buildPolynomial(d, ds, e, v);
        break;
      case effkind::kLag:
        rc = buildLag(d, ds, e, v, &lagUsed);
        break;
      default:
        startRecord(v, e, 0, e.name);
        break;
    }
    if (rc) return rc;
    next += e.designVars;
  }
  makeMomentSums(d);
  return 0;
}

ZDesignVar* startDesignVar(ZDesignVar* v, const EffectStatement& e, int32_t index,
                           std::string_view name) {
  return startRecord(v, e, index, name);
}

}  // namespace vsf
