// Reads a program file statement by statement: host statements run at once, procedure
// steps are collected from PROC to RUN, QUIT, the next PROC or the end of the file.
#include "host/program.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "host/parse/parser.h"
#include "host/progress.h"
#include "host/session.h"
#include "host/spelling.h"

namespace vsf::host {

namespace {

struct Statement {
  size_t begin = 0, end = 0;  // [begin, end) without the ';'
  int line = 1;
  bool terminated = true;
};

std::string upperWord(std::string_view s) {
  std::string u;
  for (char c : s) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// A comment or quoted string that the text never closes: where it opens.
struct Unclosed {
  size_t at = std::string::npos;
  char opener = 0;  // '/' for "/*", else the quote
};

// Splits the text into statements, skipping block comments and statement comments; *unclosed
// is where a comment or a quoted string opens that the text never closes.
std::vector<Statement> splitStatements(const std::string& t, Unclosed* unclosed) {
  std::vector<Statement> out;
  size_t i = 0;
  int line = 1;
  // Past the comment that opens at i; at the end of the text when it never closes.
  auto skipComment = [&] {
    size_t e = t.find("*/", i + 2);
    if (e == std::string::npos && unclosed->at == std::string::npos) *unclosed = {i, '/'};
    e = e == std::string::npos ? t.size() : e + 2;
    for (size_t k = i; k < e; ++k) line += t[k] == '\n';
    i = e;
  };
  while (i < t.size()) {
    // Skip blanks and comments before a statement.
    while (i < t.size()) {
      if (t[i] == '\n') {
        ++line;
        ++i;
      } else if (std::isspace(static_cast<unsigned char>(t[i])))
        ++i;
      else if (t.compare(i, 2, "/*") == 0) {
        skipComment();
      } else if (t[i] == '*') {  // statement comment up to ';'
        size_t e = t.find(';', i);
        e = e == std::string::npos ? t.size() : e + 1;
        for (size_t k = i; k < e; ++k) line += t[k] == '\n';
        i = e;
      } else
        break;
    }
    if (i >= t.size()) break;
    Statement s;
    s.begin = i;
    s.line = line;
    char quote = 0;
    size_t quoteAt = 0;
    while (i < t.size()) {
      char c = t[i];
      if (c == '\n') ++line;
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
        quoteAt = i;
      } else if (t.compare(i, 2, "/*") == 0) {
        skipComment();
        continue;
      } else if (c == ';') {
        break;
      }
      ++i;
    }
    if (quote && unclosed->at == std::string::npos) *unclosed = {quoteAt, quote};
    s.end = i;
    s.terminated = i < t.size();
    out.push_back(s);
    ++i;
  }
  return out;
}

// "line L, column C" of a place in the text, the column in characters.
std::string lineAndColumn(const std::string& t, size_t at) {
  const size_t newline = at == 0 ? std::string::npos : t.rfind('\n', at - 1);
  const size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
  const int column = parse::characters(std::string_view(t).substr(lineStart, at - lineStart)) + 1;
  const auto line = std::count(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1;
  return fmt::format("line {}, column {}", line, column);
}

std::string_view firstWord(std::string_view s, size_t* after) {
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  size_t b = i;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                          s[i] == '%' || s[i] == '$'))
    ++i;
  if (after) *after = i;
  return s.substr(b, i - b);
}

// A macro variable name: a letter or underscore, then letters, digits and underscores, at
// most 32 characters.
bool validMacroName(std::string_view n) {
  if (n.empty() || n.size() > 32 || std::isdigit(static_cast<unsigned char>(n[0]))) return false;
  for (char c : n)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

// False after its error.
bool doLet(std::string_view rest, std::string_view where) {
  size_t eq = rest.find('=');
  if (eq == std::string_view::npos) {
    session().log.write("ERROR", fmt::format("{}%LET needs a name and \"=\".", where));
    return false;
  }
  auto trim = [](std::string_view v) {
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
    return v;
  };
  std::string_view name = trim(rest.substr(0, eq));
  if (!validMacroName(name)) {
    session().log.write(
        "ERROR", fmt::format("{}%LET: \"{}\" is not a valid macro variable name.", where, name));
    return false;
  }
  session().macros[upperWord(name)] = std::string(trim(rest.substr(eq + 1)));
  return true;
}

// A whole number from min to max; false for anything else.
template <typename T>
bool wholeNumber(const std::string& text, T min, T max, T* value) {
  T n = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < min || n > max) return false;
  *value = n;
  return true;
}

// The step's first line as written, blanks run together, for the log's step heading.
std::string firstLineOf(std::string_view text) {
  std::string line;
  for (char c : text.substr(0, text.find('\n'))) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line.size() > 80 ? line.substr(0, 77) + "..." : line;
}

// The words that begin a statement between steps, and RUN and QUIT that end a step.
bool beginsProgramStatement(std::string_view upper) {
  return upper == "PROC" || upper == "RUN" || upper == "QUIT" || upper == "OPTIONS" ||
         upper == "%LET" || upper == "%PUT";
}

bool blankOnLine(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

// The place of the first character at or past i that is neither blank nor in a comment.
size_t pastBlanksAndComments(std::string_view body, size_t i) {
  while (i < body.size()) {
    if (std::isspace(static_cast<unsigned char>(body[i]))) {
      ++i;
    } else if (body.compare(i, 2, "/*") == 0) {
      const size_t close = body.find("*/", i + 2);
      i = close == std::string_view::npos ? body.size() : close + 2;
    } else {
      break;
    }
  }
  return i;
}

// Where, in a statement between steps or RUN, the next statement begins for want of the ";"
// that ends it (npos when nothing does): RUN and QUIT take nothing after them, OPTIONS no
// option named as a statement, and %LET and %PUT, whose values run to the ";", no line that
// begins with a statement's word. `after` is the place just past the statement's word.
size_t missingEnd(std::string_view word, std::string_view body, size_t after) {
  if (word == "RUN" || word == "QUIT") {
    const size_t next = pastBlanksAndComments(body, after);
    return next < body.size() ? next : std::string_view::npos;
  }
  if (word == "OPTIONS") {
    bool value = false;  // the word read next is an option's value
    for (size_t i = after; i < body.size();) {
      const char c = body[i];
      if (std::isspace(static_cast<unsigned char>(c)) || body.compare(i, 2, "/*") == 0) {
        i = pastBlanksAndComments(body, i);
      } else if (c == '=') {
        value = true;
        ++i;
      } else if (c == '\'' || c == '"') {
        const size_t close = body.find(c, i + 1);
        i = close == std::string_view::npos ? body.size() : close + 1;
        value = false;
      } else {
        const size_t begin = i;
        while (i < body.size() && !std::isspace(static_cast<unsigned char>(body[i])) &&
               body[i] != '=')
          ++i;
        if (!value && beginsProgramStatement(upperWord(firstWord(body.substr(begin), nullptr))))
          return begin;
        value = false;
      }
    }
    return std::string_view::npos;
  }
  if (word == "%LET" || word == "%PUT") {
    for (size_t line = body.find('\n', after); line != std::string_view::npos;
         line = body.find('\n', line + 1)) {
      size_t start = line + 1;
      while (start < body.size() && blankOnLine(body[start])) ++start;
      if (beginsProgramStatement(upperWord(firstWord(body.substr(start), nullptr)))) return start;
    }
  }
  return std::string_view::npos;
}

// The statement at *at as it should have ended. When a statement between steps (or RUN, QUIT)
// runs on into the next one for want of its ";", the error says where the ";" belongs, *at
// becomes the rest, to be read as a statement of its own, and *rest is set.
Statement endOfStatement(const std::string& text, const std::string& name, Statement* at,
                         bool* rest) {
  *rest = false;
  const std::string_view body = std::string_view(text).substr(at->begin, at->end - at->begin);
  size_t after = 0;
  const std::string word = upperWord(firstWord(body, &after));
  const size_t next = missingEnd(word, body, after);
  if (next == std::string_view::npos) return *at;
  Statement head = *at;
  head.end = at->begin + next;
  head.terminated = false;
  // The ";" belongs just past the last word before the next statement, and its comments.
  size_t place = next;
  while (place > 0) {
    if (std::isspace(static_cast<unsigned char>(body[place - 1]))) {
      --place;
    } else if (place >= 4 && body.compare(place - 2, 2, "*/") == 0 &&
               body.rfind("/*", place - 4) != std::string_view::npos) {
      place = body.rfind("/*", place - 4);
    } else {
      break;
    }
  }
  size_t wordStart = place;
  while (wordStart > 0 && !std::isspace(static_cast<unsigned char>(body[wordStart - 1])))
    --wordStart;
  auto lineOf = [&](size_t offset) {
    return head.line + static_cast<int>(std::count(body.begin(), body.begin() + offset, '\n'));
  };
  const size_t absolute = at->begin + place;
  const size_t newline = absolute == 0 ? std::string::npos : text.rfind('\n', absolute - 1);
  const size_t lineStart = newline == std::string::npos ? 0 : newline + 1;
  const int column =
      parse::characters(std::string_view(text).substr(lineStart, absolute - lineStart)) + 1;
  session().log.write(
      "ERROR",
      fmt::format("{}: line {}, column {}: syntax error: a \";\" was expected after \"{}\", "
                  "before \"{}\" on line {}.",
                  name, lineOf(place), column, body.substr(wordStart, place - wordStart),
                  firstWord(body.substr(next), nullptr), lineOf(next)));
  at->line = lineOf(next);
  at->begin += next;
  *rest = true;
  return head;
}

// " (did you mean X?)" when the word looks like a misspelling of one of the words.
std::string didYouMean(std::string_view word, const std::vector<std::string>& words) {
  std::string near = nearestWord(word, words);
  return near.empty() ? "" : fmt::format(" (did you mean {}?)", near);
}

// The text as the reader takes it: a UTF-8 byte-order mark dropped, and every line ended by
// LF, whether it was written with LF, CRLF or CR alone.
std::string programText(std::string raw) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (std::string_view(raw).substr(0, kByteOrderMark.size()) == kByteOrderMark)
    raw.erase(0, kByteOrderMark.size());
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r') {
      text += raw[i];
    } else {
      text += '\n';
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    }
  }
  return text;
}

