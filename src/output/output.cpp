#include "output/output.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <type_traits>

#include "base/host.h"
#include "base/hostcalls.h"
#include "base/strings.h"

namespace vsf {

// ---- Texts ----
HostString* hstr(std::string_view text) { return hostv().str->fromBytes(text); }

HostString* msgStr(int number, std::initializer_list<MsgArg> args) {
  return hostv().str->fromMsgArgs(kMsgSet, number, args.begin(), static_cast<int>(args.size()));
}

std::string msgText(int number, std::initializer_list<MsgArg> args) {
  return hostv().proc->msgText(kMsgSet, number, args.begin(), static_cast<int>(args.size()));
}

int msgLength(int number) { return static_cast<int>(msgText(number).size()); }

int fillField(char* field, int width, std::string_view text) {
  if (width <= 0) return 0;
  std::memset(field, ' ', static_cast<size_t>(width));
  int n = static_cast<int>(text.size()) < width ? static_cast<int>(text.size()) : width;
  if (n > 0) std::memcpy(field, text.data(), static_cast<size_t>(n));  // an empty view may be null
  return n;
}

// ---- Special missing values ----
double missingCodeI() { return missingValue('I'); }
double missingCodeM() { return missingValue('M'); }
double missingLowest() { return missingValue('-'); }
bool isMissing(double x) { return (bitsOf(x) >> 48) == 0xFFFF; }

double infinityAsSpecial(double x) {
  if (isMissing(x)) return x;
  if (x == DBL_MAX) return missingCodeI();
  if (x == -DBL_MAX) return missingCodeM();
  return x;
}

// ---- Requests ----
int sendRequest(void* object, uint32_t op, std::vector<OutputArgItem> items) {
  return sendItems(object, op, items.data(), static_cast<int>(items.size()));
}

int sendItems(void* object, uint32_t op, OutputArgItem* items, int count) {
  int rc = zhdlcall(static_cast<HostObject*>(object), nullptr, op, count, items);
  if (rc < 0) zrcabort(static_cast<uint32_t>(rc));
  return rc;
}

int sendGroupRequest(OutputSink* s, void* object, uint32_t op, std::vector<OutputArgItem> items) {
  int rc = zhdlcall(static_cast<HostObject*>(object), nullptr, op, static_cast<int>(items.size()),
                    items.data());
  if (rc < 0) {
    if (s->detailsPool) {
      kernel().poolDestroy(s->detailsPool);
      s->detailsPool = nullptr;
    }
    zrcabort(static_cast<uint32_t>(rc));
  }
  return rc;
}

void addDynamic(std::vector<OutputArgItem>& items, std::string_view name, OutputArgItem value) {
  // A table's dynamics come several at a time: room for a few pairs at the first.
  if (items.capacity() < items.size() + 2) items.reserve(std::max<size_t>(8, 2 * items.size() + 2));
  items.push_back(argString(key::kDynamicName, hstr(name)));
  value.key = key::kDynamicValue;
  items.push_back(value);
}

OutputArgItem valueInt(int32_t v) { return argInt(key::kDynamicValue, v); }
OutputArgItem valueFlag(int32_t v) { return argFlag(key::kDynamicValue, v); }
OutputArgItem valueDouble(double v) { return argDouble(key::kDynamicValue, v); }
OutputArgItem valueString(HostString* s) { return argString(key::kDynamicValue, s); }

DisplayClock::DisplayClock(OutputSink* s) : s_(s), start_(s->timed ? hostClock() : 0) {
  ++s_->clocksRunning;
}

DisplayClock::~DisplayClock() {
  if (--s_->clocksRunning == 0 && s_->timed) s_->clockTotal += hostClock() - start_;
}

// ---- Data tables ----
namespace {

// A request's items, on the stack where they fit: a BY step makes, defines, binds and releases
// tens of tables a group.
class StackItems {
 public:
  StackItems(std::initializer_list<OutputArgItem> first) { add(first.begin(), first.size()); }
  void add(const OutputArgItem* p, size_t n) {
    if (spill_.empty() && count_ + n <= kRoom) {
      // An item at a time: a copy of a size known here is a few moves, not a call.
      for (size_t i = 0; i < n; ++i) std::memcpy(room() + count_ + i, p + i, sizeof *p);
    } else {
      if (spill_.empty()) spill_.assign(room(), room() + count_);
      spill_.insert(spill_.end(), p, p + n);
    }
    count_ += n;
  }
  void add(const std::vector<OutputArgItem>& items) { add(items.data(), items.size()); }
  void add(const OutputArgItem& item) { add(&item, 1); }
  int send(void* object, uint32_t op) {
    return sendItems(object, op, spill_.empty() ? room() : spill_.data(), static_cast<int>(count_));
  }

