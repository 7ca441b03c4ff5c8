// The generic parser: any grammar's records, the callbacks at statement boundaries, recovery
// after an error, and the faults of a grammar (a slot outside its record, a grammar that
// does not terminate) reported instead of crashing.
#include <gtest/gtest.h>

#include "common/test_host.h"
#include "common/toy_grammars.h"
#include "grammar/grammar.h"
#include "grammar/slots.h"
#include "host/parse/parse_internal.h"

namespace vsf::host {
namespace {

GrammarDescriptor build(std::string_view text) {
  GrammarDescriptor g;
  std::string error;
  EXPECT_TRUE(buildGrammarFrom(text, &g, &error)) << error;
  return g;
}

std::vector<LogLine> run(const GrammarDescriptor& g, const std::string& text,
                         const ParseCallbacks* callbacks = nullptr) {
  test::ensureHost();
  test::LogWatch log;
  session().stepText = text;
  session().stepLine = 1;
  kParseFamily.run(&g, 0, callbacks);
  return log.lines();
}

// A grammar that has nothing to do with the procedure: STORE statements of names and digits.
constexpr std::string_view kToy = R"(
@record store
start : stmts '$$$' ;
stmts : stmt stmts | ;
stmt : STORE {begin STORE} items ';' {end} ;
items : item items | ;
item : NAMEX {store ItemStore}
     | INT {bound 1 9} {num Label}
     | '(' {names ItemStore new} NAMEX {var} {form 1} ')' ;
)";

TEST(ParseParser, RunsAnyGrammar) {
  GrammarDescriptor g = build(kToy);
  std::vector<LogLine> log = run(g, "store a 3 b (c);\nstore 12 d;");
  EXPECT_EQ(kParseFamily.procedureRecord(), nullptr);
  const StatementRecord* first = kParseFamily.firstStatement();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->name, "STORE");
  EXPECT_EQ(first->slots.size(), static_cast<size_t>(slots::store::kCount));
  const OptionSlot* names = first->slot(slots::store::kItemStore);
  EXPECT_EQ(names->count, 3);
  EXPECT_EQ(names->names->names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(first->slot(slots::store::kLabel)->number, 3);
  // A value out of range is an error at its place; parsing goes on.
  EXPECT_EQ(kParseFamily.errorCount(), 1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text,
            "Line 2, column 7: The value 12 of the option is outside its range, 1 to 9.");
  EXPECT_EQ(first->next->slot(slots::store::kItemStore)->count, 1);
  EXPECT_TRUE(first->next->hasErrors);
}

TEST(ParseParser, LongListsAreChunked) {
  GrammarDescriptor g = build(kToy);
  std::string text = "store";
  for (int k = 0; k < 200; ++k) text += " n" + std::to_string(k);
  run(g, text + ";");
  const OptionSlot* names = kParseFamily.firstStatement()->slot(slots::store::kItemStore);
  EXPECT_EQ(names->count, 200);
  int chunks = 0, seen = 0;
  for (const NameChunkList* c = names->names; c; c = c->next) {
    ++chunks;
    seen += static_cast<int>(c->names.size());
    EXPECT_EQ(c->lastIndex, seen - 1);
  }
  EXPECT_GT(chunks, 1);
  EXPECT_EQ(seen, 200);
}

TEST(ParseParser, NamesAppendedAfterTheParse) {
  GrammarDescriptor g = build(kToy);
  run(g, "store a;");
  StatementRecord* r = kParseFamily.firstStatement();
  ASSERT_EQ(kParseFamily.appendListName(r, slots::store::kItemStore, "b", 7), 0);
  EXPECT_EQ(kParseFamily.appendListName(r, slots::store::kCount, "c", 1), -1);
  const OptionSlot* s = r->slot(slots::store::kItemStore);
  EXPECT_EQ(s->count, 2);
  EXPECT_EQ(s->names->names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(s->vars.back(), 7);
}

TEST(ParseParser, GrammarFaultsAreReported) {
  // An action writing beyond its record.
  GrammarDescriptor g = build(kToy);
  for (size_t a = 0; a < g.actionTypes.size(); ++a)
    if (g.actionTypes[a] == grammar_action::kBegin) g.actionArgs[g.actionArgStarts[a] + 1u] = 1;
  std::vector<LogLine> log = run(g, "store a;");
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log[0].text.find("option slot 1 of the 1 slots of STORE"), std::string::npos)
      << log[0].text;
  // A left-recursive grammar expands without end: the parser stops it.
  GrammarDescriptor loop = build("start : a '$$$' ;\na : a NAMEX | NAMEX ;\n");
  EXPECT_FALSE(parse::LLTable(loop).conflicts.empty());
  log = run(loop, "x y z");
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().text.find("does not terminate"), std::string::npos);
}

// A list in parentheses after a keyword, with the grammar's advice for a word it lacks.
constexpr std::string_view kLists = R"(
@record store
@hint ALPHA LASSO "write L2= instead"
start : stmts '$$$' ;
stmts : stmt stmts | ;
stmt : STORE {begin STORE} items ';' {end} ;
items : item items | ;
item : NAMEX {store ItemStore} | LASSO '(' opts ')' ;
opts : opt opts | ;
opt : CHOOSE | STOP ;
)";

