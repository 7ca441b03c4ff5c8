// The option tables against the settings and the grammar: a row's default is its field's
// default, its bounds are those the grammar holds the value to, it reads a slot or flag the
// grammar writes in the way the row reads it, and no two rows fill one field.
#include <gtest/gtest.h>

#include <cstring>
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

// The grammar of a record: from its "@record" line to the next one.
std::string_view recordGrammar(const std::string& record) {
  std::string_view g = grammarText();
  size_t from = g.find("@record " + record + "\n");
  if (from == std::string_view::npos) return {};
  return g.substr(from, g.find("@record ", from + 1) - from);
}

// The name of slots.h that a row's number has in the record.
std::string fieldName(const char* record, const OptionRow& row) {
  char kind = row.kind == kOptFlag ? 'f' : 's';
  int count = 0;
  const RecordField* fields = recordFields(&count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(fields[i].record, record) == 0 && fields[i].kind == kind &&
        fields[i].number == row.number)
      return fields[i].name;
  return {};
}

// The grammar's action that writes what the row reads.
std::string action(const OptionRow& row, const std::string& name) {
  switch (row.kind) {
    case kOptFlag:
      return "{flag " + name + "}";
    case kOptCode:
      return "{enum " + name + " ";
    case kOptDataSet:
      return "{ds " + name + " ";
    default:
      return "{num " + name + "}";
  }
}

// The bounds of a "{bound low [high]}" right before the action at `at`; none without one.
Bounds boundsBefore(std::string_view grammar, size_t at) {
  std::string_view before = grammar.substr(0, at);
  before = before.substr(0, before.find_last_not_of(' ') + 1);
  size_t open = before.rfind('{');
  Bounds b;
  if (open == std::string_view::npos || before.substr(open).rfind("{bound ", 0) != 0) return b;
  std::istringstream in(std::string(before.substr(open + 7)));
  in >> b.low;
  if (!(in >> b.high)) b.high = kNoBound;
  return b;
}

// The settings and the design as a step starts them.
struct Fresh {
  StepSettings settings;
  ZDesign design;
  ZLevCtx lev;
  int code = 0;
  ReaderTarget target{settings, lev, nullptr, code};
  Fresh() { lev.design = &design; }
};

TEST(OptionTables, DefaultsAreThoseOfTheSettings) {
  Fresh f;
  ReaderTarget& target = f.target;
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows)
      EXPECT_EQ(fieldValue(target, row), rowValue(row, Slots(nullptr)))
          << table.record << " " << row.name;
}

TEST(OptionTables, RowsReadWhatTheGrammarWritesWithinItsBounds) {
  for (const OptionTable& table : kTables) {
    std::string_view grammar = recordGrammar(table.record);
    for (const OptionRow& row : table.rows) {
      SCOPED_TRACE(std::string(table.record) + " " + std::string(row.name));
      std::string name = fieldName(table.record, row);
      ASSERT_FALSE(name.empty()) << "no such slot or flag";
      std::string written = action(row, name);
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
  ReaderTarget& target = f.target;
  std::set<const void*> fields;
  for (const OptionTable& table : kTables)
    for (const OptionRow& row : table.rows) {
      const void* field = std::visit([](auto* p) -> const void* { return p; }, row.field(target));
      EXPECT_TRUE(fields.insert(field).second) << table.record << " " << row.name;
    }
}

}  // namespace
}  // namespace vsf::test
