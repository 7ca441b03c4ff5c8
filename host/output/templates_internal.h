// Templates of output tables, keyed by path without regard to case: a table's title, its
// columns' headers, formats, justification, conditions and markers, and its footnotes.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vsf::host::output {

struct TemplateColumn {
  std::string name;
  bool headerGiven = false;
  std::string header;  // may name dynamic values in braces: "{CriterionHeader}"
  std::string format;  // a format name, or a dynamic value in braces
  char just = 0;       // 'l', 'c', 'r'; 0: numbers right, texts left
  bool hidden = false;
  std::string show;    // shown unless this dynamic value is given and false
  std::string marker;  // a column whose true value puts "*" after this column's value
  std::string blank;   // a number shown as an empty cell
};

struct Footnote {
  std::string text;
  std::string when;  // printed when this dynamic value is true; always when empty
};

struct Template {
  std::string path;  // a path ending in ".*" stands for every path under it
  std::string title;
  bool hidden = false;  // tables that only feed graphs
  std::vector<TemplateColumn> columns;
  std::vector<Footnote> footnotes;
  const TemplateColumn* column(std::string_view name) const;
};

class TemplateSet {
 public:
  // Reads the template file's text; false with one message per faulty line.
  bool parse(std::string_view text, std::vector<std::string>* errors);
  // The template of a path (exact path first, then the longest matching ".*" path).
  const Template* find(std::string_view path) const;
  const std::vector<Template>& all() const { return list_; }

 private:
  // Paths compared without regard to case, and found without a lower-case copy of each.
  struct NoCaseHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };

  std::vector<Template> list_;
  // The paths found: a table asks for its template once a column and more.
  mutable std::unordered_map<std::string, const Template*, NoCaseHash, NoCaseEqual> found_;
};

// The templates compiled into the program.
const TemplateSet& templates();

}  // namespace vsf::host::output
