// Another data set read by the analysis reader's BY groups (validation, test, SCORE and INEST=
// data sets): whether it has the BY variables, and its reads kept to the current group's
// observations, found by their BY values wherever they lie, in the data set's order (under
// NOTSORTED, the run of them that matches the group's place among the groups of its values).
#include <fmt/format.h>

#include "frame/host/values.h"
#include "host/data/dataset_internal.h"

namespace vsf::host {

namespace {

const char* typeName(int type) { return type == kVarCharacter ? "character" : "numeric"; }

// The other data set's variables for the reader's BY variables; false when one is absent.
bool byVariablesOf(const InputDataSet* reader, const InputDataSet* other, std::vector<ByVar>* out,
                   const TableVar** mistyped) {
  out->clear();
  *mistyped = nullptr;
  for (const ByVar& b : reader->by) {
    const TableVar& v = reader->table->vars[static_cast<size_t>(b.var)];
    const int j = findVariable(*other->table, v.name);
    if (j < 0) return false;
    if (other->table->vars[static_cast<size_t>(j)].type != v.type && !*mistyped) *mistyped = &v;
    out->push_back(ByVar{j, b.text, b.descending});
  }
  return true;
}

// One scan of the BY columns: the runs of equal keys, each under its key.
void indexRuns(InputDataSet* in, ByMatch* m) {
  std::vector<int> columns;
  for (const ByVar& b : m->by) columns.push_back(b.var);
  BlockCursor cursor(in->table.get());
  ByKey last;
  ObsRun run;
  auto close = [&] {
    if (run.end > run.first) m->runs[last].push_back(run);
  };
  for (TablePos pos = positionOf(*in->table, 0); pos.obs < in->table->obs;
       pos = cursor.after(pos)) {
    if (pos.row == 0 && !cursor.loadColumns(pos.block, columns))
      failStep(fmt::format("Data set {} cannot be read: {}", in->name, cursor.error()));
    ByKey key = keyOfRow(m->by, cursor, pos.row);
    if (pos.obs == 0 || ByKeyLess()(key, last) || ByKeyLess()(last, key)) {
      close();
      last = std::move(key);
      run.first = pos.obs;
    }
    run.end = pos.obs + 1;
  }
  close();
}

}  // namespace

bool ByKeyLess::operator()(const ByKey& a, const ByKey& b) const {
  for (size_t i = 0; i < a.numbers.size() && i < b.numbers.size(); ++i)
    if (int c = zkeycmp(&a.numbers[i], &b.numbers[i], -1, 0); c != 0) return c < 0;
  for (size_t i = 0; i < a.texts.size() && i < b.texts.size(); ++i)
    if (int c = zpadcmp(a.texts[i], b.texts[i]); c != 0) return c < 0;
  return false;
}

int check(HostDataSet* reader, HostDataSet* other) {
  InputDataSet* a = asInput(reader);
  InputDataSet* b = asInput(other);
  if (!a || !b) return 1;
  std::vector<ByVar> by;
  const TableVar* mistyped = nullptr;
  if (!byVariablesOf(a, b, &by, &mistyped)) return 2;
  if (mistyped) {
    issueError(fmt::format(
        "The BY variable {} is {} in data set {} but {} in {}; its BY groups cannot be matched.",
        mistyped->name, typeName(mistyped->type), a->name,
        typeName(mistyped->type == kVarCharacter ? kVarNumeric : kVarCharacter), b->name));
    return 1;
  }
  return 0;
}

int verify(HostDataSet* reader, HostDataSet* other) {
  InputDataSet* a = asInput(reader);
  InputDataSet* b = asInput(other);
  if (!a || !b) return 1;
  std::vector<ByVar> by;
  const TableVar* mistyped = nullptr;
  if (a->by.empty() || a->groups == 0 || !byVariablesOf(a, b, &by, &mistyped)) {
    b->match.reset();
    return 0;
  }
  if (mistyped) return 1;
  if (!b->match) {
    b->match = std::make_unique<ByMatch>();
    b->match->by = std::move(by);
    indexRuns(b, b->match.get());
  }
  static const std::vector<ObsRun> kNone;
  ByMatch& m = *b->match;
  auto at = m.runs.find(a->groupKey);
  m.group = at == m.runs.end() ? &kNone : &at->second;
  if (a->notSorted) {
    // Each run of equal BY values is a group of its own: the reader's n-th group of these
    // values takes the other data set's n-th run of them, so no row serves two groups.
    m.own.clear();
    const auto n = static_cast<size_t>(a->groupOccurrence);
    if (n < m.group->size()) m.own.push_back((*m.group)[n]);
    m.group = &m.own;
  }
  b->match->run = 0;
  start(b);
  return 0;
}

bool onMatchedRun(InputDataSet* in) {
  ByMatch& m = *in->match;
  for (; m.run < m.group->size(); ++m.run) {
    const ObsRun& r = (*m.group)[m.run];
    if (in->next.obs < r.first) in->next = positionOf(*in->table, r.first);
    if (in->next.obs < r.end) return true;
  }
  return false;
}

}  // namespace vsf::host
