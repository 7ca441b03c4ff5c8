// Parameter names of a set of candidates (OUTDESIGN): each column's label is its candidate's
// label followed by the column's level part, its name the label's first 32 bytes.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "base/codes.h"
#include "design/design.h"
#include "design/design_internal.h"
#include "frame/host/values.h"

namespace vsf {

namespace {

const int32_t* columnRow(const ZEffect& z, int column) {
  if (!z.levelTable || z.levelTableWidth <= 0) return nullptr;
  return z.levelTable + static_cast<ptrdiff_t>(column) * z.levelTableWidth;
}

int entryColumn(const CandidateEntry& entry, int k) {
  return entry.columnMap ? entry.columnMap[k] : k;
}

std::string upper(std::string_view name) {
  std::string u(name);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Names are unique without regard to case, as variable names are: a later parameter whose name
// is taken (a polynomial's linear term beside its variable) gets the first free "_2", "_3", ...
// within the 32 bytes of a name.
void distinctNames(ZDesign* d, HostPool* pool, const std::vector<int32_t>& columns) {
  std::set<std::string> taken;
  for (int32_t column : columns) {
    const char* given = d->parmNames[0][column];
    const std::string name = given ? given : "";
    std::string unique = name;
    for (int n = 2; taken.count(upper(unique)) != 0; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      unique = std::string(textHead(name, 32 - std::min<size_t>(32, suffix.size()))) + suffix;
    }
    taken.insert(upper(unique));
    if (unique != name) d->parmNames[0][column] = designText(pool, unique, kFlagsList);
  }
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
  std::vector<int32_t> named;
  for (int32_t c : set) {
    const CandidateEntry& entry = (*table)[static_cast<size_t>(c)];
    const ZEffect& z = d->effects[entry.effect];
    for (int k = 0; k < entry.columns; ++k) {
      // A split effect's candidate holds some of the effect's columns: its name goes to the
      // column its data comes from.
      int column = firstParam ? firstParam[c] + k : z.startColumn + entryColumn(entry, k);
      if (column < 0 || column >= d->columnCount) continue;
      named.push_back(column);
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
  distinctNames(d, pool, named);
  return 0;
}

}  // namespace vsf
