// The option tables against the settings and the grammar: a row's default is its field's
// default, its bounds are those the grammar holds the value to, it reads a slot or flag the
// grammar writes in the way the row reads it, and no two rows fill one field.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

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

}  // namespace
}  // namespace vsf::test
