// The listing: fixed-width text on the listing stream, written as each table completes.
#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "frame/host/values.h"
#include "host/output/layout_internal.h"
#include "host/progress.h"
#include "host/session.h"
#include "host/standard_streams.h"

namespace vsf::host::output {

namespace {

constexpr size_t kLineWidth = 100;
constexpr size_t kGap = 2;

// The columns a text takes on the page: one per UTF-8 character, not one per byte, so that a
// level such as "é accent" keeps its row in line.
size_t widthOf(std::string_view s) { return static_cast<size_t>(textWidth(s)); }

// Appends the text centred in `width` columns, without the blanks after it.
void appendCentred(std::string& out, std::string_view s, size_t width) {
  const size_t w = widthOf(s);
  if (w < width) out.append((width - w) / 2, ' ');
  out += s;
}

// A centred line of the page.
void centredLine(std::string& out, std::string_view s) {
  appendCentred(out, s, kLineWidth);
  out += '\n';
}

// Appends the text aligned in `width` columns.
void appendAligned(std::string& out, std::string_view s, size_t width, char just) {
  const size_t w = widthOf(s);
  const size_t pad = w >= width ? 0 : width - w;
  const size_t before = just == 'r' ? pad : just == 'c' ? pad / 2 : 0;
  out.append(before, ' ');
  out += s;
  out.append(pad - before, ' ');
}

// The widest a cell is listed: a longer text (a level of a value thousands of characters long)
// ends with "..." there, so that one value does not widen every line of its table. The widest
// texts the tables make themselves (a Values list, 255) keep their width.
constexpr size_t kWidestCell = 256;

void boundWidth(std::string& s) {
  // A text no longer in bytes than a cell's widest is no wider: most cells, counted no further.
  if (s.size() <= kWidestCell || widthOf(s) <= kWidestCell) return;
  size_t chars = 0, at = 0;
  for (; at < s.size(); ++at)
    if ((static_cast<unsigned char>(s[at]) & 0xC0) != 0x80 && chars++ == kWidestCell - 3) break;
  s.resize(at);
  s += "...";
}

// A list of words that breaks at its blanks (an effect list) keeps every word, each bounded as
// a cell is: the list is as wide as the page once broken.
void boundWords(std::string& s) {
  if (s.size() <= kWidestCell || widthOf(s) <= kWidestCell) return;
  std::string out;
  size_t at = 0;
  while (at <= s.size()) {
    size_t end = s.find(' ', at);
    if (end == std::string::npos) end = s.size();
    std::string word = s.substr(at, end - at);
    boundWidth(word);
    out += word;
    if (end < s.size()) out += ' ';
    at = end + 1;
  }
  s = std::move(out);
}

void boundCells(TableLayout* l) {
  for (auto& row : l->cells)
    for (size_t c = 0; c < row.size(); ++c)
      if (c < l->columns.size() && l->columns[c].wraps)
        boundWords(row[c]);
      else
        boundWidth(row[c]);
  for (auto& entry : l->entries) boundWidth(entry.second);
}

// A block of lines, centred as one on the page when narrower than the page, built in place at
// the end of the listing's text: a line starts with the block's indent and ends without its
// trailing blanks (a blank line without the indent).
class Block {
 public:
  Block(std::string& out, size_t width)
      : out_(out), indent_(width < kLineWidth ? (kLineWidth - width) / 2 : 0) {}
  void start() {
    start_ = out_.size();
    out_.append(indent_, ' ');
  }
  void end() {
    const size_t last = out_.find_last_not_of(' ');
    out_.resize(last == std::string::npos || last < start_ + indent_ ? start_ : last + 1);
    out_ += '\n';
  }

