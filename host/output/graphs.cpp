// Graph requests: recorded with their data and variables, drawn by the template's drawing into
// SVG, written to a file of their own when the command asks for one, and listed.
#include <fmt/format.h>

#include <cctype>

#include "frame/host/values.h"
#include "host/data/data.h"
#include "host/output/output_internal.h"
#include "host/output/plot_internal.h"
#include "host/whole_file.h"

namespace vsf::host::output {

namespace {

constexpr uint16_t kKeyGraphView = 307;
constexpr uint16_t kKeyNestedList = 174;
constexpr uint16_t kTypeList = 28;

GraphData wholeData(const DataObject& d) {
  GraphData g;
  g.table = d.owner;
  g.tableName = d.owner->name;
  g.tableId = d.owner->id;
  g.objectId = d.id;
  for (size_t i = 0; i < d.owner->rows.size(); ++i) g.rows.push_back(i);
  return g;
}

// The data objects of key 2829: one handle, or an array of as many handles as its count.
bool readDataObjects(const OutputArgItem& a, std::vector<GraphData>* out) {
  if (a.type != argtype::kDataObject || !a.aux) return false;
  std::vector<Object*> objects;
  if (Object* o = lookupHandle(a.aux)) {
    objects.push_back(o);
  } else {
    uint16_t n = a.bytesLength();
    if (n < 1 || n > 2) return false;
    auto* list = static_cast<void* const*>(a.aux);
    for (uint16_t i = 0; i < n; ++i) objects.push_back(lookupHandle(list[i]));
  }
  for (Object* o : objects) {
    if (!o || o->kind != ObjectKind::kDataObject || o->released) return false;
    out->push_back(wholeData(*static_cast<DataObject*>(o)));
  }
  return true;
}

bool readList(const Request& r, const OutputArgItem& a, Dynamics* into) {
  if (a.type != kTypeList) return false;
  uint16_t n = a.bytesLength();
  if (n == 0) return true;
  if (!a.aux || n % 2 != 0) return false;
  Request inner(r.op(), static_cast<OutputArgItem*>(a.aux), n);
  // Pairs keep their order, repeats included.
  for (int i = 0; i < n; i += 2) {
    if (inner.item(i).key != key::kDynamicName || inner.item(i + 1).key != key::kDynamicValue)
      return false;
    auto name = inner.text(inner.item(i));
    auto value = inner.value(inner.item(i + 1));
    if (!name || !value) return false;
    into->push_back(NamedValue{*name, *value});
  }
  return true;
}

struct Targets {
  std::string directory;
  bool html = false;
  std::vector<std::string> errors;
};

Targets& targets() {
  static Targets t;
  return t;
}

// The longest BY values a file name carries, in bytes.
constexpr size_t kByNameBytes = 80;

// The length of the UTF-8 character at the start of s that a file name keeps: a letter or
// another sign outside ASCII (the file system takes UTF-8), not a control, a blank, a
// direction or width mark, nor a byte that starts no valid character; 0 for those.
size_t keptCharacter(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  const size_t n = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || n > s.size()) return 0;
  char32_t c = b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    const auto next = static_cast<unsigned char>(s[k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < lowest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;  // not UTF-8
  const bool blankOrMark = c <= 0xA0 || c == 0xAD || c == 0x1680 || (c >= 0x2000 && c <= 0x200F) ||
                           (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) ||
                           c == 0x3000 || c == 0xFEFF || (c >= 0xFFF0 && c <= 0xFFFF);
  return blankOrMark ? 0 : n;
}

// The name with letters, digits, ".", "-", "_" and "=" kept, and the characters outside ASCII
// that keptCharacter keeps; any other character becomes one "_".
std::string fileNamePart(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b < 0x80) {
      out += std::isalnum(b) || b == '.' || b == '-' || b == '_' || b == '=' ? name[i] : '_';
      ++i;
    } else if (const size_t n = keptCharacter(name.substr(i)); n > 0) {
      out += name.substr(i, n);
      i += n;
    } else {
      out += '_';
      ++i;
    }
  }
  return out;
}

// A file name from the graph's path and, in a BY group, the group's number and values
// ("Summary.ASEPlot.by2-cyl=6"), made unique within the run.
std::string fileName(const Graph& g) {
  std::string base = pathOf(g.parent, g.name);
  if (g.by >= 0) {
    base +=
        fmt::format(".by{}-{}", byNumberOf(g.by), textHead(byLine(byValuesOf(g.by)), kByNameBytes));
  }
  base = fileNamePart(base);
  const int n = ++doc().graphFiles[lowerCopy(base)];
  return n == 1 ? base + ".svg" : fmt::format("{}-{}.svg", base, n);
}

// Draws the graph for the page and writes its file, as the command asked; notes where it went.
void deliver(Graph& g) {
  Targets& t = targets();
  g.where = "not drawn (--html or --svg draws it)";
  if (t.directory.empty() && !t.html) return;
  g.svg = graphSvg(g);
  g.where = "drawn in the HTML page";
  if (t.directory.empty()) return;
  const std::string path = t.directory + "/" + fileName(g);
  std::string error;
  if (claimGraphFile(path, &error) && writeFileWhole(path, g.svg, &error)) {
    graphFileWritten(path);
    g.file = g.where = path;
  } else {
    g.where = "not written: " + error;
    t.errors.push_back("the graph file was not written: " + error);
  }
}

}  // namespace

