// The option tables against the settings and the grammar: a row's default is its field's
// default, its bounds are those the grammar holds the value to, it reads a slot or flag the
// grammar writes in the way the row reads it, no two rows fill one field, and every row says
// how long its value lives and whether it has an effect (docs/language.md saying which do not).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "grammar/grammar.h"
#include "statements/option_table.h"

namespace vsf::test {
namespace {

const OptionTable kTables[] = {procedureOptionTable(), plotsOptionTable(), modelOptionTable(),
                               performanceOptionTable(), modelAverageOptionTable()};

// The settings and the design as a step starts them.
struct Fresh {
  StepSettings settings;
  ZDesign design;
  ZLevCtx lev;
  int code = 0;
  ReaderTarget target{settings, lev, nullptr, code};
  Fresh() { lev.design = &design; }
};

// The grammar's action that writes what a row reads: {num Name}, {enum Name v}, {flag Name} or
// {ds Name mode}, with the row's slot or flag named as slots.h names it in the record.
std::string action(std::string_view record, const OptionRow& row) {
  char kind = row.kind == kOptFlag ? 'f' : 's';
  int count = 0;
  const RecordField* f = recordFields(&count);
  for (int i = 0; i < count; ++i) {
    if (record != f[i].record || f[i].kind != kind || f[i].number != row.number) continue;
    std::string name = f[i].name;
    if (row.kind == kOptFlag) return "{flag " + name + "}";
    if (row.kind == kOptCode) return "{enum " + name + " ";
    if (row.kind == kOptDataSet) return "{ds " + name + " ";
    return "{num " + name + "}";
  }
  return "no such slot or flag";
}

// The bounds of a "{bound low [high]}" right before the action at `at`; none without one.
Bounds boundsBefore(std::string_view grammar, size_t at) {
  std::string_view before = grammar.substr(0, grammar.find_last_not_of(' ', at - 1) + 1);
  size_t open = before.rfind('{');
  Bounds b;
  if (before.substr(open).rfind("{bound ", 0) != 0) return b;
  std::istringstream in(std::string(before.substr(open + 7)));
  in >> b.low;
  if (!(in >> b.high)) b.high = kNoBound;
  return b;
}

TEST(OptionTables, DefaultsAreThoseOfTheSettings) {
  Fresh f;
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows)
      EXPECT_EQ(fieldValue(f.target, row), rowValue(row, Slots(nullptr)))
          << table.record << " " << row.name;
}

TEST(OptionTables, RowsReadWhatTheGrammarWritesWithinItsBounds) {
  std::string_view text = grammarText();
  for (const OptionTable& table : kTables) {
    // The record's grammar: from its "@record" line to the next one.
    size_t from = text.find("@record " + std::string(table.record) + "\n");
    std::string_view grammar = text.substr(from, text.find("@record ", from + 1) - from);
    for (const OptionRow& row : table.rows) {
      SCOPED_TRACE(std::string(table.record) + " " + std::string(row.name));
      std::string written = action(table.record, row);
      size_t at = grammar.find(written);
      ASSERT_NE(at, std::string_view::npos) << written;
      for (; at != std::string_view::npos; at = grammar.find(written, at + 1)) {
        Bounds b = boundsBefore(grammar, at);
        EXPECT_EQ(b.low, row.bounds.low);
        EXPECT_EQ(b.high, row.bounds.high);
      }
    }
  }
}

TEST(OptionTables, NoTwoRowsFillOneField) {
  Fresh f;
  std::set<const void*> fields;
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows) {
      const void* field = std::visit([](auto* p) -> const void* { return p; }, row.field(f.target));
      EXPECT_TRUE(fields.insert(field).second) << table.record << " " << row.name;
    }
}

// The option as the language reference writes it: without the hidden mark and the
// parenthesized part.
std::string documentedName(std::string_view name) {
  std::string s(name.substr(0, name.find('(')));
  if (!s.empty() && s.back() == '$') s.pop_back();
  return s;
}

// The reference's paragraphs, each table row one of its own.
std::vector<std::string> referenceBlocks() {
  std::ifstream in(std::string(VSF_SOURCE_DIR) + "/docs/language.md");
  std::vector<std::string> blocks(1);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.front() == '|') {
      if (!line.empty()) blocks.push_back(line);
      blocks.emplace_back();
    } else {
      blocks.back() += line + "\n";
    }
  }
  return blocks;
}

TEST(OptionTables, EveryRowSaysHowLongItsValueLives) {
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows) {
      SCOPED_TRACE(std::string(table.record) + " " + std::string(row.name));
      EXPECT_NE(row.life, kLifeUnstated);
      // A repair is a rule of the reader: the value read does not always stand.
      if (row.repair.message != 0) {
        EXPECT_NE(row.life, kFixedOnRead);
        EXPECT_NE(row.life, kNoEffect);
      }
    }
}

TEST(OptionTables, OptionsWithoutEffectAreDocumentedSo) {
  const std::vector<std::string> blocks = referenceBlocks();
  ASSERT_GT(blocks.size(), 10u);
  int without = 0;
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows) {
      if (row.life != kNoEffect) continue;
      ++without;
      const std::regex word("\\b" + documentedName(row.name) + "\\b");
      bool said = false;
      for (const std::string& b : blocks)
        said = said || ((b.find("without effect") != std::string::npos ||
                         b.find("no effect") != std::string::npos) &&
                        std::regex_search(b, word));
      EXPECT_TRUE(said) << table.record << " " << row.name;
    }
  EXPECT_GT(without, 0);
}

}  // namespace
}  // namespace vsf::test