 private:
  std::string& out_;
  size_t indent_;
  size_t start_ = 0;
};

void writeTitles(std::string& out, const TableLayout& l) {
  out += '\n';
  centredLine(out, l.title);
  if (!l.subtitle.empty()) centredLine(out, l.subtitle);
  out += '\n';
}

// The header's words in lines of at most `width` characters (a longer word stands alone).
std::vector<std::string> wrapWords(const std::string& header, size_t width) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(' ', at);
    if (end == std::string::npos) end = header.size();
    const std::string word = header.substr(at, end - at);
    if (!word.empty()) {
      if (!lines.empty() && widthOf(lines.back()) + 1 + widthOf(word) <= width)
        lines.back() += " " + word;
      else
        lines.push_back(word);
    }
    at = end + 1;
  }
  return lines;
}

size_t tableWidth(const std::vector<size_t>& widths) {
  size_t total = 0;
  for (size_t w : widths) total += w + (total ? kGap : 0);
  return total;
}

// A table's header lines: each column's header whole (no copy of it is made, a table a BY
// group listing many) or, once broken, its lines.
class HeaderLines {
 public:
  explicit HeaderLines(const TableLayout& l) : l_(l), broken_(l.columns.size()) {}
  size_t count(size_t c) const { return broken_[c] ? broken_[c]->size() : 1; }
  std::string_view line(size_t c, size_t d) const {
    return broken_[c] ? std::string_view((*broken_[c])[d]) : l_.columns[c].header;
  }
  void breakInto(size_t c, std::vector<std::string> lines) { broken_[c] = std::move(lines); }

 private:
  const TableLayout& l_;
  std::vector<std::optional<std::vector<std::string>>> broken_;
};

// Column widths and header lines. A table wider than the page breaks its headers at their
// spaces, widest first, down to their cells' width, until it fits or no header can break.
HeaderLines headerLines(const TableLayout& l, std::vector<size_t>* widths) {
  std::vector<size_t> cellWidth;
  HeaderLines headers(l);
  cellWidth.reserve(l.columns.size());
  widths->reserve(l.columns.size());
  for (size_t c = 0; c < l.columns.size(); ++c) {
    size_t w = 0;
    for (const auto& row : l.cells) w = std::max(w, widthOf(row[c]));
    cellWidth.push_back(w);
    widths->push_back(std::max(w, widthOf(l.columns[c].header)));
  }
  while (tableWidth(*widths) > kLineWidth) {
    size_t best = l.columns.size(), gain = 0;
    std::vector<std::string> bestLines;
    for (size_t c = 0; c < l.columns.size(); ++c) {
      std::vector<std::string> lines = wrapWords(l.columns[c].header, cellWidth[c]);
      size_t w = cellWidth[c];
      for (const std::string& line : lines) w = std::max(w, widthOf(line));
      if (w < (*widths)[c] && (*widths)[c] - w > gain) {
        best = c, gain = (*widths)[c] - w;
        bestLines = lines;
      }
    }
    if (best == l.columns.size()) break;
    headers.breakInto(best, std::move(bestLines));
    (*widths)[best] -= gain;
  }
  return headers;
}

// A table still wider than the page narrows its widest column of long word lists to what is
// left, down to kNarrowest; that column's cells break at their blanks. The column, or none.
size_t narrowWordColumn(const TableLayout& l, const HeaderLines& headers,
                        std::vector<size_t>* widths) {
  constexpr size_t kNarrowest = 20;
  const size_t total = tableWidth(*widths);
  size_t column = l.columns.size();
  for (size_t c = 0; c < l.columns.size(); ++c)
    if (l.columns[c].wraps && (column == l.columns.size() || (*widths)[c] > (*widths)[column]))
      column = c;
  if (total <= kLineWidth || column == l.columns.size()) return l.columns.size();
  size_t room = std::max(kNarrowest, kLineWidth - std::min(kLineWidth, total - (*widths)[column]));
  for (size_t d = 0; d < headers.count(column); ++d)
    room = std::max(room, widthOf(headers.line(column, d)));
  if (room >= (*widths)[column]) return l.columns.size();
  (*widths)[column] = room;
  return column;
}

