// Tables and factoids: create, columns, dynamic values, template binding, rows, entries,
// close and release.
#include <fmt/format.h>

#include <cstring>

#include "frame/host/dataset.h"
#include "host/output/output_internal.h"
#include "host/session.h"

namespace vsf::host::output {

namespace {

constexpr uint16_t kKeyDecimals = 270;
constexpr uint16_t kKeyWidth = 272;
constexpr uint16_t kKeyTextWidth = 289;
constexpr uint16_t kKeyVariable = 2224;
constexpr uint16_t kKeyFormatName = 340;
constexpr uint16_t kKeyDisplay = 2640;
constexpr uint16_t kKeyReleaseNote = 378;
constexpr uint16_t kTypeVariable = 7;

Table& asTable(Object& o) { return static_cast<Table&>(o); }

// The text or the integer of an item, when the request has it.
std::string textOf(const Request& r, const OutputArgItem* a) {
  return a ? r.text(*a).value_or(std::string()) : std::string();
}
std::optional<int64_t> integerOf(const Request& r, const OutputArgItem* a) {
  return a ? r.integer(*a) : std::nullopt;
}
std::string optionalText(const Request& r, uint16_t k) { return textOf(r, r.get(k)); }
std::optional<int64_t> optionalInt(const Request& r, uint16_t k) { return integerOf(r, r.get(k)); }

bool validColumnType(int64_t t) { return t == 1 || t == 3 || t == 5 || t == 6 || t == 66; }

// The column a data-set variable describes: its name, label, type, width and format.
void describeByVariable(const VarDescriptor& v, Column* c) {
  c->name = v.name;
  c->label = v.label;
  c->type = v.type == kVarCharacter ? ColumnType::kText : ColumnType::kDouble;
  if (v.type == kVarCharacter) c->width = v.length;
  if (!v.format.empty())
    c->varFormat = v.formatWidth > 0
                       ? fmt::format("{}{}.{}", v.format, v.formatWidth, v.formatDecimals)
                       : v.format;
}

// Trailing blanks and everything from a terminating NUL are not part of a bound text.
std::string boundText(const char* p, int width) {
  size_t n = 0;
  while (n < static_cast<size_t>(width) && p[n] != '\0') ++n;
  while (n > 0 && p[n - 1] == ' ') --n;
  return std::string(p, n);
}

Cell readBound(const Column& c) {
  const void* p = c.binding;
  switch (c.type) {
    case ColumnType::kChar:
      return Cell::ofText(std::string(1, *static_cast<const char*>(p)));
    case ColumnType::kInt: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return Cell::ofInt(v);
    }
    case ColumnType::kDouble: {
      double v;
      std::memcpy(&v, p, 8);
      return Cell::ofDouble(v);
    }
    case ColumnType::kText:
      return Cell::ofText(boundText(static_cast<const char*>(p), c.width));
    default: {
      const HostString* s;
      std::memcpy(&s, p, sizeof s);
      if (!s) return Cell();
      return Cell::ofText(std::string(hostVector()->str->text(s)));
    }
  }
}

// A value given with the row request for the column's place.
std::optional<Cell> givenValue(const Request& r, const OutputArgItem& a, const Column& c) {
  if (a.type == argtype::kBound) {
    Column bound = c;
    bound.binding = a.pointerValue();
    if (!bound.binding) return std::nullopt;
    return readBound(bound);
  }
  return r.value(a);
}

void listOnRelease(Table& t) {
  t.closed = true;
  t.released = true;
  if (!t.listed) {
    t.listed = true;
    listItem(&t);
  }
}

// The first item of each key a column definition reads, found in one pass over its items: a
// BY step defines tens of columns a group.
struct ColumnItems {
  const OutputArgItem* variable = nullptr;
  const OutputArgItem* kind = nullptr;
  const OutputArgItem* name = nullptr;
  const OutputArgItem* decimals = nullptr;
  const OutputArgItem* width = nullptr;
  const OutputArgItem* textWidth = nullptr;
  const OutputArgItem* label = nullptr;
  const OutputArgItem* templateColumn = nullptr;
  const OutputArgItem* value = nullptr;
};

ColumnItems columnItems(const Request& r) {
  ColumnItems c;
  for (int i = r.count() - 1; i >= 0; --i) {  // backwards, so that the first of a key stays
    const OutputArgItem* a = &r.item(i);
    switch (a->key) {
      case kKeyVariable:
        c.variable = a;
        break;
      case key::kColumnKind:
        c.kind = a;
        break;
      case key::kName:
        c.name = a;
        break;
      case kKeyDecimals:
        c.decimals = a;
        break;
      case kKeyWidth:
        c.width = a;
        break;
      case kKeyTextWidth:
        c.textWidth = a;
        break;
      case key::kLabel2:
        c.label = a;
        break;
      case key::kTemplate:
        c.templateColumn = a;
        break;
      case key::kValue:
        c.value = a;
        break;
      default:
        break;
    }
  }
  return c;
}

// A column already in the table under the same name, regardless of case.
bool nameTaken(const Table& t, const std::string& name) {
  for (const Column& other : t.columns)  // the length first: the test is made for every pair
    if (other.name.size() == name.size() && equalNoCase(other.name, name)) return true;
  return false;
}

// The column a definition describes, or the status of its refusal.
int makeColumn(const Table& t, const Request& r, Column* out) {
  const ColumnItems items = columnItems(r);
  Column c;
  if (const OutputArgItem* v = items.variable) {
    auto* var =
        v->type == kTypeVariable ? static_cast<const VarDescriptor*>(v->pointerValue()) : nullptr;
    if (!var) return refuse(status::kBadArgument, "a column variable that is no descriptor");
    describeByVariable(*var, &c);
  }
  if (const OutputArgItem* k = items.kind) {
    auto kind = r.integer(*k);
    if (!kind || !validColumnType(*kind))
      return refuse(status::kBadArgument, "an unknown column type in " + t.name);
    c.type = static_cast<ColumnType>(*kind);
  } else if (!items.variable) {
    return refuse(status::kBadArgument, "a column of " + t.name + " without a type");
  }
  if (items.name) c.name = textOf(r, items.name);
  if (c.name.empty())
    return refuse(status::kBadArgument, "a column of " + t.name + " without a name");
  if (nameTaken(t, c.name))
    return refuse(status::kBadArgument, "column " + c.name + " defined twice in " + t.name);
  if (auto d = integerOf(r, items.decimals)) c.decimals = static_cast<int>(*d);
  if (auto w = integerOf(r, items.width)) c.width = static_cast<int>(*w);
  if (auto w = integerOf(r, items.textWidth)) c.width = static_cast<int>(*w);
  if (items.label) c.label = textOf(r, items.label);
  c.templateColumn = textOf(r, items.templateColumn);
  if (!r.pairs(&c.dynamics)) return refuse(status::kBadArgument, "a dynamic name without a value");
  if (const OutputArgItem* b = items.value) {
    if (b->type != argtype::kBound || !b->pointerValue())
      return refuse(status::kBadArgument, "column " + c.name + " bound to no value");
    c.binding = b->pointerValue();
  }
  if (c.type == ColumnType::kText && c.width <= 0)
    return refuse(status::kBadArgument, "text column " + c.name + " without a width");
  *out = std::move(c);
  return 0;
}

// Whether a definition's items alone say what column it makes: numbers, bindings (kept as
// addresses) and the step's texts, which live until the step ends and never change. Bytes and
// variable descriptors may hold other values at the same address from one group to the next.
bool matchable(const Request& r) {
  for (int i = 0; i < r.count(); ++i) {
    switch (r.item(i).type) {
      case argtype::kChar:
      case argtype::kInt:
      case 4:
      case argtype::kDouble:
      case argtype::kFlag:
      case argtype::kBound:
      case argtype::kString:
        break;
      default:
        return false;
    }
  }
  return r.count() > 0;
}

bool sameItems(const std::vector<OutputArgItem>& known, const Request& r) {
  if (known.size() != static_cast<size_t>(r.count())) return false;
  for (int i = 0; i < r.count(); ++i) {
    const OutputArgItem& a = known[static_cast<size_t>(i)];
    const OutputArgItem& b = r.item(i);
    if (a.key != b.key || a.type != b.type || a.reserved != b.reserved || a.aux != b.aux ||
        std::memcmp(a.value, b.value, sizeof a.value) != 0)
      return false;
  }
  return true;
}

// A BY step defines the same columns in every group: a definition whose items are those the
// last table of its name had at its place takes that column as made then, instead of reading
// its texts again (tens of columns a group).
int defineColumn(Object& self, const Request& r) {
  Table& t = asTable(self);
  if (t.factoid) return refuse(status::kBadState, "a factoid table " + t.name + " has no columns");
  if (t.columnsEnded)
    return refuse(status::kBadState,
                  "a column defined after the column list of " + t.name + " was complete");
  if (!t.known) t.known = &doc().knownColumns[t.name];
  std::vector<KnownColumn>& known = *t.known;
  const size_t place = t.columns.size();
  const bool byItems = matchable(r);
  // Room for a table's usual columns at once, not a move of them all at each doubling.
  if (t.columns.empty()) t.columns.reserve(16);
  if (byItems && place < known.size() && sameItems(known[place].items, r)) {
    const Column& c = known[place].column;
    if (nameTaken(t, c.name))
      return refuse(status::kBadArgument, "column " + c.name + " defined twice in " + t.name);
    t.columns.push_back(c);
    return 0;
  }
  Column c;
  if (int status = makeColumn(t, r, &c); status != 0) return status;
  if (byItems) {
    if (known.size() <= place) known.resize(place + 1);
    known[place].items.assign(&r.item(0), &r.item(0) + r.count());
    known[place].column = c;
  }
  t.columns.push_back(std::move(c));
  return 0;
}

int endColumns(Object& self, const Request&) {
  Table& t = asTable(self);
  if (t.factoid || t.columnsEnded)
    return refuse(status::kBadState, "the column list of " + t.name + " ended twice");
  t.columnsEnded = true;
  return 0;
}

int setDynamics(Object& self, const Request& r) {
  Table& t = asTable(self);
  if (t.closed) return refuse(status::kBadState, "dynamic values for closed table " + t.name);
  if (r.find(key::kDynamicName) < 0 || !r.pairs(&t.dynamics))
    return refuse(status::kBadArgument, "dynamic values for " + t.name + " without name and value");
  return 0;
}

int writeRow(Object& self, const Request& r) {
  Table& t = asTable(self);
  if (t.factoid) return refuse(status::kBadState, "a data row for factoid table " + t.name);
  if (!t.columnsEnded || !t.bound || t.closed)
    return refuse(status::kBadState,
                  "a row for table " + t.name +
                      (t.closed ? " after its close" : " before its columns and template"));
  if (r.count() > static_cast<int>(t.columns.size()))
    return refuse(status::kBadArgument, "more row values than columns in " + t.name);
  std::vector<Cell> row;
  row.reserve(t.columns.size());
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    if (static_cast<int>(i) < r.count()) {
      auto v = givenValue(r, r.item(static_cast<int>(i)), c);
      if (!v) return refuse(status::kBadArgument, "an unreadable value for column " + c.name);
      row.push_back(std::move(*v));
    } else if (c.binding) {
      row.push_back(readBound(c));
    } else {
      return refuse(status::kBadArgument, "no value for column " + c.name + " of " + t.name);
    }
  }
  // Room for a table's usual rows at once, not a move of them all at each doubling.
  if (t.rows.empty()) t.rows.reserve(8);
  t.rows.push_back(std::move(row));
  return 0;
}