void setGraphTargets(const std::string& svgDirectory, bool htmlPage) {
  targets().directory = svgDirectory;
  targets().html = htmlPage;
}

const std::vector<std::string>& graphFileErrors() { return targets().errors; }

std::string graphSvg(const Graph& g) {
  if (!g.svg.empty()) return g.svg;
  // Its tables left the document: it was drawn at its request if it was to be drawn at all.
  for (const GraphData& d : g.data)
    if (!d.table) return g.svg;
  Figure f = drawGraph(g);
  if (g.by >= 0) f.byLine = byLine(byValuesOf(g.by));
  return svgText(f);
}

int renderGraph(Object&, const Request& r) {
  Graph g;
  for (int i = 0; i < r.count(); ++i) {
    const OutputArgItem& a = r.item(i);
    switch (a.key) {
      case key::kName:
        g.name = r.text(a).value_or("");
        break;
      case key::kLabel2:
        g.label = r.text(a).value_or("");
        break;
      case key::kTitle:
        g.title = r.text(a).value_or("");
        break;
      case key::kTemplate:
        g.templatePath = r.text(a).value_or("");
        break;
      case key::kGraphData:
        if (!readDataObjects(a, &g.data))
          return refuse(status::kBadHandle, "graph data naming no live data object");
        break;
      case kKeyGraphView: {
        Object* v = r.handle(a);
        if (!v || v->kind != ObjectKind::kView || v->released)
          return refuse(status::kBadHandle, "a graph view naming no live view");
        const View& view = *static_cast<View*>(v);
        GraphData d = wholeData(*view.source);
        d.filtered = true;
        d.where = view.where;
        d.rows = view.rows;
        g.data.insert(g.data.begin(), std::move(d));
        break;
      }
      case key::kDynamicName: {
        auto name = r.text(a);
        auto value = i + 1 < r.count() && r.item(i + 1).key == key::kDynamicValue
                         ? r.value(r.item(i + 1))
                         : std::nullopt;
        if (!name || !value)
          return refuse(status::kBadArgument, "a graph variable without a value");
        g.variables.push_back(NamedValue{*name, *value});
        ++i;
        break;
      }
      case key::kDynamicValue:
        break;  // a value without its name steers nothing here
      case kKeyNestedList: {
        Dynamics list;
        if (!readList(r, a, &list))
          return refuse(status::kBadArgument, "a graph's nested list is not pairs of variables");
        g.lists.push_back(std::move(list));
        break;
      }
      default:
        return refuse(status::kBadArgument, fmt::format("a graph argument with key {}", a.key));
    }
  }
  if (g.name.empty() || g.templatePath.empty())
    return refuse(status::kBadArgument, "a graph without a name or template");
  if (g.data.empty()) return refuse(status::kBadArgument, "graph " + g.name + " without data");
  Document& d = doc();
  g.id = d.nextId++;
  g.step = d.step;
  g.parent = currentGroup();
  d.graphs.push_back(std::move(g));
  addItem(&d.graphs.back());
  deliver(d.graphs.back());
  listItem(&d.graphs.back());
  return 0;
}

}  // namespace vsf::host::output