// A data set given as the program: a file named .csv or .tsv, or a first line of names between
// commas or tabs in a text without one ";".
bool looksLikeData(const std::string& text, const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.ends_with(".csv") || lower.ends_with(".tsv")) return true;
  const std::string_view first = std::string_view(text).substr(0, text.find('\n'));
  return text.find(';') == std::string::npos &&
         first.find_first_of(",\t") != std::string_view::npos;
}

}  // namespace

bool readProgram(const std::string& path, std::string* text, std::string* error) {
  std::stringstream all;
  if (path == "-") {
    all << std::cin.rdbuf();
  } else {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      *error = "the program " + path + " is a directory; give a program file (.vsf)";
      return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *error = fmt::format("cannot read the program file {} ({})", path,
                           std::strerror(errno != 0 ? errno : EIO));
      return false;
    }
    all << in.rdbuf();
  }
  *text = programText(all.str());
  if (text->find_first_not_of(" \t\r\n") == std::string::npos) {
    *error = (path == "-" ? std::string("standard input") : "the program file " + path) +
             " holds no statements";
    return false;
  }
  return true;
}

const char* statementSummary() {
  return R"(The statements of a VARSIFTER step, in the order they usually stand:

  PROC VARSIFTER [DATA=data-set] [VALDATA=] [TESTDATA=] [SEED=n] [PLOTS=...] [options];
  BY [DESCENDING] variable ... [NOTSORTED];
  CLASS variable [(options)] ... [/ options];
  EFFECT name = SPLINE | POLYNOMIAL | LAG | COLLECTION | MULTIMEMBER(variables [/ options]);
  FREQ variable;
  WEIGHT variable;
  MODEL response = effects [/ SELECTION=method[(options)] SELECT= STOP= CHOOSE= options];
  PARTITION FRACTION(VALIDATE=x TEST=x) | ROLEVAR=variable(TRAIN= VALIDATE= TEST=);
  OUTPUT [OUT=data-set] statistic[=name] ...;
  SCORE [DATA=data-set] [OUT=data-set] statistic[=name] ...;
  PERFORMANCE [THREADS | NOTHREADS] [CPUCOUNT=n] [DETAILS] [BUILDSSCP=FULL | INCREMENTAL];
  MODELAVERAGE [NSAMPLES=n] [options];
  CODE [FILE=file] [options];
  STORE [OUT=] name [/ LABEL='text'];
  RUN;

Between steps: OPTIONS option ...;  %LET name = value;  %PUT text;
Every statement and option, with its default and examples: docs/language.md of the sources.
)";
}