int closeTable(Object& self, const Request&) {
  Table& t = asTable(self);
  if (t.closed) return refuse(status::kBadState, "table " + t.name + " closed twice");
  t.closed = true;
  return 0;
}

int factoidEntry(Object& self, const Request& r) {
  Table& t = asTable(self);
  if (!t.factoid) return refuse(status::kBadState, "a factoid entry for data table " + t.name);
  if (t.closed) return refuse(status::kBadState, "an entry for closed factoid " + t.name);
  FactoidEntry e;
  e.label = optionalText(r, key::kLabel2);
  const OutputArgItem* v = r.get(key::kDynamicValue);
  auto value = v ? r.value(*v) : std::nullopt;
  if (!value)
    return refuse(status::kBadArgument, "a factoid entry of " + t.name + " without a value");
  e.value = std::move(*value);
  if (auto w = optionalInt(r, kKeyWidth)) e.width = static_cast<int>(*w);
  if (auto d = optionalInt(r, kKeyDecimals)) e.decimals = static_cast<int>(*d);
  e.formatName = optionalText(r, kKeyFormatName);
  if (t.entries.empty()) t.entries.reserve(8);
  t.entries.push_back(std::move(e));
  return 0;
}

// The object's own release: factoid tables (and data tables released without an instance).
int releaseTable(Object& self, const Request&) {
  Table& t = asTable(self);
  if (t.instance) t.instance->released = true;
  listOnRelease(t);
  return 0;
}

}  // namespace

