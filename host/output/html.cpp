// The HTML page: one self-contained document with every displayed table, group headings,
// text lines, footnotes and graphs drawn inline as SVG.
#include <fmt/format.h>

#include <cerrno>
#include <functional>

#include "host/output/layout_internal.h"
#include "host/session.h"
#include "host/whole_file.h"

namespace vsf::host::output {

namespace {

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
@media (max-width: 600px) { body { margin: 0.6em; } section.group { margin-left: 0.3em; } }
section.group { margin-left: 1em; }
h2, h3, h4, h5, h6 { font-weight: normal; margin: 1.2em 0 0.4em; }
div.scroll { max-width: 100%; overflow-x: auto; }
table { border-collapse: collapse; margin: 0.8em 0; }
caption { font-weight: bold; padding: 0.3em; }
caption .subtitle { display: block; font-weight: normal; }
th, td { padding: 0.15em 0.6em; border-bottom: 1px solid #ddd; }
th { background: #eef; text-align: center; }
td { white-space: nowrap; }
td.w { white-space: normal; min-width: 14em; }
td.r { text-align: right; } td.c { text-align: center; } td.l { text-align: left; }
tr.block td { border-top: 2px solid #888; }
table.factoid th { text-align: left; background: none; font-weight: normal; }
p.footnote { font-size: 0.9em; margin: 0.2em 0; }
p.text { margin: 0.4em 0; } p.r { text-align: right; }
span.mark { display: inline-block; width: 0.6em; text-align: left; }
p.heading { font-style: italic; }
p.byline { margin: 1.5em 0 0.5em; padding: 0.2em 0.6em; background: #eee; font-weight: bold; }
div.log { margin: 1em 0; padding: 0.4em 0.8em; border-left: 4px solid #c33; background: #fee; }
div.log p { margin: 0.2em 0; font-family: monospace; }
figure.graph { margin: 1em 0; max-width: 100%; overflow-x: auto; }
figure.graph svg { display: block; max-width: 100%; min-width: 600px; height: auto; }
)";

// A right-aligned number of a column with a best-value mark ends in "*" or in the blank that
// keeps its place: the mark gets a box of its own, so the digits line up.
std::string cellHtml(const std::string& text, char just) {
  if (just != 'r' || text.size() < 2 || (text.back() != '*' && text.back() != ' '))
    return escapeMarkup(text);
  const std::string mark = text.back() == '*' ? "*" : "";
  return escapeMarkup(text.substr(0, text.size() - 1)) + "<span class=\"mark\">" + mark + "</span>";
}

void writeCaption(std::string& out, const TableLayout& l) {
  out += "<caption>" + escapeMarkup(l.title);
  if (!l.subtitle.empty())
    out += "<span class=\"subtitle\">" + escapeMarkup(l.subtitle) + "</span>";
  out += "</caption>\n";
}

// A table wider than the page scrolls in a box of its own.
void writeTable(std::string& out, const Table& t) {
  TableLayout l = layoutTable(t);
  out += fmt::format("<div class=\"scroll\"><table class=\"{}\" id=\"t{}\" data-name=\"{}\">\n",
                     t.factoid ? "factoid" : "data", t.id, escapeMarkup(t.name));
  writeCaption(out, l);
  if (t.factoid) {
    for (const auto& [label, value] : l.entries)
      out += "<tr><th>" + escapeMarkup(label) + "</th><td>" + escapeMarkup(value) + "</td></tr>\n";
  } else {
    // A table whose columns have no headings (a sentence, an effect list) has no head row.
    bool headed = false;
    for (const ShownColumn& c : l.columns) headed |= !c.header.empty();
    if (headed) {
      out += "<thead><tr>";
      for (const ShownColumn& c : l.columns) out += "<th>" + escapeMarkup(c.header) + "</th>";
      out += "</tr></thead>\n";
    }
    out += "<tbody>\n";
    for (size_t r = 0; r < l.cells.size(); ++r) {
      out += l.ruleBefore[r] ? "<tr class=\"block\">" : "<tr>";
      for (size_t c = 0; c < l.columns.size(); ++c)
        out +=
            fmt::format("<td class=\"{}{}\">{}</td>", l.columns[c].just,
                        l.columns[c].wraps ? " w" : "", cellHtml(l.cells[r][c], l.columns[c].just));
      out += "</tr>\n";
    }
    out += "</tbody>\n";
  }
  out += "</table></div>\n";
  for (const std::string& f : l.footnotes)
    out += "<p class=\"footnote\">" + escapeMarkup(f) + "</p>\n";
}

// With a sink, the page goes to it item by item, and the items that left the document come
// from the spill file.
struct Page {
  std::string out;
  int by = -1;  // the BY group of the last item written
  std::function<bool(std::string_view)> sink;
  bool ok = true;  // the sink and the spill file took everything
  // Hands what was written to the sink once it is large, or at the end.
  void drain(bool whole) {
    if (!sink || (!whole && out.size() < (size_t{1} << 20))) return;
    ok = ok && sink(out);
    out.clear();
  }
};

void writeItems(Page& page, const std::vector<Item>& items, int depth);

// A BY line before the first item of each BY group.
void writeByLine(Page& page, const Item& item) {
  if (auto* t = std::get_if<Table*>(&item); t && !isDisplayed(**t)) return;
  const int by = byTagOf(item).by;
  if (by == page.by) return;
  page.by = by;
  if (by >= 0) page.out += "<p class=\"byline\">" + escapeMarkup(byLine(byValuesOf(by))) + "</p>\n";
}

// A group shows when something under it shows: a displayed table, a text line or a graph.
bool hasContent(const Group& g) {
  for (const Item& item : g.items) {
    if (auto* t = std::get_if<Table*>(&item); t && !isDisplayed(**t)) continue;
    if (std::holds_alternative<Heading*>(item)) continue;
    if (auto* inner = std::get_if<Group*>(&item); inner && !hasContent(**inner)) continue;
    return true;
  }
  return false;
}

struct HtmlItem {
  Page& page;
  std::string& out;
  int depth;
  void operator()(const Table* t) const {
    if (isDisplayed(*t)) writeTable(out, *t);
  }
  void operator()(const Group* g) const {
    if (!hasContent(*g)) return;
    int h = std::min(depth + 2, 6);
    out += fmt::format("<section class=\"group\" data-name=\"{}\">\n<h{}>{}</h{}>\n",
                       escapeMarkup(g->name), h,
                       escapeMarkup(g->label.empty() ? g->name : g->label), h);
    writeItems(page, g->items, depth + 1);
    out += "</section>\n";
  }
  void operator()(const TextLine* t) const {
    if (t->rule)
      out += "<hr>\n";
    else
      out += fmt::format("<p class=\"text {}\">{}</p>\n", t->justify, escapeMarkup(t->text));
  }
  void operator()(const Heading* h) const {
    if (h->parent && h->text == h->parent->label) return;  // the section's heading says it
    out += "<p class=\"heading\">" + escapeMarkup(h->text) + "</p>\n";
  }
  void operator()(const Graph* g) const {
    out += fmt::format("<figure class=\"graph\" id=\"g{}\" data-name=\"{}\">\n", g->id,
                       escapeMarkup(g->name));
    out += graphSvg(*g);
    out += "</figure>\n";
  }
};

void writeItems(Page& page, const std::vector<Item>& items, int depth) {
  for (const Item& item : items) {
    writeByLine(page, item);
    std::visit(HtmlItem{page, page.out, depth}, item);
    if (depth == 0) page.drain(false);
  }
}

// The step's items that left the document, as the spill file holds them.
void writeSpilled(Page& page, int step) {
  const Spill* left = spill();
  if (!left || !left->html) return;
  for (const Spill::Part& part : left->htmlSteps) {
    if (part.step != step) continue;
    page.drain(true);
    const std::function<bool(std::string_view)> into =
        page.sink ? page.sink : [&page](std::string_view t) {
          page.out += t;
          return true;
        };
    page.ok = page.ok && copySpill(left->html, part.from, part.bytes, into);
    page.by = part.by;
  }
}

// The errors and warnings the log holds for a step, in a box of their own, so that the page of
// a step that failed says why.
void writeLog(Page& page, int step) {
  std::string lines;
  for (const LogLine& l : session().log.lines())
    if (l.step == step && (l.level == "ERROR" || l.level == "WARNING"))
      lines += "<p>" + escapeMarkup(l.level + ": " + l.text) + "</p>\n";
  if (!lines.empty()) page.out += "<div class=\"log\">\n" + lines + "</div>\n";
}

// The items of each step, then the step's errors and warnings.
void writeSteps(Page& page) {
  int steps = doc().step;
  for (const LogLine& l : session().log.lines()) steps = std::max(steps, l.step);
  // Items made outside any step (tests drive the output system so) come first.
  std::vector<Item> items;
  for (const Item& item : doc().top)
    if (stepOf(item) < 1) items.push_back(item);
  writeItems(page, items, 0);
  for (int step = 1; step <= steps; ++step) {
    writeSpilled(page, step);
    items.clear();
    for (const Item& item : doc().top)
      if (stepOf(item) == step) items.push_back(item);
    writeItems(page, items, 0);
    writeLog(page, step);
  }
}

void writePage(Page& page) {
  page.out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>VARSIFTER output</title>\n<style>";
  page.out += kStyle;
  page.out += "</style>\n</head>\n<body>\n";
  writeSteps(page);
  page.out += "</body>\n</html>\n";
  page.drain(true);
}

}  // namespace

std::string escapeMarkup(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void appendItemHtml(std::string& out, const Item& item, int* pageBy) {
  Page page;
  page.by = *pageBy;
  writeItems(page, {item}, 0);
  *pageBy = page.by;
  out += page.out;
}

std::string htmlText() {
  Page page;
  writePage(page);
  return page.out;
}

bool writeHtmlFile(const std::string& path, std::string* error) {
  return writeFileWhole(
      path,
      [](int fd) {
        int failed = 0;
        Page page;
        page.sink = [&](std::string_view text) {
          failed = writeFully(fd, text);
          return failed == 0;
        };
        writePage(page);
        return page.ok ? 0 : failed != 0 ? failed : EIO;
      },
      error);
}

}  // namespace vsf::host::output
