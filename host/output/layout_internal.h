// What a table shows once its template is applied: title, shown columns with headers, the
// formatted cells, rules between blocks and footnotes. The listing and HTML writers draw it.
#pragma once

#include <string>
#include <vector>

#include "host/output/output_internal.h"
#include "host/output/templates_internal.h"

namespace vsf::host::output {

struct ShownColumn {
  size_t index = 0;  // into the table's columns
  std::string header;
  char just = 'l';
  // Left-aligned texts of several words, some long (an effect list): they break at their
  // blanks where the table would not fit the page.
  bool wraps = false;
};

struct TableLayout {
  std::string title;
  std::string subtitle;
  std::vector<ShownColumn> columns;
  std::vector<std::vector<std::string>> cells;               // per row, per shown column
  std::vector<bool> ruleBefore;                              // per row: a block starts here
  std::vector<std::pair<std::string, std::string>> entries;  // factoids: label, value
  std::vector<std::string> footnotes;
};

// False for tables that only feed graphs (hidden templates, "Phantom" paths).
bool isDisplayed(const Table& t);
TableLayout layoutTable(const Table& t);
// The same into `l`, whose texts and rows are written over (their room kept).
void layoutTable(const Table& t, TableLayout* l);

// The template of a table, or null when it has none we know.
const Template* templateOf(const Table& t);
// Replaces "{name}" by the dynamic value; `complete` turns false when a name has no value.
std::string expandDynamics(std::string_view text, const Dynamics& first, const Dynamics& second,
                           bool* complete);
// The header of a column as shown, and whether it is shown at all.
std::string columnHeader(const Table& t, size_t column);
bool columnShown(const Table& t, size_t column);
// The title of a table as shown, its footnotes and a factoid entry's value as shown.
std::string tableTitle(const Table& t);
std::vector<std::string> tableFootnotes(const Table& t);
std::string entryText(const FactoidEntry& e);

}  // namespace vsf::host::output
