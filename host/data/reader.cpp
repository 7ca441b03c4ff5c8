// Input data sets: opening through the step's table, BY groups and the positioning of
// observations (readNext, start, mode).
#include <fmt/format.h>

#include <algorithm>

#include "frame/host/values.h"
#include "host/data/best_format.h"
#include "host/data/dataset_internal.h"
#include "host/data/parallel.h"
#include "host/output/output.h"
#include "host/progress.h"
#include "host/session.h"

namespace vsf::host {

namespace {

[[noreturn]] void unreadable(const InputDataSet* in, const BlockCursor& cursor) {
  failStep(fmt::format("Data set {} cannot be read: {}", in->name, cursor.error()));
}

// Loads the block of `pos`; a block that cannot be read ends the step.
void loadAt(InputDataSet* in, const TablePos& pos) {
  if (!in->cursor.load(pos.block)) unreadable(in, in->cursor);
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

TablePos firstObs(const InputDataSet* in) { return positionOf(*in->table, 0); }

// What one thread's scan of a run of blocks finds: where groups start after its first
// observation, and the first observation out of BY order.
struct ByScan {
  int64_t firstObs = -1;  // -1: the run holds no observation
  ByKey firstKey, lastKey;
  std::vector<int64_t> starts;
  int64_t badObs = -1;
  ByKey badKey, badBefore;
  size_t badVar = 0;
  std::string unreadable;  // why a block could not be read
};

// Notes whether `key` at `obs` starts a group after `before`, and whether it breaks the order.
void compareNext(const InputDataSet* in, const ByKey& before, const ByKey& key, int64_t obs,
                 ByScan* scan) {
  size_t differs = 0;
  const int c = compareKeys(in, before, key, &differs);
  if (c == 0) return;
  scan->starts.push_back(obs);
  if (c > 0 || in->notSorted || scan->badObs >= 0) return;
  scan->badObs = obs;
  scan->badKey = key;
  scan->badBefore = before;
  scan->badVar = differs;
}

void scanBlocks(const InputDataSet* in, int64_t from, int64_t to, ByScan* scan) {
  std::vector<int> columns;
  for (const ByVar& b : in->by) columns.push_back(b.var);
  BlockCursor cursor(in->table.get());
  for (int64_t k = from; k < to; ++k) {
    if (!cursor.loadColumns(k, columns)) {
      scan->unreadable = cursor.error();
      return;
    }
    for (uint32_t row = 0; row < cursor.rows(); ++row) {
      ByKey key = keyOf(in, cursor, row);
      const int64_t obs = k * in->table->blockRows() + row;
      if (scan->firstObs < 0) {
        scan->firstObs = obs;
        scan->firstKey = key;
      } else {
        compareNext(in, scan->lastKey, key, obs, scan);
      }
      scan->lastKey = std::move(key);
    }
  }
}

// Finds where each BY group starts, before any group is read: one scan of the BY columns
// alone, its runs of blocks on several threads. Unless NOTSORTED, observations out of order
// end the step with the first that breaks the order.
std::vector<int64_t> scanGroups(const InputDataSet* in) {
  const int64_t n = in->table->blocks();
  const int threads = dataThreads(n, 2);
  std::vector<ByScan> scans(static_cast<size_t>(threads));
  parallelFor(threads, threads, [&](int t) {
    scanBlocks(in, n * t / threads, n * (t + 1) / threads, &scans[static_cast<size_t>(t)]);
  });
  // The runs in order: a group may start at a run's first observation.
  ByScan whole;
  for (ByScan& scan : scans)
    if (!scan.unreadable.empty())
      failStep(fmt::format("Data set {} cannot be read: {}", in->name, scan.unreadable));
  for (ByScan& scan : scans) {
    if (scan.firstObs < 0) continue;
    if (whole.firstObs < 0) {
      whole.firstObs = scan.firstObs;
      whole.starts.push_back(scan.firstObs);
    } else {
      compareNext(in, whole.lastKey, scan.firstKey, scan.firstObs, &whole);
    }
    if (scan.badObs >= 0 && whole.badObs < 0) {
      whole.badObs = scan.badObs;
      whole.badKey = std::move(scan.badKey);
      whole.badBefore = std::move(scan.badBefore);
      whole.badVar = scan.badVar;
    }
    whole.starts.insert(whole.starts.end(), scan.starts.begin(), scan.starts.end());
    whole.lastKey = std::move(scan.lastKey);
  }
  if (whole.badObs >= 0) {
    const ByVar& v = in->by[whole.badVar];
    const std::string& name = in->table->vars[static_cast<size_t>(v.var)].name;
    failStep(fmt::format(
        "Data set {} is not sorted by the BY variables: observation {} ({}) follows {}; {} "
        "should be {}. Sort the data set by the BY variables, or add NOTSORTED to the BY "
        "statement to take each run of equal BY values as a group.",
        in->name, whole.badObs + 1, showKey(in, whole.badKey), showKey(in, whole.badBefore), name,
        v.descending ? "descending" : "ascending"));
  }
  return std::move(whole.starts);
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
  if (refusedInput(resolved.shown, resolved.path, &error)) {
    issueError(error);
    if (status) *status = hs::kVarNotFound;
    return nullptr;
  }
  std::shared_ptr<const Table> table = stepTable(resolved, &error);
  if (!table) failStep(error);
  auto* in = new InputDataSet(table);
  in->name = table->name;
  // The reader the procedure opens goes through its groups in order; the readers it clones
  // for its workers read runs of blocks of their own.
  in->cursor.readAhead(dataThreads(table->blocks(), 1) - 1);
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
  in->groupStarts.reset();
  if (!in->by.empty())
    in->groupStarts = std::make_shared<const std::vector<int64_t>>(scanGroups(in));
  return setupGroups(ds);
}

int setupGroups(HostDataSet* ds) {
  InputDataSet* in = asInput(ds);
  if (!in) return -1;
  in->groups = 0;
  in->keyGroups.clear();
  in->groupOccurrence = 0;
  in->next = in->groupStart = firstObs(in);
  in->groupEnd = in->table->obs;
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
    in->groupEnd = in->table->obs;
    return 1;
  }
  const std::vector<int64_t>& starts = *in->groupStarts;
  const auto g = static_cast<size_t>(in->groups);
  if (g >= starts.size()) {
    output::setByGroup({});
    return 0;
  }
  TablePos pos = positionOf(*in->table, starts[g]);
  in->groupKey = keyAt(in, pos);
  if (in->notSorted) in->groupOccurrence = in->keyGroups[in->groupKey]++;
  in->groupStart = in->next = pos;
  in->groupEnd = g + 1 < starts.size() ? starts[g + 1] : in->table->obs;
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
  in->next = in->readMode == 'F' || in->match ? firstObs(in) : in->groupStart;
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
  in->groupStarts = from->groupStarts;
  in->groups = from->groups;
  in->groupStart = from->groupStart;
  in->groupEnd = from->groupEnd;
  in->groupKey = from->groupKey;
  in->groupOccurrence = from->groupOccurrence;
  registerDataSet(in);
  start(in);
  return in;
}

int seekObs(HostDataSet* ds, int64_t k) {
  InputDataSet* in = asInput(ds);
  if (!in || k < 0) return -1;
  start(in);
  in->next = positionOf(*in->table, (in->readMode == 'F' ? 0 : in->groupStart.obs) + k);
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
  if (grouped && in->next.obs >= in->groupEnd) return 0;
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
