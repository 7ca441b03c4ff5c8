// Input data sets: opening through the step's binary copy, BY groups and the positioning
// of observations (readNext, start, mode).
#include <fmt/format.h>

#include "frame/host/values.h"
#include "host/data/best_format.h"
#include "host/data/dataset_internal.h"
#include "host/output/output.h"
#include "host/progress.h"
#include "host/session.h"

namespace vsf::host {

namespace {

// Loads the block of `pos`; a copy that cannot be read back ends the step.
void loadAt(InputDataSet* in, const TablePos& pos) {
  if (!in->cursor.load(pos.block))
    failStep(
        fmt::format("The copy of data set {} in the UTILPATH directory cannot be read.", in->name));
}

bool atEnd(const InputDataSet* in, const TablePos& pos) { return pos.obs >= in->table->obs; }

int compareNumbers(double a, double b) { return zkeycmp(&a, &b, -1, 0); }

ByKey keyOf(const InputDataSet* in, const BlockCursor& cursor, uint32_t row) {
  return keyOfRow(in->by, cursor, row);
}

ByKey keyAt(InputDataSet* in, const TablePos& pos) {
  loadAt(in, pos);
  return keyOf(in, in->cursor, pos.row);
}

// -1, 0 or 1 as `b` comes before, with or after `a` in the BY order (DESCENDING reverses a
// variable); `first` gets the first BY variable that differs.
int compareKeys(const InputDataSet* in, const ByKey& a, const ByKey& b, size_t* first) {
  size_t t = 0, n = 0;
  for (size_t i = 0; i < in->by.size(); ++i) {
    const ByVar& v = in->by[i];
    int c = v.text ? zpadcmp(a.texts[t], b.texts[t]) : compareNumbers(a.numbers[n], b.numbers[n]);
    v.text ? ++t : ++n;
    if (c != 0) {
      if (first) *first = i;
      c = c < 0 ? 1 : -1;  // b after a
      return v.descending ? -c : c;
    }
  }
  return 0;
}

// Whether the observation at pos belongs to the current group.
bool inGroup(InputDataSet* in, const TablePos& pos) {
  if (in->by.empty()) return true;
  loadAt(in, pos);
  size_t t = 0, n = 0;
  for (const ByVar& b : in->by) {
    if (b.text) {
      if (zpadcmp(in->groupKey.texts[t++], in->cursor.text(b.var, pos.row)) != 0) return false;
    } else if (compareNumbers(in->groupKey.numbers[n++], in->cursor.number(b.var, pos.row)) != 0) {
      return false;
    }
  }
  return true;
}

std::string showKey(const InputDataSet* in, const ByKey& k) {
  std::string s;
  size_t t = 0, n = 0;
  for (const ByVar& b : in->by) {
    if (!s.empty()) s += ", ";
    s += in->table->vars[static_cast<size_t>(b.var)].name + "=";
    s += b.text ? k.texts[t++] : formatBest(k.numbers[n++], 12);
  }
  return s;
}

TablePos firstObs(const InputDataSet* in) { return TablePos{in->table->first, 0, 0}; }

// Checks, before any group is read, that the observations come in BY order: one scan of the
// BY columns alone. Out of order ends the step with the first observation that breaks it.
void checkByOrder(const InputDataSet* in) {
  std::vector<int> columns;
  for (const ByVar& b : in->by) columns.push_back(b.var);
  BlockCursor cursor(in->table.get());
  ByKey last;
  for (TablePos pos = firstObs(in); pos.obs < in->table->obs; pos = cursor.after(pos)) {
    if (pos.row == 0 && !cursor.loadColumns(pos.block, columns))
      failStep(fmt::format("The copy of data set {} in the UTILPATH directory cannot be read.",
                           in->name));
    ByKey key = keyOf(in, cursor, pos.row);
    size_t differs = 0;
    if (pos.obs > 0 && compareKeys(in, last, key, &differs) < 0) {
      const ByVar& v = in->by[differs];
      const std::string& name = in->table->vars[static_cast<size_t>(v.var)].name;
      failStep(fmt::format(
          "Data set {} is not sorted by the BY variables: observation {} ({}) follows {}; {} "
          "should be {}. Sort the data set by the BY variables, or add NOTSORTED to the BY "
          "statement to take each run of equal BY values as a group.",
          in->name, pos.obs + 1, showKey(in, key), showKey(in, last), name,
          v.descending ? "descending" : "ascending"));
    }
    last = std::move(key);
  }
}

// The BY line of the group the reader stands on, for the output system.
std::vector<output::ByValue> byValues(const InputDataSet* in) {
  std::vector<output::ByValue> values;
  size_t t = 0, n = 0;
  for (const ByVar& b : in->by) {
    output::ByValue v;
    v.name = in->table->vars[static_cast<size_t>(b.var)].name;
    v.text = b.text;
    if (b.text) {
      v.shown = in->groupKey.texts[t++];
    } else {
      v.number = in->groupKey.numbers[n++];
      v.shown = formatBest(v.number, 12);
    }
    values.push_back(std::move(v));
  }
  return values;
}

}  // namespace

ByKey keyOfRow(const std::vector<ByVar>& by, const BlockCursor& cursor, uint32_t row) {
  ByKey k;
  for (const ByVar& b : by) {
    if (b.text)
      k.texts.emplace_back(trimRight(cursor.text(b.var, row)));
    else
      k.numbers.push_back(cursor.number(b.var, row));
  }
  return k;
}

InputDataSet* asInput(HostDataSet* ds) {
  return ds && ds->direction == kDsInput ? static_cast<InputDataSet*>(ds) : nullptr;
}

HostDataSet* openInput(std::string_view name, uint32_t* status) {
  DataSetName resolved;
  if (!resolveOrReport(name, &resolved, status)) return nullptr;
  std::string error;
  if (readsOpenOutput(resolved.shown, resolved.path, &error)) {
    issueError(error);
    if (status) *status = hs::kVarNotFound;
    return nullptr;
  }
  std::shared_ptr<const Table> table = stepTable(resolved, &error);
  if (!table) failStep(error);
  auto* in = new InputDataSet(table);
  in->name = table->name;
  registerDataSet(in);
  session().lastDataSet = table->reopenName;
  if (status) *status = 0;
  return in;
}

void closeInput(InputDataSet* in) {
  forgetDataSet(in);
  detachSource(in);
  delete in;
}

int setBy(HostDataSet* ds, const ByVariable* vars, int count, bool notSorted) {
  InputDataSet* in = asInput(ds);
  if (!in || count < 0) return -1;
  std::vector<ByVar> by;
  for (int i = 0; i < count; ++i) {
    int var = findVariable(*in->table, vars[i].name);
    if (var < 0) {
      issueError(fmt::format("BY variable {} is not on data set {}.", vars[i].name, in->name));
      return static_cast<int>(hs::kVarNotFound);
    }
    by.push_back(ByVar{var, in->table->vars[static_cast<size_t>(var)].type == kVarCharacter,
                       vars[i].descending});
  }
  in->by = std::move(by);
  in->notSorted = notSorted;
  session().byGroups = count > 0;
  if (!notSorted) checkByOrder(in);
  return setupGroups(ds);
}

int setupGroups(HostDataSet* ds) {
  InputDataSet* in = asInput(ds);
  if (!in) return -1;
  in->groups = 0;
  in->next = in->groupStart = firstObs(in);
  in->nextInGroup = true;
  in->haveCurrent = false;
  return 0;
}

int nextByGroup(HostDataSet* ds) {
  InputDataSet* in = asInput(ds);
  if (!in) return -1;
  in->haveCurrent = false;
  if (in->by.empty()) {
    // The whole data set is the one group.
    if (in->groups > 0) return 0;
    ++in->groups;
    in->next = in->groupStart = firstObs(in);
    in->nextInGroup = true;
    return 1;
  }
  TablePos pos = in->groups > 0 && in->nextInGroup ? in->next : in->groupStart;
  if (in->groups > 0)
    while (!atEnd(in, pos) && inGroup(in, pos)) pos = in->cursor.after(pos);
  if (atEnd(in, pos)) {
    output::setByGroup({});
    return 0;
  }
  in->groupKey = keyAt(in, pos);
  in->groupStart = in->next = pos;
  in->nextInGroup = true;
  ++in->groups;
  output::setByGroup(byValues(in), in->groups);
  return 1;
}

int setMode(HostDataSet* ds, char mode) {
  InputDataSet* in = asInput(ds);
  if (!in || (mode != 'B' && mode != 'F')) return -1;
  in->readMode = mode;
  return 0;
}

int start(HostDataSet* ds) {
  InputDataSet* in = asInput(ds);
  if (!in) return -1;
  in->haveCurrent = false;
  if (in->match) in->match->run = 0;
  if (in->readMode == 'F' || in->match) {
    in->next = firstObs(in);
    in->nextInGroup = false;
  } else {
    in->next = in->groupStart;
    in->nextInGroup = true;
  }
  return 0;
}

HostDataSet* cloneReader(HostDataSet* ds) {
  InputDataSet* from = asInput(ds);
  if (!from) return nullptr;
  auto* in = new InputDataSet(from->table);
  in->name = from->name;
  in->readMode = from->readMode;
  in->by = from->by;
  in->notSorted = from->notSorted;
  in->groups = from->groups;
  in->groupStart = from->groupStart;
  in->groupKey = from->groupKey;
  registerDataSet(in);
  start(in);
  return in;
}

int seekObs(HostDataSet* ds, int64_t k) {
  InputDataSet* in = asInput(ds);
  if (!in || k < 0) return -1;
  start(in);
  const int64_t obs = (in->readMode == 'F' ? 0 : in->groupStart.obs) + k;
  Table::Located at = in->table->locate(obs);
  in->next = at.block.valid() ? TablePos{at.block, at.row, obs} : TablePos{{}, 0, in->table->obs};
  return 0;
}

int readNext(HostDataSet* ds) {
  InputDataSet* in = asInput(ds);
  if (!in) return -1;
  in->haveCurrent = false;
  // Before the first group is positioned there is no group to keep to.
  bool grouped = in->readMode == 'B' && in->groups > 0;
  if (in->match && in->match->group && in->readMode == 'B' && !onMatchedRun(in)) return 0;
  if (atEnd(in, in->next)) return 0;
  if (grouped && !inGroup(in, in->next)) return 0;
  if (!grouped) in->nextInGroup = false;
  loadAt(in, in->next);
  in->current = in->next;
  in->haveCurrent = true;
  if ((in->current.obs & 0xFFFF) == 0xFFFF && progressShown())
    showProgress(fmt::format("Reading {}: observation {} of {}", in->name, in->current.obs + 1,
                             in->table->obs));
  in->next = in->cursor.after(in->next);
  if (in->bound) copyBound(in);
  return 1;
}

}  // namespace vsf::host
