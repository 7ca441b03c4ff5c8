// CLASS values of another data set that are none of the levels: the whole formatted value is
// compared, so a value longer than every level is none of them, and the observations left out
// for such values are counted per value for the notes that name them.
#include <algorithm>

#include "base/host.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

// Values named one by one per variable; the rest are counted together.
constexpr int kValuesNamed = 5;

}  // namespace

void zlevreadwhole(ZLevCtx* ctx, bool whole) {
  ZDesign* d = ctx->design;
  for (int c = 0; c < d->classCount; ++c) {
    LevelVar& v = d->classVars[c];
    // Levels cut by TRUNCATE= are matched by the same cut: a value is read as wide as the cut
    // when the cut passes the levels' width (the analysis data's values all fit it).
    const int32_t natural = std::max(v.formattedWidth, levWholeWidth(v));
    if (!whole || !v.desc)
      v.readWidth = 0;
    else if (d->widthOption >= 0)
      v.readWidth = d->truncation() > v.formattedWidth ? std::min(d->truncation(), natural) : 0;
    else
      v.readWidth = natural;
  }
}

bool zlevunseen(const ZLevCtx* ctx, int c, std::string* text) {
  if (!ctx->classState || ctx->levelIndexes[c] >= 0) return false;
  if (ctx->classState[c] & valuestate::kMissing) return false;
  if (text) *text = levCurrentText(ctx, c);
  return true;
}

bool UnseenLevels::add(const ZLevCtx* ctx, const uint8_t* used) {
  const ZDesign* d = ctx->design;
  std::string text;
  bool any = false;
  for (int32_t c = 0; c < d->classCount; ++c) {
    if ((used && !used[c]) || !d->classVars[c].desc || !zlevunseen(ctx, c, &text)) continue;
    auto [at, fresh] = index_.try_emplace({c, text}, entries_.size());
    if (fresh) entries_.push_back({c, text, 0});
    entries_[at->second].rows += 1;
    any = true;
  }
  return any;
}

void UnseenLevels::report(const ZDesign* d, std::string_view dataSet, int each, int rest) const {
  for (int32_t c = 0; c < d->classCount; ++c) {
    const VarDescriptor* desc = d->classVars[c].desc;
    const std::string_view name = desc ? std::string_view(desc->name) : std::string_view();
    int named = 0;
    int64_t others = 0, otherRows = 0;
    for (const Entry& e : entries_) {
      if (e.var != c) continue;
      if (named < kValuesNamed) {
        hostMsg(848, each,
                {std::string_view(e.text), name, dataSet, static_cast<long long>(e.rows)});
        ++named;
      } else {
        others += 1;
        otherRows += e.rows;
      }
    }
    if (others > 0)
      hostMsg(848, rest,
              {static_cast<long long>(others), name, dataSet, static_cast<long long>(otherRows)});
  }
}

}  // namespace vsf