const HandlerTable* tableHandlers() {
  static const HandlerSet set{
      {op::kCloseHandle, releaseTable},  {op::kWriteRow, writeRow},
      {op::kDefineColumn, defineColumn}, {op::kEndColumns, endColumns},
      {op::kSetDynamic, setDynamics},    {op::kClose, closeTable},
      {op::kFactoidRow, factoidEntry},
  };
  return set.table();
}

const HandlerTable* plainHandlers() {
  static const HandlerSet set{};
  return set.table();
}

int createTable(Object&, const Request& r) {
  const OutputArgItem* system = r.get(key::kSystem);
  if (!system || r.text(*system) != "oxs")
    return refuse(status::kBadArgument, "the output system named is not \"oxs\"");
  const OutputArgItem* kindItem = r.get(key::kKind);
  std::string kind = kindItem ? lowerCopy(r.text(*kindItem).value_or("")) : "";
  if (kind != "data" && kind != "table" && kind != "factoid")
    return refuse(status::kUnknownKind,
                  "the manager does not make objects of kind \"" + kind + "\"");
  const OutputArgItem* handle = r.get(key::kHandle);
  void** out = handle ? r.out(*handle) : nullptr;
  if (!out) return refuse(status::kBadArgument, "no out-handle for a new table");
  std::string name = optionalText(r, key::kName);
  if (name.empty()) return refuse(status::kBadArgument, "a table without a name");

  Document& d = doc();
  d.tables.emplace_back();
  Table& t = d.tables.back();
  t.factoid = kind == "factoid";
  t.kindText = kind;
  t.name = name;
  t.label = optionalText(r, key::kLabel2);
  t.label2 = optionalText(r, key::kLabel);
  t.title = optionalText(r, key::kTitle);
  t.templatePath = optionalText(r, key::kTemplate);
  for (int i = 0; i < r.count(); ++i) {
    const OutputArgItem& a = r.item(i);
    switch (a.key) {
      case key::kSystem:
      case key::kKind:
      case key::kHandle:
      case key::kName:
      case key::kLabel2:
      case key::kLabel:
      case key::kTitle:
      case key::kTemplate:
        break;
      default:
        if (auto v = r.value(a)) t.extras.emplace_back(a.key, std::move(*v));
    }
  }
  t.parent = currentGroup();
  *out = registerObject(&t, ObjectKind::kTable, tableHandlers());
  addItem(&t);
  return 0;
}

