// Parameter names of a set of candidates (OUTDESIGN): each column's label is its candidate's
// label followed by the column's level part, its name the label's first 32 bytes.
#include <algorithm>
#include <string>
#include <vector>

#include "base/codes.h"
#include "design/design.h"
#include "design/design_internal.h"

namespace vsf {

namespace {

const int32_t* columnRow(const ZEffect& z, int column) {
  if (!z.levelTable || z.levelTableWidth <= 0) return nullptr;
  return z.levelTable + static_cast<ptrdiff_t>(column) * z.levelTableWidth;
}

int entryColumn(const CandidateEntry& entry, int k) {
  return entry.columnMap ? entry.columnMap[k] : k;
}

}  // namespace

// nameDesignParameters: label style 0 keeps the variable-based names. The set is checked before
// the table is replaced, so a refused set leaves the names as they were.
int nameDesignParameters(ZLevCtx* ctx, const std::vector<CandidateEntry>* table, int count,
                         const std::vector<int32_t>& set, const int32_t* firstParam) {
  ZDesign* d = ctx->design;
  if (!d || d->labelStyle == 0) return 0;
  if (!table || set.empty()) return rc::kMemory;
  int candidates = std::min(count, static_cast<int>(table->size()));
  size_t longest = 0;
  for (int32_t c : set) {
    if (c < 0 || c >= candidates) return rc::kMemory;
    const CandidateEntry& entry = (*table)[static_cast<size_t>(c)];
    const ZEffect& z = d->effects[entry.effect];
    for (int k = 0; k < entry.columns; ++k)
      longest = std::max(longest, static_cast<size_t>(entry.labelLength) +
                                      zlvltextlen(d, &z, columnRow(z, entryColumn(entry, k))));
  }
  if (longest == 0) return rc::kMemory;

  HostPool* pool = contextPool(ctx);
  size_t columns = static_cast<size_t>(d->columnCount > 0 ? d->columnCount : 0);
  d->parmNames[0] = designArray<char*>(pool, columns, kFlagsList);
  d->parmNames[1] = designArray<char*>(pool, columns, kFlagsList);
  if (!d->parmNames[0] || !d->parmNames[1]) return rc::kMemory;
  ValidNames mode = validNames();
  std::string text(longest, ' ');
  for (int32_t c : set) {
    const CandidateEntry& entry = (*table)[static_cast<size_t>(c)];
    const ZEffect& z = d->effects[entry.effect];
    int first = firstParam ? firstParam[c] : z.startColumn;
    for (int k = 0; k < entry.columns; ++k) {
      int column = first + k;
      if (column < 0 || column >= d->columnCount) continue;
      size_t n = static_cast<size_t>(entry.labelLength);
      if (n) text.replace(0, n, entry.label, n);
      n += static_cast<size_t>(
          zlvltext(d, &z, text.data() + n, columnRow(z, entryColumn(entry, k))));
      std::string_view label(text.data(), n);
      d->parmNames[1][column] = designText(pool, label, kFlagsList);
      std::string name = hostNameCase(label.substr(0, std::min<size_t>(32, n)), mode);
      d->parmNames[0][column] = designText(pool, name, kFlagsList);
    }
  }
  return 0;
}

}  // namespace vsf
