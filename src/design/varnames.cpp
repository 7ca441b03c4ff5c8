// Variable-based names (label style 0): each column's name is made of its variables' name
// prefixes and level texts, its label of their labels and level texts.
#include <cstring>
#include <string>
#include <vector>

#include "design/design.h"
#include "design/validnames_internal.h"
#include "frame/host/dataset.h"

namespace vsf {

namespace {

constexpr int kName = 32;
constexpr int kLabel = 256;

void setLevel(LevelNameRecord& l, NameRecord* owner, std::string_view text) {
  setField(l.shortText, kName, text);
  setField(l.longText, kLabel, text);
  std::memcpy(l.codedShort, l.shortText, kName);
  std::memcpy(l.codedLong, l.longText, kLabel);
  l.owner = owner;
  std::memset(l.levelName, ' ', kName);
}

void designVarRecord(const ZDesignVar& v, NameRecord& r) {
  std::string_view name(v.name ? v.name : "", static_cast<size_t>(v.name ? v.nameLength : 0));
  setField(r.name, kName, name);
  setField(r.label, kLabel, name);
  r.levels.resize(static_cast<size_t>(v.columnCount > 0 ? v.columnCount : 0));
  for (int c = 0; c < v.columnCount; ++c) {
    std::string_view text;
    if (v.labels && v.labelLengths && v.labels[c])
      text = std::string_view(v.labels[c], static_cast<size_t>(v.labelLengths[c]));
    setLevel(r.levels[static_cast<size_t>(c)], &r, text);
  }
}

void classVarRecord(const LevelVar& v, NameRecord& r) {
  setField(r.name, kName, varName(&v));
  setField(r.label, kLabel, varLabel(&v).empty() ? varName(&v) : varLabel(&v));
  r.valueWidth = v.desc ? v.desc->length : 0;
  r.cprefix = v.cprefix;
  r.lprefix = v.lprefix;
  r.levels.resize(static_cast<size_t>(v.levelCount));
  for (int l = 0; l < v.levelCount; ++l) {
    LevelNameRecord& level = r.levels[static_cast<size_t>(l)];
    setLevel(level, &r, levelText(v, l));
    if (!codingOf(v.coding).codedNames()) continue;
    std::string coded = codedLevelName(v.coding, l + 1);
    setField(level.codedShort, kName, coded);
    size_t digits = std::to_string(l + 1).size();
    setField(level.codedLong, kLabel, coded.insert(coded.size() - digits, " "));
  }
}

LevelNameRecord* levelOf(NameRecord& r, int index) {
  if (index < 0 || index >= static_cast<int>(r.levels.size())) return nullptr;
  return &r.levels[static_cast<size_t>(index)];
}

// One column record per design column, in effect order.
void columnRecords(const ZDesign* d, std::vector<NameRecord>& names,
                   std::vector<ContinuousNameRecord>& cont, std::vector<ColumnNameRecord>& cols,
                   std::string_view separator) {
  for (int e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    for (int j = 0; j < z.columnCount; ++j) {
      int column = z.startColumn + j;
      if (column < 0 || column >= static_cast<int>(cols.size())) continue;
      ColumnNameRecord& col = cols[static_cast<size_t>(column)];
      col.separator = separator;
      const int32_t* row =
          z.levelTable ? z.levelTable + static_cast<ptrdiff_t>(j) * z.levelTableWidth : nullptr;
      for (int k = 0; row && k < z.constructedCount; ++k)
        col.members.push_back(levelOf(names[static_cast<size_t>(z.constructed[k])], row[k]));
      const int32_t* levels = classPart(z, row);
      for (int k = 0; levels && k < z.keyCount; ++k) {
        NameRecord& owner = names[static_cast<size_t>(d->designVarCount + z.key[k])];
        col.members.push_back(levelOf(owner, levels[k]));
      }
      col.leading = (row ? z.constructedCount : 0) + (levels ? z.crossCount : 0);
      for (int k = 0; k < z.contCount; ++k)
        col.continuous.push_back(&cont[static_cast<size_t>(z.cont[k])]);
    }
  }
}

}  // namespace

// zdsgnnames: variable-based names and labels of every design column into the design's
// column-name table; column 0 is "Intercept" when the model has one.
void zdsgnnames(ZLevCtx* ctx) {
  ZDesign* d = ctx->design;
  HostPool* pool = contextPool(ctx);
  std::vector<NameRecord> names = znamerecs(d->designVarCount + d->classCount);
  for (int i = 0; i < d->designVarCount; ++i)
    designVarRecord(d->designVars[i], names[static_cast<size_t>(i)]);
  for (int i = 0; i < d->classCount; ++i)
    if (d->classVars[i].levelCount > 0)
      classVarRecord(d->classVars[i], names[static_cast<size_t>(d->designVarCount + i)]);
  std::vector<ContinuousNameRecord> cont(static_cast<size_t>(d->modelVarCount));
  for (int i = 0; i < d->modelVarCount; ++i) {
    setField(cont[static_cast<size_t>(i)].name, kName, varName(&d->modelVars[i]));
    setField(cont[static_cast<size_t>(i)].label, kLabel, varLabel(&d->modelVars[i]));
  }
  size_t columns = static_cast<size_t>(d->columnCount > 0 ? d->columnCount : 0);
  std::vector<ColumnNameRecord> cols(columns);
  for (ColumnNameRecord& c : cols) {
    std::memset(c.name, ' ', kName);
    std::memset(c.label, ' ', kLabel);
  }
  std::string_view separator = " * ";
  if (d->separatorText)
    separator = std::string_view(d->separatorText, static_cast<size_t>(d->separatorLength));
  columnRecords(d, names, cont, cols, separator);
  zvalidname(names.data(), static_cast<int>(names.size()));
  zcolnamebuild(cols.data(), static_cast<int>(cols.size()));

  d->parmNames[0] = designArray<char*>(pool, columns, kFlagsList);
  d->parmNames[1] = designArray<char*>(pool, columns, kFlagsList);
  if (!d->parmNames[0] || !d->parmNames[1]) return;
  ValidNames mode = validNames();
  for (size_t c = 0; c < columns; ++c) {
    std::string name, label;
    if (c == 0 && !(d->flags & dflag::kNoIntercept)) {
      name = hostNameCase("Intercept", mode);
      label = name;
    } else {
      name = hostNameCase(fieldText(cols[c].name, kName), mode);
      label = std::string(fieldText(cols[c].label, kLabel));
    }
    d->parmNames[0][c] = designText(pool, name, kFlagsList);
    d->parmNames[1][c] = designText(pool, label, kFlagsList);
    if (d->parmNames[0][c] && static_cast<int>(name.size()) > d->nameCounters[0])
      d->nameCounters[0] = static_cast<int32_t>(name.size());
    if (d->parmNames[1][c] && static_cast<int>(label.size()) > d->nameCounters[1])
      d->nameCounters[1] = static_cast<int32_t>(label.size());
  }
}

}  // namespace vsf
