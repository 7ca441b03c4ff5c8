// Decoding of request arguments, the request log and the logging dispatcher.
#include <fmt/format.h>

#include <cctype>
#include <cstring>

#include "frame/host/dataset.h"
#include "host/output/formats.h"
#include "host/output/output_internal.h"
#include "host/session.h"

namespace vsf::host::output {

// ---- Values ----
bool Cell::truthy() const {
  switch (kind) {
    case Kind::kInt:
      return i != 0;
    case Kind::kDouble:
      return d != 0 && d == d;
    case Kind::kText: {
      std::string t = lowerCopy(s);
      return t == "1" || t == "true" || t == "yes";
    }
    default:
      return false;
  }
}

std::string Cell::plain() const {
  switch (kind) {
    case Kind::kInt:
      return std::to_string(i);
    case Kind::kDouble: {
      if (auto m = missingText(d)) return *m;
      return fmt::format("{}", d);
    }
    case Kind::kText:
      return s;
    default:
      return "";
  }
}

namespace {

// The C locale's lower case, without a call a character: the output system compares names and
// paths many times a table.
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string lowerCopy(std::string_view s) {
  std::string t(s);
  for (char& c : t) c = lowerAscii(c);
  return t;
}

const Cell* findDynamic(const Dynamics& d, std::string_view name) {
  for (auto it = d.rbegin(); it != d.rend(); ++it)
    if (equalNoCase(it->name, name)) return &it->value;
  return nullptr;
}

void setDynamic(Dynamics& d, std::string name, Cell value) {
  for (NamedValue& v : d)
    if (equalNoCase(v.name, name)) {
      v.value = std::move(value);
      return;
    }
  d.push_back(NamedValue{std::move(name), std::move(value)});
}

// ---- Request arguments ----
int Request::find(uint16_t key, int from) const {
  for (int i = from; i < count_; ++i)
    if (items_[i].key == key) return i;
  return -1;
}

const OutputArgItem* Request::get(uint16_t key) const {
  int i = find(key);
  return i < 0 ? nullptr : &items_[i];
}

// Names, labels and titles, as the documents show them: valid UTF-8 whatever bytes they held.
std::optional<std::string> Request::text(const OutputArgItem& a) const {
  switch (a.type) {
    case argtype::kString: {
      void* p = a.pointerValue();
      if (!p || findObject(p)) return std::nullopt;
      return escapedBytes(hostVector()->str->text(static_cast<const HostString*>(p)));
    }
    case argtype::kBytes:
      if (!a.aux && a.bytesLength() > 0) return std::nullopt;
      return escapedBytes(a.bytes());
    case argtype::kChar:
      return escapedBytes(std::string(1, static_cast<char>(a.value[0])));
    default:
      return std::nullopt;
  }
}

std::optional<int64_t> Request::integer(const OutputArgItem& a) const {
  switch (a.type) {
    case argtype::kInt:
      return a.intValue();
    case argtype::kFlag:
      return a.flagValue();
    case 4: {
      uint32_t u;
      std::memcpy(&u, a.value, 4);
      return u;
    }
    case argtype::kDouble: {
      double d = a.doubleValue();
      if (d == static_cast<double>(static_cast<int64_t>(d))) return static_cast<int64_t>(d);
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

std::optional<double> Request::number(const OutputArgItem& a) const {
  if (a.type == argtype::kDouble) return a.doubleValue();
  if (auto i = integer(a)) return static_cast<double>(*i);
  return std::nullopt;
}

std::optional<Cell> Request::value(const OutputArgItem& a) const {
  switch (a.type) {
    case argtype::kInt:
    case argtype::kFlag:
    case 4:
      return Cell::ofInt(*integer(a));
    case argtype::kDouble:
      return Cell::ofDouble(a.doubleValue());
    case argtype::kString:
      if (!a.pointerValue()) return Cell();
      [[fallthrough]];
    case argtype::kBytes:
    case argtype::kChar:
      if (auto t = text(a)) return Cell::ofText(*t);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

Object* Request::handle(const OutputArgItem& a) const {
  if (a.type != argtype::kOutHandle && a.type != argtype::kBound && a.type != argtype::kString &&
      a.type != argtype::kOutHandle2)
    return nullptr;
  return lookupHandle(a.pointerValue());
}

void** Request::out(const OutputArgItem& a) const {
  if (a.type == argtype::kOutHandle2 && a.aux) return static_cast<void**>(a.aux);
  if (a.type == argtype::kOutHandle || a.type == argtype::kBound || a.type == argtype::kOutHandle2)
    return static_cast<void**>(a.pointerValue());
  return nullptr;
}

bool Request::pairs(Dynamics* into, int from) const {
  for (int i = from; i < count_; ++i) {
    if (items_[i].key != key::kDynamicName) continue;
    auto name = text(items_[i]);
    if (!name || i + 1 >= count_ || items_[i + 1].key != key::kDynamicValue) return false;
    auto v = value(items_[i + 1]);
    if (!v) return false;
    setDynamic(*into, *name, *v);
    ++i;
  }
  return true;
}

int refuse(uint32_t status, const std::string& reason) {
  session().log.write("ERROR", fmt::format("Output request refused: {}", reason));
  return static_cast<int32_t>(status);
}

// ---- The request log ----
namespace {

std::string handleText(const void* p) {
  Object* o = findObject(p);
  return o ? fmt::format("#{}", o->id) : std::string();
}

std::string describeValue(const Request& r, const OutputArgItem& a) {
  switch (a.type) {
    case argtype::kChar:
    case argtype::kBytes:
    case argtype::kInt:
    case argtype::kFlag:
    case 4:
    case argtype::kDouble:
      return r.value(a) ? r.value(a)->plain() : "?";
    case argtype::kString: {
      if (!a.pointerValue()) return "<null>";
      std::string h = handleText(a.pointerValue());
      return h.empty() ? *r.text(a) : h;
    }
    case 7: {
      auto* v = static_cast<const VarDescriptor*>(a.pointerValue());
      return v ? "var " + v->name : "var <null>";
    }
    case argtype::kOutHandle:
    case argtype::kOutHandle2:
    case argtype::kBound: {
      std::string h = handleText(a.pointerValue());
      if (!h.empty()) return h;
      bool isOut = a.type != argtype::kBound || a.key == key::kView;
      void** out = r.out(a);
      if (!isOut) return "bound";
      if (!out) return "out <null>";
      h = handleText(*out);
      return h.empty() ? "out" : "out " + h;
    }
    case argtype::kDataObject: {
      uint16_t n = a.bytesLength();
      std::string s = "data";
      if (Object* o = findObject(a.aux)) return s + " #" + std::to_string(o->id);
      auto* list = static_cast<void* const*>(a.aux);
      for (uint16_t i = 0; list && i < n; ++i) s += " " + handleText(list[i]);
      return s;
    }
    case 28:
      return fmt::format("list({})", a.bytesLength());
    default:
      return "?";
  }
}

std::string describeTarget(const Object& o) {
  switch (o.kind) {
    case ObjectKind::kRoot:
      return "root";
    case ObjectKind::kManager:
      return "manager";
    case ObjectKind::kTable: {
      const auto& t = static_cast<const Table&>(o);
      return (t.factoid ? "factoid " : "table ") + t.name;
    }
    case ObjectKind::kGroup:
      return "group " + static_cast<const Group&>(o).name;
    case ObjectKind::kInstance:
      return "instance";
    case ObjectKind::kDataObject:
      return "data object";
    default:
      return "view";
  }
}

bool gKeepLog = false;

int dispatch(HostObject* object, void* argument, void*, int count, OutputArgItem* items) {
  const auto* def = static_cast<const OpDef*>(argument);
  auto* self = static_cast<Object*>(object);
  Document& d = doc();
  Request r(def->id, items, count);
  // Named before the handler runs, which may change it.
  std::string target = gKeepLog ? describeTarget(*self) : std::string();
  int rc;
  if (d.injected && d.injected->first == def->id) {
    rc = d.injected->second;
    d.injected.reset();
  } else if (self->kind != ObjectKind::kRoot && (self->step != d.step || self->released)) {
    rc = refuse(status::kBadHandle,
                fmt::format("operation {} on a {} that was released or belongs to an earlier "
                            "step",
                            def->id, describeTarget(*self)));
  } else {
    rc = def->handler(*self, r);
  }
  if (!gKeepLog) return rc;
  LoggedRequest rec;
  rec.step = d.step;
  rec.op = def->id;
  rec.target = std::move(target);
  rec.status = rc;
  for (int i = 0; i < count; ++i)
    rec.args.push_back(LoggedArg{items[i].key, items[i].type, describeValue(r, items[i])});
  d.log.push_back(std::move(rec));
  return rc;
}

// Every operation of the protocol that an object does not have: refused as the dispatcher
// would refuse it, but logged and explained.
int notHere(Object&, const Request& r) {
  return refuse(hs::kNoOperation, fmt::format("operation {} is not one of this object's", r.op()));
}

constexpr uint32_t kProtocolOps[] = {op::kCloseHandle,  op::kCreate,       op::kDefineColumn,
                                     op::kEndColumns,   op::kSetDynamic,   op::kBindTemplate,
                                     op::kWriteRow,     op::kClose,        op::kRelease,
                                     op::kFactoidRow,   op::kOpenGroup,    op::kGroupAttributes,
                                     op::kCenteredText, op::kFilteredView, op::kReleaseView,
                                     op::kRenderGraph,  op::kQuery};

}  // namespace

HandlerSet::HandlerSet(std::initializer_list<OpDef> ops) : ops_(ops) {
  for (uint32_t id : kProtocolOps) {
    bool has = false;
    for (const OpDef& d : ops) has = has || d.id == id;
    if (!has) ops_.push_back(OpDef{id, notHere});
  }
  entries_.resize(ops_.size());
  // One bucket: the release operation (4), when present, is the first entry of the table.
  for (size_t i = ops_.size(); i-- > 0;) {
    entries_[i] = HandlerEntry{bucket_, &ops_[i], dispatch, nullptr, ops_[i].id};
    bucket_ = &entries_[i];
  }
  table_ = HandlerTable{nullptr, &bucket_, 0};
}

const LoggedArg* LoggedRequest::arg(uint16_t key, int nth) const {
  for (const LoggedArg& a : args)
    if (a.key == key && nth-- == 0) return &a;
  return nullptr;
}

const std::vector<LoggedRequest>& requestLog() { return doc().log; }
void clearRequestLog() { doc().log.clear(); }
void keepRequestLog(bool keep) { gKeepLog = keep; }
void failNextRequest(uint32_t op, int32_t status) { doc().injected = {op, status}; }

}  // namespace vsf::host::output
