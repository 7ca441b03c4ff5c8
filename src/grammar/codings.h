// CLASS codings (PARAM=): the code of each, and one description per coding that every layer
// from the grammar up decides by: the keywords that name it, the names of its columns, its
// reference level, how a level's columns are made and whether they are orthogonalized. Adding
// a coding: docs/layers.md, "Adding a coding".
#pragma once

#include <cstdint>
#include <string_view>

namespace vsf {

// The codes, as the grammar stores them (negated) and the design records keep them.
enum class CodingCode : int32_t {
  kCodingEffect = 0,
  kCodingOrthEffect = 1,
  kCodingRef = 2,
  kCodingOrthRef = 3,
  kCodingPoly = 4,
  kCodingOrthPoly = 5,
  kCodingQfr = 6,
  kCodingOrdinal = 7,
  kCodingOrthOrdinal = 8,
  kCodingBathtub = 9,
  kCodingOrthBathtub = 10,
};
using enum CodingCode;

// How the columns of one level are made (before any orthogonalization): n columns for a
// variable of n + 1 levels. design/coding.cpp (`codingColumns`) writes each.
enum class LevelColumns : uint8_t {
  kDeviation,     // the levels but the reference one column each; the reference -1 in every one
  kIndicator,     // the levels but the reference one column each; the reference 0 in every one
  kPowers,        // the level's value (a character variable's: its rank from 1) to the powers 1..n
  kScaledPowers,  // likewise, a character variable's rank centred and scaled to [-1, 1)
  kThermometer,   // column j is 1 for the levels past the j-th
  kBathtub,       // column j is c for the levels past the j-th and -c for the others
};

// Whether each column is one level's: the levels but the reference a column each. The switch
// names every way, so the compiler names it when a way is added (-Wswitch).
constexpr bool columnPerLevel(LevelColumns how) {
  switch (how) {
    case LevelColumns::kDeviation:
    case LevelColumns::kIndicator:
      return true;
    case LevelColumns::kPowers:
    case LevelColumns::kScaledPowers:
    case LevelColumns::kThermometer:
    case LevelColumns::kBathtub:
      return false;
  }
  return false;
}

struct Coding {
  CodingCode code;
  std::string_view keywords[4];  // the PARAM= keywords that name it (a trailing $: undocumented)
  // Its columns' names: the prefix and the column's number ("OEFF3"); null: the level's text.
  const char* prefix = nullptr;
  // Column j of its layout stands for level j, or level j + 1 from the reference level on.
  bool skipsReference = false;
  bool referenceFirst = false;  // its reference is the first level whatever REF= says
  // Its columns are those of `columns` centred and orthonormalized: a coding matrix per
  // variable and BY group (levelize/levcoding.cpp).
  bool orthogonal = false;
  LevelColumns columns;
  const char* designFormat = "D6.";  // the format of its columns in the ClassLevelCoding table
  bool missingLevel = true;          // MISSING may make the missing values a level
  // False for QFR alone: not a coding of its own but EFFECT's columns without the full-rank
  // parametrization, under which every level of a CLASS variable has a column.
  bool fullRank = true;

  constexpr bool codedNames() const { return prefix != nullptr; }
  // Its columns are its levels' own, not orthogonalized: SPLIT's cells of a crossed variable
  // are its levels but the reference (design/comboindex.cpp), where the others are the
  // columns' numbers.
  constexpr bool levelsOwnColumns() const { return !orthogonal && columnPerLevel(columns); }
};

namespace coding_rows {
using C = LevelColumns;
// By code, from kCodingEffect.
constexpr Coding kCodings[] = {
    {.code = kCodingEffect,
     .keywords = {"EFFECT"},
     .skipsReference = true,
     .columns = C::kDeviation,
     .designFormat = "2.0"},
    {.code = kCodingOrthEffect,
     .keywords = {"ORTHEFFECT"},
     .prefix = "OEFF",
     .orthogonal = true,
     .columns = C::kDeviation},
    {.code = kCodingRef,
     .keywords = {"REF", "REFERENCE"},
     .skipsReference = true,
     .columns = C::kIndicator,
     .designFormat = "1.0"},
    {.code = kCodingOrthRef,
     .keywords = {"ORTHREF"},
     .prefix = "OREF",
     .orthogonal = true,
     .columns = C::kIndicator},
    {.code = kCodingPoly,
     .keywords = {"POLY", "POLYNOMIAL"},
     .prefix = "POLY",
     .columns = C::kPowers,
     .designFormat = "BEST6.",
     .missingLevel = false},
    {.code = kCodingOrthPoly,
     .keywords = {"ORTHPOLY"},
     .prefix = "OPOLY",
     .orthogonal = true,
     .columns = C::kScaledPowers,
     .missingLevel = false},
    {.code = kCodingQfr,
     .keywords = {"QFR"},
     .skipsReference = true,
     .columns = C::kDeviation,
     .designFormat = "2.0",
     .fullRank = false},
    {.code = kCodingOrdinal,
     .keywords = {"ORD", "ORDINAL", "THERMOMETER", "THERM"},
     .skipsReference = true,
     .referenceFirst = true,
     .columns = C::kThermometer,
     .designFormat = "1.0"},
    {.code = kCodingOrthOrdinal,
     .keywords = {"ORTHORDINAL", "ORTHOTHERM"},
     .prefix = "OORD",
     .orthogonal = true,
     .columns = C::kThermometer},
    {.code = kCodingBathtub, .keywords = {"BATH$", "BATHTUB$"}, .columns = C::kBathtub},
    {.code = kCodingOrthBathtub,
     .keywords = {"ORTHBATH$", "ORTHBATHTUB$"},
     .prefix = "OBATH",
     .orthogonal = true,
     .columns = C::kBathtub},
};
constexpr int kRows = static_cast<int>(sizeof(kCodings) / sizeof(kCodings[0]));

// Whether a value is a code. The switch lists every code, so the compiler names it when a code
// is added (-Wswitch); the assertion below then wants the code's row.
constexpr bool isCode(CodingCode code) {
  switch (code) {
    case kCodingEffect:
    case kCodingOrthEffect:
    case kCodingRef:
    case kCodingOrthRef:
    case kCodingPoly:
    case kCodingOrthPoly:
    case kCodingQfr:
    case kCodingOrdinal:
    case kCodingOrthOrdinal:
    case kCodingBathtub:
    case kCodingOrthBathtub:
      return true;
  }
  return false;
}
// A row per code, in code order.
constexpr bool rowPerCode() {
  for (int i = 0; i < kRows; ++i)
    if (static_cast<int>(kCodings[i].code) != i || !isCode(kCodings[i].code)) return false;
  return !isCode(static_cast<CodingCode>(kRows));
}
static_assert(rowPerCode());
}  // namespace coding_rows

// The description of a code; codes outside the table get EFFECT's.
constexpr const Coding& codingOf(CodingCode code) {
  const int i = static_cast<int>(code);
  return coding_rows::kCodings[i >= 0 && i < coding_rows::kRows ? i : 0];
}

}  // namespace vsf
