#include "datapass/rowblock.h"

#include "base/codes.h"
#include "base/host.h"
#include "datapass/utilfiles.h"

namespace vsf {

namespace {

int endBlock(RowBlockWriter* w) {
  double n = static_cast<double>(w->rows);
  std::memcpy(w->start, &n, 8);
  if (w->rows > w->largestRows) w->largestRows = w->rows;
  if (int rc = endUtilBlock(w->files, w->block); rc != 0) return rc;
  w->block += 1;
  w->rows = 0;
  w->start = nullptr;
  return 0;
}

int beginBlock(RowBlockWriter* w) {
  char* rowStart = nullptr;
  if (int rc = seekUtilPage(w->files, w->block, w->pool, &w->start, &rowStart, &w->backward);
      rc != 0) {
    w->start = nullptr;
    return rc;
  }
  w->forward = rowStart;
  return 0;
}

}  // namespace

int appendRow(RowBlockWriter* w, const double* values, int nValues, const int32_t* tags,
              int nTags) {
  const int64_t need = 8 * static_cast<int64_t>(nValues) + 4 * static_cast<int64_t>(nTags);
  if (w->start && w->backward - w->forward < need) {
    if (int rc = endBlock(w); rc != 0) return rc;
  }
  if (!w->start) {
    if (int rc = beginBlock(w); rc != 0) return rc;
    if (w->backward - w->forward < need) {
      hostMsg(848, 139);  // even an empty block cannot hold this row
      return rc::kBlockWrite;
    }
  }
  std::memcpy(w->forward, values, 8 * static_cast<size_t>(nValues));
  w->forward += 8 * nValues;
  for (int i = 0; i < nTags; ++i) {
    w->backward -= 4;
    std::memcpy(w->backward, &tags[i], 4);
  }
  w->rows += 1;
  return 0;
}

int finishRows(RowBlockWriter* w) {
  if (w->start && w->rows > 0) return endBlock(w);
  return 0;
}

}  // namespace vsf
