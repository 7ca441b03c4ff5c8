// Where clauses of filtered views: comparisons of columns with numbers and texts, joined by
// and, or, not and parentheses ("where=(step >= 2 and step <= 5)").
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

#include "host/output/output_internal.h"

namespace vsf::host::output {

namespace {

enum class Tok { kEnd, kNumber, kText, kName, kOp, kOpen, kClose };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;
  double number = 0;
};

enum class Cmp { kEq, kNe, kLt, kLe, kGt, kGe };

struct Node {
  enum class Kind { kOr, kAnd, kNot, kCompare, kNumber, kText, kColumn } kind;
  Cmp cmp = Cmp::kEq;
  bool textual = false;  // the value is a text
  double number = 0;
  std::string text;
  size_t column = 0;
  std::unique_ptr<Node> left, right;
};

// A value of a row: numbers keep missing values as they are; texts lose trailing blanks.
struct Val {
  bool textual = false;
  double number = 0;
  std::string text;
};

class Parser {
 public:
  Parser(const Table& t, std::string_view s) : table_(t), s_(s) { next(); }

  std::unique_ptr<Node> parse(std::string* error) {
    auto n = orExpr();
    if (ok_ && tok_.kind != Tok::kEnd) fail("unexpected \"" + tok_.text + "\"");
    if (ok_ && n->textual) fail("a text is not a condition");
    if (!ok_) *error = error_;
    return ok_ ? std::move(n) : nullptr;
  }

 private:
  void fail(const std::string& e) {
    if (ok_) error_ = e;
    ok_ = false;
  }

  void next() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    tok_ = Token();
    if (pos_ >= s_.size()) return;
    char c = s_[pos_];
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < s_.size() &&
         std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      const char* b = s_.data() + pos_;
      char* e = nullptr;
      std::string copy(s_.substr(pos_));
      double v = std::strtod(copy.c_str(), &e);
      size_t n = static_cast<size_t>(e - copy.c_str());
      tok_ = Token{Tok::kNumber, std::string(b, n), v};
      pos_ += n;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t b = pos_;
      while (pos_ < s_.size() &&
             (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
        ++pos_;
      tok_ = Token{Tok::kName, std::string(s_.substr(b, pos_ - b)), 0};
    } else if (c == '\'' || c == '"') {
      size_t e = s_.find(c, pos_ + 1);
      if (e == std::string_view::npos) {
        fail("an unterminated text");
        pos_ = s_.size();
        return;
      }
      tok_ = Token{Tok::kText, std::string(s_.substr(pos_ + 1, e - pos_ - 1)), 0};
      pos_ = e + 1;
    } else if (c == '(' || c == ')') {
      tok_ = Token{c == '(' ? Tok::kOpen : Tok::kClose, std::string(1, c), 0};
      ++pos_;
    } else {
      static const char* const ops[] = {"^=", "~=", "!=", "<>", "<=", ">=", "=", "<",
                                        ">",  "&",  "|",  "^",  "~",  "!",  "-"};
      for (const char* op : ops)
        if (s_.substr(pos_).starts_with(op)) {
          tok_ = Token{Tok::kOp, op, 0};
          pos_ += std::strlen(op);
          return;
        }
      fail(std::string("an unexpected character '") + c + "'");
      pos_ = s_.size();
    }
  }

  bool isWord(const char* w) const { return tok_.kind == Tok::kName && equalNoCase(tok_.text, w); }
  bool isOp(const char* o) const { return tok_.kind == Tok::kOp && tok_.text == o; }

  std::unique_ptr<Node> logical(Node::Kind k, std::unique_ptr<Node> l, std::unique_ptr<Node> r) {
    if (l->textual || r->textual) fail("a text is not a condition");
    auto n = std::make_unique<Node>();
    n->kind = k;
    n->left = std::move(l);
    n->right = std::move(r);
    return n;
  }

  std::unique_ptr<Node> orExpr() {
    auto n = andExpr();
    while (ok_ && (isWord("or") || isOp("|"))) {
      next();
      n = logical(Node::Kind::kOr, std::move(n), andExpr());
    }
    return n;
  }

  std::unique_ptr<Node> andExpr() {
    auto n = notExpr();
    while (ok_ && (isWord("and") || isOp("&"))) {
      next();
      n = logical(Node::Kind::kAnd, std::move(n), notExpr());
    }
    return n;
  }

  std::unique_ptr<Node> notExpr() {
    if (isWord("not") || isOp("^") || isOp("~") || isOp("!")) {
      next();
      auto inner = notExpr();
      if (inner->textual) fail("a text is not a condition");
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kNot;
      n->left = std::move(inner);
      return n;
    }
    return compare();
  }

  std::optional<Cmp> comparison() const {
    struct W {
      const char* word;
      const char* op;
      const char* op2;
      Cmp cmp;
    };
    static const W words[] = {{"eq", "=", nullptr, Cmp::kEq}, {"ne", "^=", "~=", Cmp::kNe},
                              {"lt", "<", nullptr, Cmp::kLt}, {"le", "<=", nullptr, Cmp::kLe},
                              {"gt", ">", nullptr, Cmp::kGt}, {"ge", ">=", nullptr, Cmp::kGe}};
    for (const W& w : words)
      if (isWord(w.word) || isOp(w.op) || (w.op2 && isOp(w.op2))) return w.cmp;
    if (isOp("!=") || isOp("<>")) return Cmp::kNe;
    return std::nullopt;
  }