void writeDataTable(std::string& out, const TableLayout& l) {
  std::vector<size_t> widths;
  const HeaderLines headers = headerLines(l, &widths);
  const size_t wrapped = narrowWordColumn(l, headers, &widths);
  const size_t total = tableWidth(widths);
  writeTitles(out, l);
  Block block(out, total);
  // `cell` gives each column's text as a view.
  auto line = [&](auto cell) {
    block.start();
    for (size_t c = 0; c < l.columns.size(); ++c) {
      if (c) out.append(kGap, ' ');
      appendAligned(out, cell(c), widths[c], l.columns[c].just);
    }
    block.end();
  };
  size_t depth = 0;
  for (size_t c = 0; c < l.columns.size(); ++c)
    if (!(headers.count(c) == 1 && headers.line(c, 0).empty()))
      depth = std::max(depth, headers.count(c));
  // A broken header's last line stands on the bottom line, above the cells.
  for (size_t d = 0; d < depth; ++d)
    line([&](size_t c) {
      const size_t skip = depth - headers.count(c);
      return d < skip ? std::string_view() : headers.line(c, d - skip);
    });
  for (size_t r = 0; r < l.cells.size(); ++r) {
    if (l.ruleBefore[r]) {
      block.start();
      out.append(total, '-');
      block.end();
    }
    // The lines of a broken cell follow its row's, the other columns blank beside them.
    std::vector<std::string> parts;
    if (wrapped < l.columns.size() && widthOf(l.cells[r][wrapped]) > widths[wrapped])
      parts = wrapWords(l.cells[r][wrapped], widths[wrapped]);
    line([&](size_t c) {
      return std::string_view(c == wrapped && !parts.empty() ? parts[0] : l.cells[r][c]);
    });
    for (size_t k = 1; k < parts.size(); ++k)
      line(
          [&](size_t c) { return c == wrapped ? std::string_view(parts[k]) : std::string_view(); });
  }
}

void writeFactoid(std::string& out, const TableLayout& l) {
  size_t labelWidth = 0, valueWidth = 0;
  for (const auto& [label, value] : l.entries) {
    labelWidth = std::max(labelWidth, widthOf(label));
    valueWidth = std::max(valueWidth, widthOf(value));
  }
  writeTitles(out, l);
  Block block(out, labelWidth + 2 * kGap + valueWidth);
  for (const auto& [label, value] : l.entries) {
    block.start();
    appendAligned(out, label, labelWidth, 'l');
    out.append(2 * kGap, ' ');
    out += value;
    block.end();
  }
}

void writeFootnotes(std::string& out, const TableLayout& l) {
  if (l.footnotes.empty()) return;
  out += '\n';
  for (const std::string& f : l.footnotes) centredLine(out, f);
}

// The last thing listed was a heading: a text line keeps a blank line from it, as a table's
// title does.
bool gAfterHeading = false;

// A BY line in a band of dashes before the first item of each BY group.
void writeByLine(std::string& out, const ByTag& item) {
  int& listed = doc().listedBy;
  if (item.by == listed) return;
  listed = item.by;
  if (item.by < 0) return;
  std::string text = " " + byLine(byValuesOf(item.by)) + " ";
  const size_t w = widthOf(text);
  size_t left = w < kLineWidth ? (kLineWidth - w) / 2 : 0;
  size_t right = w + left < kLineWidth ? kLineWidth - w - left : 0;
  out += '\n';
  out.append(left, '-');
  out += text;
  out.append(right, '-');
  out += '\n';
  gAfterHeading = true;
}

// Descriptions (headings) wait for the first item listed under them, as group headings do: a
// group or description with nothing under it is never listed.
std::vector<const Heading*>& pendingHeadings() {
  static std::vector<const Heading*> pending;
  return pending;
}

void writeHeading(std::string& out, const Heading& h) {
  // A group whose description repeats its label shows the text once.
  if (h.parent && h.text == h.parent->label) return;
  out += '\n';
  centredLine(out, h.text);
  gAfterHeading = true;
}