std::string explainStepCode(int code) {
  switch (code) {
    case step::kSuccess:
      return "";
    case step::kWarning:
      return "the step ran and issued warnings";
    case step::kLevelization108:
      return "the data do not fit what the statements ask";
    case step::kLevelization112:
      return session().byGroups ? "a BY group was skipped" : "the data could not be fitted";
    case step::kOutputRefused:
      return "the output system refused a table";
    case step::kInternal:
      return "the step stopped on an error in its data or its run";
    case step::kMemory:
      return "the step ran short of memory or could not open or write its files";
    case step::kHistory:
      return "the step could not write or read back its own utility or scratch files";
    case step::kEffect:
      return "an effect of the MODEL or EFFECT statement could not be built";
    case step::kStatement:
      return "a statement or option is in error";
    default:
      return code < 100 ? "the step ran and issued warnings" : "the step ended with errors";
  }
}

std::string resolveMacros(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&' || i + 1 >= text.size() ||
        !(std::isalpha(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '_')) {
      out += text[i];
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
      ++j;
    std::string name = upperWord(std::string_view(text).substr(i + 1, j - i - 1));
    auto it = session().macros.find(name);
    if (it == session().macros.end()) {
      session().log.write("WARNING",
                          fmt::format("Apparent symbolic reference {} not resolved.", name));
      out += text.substr(i, j - i);
    } else {
      out += it->second;
      if (j < text.size() && text[j] == '.') ++j;  // the dot ends the reference
    }
    i = j - 1;
  }
  return out;
}