  std::unique_ptr<Node> compare() {
    auto l = operand();
    auto c = comparison();
    if (!ok_ || !c) return l;
    next();
    auto r = operand();
    if (l->textual != r->textual) fail("a text compared with a number");
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::kCompare;
    n->cmp = *c;
    n->left = std::move(l);
    n->right = std::move(r);
    return n;
  }

  std::unique_ptr<Node> operand() {
    auto n = std::make_unique<Node>();
    if (tok_.kind == Tok::kOpen) {
      next();
      n = orExpr();
      if (tok_.kind != Tok::kClose) fail("a missing \")\"");
      next();
      return n;
    }
    bool negative = false;
    if (isOp("-")) {
      negative = true;
      next();
    }
    if (tok_.kind == Tok::kNumber) {
      n->kind = Node::Kind::kNumber;
      n->number = negative ? -tok_.number : tok_.number;
    } else if (negative) {
      fail("a sign before no number");
    } else if (tok_.kind == Tok::kText) {
      n->kind = Node::Kind::kText;
      n->textual = true;
      n->text = tok_.text;
    } else if (tok_.kind == Tok::kName) {
      n->kind = Node::Kind::kColumn;
      size_t i = 0;
      while (i < table_.columns.size() && !equalNoCase(table_.columns[i].name, tok_.text)) ++i;
      if (i == table_.columns.size()) fail("no column " + tok_.text + " in " + table_.name);
      n->column = i;
      if (i < table_.columns.size()) {
        ColumnType t = table_.columns[i].type;
        n->textual = t == ColumnType::kChar || t == ColumnType::kText || t == ColumnType::kString;
      }
    } else {
      fail(tok_.kind == Tok::kEnd ? "an incomplete clause" : "unexpected \"" + tok_.text + "\"");
    }
    next();
    return n;
  }

  const Table& table_;
  std::string_view s_;
  size_t pos_ = 0;
  Token tok_;
  bool ok_ = true;
  std::string error_;
};

// Missing values order below every number, the cell-without-value mark lowest of all.
int missingRank(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  if ((u & 0x7FF0000000000000ULL) != 0x7FF0000000000000ULL || std::isinf(x)) return -1;
  char code =
      (u >> 48) == 0xFFFF ? static_cast<char>(~static_cast<unsigned char>((u >> 40) & 0xFF)) : '.';
  if (code == '-') return 0;
  if (code == '.') return 1;
  return 2 + static_cast<unsigned char>(code);
}

int compareNumbers(double a, double b) {
  int ra = missingRank(a), rb = missingRank(b);
  if (ra >= 0 || rb >= 0) {
    if (ra < 0) return 1;
    if (rb < 0) return -1;
    return ra < rb ? -1 : ra > rb;
  }
  return a < b ? -1 : a > b;
}

Val evaluate(const Node& n, const std::vector<Cell>& row);

bool holds(const Node& n, const std::vector<Cell>& row) {
  switch (n.kind) {
    case Node::Kind::kOr:
      return holds(*n.left, row) || holds(*n.right, row);
    case Node::Kind::kAnd:
      return holds(*n.left, row) && holds(*n.right, row);
    case Node::Kind::kNot:
      return !holds(*n.left, row);
    case Node::Kind::kCompare: {
      Val a = evaluate(*n.left, row), b = evaluate(*n.right, row);
      int c = a.textual ? a.text.compare(b.text) : compareNumbers(a.number, b.number);
      switch (n.cmp) {
        case Cmp::kEq:
          return c == 0;
        case Cmp::kNe:
          return c != 0;
        case Cmp::kLt:
          return c < 0;
        case Cmp::kLe:
          return c <= 0;
        case Cmp::kGt:
          return c > 0;
        default:
          return c >= 0;
      }
    }
    default: {
      Val v = evaluate(n, row);
      return missingRank(v.number) < 0 && v.number != 0;
    }
  }
}

Val evaluate(const Node& n, const std::vector<Cell>& row) {
  Val v;
  v.textual = n.textual;
  if (n.kind == Node::Kind::kNumber) {
    v.number = n.number;
  } else if (n.kind == Node::Kind::kText) {
    v.text = n.text;
  } else if (n.kind == Node::Kind::kColumn) {
    const Cell& c = row[n.column];
    if (v.textual) {
      v.text = c.s;
      while (!v.text.empty() && v.text.back() == ' ') v.text.pop_back();
    } else {
      v.number = c.kind == Cell::Kind::kInt      ? static_cast<double>(c.i)
                 : c.kind == Cell::Kind::kDouble ? c.d
                                                 : std::nan("");
    }
  } else {
    v.number = holds(n, row) ? 1 : 0;
  }
  return v;
}

}  // namespace

bool filterRows(const Table& table, std::string_view where, std::vector<size_t>* rows,
                std::string* error) {
  std::string_view s = where;
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  if (s.size() >= 5 && equalNoCase(s.substr(0, 5), "where")) {
    std::string_view rest = s.substr(5);
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
      rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '=') s = rest.substr(1);
  }
  Parser p(table, s);
  std::unique_ptr<Node> n = p.parse(error);
  if (!n) return false;
  rows->clear();
  for (size_t i = 0; i < table.rows.size(); ++i)
    if (holds(*n, table.rows[i])) rows->push_back(i);
  return true;
}

}  // namespace vsf::host::output
