// The JSON document: every output object in order with its raw values, the macro variables
// and the log.
#include <cerrno>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>

#include "host/output/formats.h"
#include "host/output/layout_internal.h"
#include "host/session.h"
#include "host/whole_file.h"

namespace vsf::host::output {

namespace {

using json = nlohmann::ordered_json;

// Missing values and infinities become objects so that no reader takes them for numbers.
json cellJson(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kInt:
      return c.i;
    case Cell::Kind::kDouble: {
      auto m = missingText(c.d);
      if (!m) return c.d;
      if (*m == "Infty" || *m == "-Infty") {
        uint64_t u;
        std::memcpy(&u, &c.d, 8);
        json j{{"infinity", (*m)[0] == '-' ? "-" : "+"}};
        if ((u >> 48) == 0xFFFF) j["missing"] = *m == "Infty" ? "I" : "M";
        return j;
      }
      uint64_t u;
      std::memcpy(&u, &c.d, 8);
      char code = (u >> 48) == 0xFFFF
                      ? static_cast<char>(~static_cast<unsigned char>((u >> 40) & 0xFF))
                      : '.';
      return json{{"missing", std::string(1, code)}};
    }
    case Cell::Kind::kText:
      return c.s;
    default:
      return nullptr;
  }
}

// The bytes of the first n characters of s; npos when s is shorter.
size_t characterBytes(std::string_view s, int64_t n) {
  size_t at = 0;
  for (int64_t k = 0; k < n; ++k) {
    if (at >= s.size()) return std::string_view::npos;
    ++at;
    while (at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

// A text column with the dynamic "levelsAt" holds its texts' levels at that page column, the
// label before them blank-padded for the listing's alignment: its value is the text without
// that padding ("cyl       4" is "cyl 4").
json columnCellJson(const Column& column, const Cell& c) {
  const Cell* at = findDynamic(column.dynamics, "levelsAt");
  if (!at || at->kind != Cell::Kind::kInt || c.kind != Cell::Kind::kText) return cellJson(c);
  const std::string_view text = c.s;
  const size_t cut = characterBytes(text, at->i);
  if (cut == std::string_view::npos) return c.s;  // no levels
  const std::string_view head = text.substr(0, cut);
  return std::string(head.substr(0, head.find_last_not_of(' ') + 1)) +
         std::string(text.substr(cut));
}

json dynamicsJson(const Dynamics& d) {
  json j = json::object();
  for (const NamedValue& v : d) j[v.name] = cellJson(v.value);
  return j;
}

json pairsJson(const Dynamics& d) {
  json j = json::array();
  for (const NamedValue& v : d) j.push_back({{"name", v.name}, {"value", cellJson(v.value)}});
  return j;
}

const char* typeName(ColumnType t) {
  switch (t) {
    case ColumnType::kChar:
      return "char";
    case ColumnType::kInt:
      return "int";
    case ColumnType::kDouble:
      return "double";
    case ColumnType::kText:
      return "text";
    default:
      return "string";
  }
}

// A table without its rows, which the writer adds in the place of "rows".
json tableJson(const Table& t) {
  json j{{"type", t.factoid ? "factoid" : "table"},
         {"id", t.id},
         {"step", t.step},
         {"name", t.name},
         {"path", pathOf(t.parent, t.name)},
         {"template", t.templatePath},
         {"label", t.label},
         {"title", tableTitle(t)},
         {"displayed", isDisplayed(t)},
         {"complete", t.closed},
         {"dynamics", dynamicsJson(t.dynamics)}};
  if (!t.title.empty()) j["subtitle"] = t.title;
  if (!t.label2.empty()) j["label2"] = t.label2;
  if (!t.note.empty()) j["note"] = t.note;
  if (t.display >= 0) j["display"] = t.display;
  j["footnotes"] = tableFootnotes(t);
  if (t.factoid) {
    json entries = json::array();
    for (size_t i = 0; i < t.entries.size(); ++i)
      entries.push_back({{"label", t.entries[i].label},
                         {"value", cellJson(t.entries[i].value)},
                         {"text", entryText(t.entries[i])}});
    j["entries"] = entries;
    return j;
  }
  json columns = json::array();
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    json col{{"name", c.name},
             {"type", typeName(c.type)},
             {"header", columnHeader(t, i)},
             {"shown", columnShown(t, i)}};
    if (!c.label.empty()) col["label"] = c.label;
    if (!c.templateColumn.empty()) col["template"] = c.templateColumn;
    if (c.width > 0) col["width"] = c.width;
    if (c.decimals >= 0) col["decimals"] = c.decimals;
    if (!c.dynamics.empty()) col["dynamics"] = dynamicsJson(c.dynamics);
    columns.push_back(col);
  }
  j["columns"] = columns;
  j["rows"] = nullptr;
  return j;
}

// A graph's data are the indices of the rows it sees of a table, an item of the document that
// holds their values once.
json graphJson(const Graph& g) {
  json data = json::array();
  for (const GraphData& d : g.data) {
    json one{
        {"object", d.objectId}, {"table", d.tableName}, {"tableId", d.tableId}, {"rows", d.rows}};
    if (d.filtered) one["where"] = d.where;
    data.push_back(one);
  }
  json lists = json::array();
  for (const Dynamics& l : g.lists) lists.push_back(pairsJson(l));
  json j{{"type", "graph"},
         {"id", g.id},
         {"step", g.step},
         {"name", g.name},
         {"path", pathOf(g.parent, g.name)},
         {"label", g.label},
         {"title", g.title},
         {"template", g.templatePath},
         {"data", data},
         {"variables", pairsJson(g.variables)},
         {"lists", lists}};
  if (!g.file.empty()) j["file"] = g.file;
  return j;
}

// A group without its items, which the writer adds in the place of "items".
json groupJson(const Group& g) {
  json j{{"type", "group"},
         {"id", g.id},
         {"step", g.step},
         {"name", g.name},
         {"path", pathOf(g.parent, g.name)},
         {"label", g.label},
         {"items", nullptr}};
  if (!g.baseName.empty()) j["baseName"] = g.baseName;
  if (g.number.kind != Cell::Kind::kNull) j["number"] = cellJson(g.number);
  return j;
}

struct ItemJson {
  json operator()(const Table* t) const { return tableJson(*t); }
  json operator()(const Group* g) const { return groupJson(*g); }
  json operator()(const TextLine* t) const {
    if (t->rule)
      return json{{"type", "rule"}, {"step", t->step}, {"char", std::string(1, t->ruleChar)}};
    return json{{"type", "text"},
                {"step", t->step},
                {"text", t->text},
                {"justify", std::string(1, t->justify)}};
  }
  json operator()(const Heading* h) const {
    return json{{"type", "heading"}, {"step", h->step}, {"level", h->level}, {"text", h->text}};
  }
  json operator()(const Graph* g) const { return graphJson(*g); }
};

// The BY variables of an item in a BY group: name, raw value and the value as shown.
json byJson(int by) {
  json j = json::array();
  for (const ByValue& v : byValuesOf(by))
    j.push_back({{"name", v.name},
                 {"value", v.text ? json(v.shown) : cellJson(Cell::ofDouble(v.number))},
                 {"shown", v.shown}});
  return j;
}

// The document without its output, which the writer adds in the place of "output".
json documentJson() {
  json macros = json::object();
  for (const auto& [name, value] : session().macros) macros[name] = value;
  json log = json::array();
  for (const LogLine& line : session().log.lines())
    log.push_back({{"level", line.level}, {"text", line.text}, {"step", line.step}});
  json j{{"output", nullptr}, {"macros", macros}, {"log", log}};
  if (!session().written.empty()) {
    json sets = json::array();
    for (const WrittenDataSet& w : session().written) {
      json vars = json::array();
      for (const auto& [name, label] : w.variables)
        vars.push_back({{"name", name}, {"label", label}});
      sets.push_back({{"name", w.name},
                      {"path", w.path},
                      {"label", w.label},
                      {"rows", w.rows},
                      {"variables", vars}});
    }
    j["dataSets"] = sets;
  }
  return j;
}

// A value, or an object of values only (a missing value, a table's dynamics).
bool isValueLike(const json& j) {
  if (!j.is_structured()) return true;
  if (!j.is_object()) return false;
  for (const json& member : j)
    if (member.is_structured()) return false;
  return true;
}

// A row, a column, a log line, a list of footnotes: an object of values and value-like
// objects, or an array of values.
bool isFlat(const json& j) {
  for (const json& member : j)
    if (j.is_object() ? !isValueLike(member) : member.is_structured()) return false;
  return true;
}

// Writes the document lightly indented: flat containers stand on one line, the others with a
// member on each line, indented by one blank a level, so that the document reads by its items,
// tables and rows at little more than its compact size. The items and the tables' rows are
// written from the output model as they come, never held as one tree.
// With a sink, the text goes to it item by item, and the items that left the document come from
// the spill file, so that no more than one item's text is held.
class Writer {
 public:
  using Sink = std::function<bool(std::string_view)>;
  explicit Writer(std::string& out, Sink sink = nullptr)
      : out_(out),
        sink_(std::move(sink)),
        // Texts from data may hold bytes that are not UTF-8; they are replaced, not fatal.
        s_(nlohmann::detail::output_adapter<char, std::string>(out), ' ',
           json::error_handler_t::replace) {}

  // False when the sink or the spill file failed.
  bool document() {
    object(documentJson(), 0, "output", [&](int depth) { output(depth); });
    out_ += '\n';
    drain(true);
    return ok_;
  }

  // The item as the index-th element of "output".
  void topItem(const Item& one, int64_t index) {
    next(index, kTopDepth);
    item(one, kTopDepth);
  }

 private:
  static constexpr int kTopDepth = 2;  // of the elements of "output"

  // Hands what was written to the sink once it is large, or at the end.
  void drain(bool whole) {
    if (!sink_ || (!whole && out_.size() < (size_t{1} << 20))) return;
    ok_ = ok_ && sink_(out_);
    out_.clear();
  }

  // The items that left the document, then those still in it.
  void output(int depth) {
    out_ += '[';
    const Spill* left = spill();
    int64_t n = 0;
    if (left && left->json && left->jsonItems > 0) {
      n = left->jsonItems;
      drain(true);
      const Sink into = sink_ ? sink_ : Sink([this](std::string_view t) {
        out_ += t;
        return true;
      });
      ok_ = ok_ && copySpill(left->json, 0, left->jsonBytes, into);
    }
    for (const Item& one : doc().top) {
      next(n++, depth + 1);
      item(one, depth + 1);
      drain(false);
    }
    close(']', n, depth);
  }

  void scalar(const json& j) { s_.dump(j, false, false, 0); }

  void value(const json& j, int depth) {
    if (!j.is_structured() || isFlat(j)) return scalar(j);
    const bool isObject = j.is_object();
    int n = 0;
    out_ += isObject ? '{' : '[';
    for (auto it = j.begin(); it != j.end(); ++it) {
      next(n++, depth + 1);
      if (isObject) key(it.key());
      value(*it, depth + 1);
    }
    close(isObject ? '}' : ']', n, depth);
  }

  // An object whose member `late` is written by `write`, in its place.
  template <typename Write>
  void object(const json& j, int depth, std::string_view late, const Write& write) {
    int n = 0;
    out_ += '{';
    for (auto it = j.begin(); it != j.end(); ++it) {
      next(n++, depth + 1);
      key(it.key());
      if (it.key() == late)
        write(depth + 1);
      else
        value(*it, depth + 1);
    }
    close('}', n, depth);
  }

  void item(const Item& item, int depth) {
    json one = std::visit(ItemJson{}, item);
    if (int by = byTagOf(item).by; by >= 0) one["by"] = byJson(by);
    if (auto* t = std::get_if<Table*>(&item))
      object(one, depth, "rows", [&](int d) { rows(**t, d); });
    else if (auto* g = std::get_if<Group*>(&item))
      object(one, depth, "items", [&](int d) { items((*g)->items, d); });
    else
      value(one, depth);
  }

  void items(const std::vector<Item>& list, int depth) {
    int n = 0;
    out_ += '[';
    for (const Item& one : list) {
      next(n++, depth + 1);
      item(one, depth + 1);
    }
    close(']', n, depth);
  }

  // A row on each line, its cells named by their columns.
  void rows(const Table& t, int depth) {
    std::vector<std::string> keys;
    for (const Column& c : t.columns)
      keys.push_back(json(c.name).dump(-1, ' ', false, json::error_handler_t::replace) + ':');
    int n = 0;
    out_ += '[';
    for (const auto& row : t.rows) {
      next(n++, depth + 1);
      out_ += '{';
      for (size_t i = 0; i < t.columns.size(); ++i) {
        if (i > 0) out_ += ',';
        out_ += keys[i];
        scalar(columnCellJson(t.columns[i], row[i]));
      }
      out_ += '}';
    }
    close(']', n, depth);
  }

  void key(const std::string& k) {
    scalar(json(k));
    out_ += ':';
  }
  void next(int64_t n, int depth) {
    out_ += n == 0 ? "\n" : ",\n";
    out_.append(static_cast<size_t>(depth), ' ');
  }
  void close(char c, int64_t members, int depth) {
    if (members > 0) {
      out_ += '\n';
      out_.append(static_cast<size_t>(depth), ' ');
    }
    out_ += c;
  }

  std::string& out_;
  Sink sink_;
  bool ok_ = true;
  nlohmann::detail::serializer<json> s_;
};

}  // namespace

void appendItemJson(std::string& out, const Item& item, int64_t index) {
  Writer(out).topItem(item, index);
}

std::string jsonText() {
  std::string out;
  Writer(out).document();
  return out;
}

bool writeJsonFile(const std::string& path, std::string* error) {
  return writeFileWhole(
      path,
      [](int fd) {
        int failed = 0;
        std::string out;
        const bool ok = Writer(out, [&](std::string_view text) {
                          failed = writeFully(fd, text);
                          return failed == 0;
                        }).document();
        return ok ? 0 : failed != 0 ? failed : EIO;
      },
      error);
}

}  // namespace vsf::host::output