bool applyOptions(const std::string& text, std::string_view where) {
  SystemOptions& o = session().options;
  std::string_view s(text);
  size_t i = 0;
  bool ok = true;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size()) break;
    size_t b = i;
    while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])) && s[i] != '=') ++i;
    std::string name = upperWord(s.substr(b, i - b));
    std::string value;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '=') {
      ++i;
      while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      if (i < s.size() && (s[i] == '\'' || s[i] == '"')) {
        parse::quotedText(s, i, &value, &i);  // an unclosed one takes the rest
      } else {
        size_t vb = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        value = std::string(s.substr(vb, i - vb));
      }
    }
    std::string why;  // what is wrong with the value, when the option is known
    if (name == "THREADS")
      o.threads = true;
    else if (name == "NOTHREADS")
      o.threads = false;
    else if (name == "GRAPHICS")
      o.graphics = true;
    else if (name == "NOGRAPHICS")
      o.graphics = false;
    else if (name == "CPUCOUNT") {
      // ACTUAL: the processors the machine has.
      if (upperWord(value) == "ACTUAL") {
        unsigned machine = std::thread::hardware_concurrency();
        o.cpuCount = machine > 0 ? static_cast<int>(std::min<unsigned>(machine, kMaxCpuCount)) : 1;
      } else if (!wholeNumber(value, 1, kMaxCpuCount, &o.cpuCount)) {
        why = fmt::format("a whole number from 1 to {} or ACTUAL", kMaxCpuCount);
      }
    } else if (name == "VALIDVARNAME") {
      std::string v = upperWord(value);
      if (v == "V7" || v == "V6" || v == "ANY")
        o.validVarName = v;
      else
        why = "V7, ANY or V6";
    } else if (name == "DEBUG")
      o.debug = value;
    else if (name == "UTILPATH") {
      std::error_code ec;
      if (std::filesystem::is_directory(value, ec))
        o.utilPath = value;
      else
        why = "an existing directory";
    } else if (name == "MEMSIZE") {
      if (!wholeNumber(value, int64_t{0}, kMaxMemSizeMb, &o.memSizeMb))
        why = fmt::format("a whole number of megabytes from 0 to {}", kMaxMemSizeMb);
    } else
      ok = false;
    if (!ok || !why.empty()) {
      session().log.write("ERROR", why.empty()
                                       ? fmt::format("{}Option {} is not valid.", where, name)
                                       : fmt::format("{}The value \"{}\" of option {} is "
                                                     "not valid: it must be {}.",
                                                     where, value, name, why));
      return false;
    }
  }
  return true;
}

