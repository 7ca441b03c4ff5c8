// The output root and the manager: the document of the run, the handle registry, the step
// boundaries, and the manager's requests that make or ask nothing else.
#include <fmt/format.h>

#include <cstring>
#include <iostream>

#include "host/output/output_internal.h"
#include "host/session.h"
#include "host/standard_streams.h"

namespace vsf::host {

namespace output {

namespace {

std::ostream* gListing = &std::cout;

// Asks the manager for settings; the only one the procedure asks is whether graphics are on
// (the GRAPHICS system option).
int query(Object&, const Request& r) {
  for (int i = 0; i < r.count(); ++i) {
    OutputArgItem& a = r.item(i);
    if (a.key != key::kGraphicsOn) continue;
    int32_t on = session().options.graphics ? 1 : 0;
    std::memcpy(a.value + 4, &on, 4);
  }
  return 0;
}

const HandlerSet& managerSet() {
  static const HandlerSet set{
      {op::kCreate, createTable},
      {op::kBindTemplate, bindTemplate},
      {op::kRelease, releaseInstance},
      {op::kOpenGroup, openGroup},
      {op::kGroupAttributes, groupAttributes},
      {op::kQuery, query},
      {op::kCenteredText, textLine},
      {op::kFilteredView, makeView},
      {op::kReleaseView, releaseView},
      {op::kRenderGraph, renderGraph},
  };
  return set;
}

// A step begins when the procedure creates its manager: what the last step left open is
// finished and the request log starts afresh.
int createManager(Object&, const Request& r) {
  const OutputArgItem* system = r.get(key::kSystem);
  if (!system || r.text(*system) != "oxs")
    return refuse(status::kBadArgument, "the output system named is not \"oxs\"");
  const OutputArgItem* kind = r.get(key::kKind);
  if (!kind || r.text(*kind) != "manager")
    return refuse(status::kUnknownKind, "the root makes only the manager");
  const OutputArgItem* handle = r.get(key::kHandle);
  void** out = handle ? r.out(*handle) : nullptr;
  if (!out) return refuse(status::kBadArgument, "no out-handle for the manager");
  Document& d = doc();
  closeStep();
  d.currentBy = -1;
  d.log.clear();
  d.knownColumns.clear();  // their texts ended with the last step
  // The step of the program the log counts, so that the log and the output name the same step.
  d.step = session().stepNumber > d.step ? session().stepNumber : d.step + 1;
  d.managers.emplace_back();
  d.manager = &d.managers.back();
  *out = registerObject(d.manager, ObjectKind::kManager, managerSet().table());
  return 0;
}

// The root answers the manager's group and settings requests for the current manager.
int rootAttributes(Object&, const Request& r) {
  if (!doc().manager) return refuse(status::kBadState, "group attributes before any manager");
  return groupAttributes(*doc().manager, r);
}

const HandlerSet& rootSet() {
  static const HandlerSet set{
      {op::kCreate, createManager},
      {op::kGroupAttributes, rootAttributes},
      {op::kQuery, query},
  };
  return set;
}

}  // namespace

Document& doc() {
  static Document d;
  return d;
}

std::ostream* listingStream() { return gListing; }
void setListingStream(std::ostream* stream) { gListing = stream; }

void* registerObject(Object* o, ObjectKind kind, const HandlerTable* table) {
  Document& d = doc();
  o->kind = kind;
  o->id = d.nextId++;
  o->step = d.step;
  o->table = table;
  HostObject* h = o;
  if (Object** held = d.handles.find(h))
    *held = o;
  else
    d.handles.add(h, o);
  return h;
}

Object* findObject(const void* handle) {
  if (!handle) return nullptr;
  Object** o = doc().handles.find(handle);
  return o ? *o : nullptr;
}

Object* lookupHandle(const void* handle) {
  Object* o = findObject(handle);
  return o && o->step == doc().step ? o : nullptr;
}

Group* currentGroup() {
  Document& d = doc();
  return d.open.empty() ? nullptr : d.open.back();
}

ByTag& byTagOf(const Item& item) {
  return *std::visit([](auto* p) -> ByTag* { return p; }, item);
}

int stepOf(const Item& item) {
  return std::visit([](auto* p) { return p->step; }, item);
}

void addItem(Item item) {
  byTagOf(item).by = doc().currentBy;
  Group* g = currentGroup();
  (g ? g->items : doc().top).push_back(item);
}

std::string pathOf(const Group* parent, std::string_view name) {
  std::string path(name);
  for (const Group* g = parent; g; g = g->parent) path = g->name + "." + path;
  return path;
}

void closeStep() {
  Document& d = doc();
  for (Table& t : d.tables)
    if (t.step == d.step && t.closed && !t.listed) {
      t.listed = true;
      listItem(&t);
    }
  for (Group* g : d.open) g->closed = true;
  d.open.clear();
  retireDone(true);
  flushListing();
}

void finish() { closeStep(); }

void setByGroup(std::vector<ByValue> values, int64_t number) {
  Document& d = doc();
  session().log.setGroup(byLine(values));
  // The last group's items are done.
  retireDone();
  if (listingDue()) flushListing();
  if (values.empty()) {
    d.currentBy = -1;
    return;
  }
  d.byGroups.push_back(std::move(values));
  d.byNumbers.push_back(number);
  d.currentBy = d.byBase + static_cast<int>(d.byGroups.size()) - 1;
}

const std::vector<ByValue>& byValuesOf(int by) {
  return doc().byGroups[static_cast<size_t>(by - doc().byBase)];
}

int64_t byNumberOf(int by) { return doc().byNumbers[static_cast<size_t>(by - doc().byBase)]; }

std::string byLine(const std::vector<ByValue>& values) {
  std::string line;
  for (const ByValue& v : values) line += (line.empty() ? "" : " ") + v.name + "=" + v.shown;
  return line;
}

void reset() {
  resetSpill();
  doc() = Document();
}

size_t heldObjects() {
  const Document& d = doc();
  return d.tables.size() + d.groups.size() + d.instances.size() + d.dataObjects.size() +
         d.views.size() + d.texts.size() + d.headings.size() + d.graphs.size() + d.top.size() +
         d.byGroups.size() + d.handles.size() + d.log.size();
}

bool dataObjectRows(const void* handle, int64_t* rows) {
  Object* o = lookupHandle(handle);
  if (!o) return false;
  if (o->kind == ObjectKind::kDataObject) {
    *rows = static_cast<int64_t>(static_cast<DataObject*>(o)->owner->rows.size());
    return true;
  }
  if (o->kind == ObjectKind::kView) {
    *rows = static_cast<int64_t>(static_cast<View*>(o)->rows.size());
    return true;
  }
  return false;
}

}  // namespace output

HostObject* outputRoot() {
  static output::Object root = [] {
    output::Object o;
    o.kind = output::ObjectKind::kRoot;
    o.table = output::rootSet().table();
    return o;
  }();
  return &root;
}

}  // namespace vsf::host
