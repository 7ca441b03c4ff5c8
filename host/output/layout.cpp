#include <cstdint>
#include <optional>

#include "frame/host/values.h"
#include "host/output/formats.h"
#include "host/output/layout_internal.h"

namespace vsf::host::output {

namespace {

constexpr int kBestFitCode = 98;
constexpr int kOwnFormatCode = 99;

bool isNumeric(ColumnType t) { return t == ColumnType::kInt || t == ColumnType::kDouble; }

const TemplateColumn* templateColumn(const Table& t, const Column& c) {
  const Template* tpl = templateOf(t);
  if (!tpl) return nullptr;
  if (c.foundIn == tpl) return c.found;
  const TemplateColumn* tc = nullptr;
  if (!c.templateColumn.empty()) tc = tpl->column(c.templateColumn);
  if (!tc) tc = tpl->column(c.name);
  c.foundIn = tpl;
  c.found = tc;
  return tc;
}

// The block separator: a one-character column named Control starts a block with '-'.
bool isControl(const Column& c) {
  return c.type == ColumnType::kChar && equalNoCase(c.name, "Control");
}

std::optional<NumberFormat> formatFromCodes(int width, int decimals, const std::string& own) {
  if (decimals == kBestFitCode) return NumberFormat{FormatKind::kBest, width, 0};
  if (decimals == kOwnFormatCode) {
    if (auto f = parseFormat(own)) return f;
    return NumberFormat{FormatKind::kBest, width, 0};
  }
  if (decimals >= 0) return NumberFormat{FormatKind::kFixed, width, decimals};
  return std::nullopt;
}

// The procedure's own width and decimals come first, then the template, then the variable's
// format; numbers without any of them get a best fit.
std::optional<NumberFormat> columnFormat(const Table& t, const Column& c,
                                         const TemplateColumn* tc) {
  if (auto f = formatFromCodes(c.width, c.decimals, c.varFormat)) return f;
  if (tc && !tc->format.empty()) {
    bool complete = true;
    std::string name = expandDynamics(tc->format, c.dynamics, t.dynamics, &complete);
    if (complete)
      if (auto f = parseFormat(name)) return f;
  }
  if (auto f = parseFormat(c.varFormat)) return f;
  if (c.type == ColumnType::kDouble) return NumberFormat{FormatKind::kBest, c.width, 0};
  return std::nullopt;
}

double numberOf(const Cell& c) {
  return c.kind == Cell::Kind::kInt ? static_cast<double>(c.i) : c.d;
}

// What a column's cells need, worked out once per table.
struct CellPlan {
  const TemplateColumn* tc = nullptr;
  std::optional<NumberFormat> format;
  size_t marker = SIZE_MAX;  // the column whose true value adds "*"
};

CellPlan planColumn(const Table& t, size_t column) {
  const Column& c = t.columns[column];
  CellPlan p;
  p.tc = templateColumn(t, c);
  p.format = columnFormat(t, c, p.tc);
  if (p.tc && !p.tc->marker.empty())
    for (size_t k = 0; k < t.columns.size(); ++k)
      if (equalNoCase(t.columns[k].name, p.tc->marker)) p.marker = k;
  return p;
}

// The cell's text into `s`, whose room is kept from the last table laid out.
void cellText(const CellPlan& p, size_t column, const std::vector<Cell>& row, std::string& s) {
  const Cell& v = row[column];
  if (v.kind == Cell::Kind::kText || v.kind == Cell::Kind::kNull) {
    s = v.s;
  } else if (p.tc && !p.tc->blank.empty() && v.plain() == p.tc->blank) {
    s.clear();
  } else if (p.format) {
    s = formatNumber(numberOf(v), *p.format);
  } else {
    s = v.plain();
  }
  // The marker takes a place of its own, so that marked and unmarked numbers stay aligned.
  if (p.marker != SIZE_MAX) s += row[p.marker].truthy() ? "*" : " ";
}

// Whether a column holds a text of several words longer than a short line.
bool longWords(const std::vector<std::vector<std::string>>& cells, size_t column) {
  constexpr int kLong = 40;
  for (const auto& row : cells)
    if (textWidth(row[column]) > kLong && row[column].find(' ') != std::string::npos) return true;
  return false;
}

}  // namespace

std::string entryText(const FactoidEntry& e) {
  if (e.value.kind == Cell::Kind::kText || e.value.kind == Cell::Kind::kNull) return e.value.s;
  std::optional<NumberFormat> f;
  if (!e.formatName.empty()) f = parseFormat(e.formatName);
  if (!f) f = formatFromCodes(e.width, e.decimals, std::string());
  if (!f && e.value.kind == Cell::Kind::kDouble) f = NumberFormat{};
  if (!f) return std::to_string(e.value.i);
  return formatNumber(numberOf(e.value), *f);
}

const Template* templateOf(const Table& t) {
  if (t.templatePath.empty()) return nullptr;
  // The templates are the program's own and never change: a path without one stays without.
  if (t.foundFor != t.templatePath) {
    t.found = templates().find(t.templatePath);
    t.foundFor = t.templatePath;
  }
  return t.found;
}

bool isDisplayed(const Table& t) {
  if (const Template* tpl = templateOf(t)) return !tpl->hidden;
  // Asked of every table listed: the path is searched in place, not lowered in a copy.
  constexpr std::string_view kPhantom = ".phantom.";
  const std::string_view path = t.templatePath;
  for (size_t at = 0; at + kPhantom.size() <= path.size(); ++at)
    if (equalNoCase(path.substr(at, kPhantom.size()), kPhantom)) return false;
  return true;
}

std::string expandDynamics(std::string_view text, const Dynamics& first, const Dynamics& second,
                           bool* complete) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t close = text[i] == '{' ? text.find('}', i) : std::string_view::npos;
    if (close == std::string_view::npos) {
      out += text[i];
      continue;
    }
    std::string_view name = text.substr(i + 1, close - i - 1);
    const Cell* v = findDynamic(first, name);
    if (!v) v = findDynamic(second, name);
    if (v && v->kind != Cell::Kind::kNull)
      out += v->plain();
    else
      *complete = false;
    i = close;
  }
  return out;
}