int bindTemplate(Object&, const Request& r) {
  Table* t = nullptr;
  void** out = nullptr;
  for (int i = 0; i < r.count(); ++i) {
    const OutputArgItem& a = r.item(i);
    if (a.key != 0 && a.key != key::kTable) continue;
    Object* o = r.handle(a);
    if (o && o->kind == ObjectKind::kTable && !t)
      t = static_cast<Table*>(o);
    else if (a.key == 0 && !o && !out)
      out = r.out(a);
    else
      return refuse(status::kBadHandle, "a bind request naming no live table");
  }
  if (!t) return refuse(status::kBadHandle, "a bind request without its table");
  if (t->factoid || t->bound || !t->columnsEnded || t->closed)
    return refuse(status::kBadState, "table " + t->name + " cannot be bound now");
  std::string path = optionalText(r, key::kTemplate);
  if (path.empty()) return refuse(status::kBadArgument, "a bind request without a template path");
  Dynamics dyn = t->dynamics;
  if (!r.pairs(&dyn)) return refuse(status::kBadArgument, "a dynamic name without a value");
  Document& d = doc();
  t->dynamics = std::move(dyn);
  t->templatePath = path;
  if (r.get(key::kLabel2)) t->label = optionalText(r, key::kLabel2);
  if (auto flag = optionalInt(r, kKeyDisplay)) t->display = static_cast<int>(*flag);
  t->bound = true;
  d.instances.emplace_back();
  Instance& inst = d.instances.back();
  inst.owner = t;
  t->instance = &inst;
  void* instHandle = registerObject(&inst, ObjectKind::kInstance, plainHandlers());
  if (out) *out = instHandle;
  if (const OutputArgItem* dataItem = r.get(key::kFilterData)) {
    if (void** dataOut = r.out(*dataItem)) {
      d.dataObjects.emplace_back();
      DataObject& data = d.dataObjects.back();
      data.owner = t;
      t->data = &data;
      *dataOut = registerObject(&data, ObjectKind::kDataObject, plainHandlers());
    }
  }
  return 0;
}

int releaseInstance(Object&, const Request& r) {
  const OutputArgItem* a = r.get(0);
  Object* o = a ? r.handle(*a) : nullptr;
  if (!o || o->kind != ObjectKind::kInstance)
    return refuse(status::kBadHandle, "a release request naming no bound table");
  if (o->released) return refuse(status::kBadState, "a bound table released twice");
  o->released = true;
  Table& t = *static_cast<Instance*>(o)->owner;
  if (t.released) return refuse(status::kBadState, "table " + t.name + " released twice");
  if (const OutputArgItem* note = r.get(kKeyReleaseNote)) t.note = r.text(*note).value_or("");
  listOnRelease(t);
  return 0;
}

}  // namespace vsf::host::output