ProgramResult runProgram(const std::string& text, const std::string& name) {
  ProgramResult result;
  if (looksLikeData(text, name)) {
    const std::string stem = std::filesystem::path(name).stem().string();
    session().log.write(
        "ERROR",
        fmt::format("{} looks like a data set, not a program: its first line names variables. A "
                    "program names its data set with DATA=: DATA={} reads {}.csv in the --lib "
                    "directory (the current directory by default), DATA='path/file.csv' any file; "
                    "no step runs.",
                    name, stem.empty() ? "name" : stem, stem.empty() ? "name" : stem));
    result.worstCode = step::kStatement;
    return result;
  }
  Unclosed unclosed;
  std::vector<Statement> stmts = splitStatements(text, &unclosed);
  // What follows an unclosed comment or string would vanish into it, and a step that runs
  // without its later statements does something else than asked: nothing runs.
  if (unclosed.at != std::string::npos) {
    session().log.write(
        "ERROR",
        fmt::format(
            "{}: {}: {}; no step of the program runs.", name, lineAndColumn(text, unclosed.at),
            parse::neverClosed(unclosed.opener == '/' ? std::string_view("/*")
                                                      : std::string_view(&unclosed.opener, 1))));
    result.worstCode = step::kStatement;
    return result;
  }
  size_t k = 0;
  auto body = [&](const Statement& s) {
    return std::string_view(text).substr(s.begin, s.end - s.begin);
  };
  while (k < stmts.size()) {
    bool rest = false;  // stmts[k] holds the next statement still, which lacked its ";"
    const Statement s = endOfStatement(text, name, &stmts[k], &rest);
    if (rest) result.worstCode = std::max(result.worstCode, int{step::kStatement});
    size_t after = 0;
    std::string word = upperWord(firstWord(body(s), &after));
    std::string_view words = body(s).substr(after);
    const std::string where = fmt::format("{}: line {}: ", name, s.line);
    // A host statement that fails counts as a statement error of the program.
    auto failed = [&] { result.worstCode = std::max(result.worstCode, int{step::kStatement}); };
    if (word == "OPTIONS") {
      if (!applyOptions(resolveMacros(std::string(words)), where)) failed();
      k += !rest;
    } else if (word == "%LET") {
      if (!doLet(resolveMacros(std::string(words)), where)) failed();
      k += !rest;
    } else if (word == "%PUT") {
      std::string line = resolveMacros(std::string(words));
      size_t b = line.find_first_not_of(" \t\r\n");
      session().log.write("", b == std::string::npos ? "" : line.substr(b));
      k += !rest;
    } else if (word == "RUN" || word == "QUIT") {
      k += !rest;
    } else if (word == "PROC") {
      size_t a2 = 0;
      std::string proc = upperWord(firstWord(words, &a2));
      size_t first = k++;
      while (k < stmts.size()) {
        std::string w = upperWord(firstWord(body(stmts[k]), nullptr));
        if (w == "RUN" || w == "QUIT") {
          bool more = false;
          endOfStatement(text, name, &stmts[k], &more);
          if (more) failed();
          k += !more;
          break;
        }
        if (w == "PROC") break;
        ++k;
      }
      size_t last = k;
      while (last > first + 1 && (upperWord(firstWord(body(stmts[last - 1]), nullptr)) == "RUN" ||
                                  upperWord(firstWord(body(stmts[last - 1]), nullptr)) == "QUIT"))
        --last;
      size_t end = last > first ? stmts[last - 1].end + 1 : s.end + 1;
      if (end > text.size()) end = text.size();
      session().stepNumber = ++result.steps;
      session().log.write("NOTE", fmt::format("Step {} at line {}: {}", result.steps, s.line,
                                              firstLineOf(body(s))));
      int code;
      if (proc != "VARSIFTER") {
        session().log.write("ERROR", fmt::format("{}: line {}: procedure {} not found{}.", name,
                                                 s.line, proc, didYouMean(proc, {"VARSIFTER"})));
        code = step::kStatement;
      } else {
        std::string stepText = resolveMacros(text.substr(s.begin, end - s.begin));
        code = runStep(stepText, s.line);
      }
      const std::string meaning = explainStepCode(code);
      session().log.write("NOTE", fmt::format("The PROCEDURE {} step ended with return code {}{}.",
                                              proc, code, meaning.empty() ? "" : ": " + meaning));
      session().stepNumber = 0;
      if (code > result.worstCode) result.worstCode = code;
      if (session().stopRun) break;
    } else {
      session().log.write(
          "ERROR",
          fmt::format("{}: line {}: statement {} is not valid outside a procedure step{}.", name,
                      s.line, word.empty() ? "?" : word,
                      didYouMean(word, {"PROC", "RUN", "QUIT", "OPTIONS", "%LET", "%PUT"})));
      if (result.worstCode < step::kStatement) result.worstCode = step::kStatement;
      ++k;
    }
  }
  clearProgress();
  return result;
}

}  // namespace vsf::host