// The descriptions waiting in `group` (null: at the top), in their order.
void writePendingHeadings(std::string& out, const Group* group, int step) {
  auto& pending = pendingHeadings();
  for (auto it = pending.begin(); it != pending.end();) {
    if ((*it)->parent != group || (*it)->step != step) {
      ++it;
      continue;
    }
    writeHeading(out, **it);
    it = pending.erase(it);
  }
}

// The headings of the item's groups that have not gone to the listing yet and the descriptions
// waiting in them, outermost first; descriptions of groups that ended empty are dropped.
void writeGroupHeadings(std::string& out, Group* parent, int step) {
  std::vector<Group*> chain;
  for (Group* g = parent; g; g = g->parent) chain.push_back(g);
  writePendingHeadings(out, nullptr, step);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!(*it)->listed) {
      (*it)->listed = true;
      out += '\n';
      centredLine(out, (*it)->label.empty() ? (*it)->name : (*it)->label);
      gAfterHeading = true;
    }
    writePendingHeadings(out, *it, step);
  }
  pendingHeadings().clear();
}

void writeText(std::string& out, const TextLine& t) {
  if (t.rule) {
    out.append(kLineWidth, t.ruleChar);
    out += '\n';
  } else if (t.justify == 'l') {
    out += t.text;
    out += '\n';
  } else if (t.justify == 'r') {
    appendAligned(out, t.text, kLineWidth, 'r');
    out += '\n';
  } else {
    centredLine(out, t.text);
  }
}

// Writes an item into the text that goes to the listing stream at once.
struct Lister {
  std::string& out;
  void operator()(Table* t) {
    if (!isDisplayed(*t)) return;
    writeByLine(out, *t);
    writeGroupHeadings(out, t->parent, t->step);
    // One layout serves every table listed, its room kept from one to the next.
    static thread_local TableLayout l;
    layoutTable(*t, &l);
    boundCells(&l);
    if (t->factoid)
      writeFactoid(out, l);
    else
      writeDataTable(out, l);
    writeFootnotes(out, l);
    // The room of a long table is not kept for the short ones after it.
    if (l.cells.size() > 64) l = TableLayout();
    gAfterHeading = false;
  }
  void operator()(TextLine* t) {
    writeByLine(out, *t);
    writeGroupHeadings(out, t->parent, t->step);
    if (gAfterHeading && !t->rule) out += '\n';
    writeText(out, *t);
    gAfterHeading = false;
  }
  void operator()(Heading* h) { pendingHeadings().push_back(h); }
  void operator()(Group*) {}
  // Where the graph went: its file, the page, or nowhere.
  void operator()(Graph* g) {
    writeGroupHeadings(out, g->parent, g->step);
    out += '\n';
    centredLine(out, "Graph " + g->name + " (" + (g->title.empty() ? g->name : g->title) +
                         "): " + g->where);
    gAfterHeading = false;
  }
};

}  // namespace

bool headingPending(const Heading* h) {
  const auto& pending = pendingHeadings();
  return std::find(pending.begin(), pending.end(), h) != pending.end();
}

void forgetPending(const Heading* h) { std::erase(pendingHeadings(), h); }

void listItem(const Item& item) {
  std::ostream* out = listingStream();
  if (!out) return;
  clearProgress();  // the listing may go to the same terminal
  // One text an item, its room kept from item to item.
  static std::string text;
  text.clear();
  std::visit(Lister{text}, item);
  out->write(text.data(), static_cast<std::streamsize>(text.size()));
  if (listingOnTerminal()) out->flush();
  reportListingFailure();
}

void flushListing() {
  if (std::ostream* out = listingStream()) out->flush();
  reportListingFailure();
}

void reportListingFailure() {
  std::ostream* out = listingStream();
  auto* buffer = out ? dynamic_cast<StandardBuffer*>(out->rdbuf()) : nullptr;
  int error = 0;
  if (buffer && buffer->takeFailure(&error))
    session().log.write("ERROR", listingLostText(error), false);
}

}  // namespace vsf::host::output
