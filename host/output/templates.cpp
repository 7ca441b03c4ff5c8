// The template file: "template PATH" ... "end" blocks of title, hidden, column and footnote
// lines; attributes are name=value with values quoted when they hold blanks.
#include <fmt/format.h>

#include <cctype>

#include "host/output/formats.h"
#include "host/output/output_internal.h"
#include "host/output/templates_internal.h"
#include "host/session.h"
#include "host/text_table.h"

namespace vsf::host::output {

extern const char kTemplateText[];  // generated from templates.txt

namespace {

struct Word {
  std::string name;   // the attribute's name, or the word itself
  std::string value;  // after "="
  bool hasValue = false;
};

// Splits a line into words; "name=value" and quoted texts ("a b", name="a b") stay whole.
bool splitLine(std::string_view line, std::vector<Word>* words, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size() || line[i] == '#') break;
    Word w;
    std::string* into = &w.name;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
      char c = line[i];
      if (c == '"') {
        size_t e = line.find('"', i + 1);
        if (e == std::string_view::npos) {
          *error = "a quote without its end";
          return false;
        }
        *into += line.substr(i + 1, e - i - 1);
        i = e + 1;
      } else if (c == '=' && into == &w.name) {
        w.hasValue = true;
        into = &w.value;
        ++i;
      } else {
        *into += c;
        ++i;
      }
    }
    words->push_back(std::move(w));
  }
  return true;
}

bool validFormat(const std::string& f) {
  return f.find('{') != std::string::npos || parseFormat(f).has_value();
}

bool readColumn(const std::vector<Word>& w, TemplateColumn* c, std::string* error) {
  if (w.size() < 2 || w[1].hasValue) {
    *error = "a column line without the column's name";
    return false;
  }
  c->name = w[1].name;
  for (size_t i = 2; i < w.size(); ++i) {
    const Word& a = w[i];
    std::string n = lowerCopy(a.name);
    if (n == "hide" && !a.hasValue) {
      c->hidden = true;
    } else if (!a.hasValue) {
      *error = "attribute " + a.name + " without a value";
      return false;
    } else if (n == "header") {
      c->header = a.value;
      c->headerGiven = true;
    } else if (n == "format") {
      if (!validFormat(a.value)) {
        *error = "an unknown format " + a.value;
        return false;
      }
      c->format = a.value;
    } else if (n == "just") {
      std::string j = lowerCopy(a.value);
      if (j != "l" && j != "c" && j != "r") {
        *error = "justification is l, c or r";
        return false;
      }
      c->just = j[0];
    } else if (n == "show") {
      c->show = a.value;
    } else if (n == "marker") {
      c->marker = a.value;
    } else if (n == "blank") {
      c->blank = a.value;
    } else {
      *error = "an unknown column attribute " + a.name;
      return false;
    }
  }
  return true;
}

bool readFootnote(const std::vector<Word>& w, Footnote* f, std::string* error) {
  if (w.size() < 2 || w[1].hasValue) {
    *error = "a footnote without its text";
    return false;
  }
  f->text = w[1].name;
  for (size_t i = 2; i < w.size(); ++i) {
    if (lowerCopy(w[i].name) != "when" || !w[i].hasValue) {
      *error = "a footnote takes only when=";
      return false;
    }
    f->when = w[i].value;
  }
  return true;
}

// One line inside a template block; false with the reason.
bool readLine(const std::vector<Word>& w, Template* t, std::string* error) {
  std::string d = lowerCopy(w[0].name);
  if (d == "title" && w.size() == 2 && !w[1].hasValue) {
    t->title = w[1].name;
  } else if (d == "hidden" && w.size() == 1) {
    t->hidden = true;
  } else if (d == "column") {
    TemplateColumn c;
    if (!readColumn(w, &c, error)) return false;
    if (t->column(c.name)) {
      *error = "column " + c.name + " given twice";
      return false;
    }
    t->columns.push_back(std::move(c));
  } else if (d == "footnote") {
    Footnote f;
    if (!readFootnote(w, &f, error)) return false;
    t->footnotes.push_back(std::move(f));
  } else {
    *error = "an unknown line \"" + w[0].name + "\"";
    return false;
  }
  return true;
}

}  // namespace

const TemplateColumn* Template::column(std::string_view name) const {
  for (const TemplateColumn& c : columns)  // the length first: a table asks once a column
    if (c.name.size() == name.size() && equalNoCase(c.name, name)) return &c;
  return nullptr;
}

bool TemplateSet::parse(std::string_view text, std::vector<std::string>* errors) {
  size_t before = errors->size();
  Template* open = nullptr;
  int lineNumber = 0;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++lineNumber;
    std::vector<Word> w;
    std::string error;
    if (!splitLine(line, &w, &error)) {
      errors->push_back(fmt::format("line {}: {}", lineNumber, error));
      continue;
    }
    if (w.empty()) continue;
    std::string d = lowerCopy(w[0].name);
    if (d == "template") {
      if (open)
        error = "a template inside template " + open->path;
      else if (w.size() != 2 || w[1].hasValue)
        error = "a template line without one path";
      else if (find(w[1].name) && equalNoCase(find(w[1].name)->path, w[1].name))
        error = "template " + w[1].name + " given twice";
      if (error.empty()) {
        list_.push_back(Template{});
        found_.clear();
        open = &list_.back();
        open->path = w[1].name;
      }
    } else if (d == "end") {
      if (!open) error = "an end without a template";
      open = nullptr;
    } else if (!open) {
      error = "a line outside any template";
    } else {
      readLine(w, open, &error);
    }
    if (!error.empty()) errors->push_back(fmt::format("line {}: {}", lineNumber, error));
  }
  if (open) errors->push_back("template " + open->path + " has no end");
  return errors->size() == before;
}

size_t TemplateSet::NoCaseHash::operator()(std::string_view s) const {
  return static_cast<size_t>(textHash(s, true));
}

bool TemplateSet::NoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  return equalNoCase(a, b);
}

const Template* TemplateSet::find(std::string_view path) const {
  if (auto it = found_.find(path); it != found_.end()) return it->second;
  const Template* best = nullptr;
  for (const Template& t : list_) {
    if (equalNoCase(t.path, path)) {
      best = &t;
      break;
    }
    if (t.path.size() >= 2 && t.path.ends_with(".*")) {
      std::string_view stem = std::string_view(t.path).substr(0, t.path.size() - 1);
      if (path.size() > stem.size() && equalNoCase(path.substr(0, stem.size()), stem) &&
          (!best || best->path.size() < t.path.size()))
        best = &t;
    }
  }
  found_.emplace(std::string(path), best);
  return best;
}

const TemplateSet& templates() {
  static const TemplateSet set = [] {
    TemplateSet s;
    std::vector<std::string> errors;
    if (!s.parse(kTemplateText, &errors))
      for (const std::string& e : errors) session().log.write("ERROR", "Output templates: " + e);
    return s;
  }();
  return set;
}

}  // namespace vsf::host::output