 private:
  static constexpr size_t kRoom = 16;
  static_assert(std::is_trivially_copyable_v<OutputArgItem>);
  // Left unset until written: the items are copied in whole.
  OutputArgItem* room() { return reinterpret_cast<OutputArgItem*>(room_); }
  alignas(OutputArgItem) unsigned char room_[kRoom * sizeof(OutputArgItem)];
  std::vector<OutputArgItem> spill_;
  size_t count_ = 0;
};

}  // namespace

void DataTable::create(std::string_view name, std::vector<OutputArgItem> extras) {
  StackItems items = {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "data"),
                      argOutHandle(key::kHandle, &table_), argInt(key::kMinusOne, -1),
                      argString(key::kName, hstr(name))};
  items.add(extras);
  items.send(s_->manager, op::kCreate);
}

void DataTable::column(int type, std::string_view name, const void* binding,
                       std::vector<OutputArgItem> more) {
  StackItems items = {argInt(key::kColumnKind, type), argString(key::kName, hstr(name))};
  items.add(more);
  items.add(argBound(key::kValue, binding));
  items.send(table_, op::kDefineColumn);
}

void DataTable::variableColumn(const VarDescriptor* var, const void* binding,
                               std::vector<OutputArgItem> more) {
  StackItems items = {argPointer(dkey::kVariable, 7, var)};
  items.add(more);
  items.add(argBound(key::kValue, binding));
  items.send(table_, op::kDefineColumn);
}

void DataTable::endColumns() { sendRequest(table_, op::kEndColumns, {}); }

void DataTable::bind(std::string_view path, std::vector<OutputArgItem> dynamics, bool keyZero,
                     void** dataOut, std::vector<OutputArgItem> tail) {
  StackItems items = {argOutHandle(0, &instance_),
                      argPointer(keyZero ? 0 : key::kTable, argtype::kOutHandle, table_)};
  items.add(dynamics);
  items.add(tail);
  items.add(argString(key::kTemplate, hstr(path)));
  if (dataOut) items.add(argPointer(key::kFilterData, argtype::kOutHandle2, dataOut));
  items.send(s_->manager, op::kBindTemplate);
}

void DataTable::row() { sendRequest(table_, op::kWriteRow, {}); }
void DataTable::close() { sendRequest(table_, op::kClose, {}); }

void DataTable::release(HostString* note) {
  StackItems items = {argPointer(0, argtype::kOutHandle, instance_)};
  if (note) items.add(argString(dkey::kReleaseNote, note));
  items.send(s_->manager, op::kRelease);
}

// ---- Factoid tables ----
void FactoidTable::create(std::string_view name, std::string_view templatePath, HostString* label,
                          std::vector<OutputArgItem> extras) {
  StackItems items = {
      argBytes(key::kSystem, "oxs"),       argBytes(key::kKind, "factoid"),
      argOutHandle(key::kHandle, &table_), argString(key::kTemplate, hstr(templatePath)),
      argInt(key::kMinusOne, -1),          argString(key::kName, hstr(name)),
      argString(key::kLabel2, label)};
  items.add(extras);
  items.send(s_->manager, op::kCreate);
}

void FactoidTable::entry(HostString* label, OutputArgItem value, std::vector<OutputArgItem> more) {
  value.key = key::kDynamicValue;
  StackItems items = {argString(key::kLabel2, label), value};
  items.add(more);
  items.send(table_, op::kFactoidRow);
}

void FactoidTable::close() { sendRequest(table_, op::kClose, {}); }
void FactoidTable::release() { sendRequest(table_, op::kCloseHandle, {}); }

// ---- Groups and text lines ----
void* openGroup(OutputSink* s, std::string_view name, HostString* label,
                std::vector<OutputArgItem> more) {
  void* group = nullptr;
  std::vector<OutputArgItem> items = {argOutHandle(key::kHandle, &group),
                                      argString(key::kName, hstr(name)),
                                      argString(key::kLabel2, label)};
  items.insert(items.end(), more.begin(), more.end());
  sendGroupRequest(s, s->manager, op::kOpenGroup, std::move(items));
  return group;
}

void closeGroup(OutputSink* s, void* group) {
  if (group) sendGroupRequest(s, group, op::kCloseHandle, {});
}

void groupAttributes(OutputSink* s, std::vector<OutputArgItem> items) {
  sendGroupRequest(s, s->manager, op::kGroupAttributes, std::move(items));
}

void textLine(OutputSink* s, char justify, HostString* text) {
  sendGroupRequest(
      s, s->manager, op::kCenteredText,
      {argInt(dkey::kTextFlag, 1), argChar(key::kJustify, justify), argString(key::kText, text)});
}

void ruleLine(OutputSink* s) {
  sendGroupRequest(
      s, s->manager, op::kCenteredText,
      {argChar(dkey::kRuleChar, '-'), argInt(dkey::kTextFlag, 1), argInt(dkey::kRule, 1)});
}

}  // namespace vsf
