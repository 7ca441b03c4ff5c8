#include "e2e/fuzz_support.h"

#include <cctype>
#include <cmath>
#include <sstream>
#include <vector>

namespace vsf::test {

namespace {

template <typename T>
const T& pick(const std::vector<T>& from, FuzzRandom& random) {
  return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
}

size_t below(size_t n, FuzzRandom& random) {
  return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random);
}

const std::vector<std::string> kKeywords = {
    "proc",       "varsifter",   "data",       "model",      "class",        "by",
    "weight",     "freq",        "effect",     "run",        "spline",       "polynomial",
    "partition",  "performance", "output",     "score",      "modelaverage", "selection",
    "select",     "stop",        "choose",     "forward",    "backward",     "stepwise",
    "lasso",      "elasticnet",  "grouplasso", "none",       "cv",           "press",
    "aic",        "sbc",         "adjrsq",     "sl",         "noint",        "cvmethod",
    "random",     "block",       "index",      "split",      "cpucount",     "nothreads",
    "details",    "stats",       "all",        "param",      "ref",          "order",
    "noprint",    "outdesign",   "include",    "hierarchy",  "_numeric_",    "_character_",
    "options",    "%let",        "%put",       "fraction",   "validate",     "test",
    "knotmethod", "degree",      "maxsteps",   "steps",      "fuzz",         "seed",
    "buildsscp",  "incremental", "descending", "notsorted",  "missing",      "lag",
    "collection", "multimember", "lar",        "cvex",       "nsamples",     "sampling",
    "srs",        "urs",         "refit",      "samplefreq", "samplepred",   "fullmodel",
    "names",      "prefix",      "poly",       "rho",        "keepratio",    "knotmin",
    "knotmax",    "l2",          "percent",    "size"};
const std::vector<std::string> kVariables = {"model", "mpg",  "cyl", "disp", "hp",   "drat",
                                             "wt",    "qsec", "vs",  "am",   "gear", "carb"};
const std::vector<std::string> kNumbers = {
    "0",   "-1",   "1e308",       "-1e308", "1e-320", "2147483648", "4294967297", ".",
    "NaN", "1024", "99999999999", "0.5",    "-0",     "1e999",      "3.",         "."};
const std::vector<std::string> kPunctuation = {"(",  ")", ";", "=",  "/",  "*",  "|", "@", "-",
                                               "--", ":", "'", "\"", "/*", "*/", "&", ",", "$"};
const std::vector<std::string> kCells = {"",         ".",        "NaN",
                                         "inf",      "-1e308",   "1e308",
                                         "1e-320",   "abc",      "\"",
                                         "\"\"\"",   "-0",       "0x1p3",
                                         "1,5",      " 7 ",      ".A",
                                         "1e999",    "1e-400",   "9007199254740993",
                                         "\xff\xfe", "\"a\nb\"", std::string(300, 'x')};

// Words, numbers, blanks and punctuation; a quoted string is one token.
std::vector<std::string> tokens(const std::string& text) {
  std::vector<std::string> out;
  size_t i = 0;
  auto word = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '%' || c == '$' ||
           c == '.' || c == '&';
  };
  while (i < text.size()) {
    size_t j = i + 1;
    if (word(text[i])) {
      while (j < text.size() && word(text[j])) ++j;
    } else if (std::isspace(static_cast<unsigned char>(text[i]))) {
      while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
    } else if (text[i] == '\'' || text[i] == '"') {
      j = text.find(text[i], i + 1);
      j = j == std::string::npos ? text.size() : j + 1;
    }
    out.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

void mutateTokens(std::vector<std::string>& t, FuzzRandom& random) {
  if (t.empty()) return;
  const size_t at = below(t.size(), random);
  switch (below(9, random)) {
    case 0:
      t.erase(t.begin() + static_cast<std::ptrdiff_t>(at));
      break;
    case 1:
      t.insert(t.begin() + static_cast<std::ptrdiff_t>(at), t[at]);
      break;
    case 2:
      std::swap(t[at], t[below(t.size(), random)]);
      break;
    case 3:
      t[at] = " " + pick(kKeywords, random) + " ";
      break;
    case 4:
      t[at] = pick(kVariables, random);
      break;
    case 5:
      t[at] = pick(kNumbers, random);
      break;
    case 6:
      t.insert(t.begin() + static_cast<std::ptrdiff_t>(at), pick(kPunctuation, random));
      break;
    case 7:
      t.resize(at);
      break;
    default:
      t.insert(t.begin() + static_cast<std::ptrdiff_t>(at),
               std::string(1, static_cast<char>(below(256, random))));
      break;
  }
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<std::string> cells(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == ',')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

std::string joined(const std::vector<std::string>& parts, const std::string& with) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? with : "") + parts[i];
  return out;
}

void mutateLines(std::vector<std::string>& l, std::string& ending, FuzzRandom& random) {
  if (l.empty()) return;
  const size_t at = below(l.size(), random);
  std::vector<std::string> c = cells(l[at]);
  const size_t column = below(c.size(), random);
  switch (below(16, random)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:  // most changes are values: they reach the procedure
      c[column] = pick(kCells, random);
      break;
    case 7:
      c.erase(c.begin() + static_cast<std::ptrdiff_t>(column));
      break;
    case 8:
      c.push_back(pick(kCells, random));
      break;
    case 9:
      l.insert(l.begin() + static_cast<std::ptrdiff_t>(at), l[at]);
      return;
    case 10:
      l.erase(l.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    case 11: {  // a header name repeated, emptied or made odd
      std::vector<std::string> h = cells(l[0]);
      h[below(h.size(), random)] =
          pick(std::vector<std::string>{"", h[0], "1x", "a b", "\"q\"", "_TYPE_"}, random);
      l[0] = joined(h, ",");
      return;
    }
    case 12:
    case 13: {  // a numeric column scaled far
      const int k = static_cast<int>(below(601, random)) - 300;
      for (size_t i = 1; i < l.size(); ++i) {
        std::vector<std::string> r = cells(l[i]);
        if (column >= r.size()) continue;
        char* end = nullptr;
        const double v = std::strtod(r[column].c_str(), &end);
        if (end && *end == 0 && !r[column].empty()) r[column] = std::to_string(v * std::pow(10, k));
        l[i] = joined(r, ",");
      }
      return;
    }
    case 14:
      ending = below(2, random) ? "\r\n" : "\n";
      if (below(4, random) == 0) l[0] = "\xef\xbb\xbf" + l[0];
      return;
    default:
      l[at].insert(below(l[at].size() + 1, random), 1, static_cast<char>(below(256, random)));
      return;
  }
  l[at] = joined(c, ",");
}

}  // namespace

std::string mutateProgram(const std::string& program, FuzzRandom& random) {
  std::vector<std::string> t = tokens(program);
  for (size_t n = 1 + below(4, random); n > 0; --n) mutateTokens(t, random);
  return joined(t, "");
}

std::string mutateCsv(const std::string& csv, FuzzRandom& random) {
  std::vector<std::string> l = lines(csv);
  std::string ending = "\n";
  for (size_t n = 1 + below(4, random); n > 0; --n) mutateLines(l, ending, random);
  std::string out = joined(l, ending) + ending;
  if (below(20, random) == 0) out.resize(below(out.size(), random));  // cut short
  return out;
}

}  // namespace vsf::test
