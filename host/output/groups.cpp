// Output groups, their attributes (descriptions at nesting levels) and text lines.
#include <algorithm>

#include "host/output/output_internal.h"

namespace vsf::host::output {

namespace {

constexpr uint16_t kKeyBaseName = 288;
constexpr uint16_t kKeyNumber = 437;
constexpr uint16_t kKeyLevel = 440;
constexpr uint16_t kKeyRule = 280;
constexpr uint16_t kKeyRuleChar = 580;
constexpr uint16_t kGroupFlags[] = {286, 435, 436};

// Closing a group closes the groups still open inside it.
int closeGroup(Object& self, const Request&) {
  auto& g = static_cast<Group&>(self);
  auto& open = doc().open;
  auto it = std::find(open.begin(), open.end(), &g);
  if (g.closed || it == open.end())
    return refuse(status::kBadState, "group " + g.name + " is not open");
  for (auto k = it; k != open.end(); ++k) (*k)->closed = true;
  open.erase(it, open.end());
  g.released = true;
  return 0;
}

}  // namespace

const HandlerTable* groupHandlers() {
  static const HandlerSet set{{op::kCloseHandle, closeGroup}};
  return set.table();
}

int openGroup(Object&, const Request& r) {
  const OutputArgItem* handle = r.get(key::kHandle);
  void** out = handle ? r.out(*handle) : nullptr;
  if (!out) return refuse(status::kBadArgument, "no out-handle for a new group");
  const OutputArgItem* nameItem = r.get(key::kName);
  std::string name = nameItem ? r.text(*nameItem).value_or("") : "";
  if (name.empty()) return refuse(status::kBadArgument, "a group without a name");
  Document& d = doc();
  d.groups.emplace_back();
  Group& g = d.groups.back();
  g.name = name;
  if (const OutputArgItem* l = r.get(key::kLabel2)) g.label = r.text(*l).value_or("");
  if (const OutputArgItem* b = r.get(kKeyBaseName)) g.baseName = r.text(*b).value_or("");
  if (const OutputArgItem* n = r.get(kKeyNumber)) {
    auto v = r.value(*n);
    if (!v) return refuse(status::kBadArgument, "group " + name + " with an unreadable number");
    g.number = *v;
  }
  for (uint16_t k : kGroupFlags)
    if (const OutputArgItem* f = r.get(k)) {
      auto v = r.integer(*f);
      if (!v) return refuse(status::kBadArgument, "group " + name + " with an unreadable flag");
      g.flags.emplace_back(k, *v);
    }
  g.parent = currentGroup();
  *out = registerObject(&g, ObjectKind::kGroup, groupHandlers());
  addItem(&g);
  d.open.push_back(&g);
  return 0;
}

// A description at a nesting level becomes a heading of the output; a bare further level
// (key 442) only ends the levels below it, which our output does not keep apart.
int groupAttributes(Object&, const Request& r) {
  const OutputArgItem* level = r.get(kKeyLevel);
  const OutputArgItem* text = r.get(key::kText);
  if (!level || !text) {
    if (!level && !text && !r.get(key::kGroupLevel))
      return refuse(status::kBadArgument, "group attributes without a level");
    return 0;
  }
  auto l = r.integer(*level);
  if (!l) return refuse(status::kBadArgument, "group attributes with an unreadable level");
  auto t = r.text(*text);
  if (!t) return 0;  // a description without text
  Document& d = doc();
  d.headings.emplace_back();
  Heading& h = d.headings.back();
  h.step = d.step;
  h.level = static_cast<int>(*l);
  h.text = *t;
  h.parent = currentGroup();
  addItem(&h);
  listItem(&h);
  return 0;
}

int textLine(Object&, const Request& r) {
  Document& d = doc();
  TextLine line;
  line.step = d.step;
  const OutputArgItem* rule = r.get(kKeyRule);
  if (rule && r.integer(*rule).value_or(0) != 0) {
    line.rule = true;
    if (const OutputArgItem* c = r.get(kKeyRuleChar)) {
      auto t = r.text(*c);
      if (!t || t->size() != 1) return refuse(status::kBadArgument, "a rule of no one character");
      line.ruleChar = (*t)[0];
    }
  } else {
    const OutputArgItem* text = r.get(key::kText);
    auto t = text ? r.text(*text) : std::nullopt;
    if (!t) return refuse(status::kBadArgument, "a text line without its text");
    line.text = *t;
    if (const OutputArgItem* j = r.get(key::kJustify)) {
      auto c = r.text(*j);
      if (!c || c->size() != 1 || std::string("clrCLR").find((*c)[0]) == std::string::npos)
        return refuse(status::kBadArgument, "a text line with an unknown justification");
      line.justify = static_cast<char>((*c)[0] | 0x20);
    }
  }
  line.parent = currentGroup();
  d.texts.push_back(std::move(line));
  TextLine* p = &d.texts.back();
  addItem(p);
  listItem(p);
  return 0;
}

}  // namespace vsf::host::output