// Statements of numbers: a word that starts a statement, or the end, where a number or a ";"
// was expected means a ";" was left out; another word does not.
constexpr std::string_view kNumbers = R"(
@record store
start : stmts '$$$' ;
stmts : stmt stmts | ;
stmt : STORE {begin STORE} numbers ';' {end} ;
numbers : INT numbers | ;
)";

// A syntax error says what the list it stands in takes, the advice or the nearest option, and
// where a ";" left out belongs.
TEST(ParseParser, SyntaxErrorsAdviseInListsAndPlaceAMissingSemicolon) {
  const GrammarDescriptor g = build(kLists), numbers = build(kNumbers);
  ASSERT_EQ(g.hints.size(), 1u);
  struct Case {
    const GrammarDescriptor* grammar;
    const char* text;
    const char* error;
  } cases[] = {
      {&g, "store lasso(alpha);",
       "Line 1, column 13: syntax error: \"alpha\" was not expected; LASSO has no option ALPHA: "
       "write L2= instead. LASSO takes CHOOSE or STOP."},
      {&g, "store lasso(select);",
       "Line 1, column 13: syntax error: \"select\" was not expected; LASSO has no option "
       "SELECT. LASSO takes CHOOSE or STOP."},
      {&g, "store lasso(stp);",
       "Line 1, column 13: syntax error: \"stp\" was not expected; did you mean \"STOP\"? LASSO "
       "takes CHOOSE or STOP."},
      {&numbers, "store 1 2\nstore 3;",
       "Line 1, column 10: syntax error: a \";\" was expected after \"2\", before \"store\" on "
       "line 2."},
      {&numbers, "store 1 2 Run;",
       "Line 1, column 10: syntax error: a \";\" was expected after \"2\", before \"Run\" on line "
       "1."},
      {&numbers, "store 1\n x;",
       "Line 2, column 2: syntax error: \"x\" was not expected; expecting one of \";\", an "
       "integer."},
      {&numbers, "store 1 2",
       "Line 1, column 10: syntax error: a \";\" was expected after "
       "\"2\", where the program ends."},
      {&g, "store a b",
       "Line 1, column 10: syntax error: a \";\" was expected after \"b\", where "
       "the program ends."},
      {&g, "store a.b;", "a name with a dot is written as a name literal, 'a.b'n."},
      {&numbers, "store 1;\n store 'open;\nstore 2;",
       "Line 2, column 8: the quoted string ' opened here is never closed."},
      {&numbers, "store 1; /* open\nstore 2;",
       "Line 1, column 10: the comment \"/*\" opened here is never closed."},
  };
  for (const Case& c : cases) {
    const std::vector<LogLine> log = run(*c.grammar, c.text);
    ASSERT_FALSE(log.empty()) << c.text;
    EXPECT_NE(log[0].text.find(c.error), std::string::npos) << c.text << "\n" << log[0].text;
    EXPECT_EQ(log.size(), 1u) << c.text << "\n" << log.back().text;  // one error, no cascade
  }
  // Advice names a keyword the grammar has, and carries its text in quotes.
  GrammarDescriptor bad;
  std::string error;
  EXPECT_FALSE(buildGrammarFrom("@hint ALPHA NOSUCHWORD \"x\"\nstart : '$$$' ;", &bad, &error));
  EXPECT_NE(error.find("unknown keyword NOSUCHWORD"), std::string::npos) << error;
  EXPECT_FALSE(buildGrammarFrom("@hint ALPHA LASSO\nstart : '$$$' ;", &bad, &error));
}

using test::kTwoStatements;

