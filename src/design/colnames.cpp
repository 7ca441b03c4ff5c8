// Design-column names and labels: effect-based ones (the effect's name followed by the levels
// of the column) and the pass that names all columns in either style.
#include <algorithm>
#include <cstring>
#include <string>

#include "design/design.h"
#include "design/design_internal.h"
#include "frame/host/values.h"

namespace vsf {

namespace {

// Appends to a caller's buffer, never past its capacity.
class Writer {
 public:
  Writer(char* out, int capacity) : out_(out), cap_(capacity) {}
  void put(char c) {
    if (n_ < cap_) out_[n_++] = c;
  }
  void put(std::string_view s) {
    for (char c : s) put(c);
  }
  int length() const { return n_; }

 private:
  char* out_;
  int cap_;
  int n_ = 0;
};

const ZDesignVar& member(const ZDesign* d, const ZEffect& z, int k) {
  return d->designVars[z.constructed[k]];
}

std::string_view memberLevelName(const ZDesignVar& v, const int32_t* row, int k) {
  int c = row ? row[k] : 0;
  if (!v.labels || !v.labelLengths || c < 0 || c >= v.columnCount || !v.labels[c]) return {};
  return std::string_view(v.labels[c], static_cast<size_t>(v.labelLengths[c]));
}

// The level part of a column's label: " level" per member design variable with level names,
// then per CLASS variable that is not split its separator and its level.
void writeLevelPart(const ZDesign* d, const ZEffect& z, const int32_t* row, Writer& out) {
  for (int k = 0; k < z.constructedCount; ++k) {
    const ZDesignVar& v = member(d, z, k);
    if (v.longestLabel == 0) continue;
    out.put(' ');
    out.put(memberLevelName(v, row, k));
  }
  const int32_t* levels = classPart(z, row);
  if (!levels) return;
  for (int k = 0; k < z.keyCount; ++k) {
    const LevelVar& v = d->classVars[z.key[k]];
    if (v.split) continue;
    out.put(k == 0 ? ' ' : d->delimiter);
    if (codingOf(v.coding).codedNames())
      out.put(codedLevelName(v.coding, levels[k] + 1));
    else
      out.put(levelText(v, levels[k]));
  }
}

// Room for the level part of any column of the effect.
int levelPartRoom(const ZDesign* d, const ZEffect& z) {
  int room = 0;
  for (int k = 0; k < z.constructedCount; ++k) room += 1 + member(d, z, k).longestLabel;
  for (int k = 0; k < z.keyCount; ++k) {
    const LevelVar& v = d->classVars[z.key[k]];
    if (v.split) continue;
    int width = codedNameWidth(v);
    if (!codingOf(v.coding).codedNames())
      for (int l = 0; l < v.levelCount; ++l)
        width = std::max(width, static_cast<int>(levelText(v, l).size()));
    room += 1 + width;
  }
  return room;
}

const int32_t* levelRow(const ZEffect& z, int column) {
  if (!z.levelTable || z.levelTableWidth <= 0) return nullptr;
  return z.levelTable + static_cast<ptrdiff_t>(column) * z.levelTableWidth;
}

void store(ZDesign* d, int column, char* name, char* label) {
  if (column < 0 || column >= d->columnCount || !d->parmNames[0] || !d->parmNames[1]) return;
  d->parmNames[0][column] = name;
  d->parmNames[1][column] = label;
  if (name)
    d->nameCounters[0] = std::max(d->nameCounters[0], static_cast<int32_t>(std::strlen(name)));
  if (label)
    d->nameCounters[1] = std::max(d->nameCounters[1], static_cast<int32_t>(std::strlen(label)));
}

}  // namespace

int zlvltext(const ZDesign* d, const ZEffect* z, char* out, const int32_t* row) {
  Writer w(out, zlvltextlen(d, z, row));
  writeLevelPart(d, *z, row, w);
  return w.length();
}

// A bound for zlvltext: a member design variable without level names counts one byte that
// zlvltext does not write.
int zlvltextlen(const ZDesign* d, const ZEffect* z, const int32_t* row) {
  int n = 0;
  for (int k = 0; k < z->constructedCount; ++k) {
    const ZDesignVar& v = member(d, *z, k);
    n += 1;
    if (v.longestLabel != 0) n += static_cast<int>(memberLevelName(v, row, k).size());
  }
  const int32_t* levels = classPart(*z, row);
  if (!levels) return n;
  for (int k = 0; k < z->keyCount; ++k) {
    const LevelVar& v = d->classVars[z->key[k]];
    if (v.split) continue;
    if (codingOf(v.coding).codedNames())
      n += 1 + static_cast<int>(codedLevelName(v.coding, levels[k] + 1).size());
    else
      n += 1 + static_cast<int>(levelText(v, levels[k]).size());
  }
  return n;
}

// zeffparmnames: label = effect name (padded to the longest effect name under label style 1,
// counted in characters so that the levels line up on the page) and the column's level part;
// name = the label's first 32 bytes (whole characters), or a short name numbering the column within
// its effect.
void zeffparmnames(ZDesign* d, HostPool* pool, int e, int longestEffectName) {
  const ZEffect& z = d->effects[e];
  std::string_view effectName = z.name ? std::string_view(z.name) : std::string_view();
  int nameLength = static_cast<int>(effectName.size());
  int padded = nameLength + std::max(0, longestEffectName - textWidth(effectName));
  int start = d->labelStyle == 1 ? padded : nameLength;
  int size = levelPartRoom(d, z) + padded + 1;
  ValidNames mode = validNames();
  bool prefixed = d->shortNameText != nullptr;
  std::string_view prefix(d->shortNameText ? d->shortNameText : "",
                          static_cast<size_t>(prefixed ? d->shortNameLength : 0));
  for (int j = 0; j < z.columnCount; ++j) {
    char* label = static_cast<char*>(designAlloc(pool, static_cast<size_t>(size), kFlagsList));
    if (!label) return;
    std::memset(label, ' ', static_cast<size_t>(size - 1));
    std::memcpy(label, effectName.data(), effectName.size());
    Writer part(label + start, size - 1 - start);
    writeLevelPart(d, z, levelRow(z, j), part);
    int length = start + part.length();
    label[length] = '\0';
    std::string name;
    if (!d->shortParmNames) {
      // The aligning blanks of a short label are no part of the name.
      std::string_view head = textHead(std::string_view(label, static_cast<size_t>(length)), 32);
      name = hostNameCase(head.substr(0, head.find_last_not_of(' ') + 1), mode);
    } else {
      name = (prefixed ? std::string(prefix) : std::string("_X")) + std::to_string(j + 1);
    }
    store(d, z.startColumn + j, designText(pool, name, kFlagsList), label);
  }
}

// zcolnames: names and labels of the listed effects' columns (all effects when count is 0),
// in the design's label style.
void zcolnames(ZLevCtx* ctx, int count, const int32_t* list) {
  ZDesign* d = ctx->design;
  d->nameCounters[0] = d->nameCounters[1] = 0;
  if (d->labelStyle == 0) {
    zdsgnnames(ctx);
    return;
  }
  HostPool* pool = contextPool(ctx);
  size_t columns = static_cast<size_t>(d->columnCount > 0 ? d->columnCount : 0);
  d->parmNames[0] = designArray<char*>(pool, columns, kFlagsList);
  d->parmNames[1] = designArray<char*>(pool, columns, kFlagsList);
  if (!d->parmNames[0] || !d->parmNames[1]) return;
  bool all = count <= 0 || !list;
  int n = all ? d->effectCount : count;
  auto effectAt = [&](int i) { return all ? i : list[i]; };
  int longest = 0;
  for (int i = 0; i < n; ++i) {
    int e = effectAt(i);
    if (e >= 0 && e < d->effectCount && d->effects[e].name)
      longest = std::max(longest, textWidth(d->effects[e].name));
  }
  for (int i = 0; i < n; ++i) {
    int e = effectAt(i);
    if (e >= 0 && e < d->effectCount) zeffparmnames(d, pool, e, longest);
  }
}

}  // namespace vsf
