// A statement's options as data: one row per option says where the parser put it, how it is
// read, its default, the bounds the grammar holds it to, the field it fills and the repair a
// rule makes of it. A reader reads its table, then runs the rules that span several options.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <variant>

#include "grammar/slot_reader.h"
#include "statements/statements.h"

namespace vsf {

enum OptionKind : uint8_t {
  kOptNumber,   // a number
  kOptInteger,  // a number read as an i32, saturated
  kOptCode,     // the code of a keyword, an integer
  kOptPercent,  // a number in percent, kept as a fraction
  kOptFlag,     // a flag: 0 or 1
  kOptDataSet,  // a data set
};

// The field a row fills.
using FieldRef = std::variant<uint8_t*, int32_t*, double*, HostDataSet**, MethodCode*,
                              CriterionCode*, ScreenCode*, L2SearchCode*, L1ChoiceCode*,
                              CvMethodCode*, CvDetailsCode*, DropRule*>;
using FieldOf = FieldRef (*)(ReaderTarget&);
// A row's field, by its path from the reader's target.
#define VSF_FIELD(path) [](ReaderTarget& t) -> FieldRef { return &t.path; }
// A field of the selection options.
#define VSF_OPTION(field) VSF_FIELD(settings.options.field)

constexpr double kNoBound = std::numeric_limits<double>::infinity();

// A code as a row's default or repair value.
template <typename Code>
constexpr double codeValue(Code c) {
  return static_cast<double>(static_cast<int>(c));
}

// The grammar's bounds of a value (kept here for the tests that hold the two together).
struct Bounds {
  double low = -kNoBound, high = kNoBound;
};

enum RepairWhen : uint8_t {
  kWhenChanged,  // the value differs from the default
  kWhenGiven,    // the option was given
  kWhenAbove,    // the value passes the repair's value, which it then takes (message: the value)
};

// What a rule does to an option it does not accept: a warning of set 848, then a value.
struct Repair {
  int message = 0;  // 0: none
  double value = 0;
  RepairWhen when = kWhenChanged;
};

// When a row's value is settled and who may change it after the row is read; and whether
// the option has an effect at all.
enum OptionLife : uint8_t {
  kLifeUnstated,    // no row may be left so (the tables' test refuses it)
  kFixedOnRead,     // the value read stands for the whole step
  kStatementRules,  // the reader's rules over several options may change it, then it stands
  kSetUpSettles,    // the set-up may change it once the model and the data are known
  kRunChanges,      // the BY-group phases may still change it
  kNoEffect,        // read and without effect: docs/language.md and a note in the log say so
};

struct OptionRow {
  std::string_view name;  // the option as a program writes it
  int number;             // its slot, or its flag for kOptFlag
  OptionKind kind;
  double fallback;  // the default, in the units of the slot
  Bounds bounds;
  FieldOf field;
  OptionLife life = kLifeUnstated;
  Repair repair = {};
  uint8_t group = 0;  // rows a rule repairs together; 0 none
};

// Every row's field: the value the record gives, else the default.
void readRows(ReaderTarget* target, std::span<const OptionRow> rows, const StatementRecord* record);
// The value a row reads from the record, in the units of its field.
double rowValue(const OptionRow& row, const Slots& record);
// The value of a row's field.
double fieldValue(ReaderTarget& target, const OptionRow& row);
// The row's repair when its condition holds; true when it was made.
bool repairRow(ReaderTarget* target, const OptionRow& row, const Slots& record);
// The repairs of a group's rows, in the table's order.
void repairGroup(ReaderTarget* target, std::span<const OptionRow> rows, uint8_t group,
                 const Slots& record);

// The row of an option by its name; a name not in the table does not compile where a constant
// is asked for.
constexpr const OptionRow& rowNamed(std::span<const OptionRow> rows, std::string_view name) {
  for (const OptionRow& r : rows)
    if (r.name == name) return r;
  throw "no such option row";
}

// The option tables, for the rules of their readers and for the tests.
struct OptionTable {
  const char* record;  // the record of slots.h the rows read
  std::span<const OptionRow> rows;
};
OptionTable procedureOptionTable();
OptionTable plotsOptionTable();
OptionTable modelOptionTable();
OptionTable performanceOptionTable();
OptionTable modelAverageOptionTable();

}  // namespace vsf