// A statement that runs on into the next one for want of its ";" is the one error: the ";" is
// said where it belongs, and the next statement is read as itself. A keyword that stands for
// a name, or a later error no ";" would mend, is no ";" left out.
TEST(ParseParser, AMissingSemicolonIsTheOneError) {
  const GrammarDescriptor g = build(kTwoStatements);
  struct Case {
    const char* text;
    std::vector<std::string> errors;
    int statements;
  } cases[] = {
      {"store a b\n lasso c = d;",
       {"Line 1, column 10: syntax error: a \";\" was expected after \"b\", before \"lasso\" on "
        "line 2."},
       2},
      {"store a '\xC3\xA9z\xC3\xA9' lasso c = d; store e Quit;",
       {"Line 1, column 14: syntax error: a \";\" was expected after \"'\xC3\xA9z\xC3\xA9'\", "
        "before \"lasso\" on line 1."},
       3},
      {"store a lasso b; lasso c = d;", {}, 2},
      {"store a lasso b (;",
       {"Line 1, column 17: syntax error: \"(\" was not expected; expecting one of \";\", a "
        "name, a quoted string."},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<LogLine> log = run(g, c.text);
    std::vector<std::string> errors;
    for (const LogLine& l : log) errors.push_back(l.text);
    EXPECT_EQ(errors, c.errors);
    int statements = 0;
    for (const StatementRecord* s = kParseFamily.firstStatement(); s; s = s->next) ++statements;
    EXPECT_EQ(statements, c.statements);
  }
  // The next statement has its own items, the one before it none of them.
  run(g, "store a b\n lasso c = d e;");
  const StatementRecord* first = kParseFamily.firstStatement();
  ASSERT_TRUE(first && first->next);
  EXPECT_EQ(first->slot(slots::store::kItemStore)->names->names,
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(first->next->slot(slots::store::kItemStore)->names->names,
            (std::vector<std::string>{"d", "e"}));
}

// Data sets for the procedure's grammar: every name opens, every variable is number 0.
HostDataSet* fakeOpen(std::string_view, int, uint32_t*) {
  static int anything;
  return reinterpret_cast<HostDataSet*>(&anything);
}
std::string fakeLast() { return "D"; }
int fakeFind(HostDataSet*, std::string_view, int* n) {
  *n = 0;
  return 0;
}
int fakeVar(HostDataSet*, int n, VarDescriptor* d) {
  d->number = n;
  d->name = "v";
  d->type = kVarNumeric;
  return 0;
}
const HostDsFamily kFake = [] {
  HostDsFamily f{};
  f.open = fakeOpen;
  f.lastName = fakeLast;
  f.findVar = fakeFind;
  f.varByNumber = fakeVar;
  return f;
}();

std::vector<std::string>& events() {
  static std::vector<std::string> e;
  return e;
}

TEST(ParseParser, CallbacksAtStatementBoundariesAndRecovery) {
  GrammarDescriptor g = build(grammarText());
  ParseCallbacks cb;
  cb.onStatement = [](void*, const StatementRecord* r) {
    events().push_back("start " + r->name);
    return 0;
  };
  cb.onStatementEnd = [](void*, const StatementRecord* r) {
    events().push_back("end " + r->name);
    return 0;
  };
  cb.onStatementErrors = [](void*) {
    events().push_back("errors " + std::to_string(kParseFamily.errorCount()));
    kParseFamily.clearErrorCount();
    return 0;
  };
  cb.onStepBoundary = [](void*, const ParseToken& t) {
    events().push_back("boundary " + t.text);
    return 0;
  };
  events().clear();
  parse::dataFamily() = &kFake;
  std::vector<LogLine> log =
      run(g, "proc varsifter; model y = x / selection=bad; bogus; class a; run;", &cb);
  parse::dataFamily() = &kDsFamily;
  const std::vector<std::string> expected = {
      "start VARSIFTER", "end VARSIFTER", "errors 0",  "start MODEL", "end MODEL",
      "errors 1",        "start CLASS",   "end CLASS", "errors 1",    "boundary RUN"};
  EXPECT_EQ(events(), expected);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].text.rfind("Line 1, column 41", 0), 0u) << log[0].text;
  EXPECT_EQ(log[1].text.rfind("Line 1, column 46", 0), 0u) << log[1].text;
  // Every statement after the errors was still parsed into its record.
  const StatementRecord* r = kParseFamily.firstStatement();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->name, "MODEL");
  EXPECT_TRUE(r->hasErrors);
  ASSERT_NE(r->next, nullptr);
  EXPECT_EQ(r->next->name, "CLASS");
  EXPECT_EQ(r->next->intoProcedure, 1);
  EXPECT_EQ(kParseFamily.procedureRecord()->slot(slots::proc::kClassVars)->count, 1);
}

// Every variable is character: a list that takes numbers names what it stands for when the
// grammar says it.
int characterVar(HostDataSet*, int n, VarDescriptor* d) {
  d->number = n;
  d->name = "c";
  d->type = kVarCharacter;
  return 0;
}

TEST(ParseParser, ACharacterVariableWhereNumbersAreWantedNamesTheList) {
  GrammarDescriptor g = build(grammarText());
  HostDsFamily family = kFake;
  family.varByNumber = characterVar;
  parse::dataFamily() = &family;
  const std::vector<LogLine> log =
      run(g, "proc varsifter; model y = x; freq f; weight w; output out=o p=pred; run;");
  parse::dataFamily() = &kDsFamily;
  const std::vector<std::string> expected = {
      "Line 1, column 23: the response must be numeric, but c is a character variable.",
      "Line 1, column 35: the FREQ variable must be numeric, but c is a character variable.",
      "Line 1, column 45: the WEIGHT variable must be numeric, but c is a character variable."};
  std::vector<std::string> texts;
  for (const LogLine& l : log) texts.push_back(l.text);
  EXPECT_EQ(texts, expected);
  // A role names a statement's slot the record has.
  GrammarDescriptor bad;
  std::string error;
  EXPECT_FALSE(buildGrammarFrom("@record store\n@role STORE NoSuchSlot \"x\"\nstart : '$$$' ;",
                                &bad, &error));
  EXPECT_NE(error.find("record store has no slot NoSuchSlot"), std::string::npos) << error;
  EXPECT_FALSE(buildGrammarFrom("@record store\n@role STORE\nstart : '$$$' ;", &bad, &error));
}

}  // namespace
}  // namespace vsf::host
