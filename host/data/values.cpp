// Variables and values of input data sets: lookups, descriptors, attributes, the current
// observation's values and bound reads.
#include "frame/host/values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "host/data/best_format.h"
#include "host/data/data.h"
#include "host/data/dataset_internal.h"
#include "host/output/output.h"
#include "host/session.h"

namespace vsf::host {

namespace {

constexpr int kBestWidth = 12;
// The widest a formatted value is, as the widest character format: a longer text is cut to it
// where its formatted value is asked for (a CLASS level), so that what is kept and compared for
// each observation stays in proportion however long a value of the file is.
constexpr int kWidestFormat = 32767;

int formatWidthOf(const TableVar& v) {
  return v.type == kVarNumeric ? kBestWidth : std::min(v.length, kWidestFormat);
}

bool validVar(const InputDataSet* in, int number) {
  return in && number >= 0 && number < static_cast<int>(in->table->vars.size());
}

// Copies text into a field of `width` bytes, blank-padded or cut.
void putPadded(std::string_view text, void* dest, int width) {
  size_t n = std::min(text.size(), static_cast<size_t>(width));
  std::memcpy(dest, text.data(), n);
  std::memset(static_cast<char*>(dest) + n, ' ', static_cast<size_t>(width) - n);
}

}  // namespace

int findVariable(const Table& t, std::string_view name) {
  const auto it = t.byName.find(upperCopy(trimRight(name)));
  return it == t.byName.end() ? -1 : it->second;
}

int findVar(HostDataSet* ds, std::string_view name, int* number) {
  InputDataSet* in = asInput(ds);
  int j = in ? findVariable(*in->table, name) : -1;
  if (number) *number = j;
  noteInexactDigits(ds, j);  // a variable named is used
  return j < 0 ? static_cast<int>(hs::kVarNotFound) : 0;
}

int varByNumber(HostDataSet* ds, int number, VarDescriptor* out) {
  InputDataSet* in = asInput(ds);
  if (!validVar(in, number) || !out) return static_cast<int>(hs::kVarNotFound);
  const TableVar& v = in->table->vars[static_cast<size_t>(number)];
  *out = VarDescriptor{};
  out->number = number;
  out->type = v.type;
  out->length = v.length;
  out->name = v.name;
  out->formatWidth = formatWidthOf(v);
  return 0;
}

int attr(HostDataSet* ds, int code, void* out) {
  if (!ds || !out) return -1;
  // The output system's data objects and views answer their row count.
  if (int64_t rows = 0; code == dsattr::kRows && output::dataObjectRows(ds, &rows)) {
    *static_cast<int64_t*>(out) = rows;
    return 0;
  }
  InputDataSet* in = asInput(ds);
  OutputDataSet* o = asOutput(ds);
  int64_t obs = in ? in->table->obs : o->rows;
  int32_t vars = static_cast<int32_t>(in ? in->table->vars.size() : o->vars.size());
  switch (code) {
    case dsattr::kRows:
    case dsattr::kObsCount:
      *static_cast<int64_t*>(out) = obs;
      return 0;
    case dsattr::kKind:
      *static_cast<int32_t*>(out) = 1;
      return 0;
    case dsattr::kName:
      *static_cast<std::string*>(out) = ds->name;
      return 0;
    case dsattr::kVarCount:
      *static_cast<int32_t*>(out) = vars;
      return 0;
    case dsattr::kBlockRows:
      if (!in) return -1;
      *static_cast<int64_t*>(out) = in->table->blockRows();
      return 0;
    case dsattr::kGroupFirst:
      if (!in) return -1;
      *static_cast<int64_t*>(out) = in->readMode == 'F' ? 0 : in->groupStart.obs;
      return 0;
    case dsattr::kGroupObs:
      if (!in) return -1;
      *static_cast<int64_t*>(out) = in->readMode == 'F' ? obs : in->groupEnd - in->groupStart.obs;
      return 0;
    default:
      return -1;
  }
}

double getNum(HostDataSet* ds, int number) {
  InputDataSet* in = asInput(ds);
  if (!validVar(in, number) || !in->haveCurrent || in->cursor.isText(number))
    return missingValue('.');
  return in->cursor.number(number, in->current.row);
}

const double* const* currentNumbers(HostDataSet* ds, uint32_t* row) {
  InputDataSet* in = asInput(ds);
  if (!in || !in->haveCurrent) return nullptr;
  *row = in->current.row;
  return in->cursor.numbers();
}

void keepParsed(HostDataSet* ds, int mode) {
  InputDataSet* in = asInput(ds);
  if (!in) return;
  // An eighth of the memory: the passes that follow need the rest for their own rows.
  in->table->keepParsed(mode, mode == kParsedHold ? memoryAvailable() / 8 : 0);
}

std::string_view getChar(HostDataSet* ds, int number) {
  InputDataSet* in = asInput(ds);
  if (!validVar(in, number) || !in->haveCurrent || !in->cursor.isText(number)) return {};
  return in->cursor.text(number, in->current.row);
}

std::string_view numberAsRead(HostDataSet* ds, int number) {
  InputDataSet* in = asInput(ds);
  if (!validVar(in, number) || !in->haveCurrent || in->cursor.isText(number) ||
      !in->cursor.hasTexts(number))
    return {};
  return in->cursor.text(number, in->current.row);
}

std::string getFormatted(HostDataSet* ds, int number) {
  InputDataSet* in = asInput(ds);
  if (!validVar(in, number)) return {};
  const TableVar& v = in->table->vars[static_cast<size_t>(number)];
  if (v.type == kVarCharacter) {
    std::string s(getChar(ds, number).substr(0, static_cast<size_t>(formatWidthOf(v))));
    s.resize(static_cast<size_t>(formatWidthOf(v)), ' ');
    return s;
  }
  std::string s = formatBest(getNum(ds, number), kBestWidth);
  return std::string(static_cast<size_t>(kBestWidth) - s.size(), ' ') + s;
}

HostBindList* bindBegin(HostDataSet* ds, int count) {
  InputDataSet* in = asInput(ds);
  if (!in) return nullptr;
  HostBindList& list = in->bindLists.emplace_back();
  list.owner = in;
  list.announced = count;
  return &list;
}

int bindVar(HostBindList* list, int number, void* dest, int length, int bindType) {
  InputDataSet* in = list ? asInput(list->owner) : nullptr;
  if (!validVar(in, number)) return static_cast<int>(hs::kVarNotFound);
  const TableVar& v = in->table->vars[static_cast<size_t>(number)];
  bool fits = dest && length > 0;
  if (bindType == kBindNumeric)
    fits = fits && v.type == kVarNumeric && length == 8;
  else if (bindType == kBindCharacter)
    fits = fits && v.type == kVarCharacter;
  else if (bindType != kBindText && bindType != kBindFormatted)
    fits = false;
  if (!fits) return static_cast<int>(dsstatus::kBadBinding);
  list->items.push_back(HostBinding{number, dest, length, bindType});
  return 0;
}

int bindEnd(HostBindList* list) {
  InputDataSet* in = list ? asInput(list->owner) : nullptr;
  if (!in) return -1;
  in->bound = list;
  if (in->haveCurrent) copyBound(in);
  return 0;
}

void copyBound(InputDataSet* in) {
  const uint32_t row = in->current.row;
  const double* const* numbers = in->cursor.numbers();
  for (const HostBinding& b : in->bound->items) {
    switch (b.type) {
      case kBindNumeric:
        std::memcpy(b.dest, numbers[b.var] + row, 8);
        break;
      default:  // characters as they stand, numbers in the best format of the field's width
        if (in->cursor.isText(b.var))
          putPadded(in->cursor.text(b.var, row), b.dest, b.length);
        else
          putPadded(formatBest(in->cursor.number(b.var, row), std::min(b.length, kBestWidth)),
                    b.dest, b.length);
        break;
    }
  }
}

}  // namespace vsf::host