bool columnShown(const Table& t, size_t column) {
  const Column& c = t.columns[column];
  if (isControl(c)) return false;
  const TemplateColumn* tc = templateColumn(t, c);
  if (!tc) return true;
  if (tc->hidden) return false;
  if (!tc->show.empty()) {
    const Cell* v = findDynamic(c.dynamics, tc->show);
    if (!v) v = findDynamic(t.dynamics, tc->show);
    if (v) return v->truthy();
  }
  return true;
}

std::string columnHeader(const Table& t, size_t column) {
  const Column& c = t.columns[column];
  const TemplateColumn* tc = templateColumn(t, c);
  if (tc && tc->headerGiven) {
    bool complete = true;
    std::string h = expandDynamics(tc->header, c.dynamics, t.dynamics, &complete);
    if (complete) return h;
  }
  return c.label.empty() ? c.name : c.label;
}

std::string tableTitle(const Table& t) {
  if (const Template* tpl = templateOf(t); tpl && !tpl->title.empty()) {
    bool complete = true;
    std::string title = expandDynamics(tpl->title, t.dynamics, Dynamics(), &complete);
    if (complete && !title.empty()) return title;
  }
  if (!t.label.empty()) return t.label;
  if (!t.title.empty()) return t.title;
  return t.name;
}

void layoutTable(const Table& t, TableLayout* out) {
  TableLayout& l = *out;
  l.title = tableTitle(t);
  l.subtitle.clear();
  if (!t.title.empty() && t.title != l.title) l.subtitle = t.title;
  l.columns.clear();
  l.columns.reserve(t.columns.size());
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (!columnShown(t, i)) continue;
    const TemplateColumn* tc = templateColumn(t, t.columns[i]);
    char just = tc && tc->just ? tc->just : isNumeric(t.columns[i].type) ? 'r' : 'l';
    l.columns.push_back(ShownColumn{i, columnHeader(t, i), just});
  }
  size_t control = t.columns.size();
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (isControl(t.columns[i])) control = i;
  std::vector<CellPlan> plans;
  plans.reserve(l.columns.size());
  for (const ShownColumn& c : l.columns) plans.push_back(planColumn(t, c.index));
  // Rows and cells are written over those of the last table: a BY step lays out tens of
  // tables a group, most of them alike.
  l.cells.resize(t.rows.size());
  l.ruleBefore.assign(t.rows.size(), false);
  for (size_t r = 0; r < t.rows.size(); ++r) {
    const std::vector<Cell>& row = t.rows[r];
    std::vector<std::string>& cells = l.cells[r];
    cells.resize(l.columns.size());
    for (size_t k = 0; k < l.columns.size(); ++k)
      cellText(plans[k], l.columns[k].index, row, cells[k]);
    l.ruleBefore[r] = control < t.columns.size() && row[control].s == "-";
  }
  for (size_t k = 0; k < l.columns.size(); ++k)
    l.columns[k].wraps = l.columns[k].just == 'l' && longWords(l.cells, k);
  l.entries.clear();
  for (const FactoidEntry& e : t.entries) l.entries.emplace_back(e.label, entryText(e));
  l.footnotes = tableFootnotes(t);
}

TableLayout layoutTable(const Table& t) {
  TableLayout l;
  layoutTable(t, &l);
  return l;
}

std::vector<std::string> tableFootnotes(const Table& t) {
  std::vector<std::string> notes;
  if (const Template* tpl = templateOf(t))
    for (const Footnote& f : tpl->footnotes) {
      const Cell* when = f.when.empty() ? nullptr : findDynamic(t.dynamics, f.when);
      if (!f.when.empty() && !(when && when->truthy())) continue;
      bool complete = true;
      std::string text = expandDynamics(f.text, t.dynamics, Dynamics(), &complete);
      if (complete) notes.push_back(text);
    }
  if (!t.note.empty()) notes.push_back(t.note);
  return notes;
}

}  // namespace vsf::host::output
