// Reading an option table: each row's value into its field, and the repairs the rules ask for.
#include "statements/option_table.h"

#include <type_traits>

#include "statements/statements.h"

namespace vsf {

double rowValue(const OptionRow& row, const Slots& r) {
  switch (row.kind) {
    case kOptNumber:
      return r.number(row.number, row.fallback);
    case kOptPercent:
      return r.number(row.number, row.fallback) / 100.0;
    case kOptFlag:
      return r.flag(row.number) ? 1.0 : 0.0;
    default:
      return r.integer(row.number, static_cast<int32_t>(row.fallback));
  }
}

namespace {

// A value into the row's field; a repaired data set is dropped.
void store(ReaderTarget& t, const OptionRow& row, double v) {
  std::visit(
      [v](auto* p) {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, double>)
          *p = v;
        else if constexpr (std::is_same_v<T, HostDataSet*>)
          *p = nullptr;
        else
          *p = static_cast<T>(static_cast<int32_t>(v));
      },
      row.field(t));
}

}  // namespace

double fieldValue(ReaderTarget& t, const OptionRow& row) {
  return std::visit(
      [](auto* p) -> double {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, HostDataSet*>)
          return *p ? 1.0 : 0.0;
        else
          return static_cast<double>(*p);
      },
      row.field(t));
}

void readRows(ReaderTarget* t, std::span<const OptionRow> rows, const StatementRecord* record) {
  Slots r(record);
  for (const OptionRow& row : rows) {
    if (row.kind == kOptDataSet)
      *std::get<HostDataSet**>(row.field(*t)) = r.dataSet(row.number);
    else
      store(*t, row, rowValue(row, r));
  }
}

bool repairRow(ReaderTarget* t, const OptionRow& row, const Slots& r) {
  const Repair& fix = row.repair;
  double v = fieldValue(*t, row);
  switch (fix.when) {
    case kWhenChanged:
      if (v == rowValue(row, Slots(nullptr))) return false;
      repairMsg(t->stepCode, fix.message);
      break;
    case kWhenGiven:
      if (!(row.kind == kOptFlag ? r.flag(row.number) : r.given(row.number))) return false;
      repairMsg(t->stepCode, fix.message);
      break;
    case kWhenAbove:
      if (!(v > fix.value)) return false;
      repairMsg(t->stepCode, fix.message, {v});
      break;
  }
  store(*t, row, fix.value);
  return true;
}

void repairGroup(ReaderTarget* t, std::span<const OptionRow> rows, uint8_t group, const Slots& r) {
  for (const OptionRow& row : rows)
    if (row.group == group) repairRow(t, row, r);
}

}  // namespace vsf
