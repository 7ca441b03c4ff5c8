// Records of the variable-based column names: blank-padded name and label fields per variable,
// per level and per design column.
#pragma once

#include <cstdint>
#include <vector>

#include "design/design_internal.h"

namespace vsf {

struct NameRecord;

// One level of a CLASS variable, or one column of a design variable.
struct LevelNameRecord {
  char shortText[32];
  char longText[256];
  char codedShort[32];  // the text under the variable's coding
  char codedLong[256];
  NameRecord* owner = nullptr;
  char levelName[32];  // name prefix and level text, a valid name
};

// One design variable or CLASS variable.
struct NameRecord {
  char name[32];
  char work[256];
  char label[256];
  int32_t valueWidth = 0;  // 0 for design variables
  int32_t cprefix = -1;    // name-prefix length, -1 not given
  int32_t lprefix = -1;    // label-prefix length, -1 not given
  std::vector<LevelNameRecord> levels;
};

struct ContinuousNameRecord {
  char name[32];
  char label[256];
};

// One design column: its members (design variables and crossed CLASS variables first, then
// nesting ones) and continuous variables.
struct ColumnNameRecord {
  char name[32];
  char label[256];
  std::vector<LevelNameRecord*> members;
  std::vector<ContinuousNameRecord*> continuous;
  int32_t leading = 0;  // members before the nesting ones
  std::string_view separator = " * ";
};

// n blank name records (both prefix lengths -1).
std::vector<NameRecord> znamerecs(int n);
// Fixes the level labels and valid level names of n name records.
void zvalidname(NameRecord* first, int n);
// Fills name and label of n column records.
void zcolnamebuild(ColumnNameRecord* first, int n);

// Blank-padded fields.
void setField(char* field, int width, std::string_view text);
std::string_view fieldText(const char* field, int width);
// The name-prefix length of a variable under a name limit of 8 or 32.
int namePrefixLength(const NameRecord& r, int limit);

}  // namespace vsf
