// The parameters of the candidates as the tables and graphs name them.
#include <algorithm>
#include <vector>

#include "design/design.h"
#include "effects/effects.h"
#include "graphs/graphs.h"
#include "output/output.h"
#include "selection/group.h"

namespace vsf {

namespace {

std::string_view columnText(const ZDesign* d, const ZEffect* z, int32_t column) {
  if (!d || !z) return {};
  const int32_t g = z->startColumn + column;
  if (g < 0 || g >= d->columnCount) return {};
  for (int k : {1, 0})
    if (d->parmNames[k] && d->parmNames[k][g] && d->parmNames[k][g][0]) return d->parmNames[k][g];
  return {};
}

}  // namespace

const ZEffect* candidateEffect(const StepView* s, int32_t candidate) {
  const ZDesign* d = s->lev.design;
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  int32_t e = candidate;
  if (table && e >= 0 && e < static_cast<int32_t>(table->size())) e = (*table)[e].effect;
  return d && d->effects && e >= 0 && e < d->effectCount ? &d->effects[e] : nullptr;
}

int32_t candidateColumn(const StepView* s, int32_t candidate, int32_t i) {
  const std::vector<CandidateEntry>* table = s->group.candidates.table;
  if (table && candidate >= 0 && candidate < static_cast<int32_t>(table->size()) &&
      (*table)[candidate].columnMap)
    return (*table)[candidate].columnMap[i];
  return i;
}

const int32_t* columnLevels(const ZEffect* z, int32_t column) {
  if (!z || !z->levelTable || z->levelTableWidth <= 0) return nullptr;
  return z->levelTable + static_cast<ptrdiff_t>(column) * z->levelTableWidth;
}

int parameterLevelsAt(const StepView* s, int levelsAt) {
  const ZDesign* d = s->lev.design;
  return d && d->labelStyle == 1 && levelsAt >= 0 ? levelsAt : -1;
}

int parameterText(const StepView* s, int32_t candidate, int32_t column, int levelsAt, char* out,
                  int width) {
  const ZDesign* d = s->lev.design;
  const ZEffect* z = candidateEffect(s, candidate);
  std::string_view label = candidateLabel(s, candidate);
  if (d && d->labelStyle == 0) {
    std::string_view t = columnText(d, z, column);
    if (t.empty()) t = label;
    return out ? fillField(out, width, t) : static_cast<int>(t.size());
  }
  const int bytes = static_cast<int>(label.size());
  const int aligned = parameterLevelsAt(s, levelsAt);
  const int at = aligned >= 0 ? std::max(bytes, aligned + bytes - textWidth(label)) : bytes;
  const int32_t* row = columnLevels(z, column);
  const int levels = z && row ? zlvltextlen(d, z, row) : 0;
  if (!out) return at + levels;
  fillField(out, width, label);
  if (z && row && at + levels <= width) zlvltext(d, z, out + at, row);
  return at + levels;
}

}  // namespace vsf
