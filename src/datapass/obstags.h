// The role and cross-validation fold the data pass gave each observation of the analysis data,
// one tag per observation read, kept in a scratch file for the output data sets: they write
// the fit's own roles and folds instead of drawing them again.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "datapass/utilfiles.h"

namespace vsf {

struct ExtensionSet;

// A tag: the role (0 none or not stored, 1 training, 2 validation, 4 test) and the 0-based fold
// plus one (0: no fold).
inline int32_t obsTag(int32_t role, int32_t fold) { return role + 8 * (fold >= 0 ? fold + 1 : 0); }
inline int32_t obsTagRole(int32_t tag) { return tag & 7; }
inline int32_t obsTagFold(int32_t tag) { return (tag >> 3) - 1; }  // -1: none

// The step's tag file: each BY group's tags follow the previous group's.
struct ObsTagFile {
  ScratchFile scratch;
  int64_t end = 0;  // where the next tag goes
  std::vector<int32_t> pending;
};

// Opens the file; the host's code of the open (0 success).
[[nodiscard]] int openObsTags(ObsTagFile* tags, const ExtensionSet* extensions);
void closeObsTags(ObsTagFile* tags, const ExtensionSet* extensions);
bool obsTagsOpen(const ObsTagFile* tags);
// Appends one tag; 0 or the host's code of a failed write.
[[nodiscard]] int appendObsTag(ObsTagFile* tags, int32_t tag);
// Writes what is pending; 0 or the host's code.
[[nodiscard]] int flushObsTags(ObsTagFile* tags);
// Rewrites the tags from `start` to the end through fn(tag) -> tag, in order; 0 or a host code.
template <typename Fn>
[[nodiscard]] int rewriteObsTags(ObsTagFile* tags, int64_t start, Fn&& fn);

// Reads tags in order from a position.
class ObsTagReader {
 public:
  ObsTagReader(const ObsTagFile* tags, int64_t start) : tags_(tags), position_(start) {}
  // The next tag; a tag of role 0 past the end or when the file is not open.
  int32_t next();

 private:
  const ObsTagFile* tags_;
  int64_t position_;
  std::vector<int32_t> buffer_;
  int64_t index_ = 0, count_ = 0;
};

// BLOCK folds: consecutive training rows in data order, the first (training rows mod folds)
// folds one row larger. next() gives the fold of the next row and moves past it.
class BlockFolds {
 public:
  BlockFolds(int64_t trainingRows, int32_t folds);
  int32_t next(bool training);

 private:
  int64_t size_, rest_, boundary_, count_ = 0;
  int32_t fold_ = 0, folds_;
};

// RANDOM folds: a training row draws fold floor(folds x u); folds no row drew are not formed
// and the others close up in order. When there are no more folds than the data could fill
// (its observations), each fold keeps a mark and rows take their drawn fold at once; past
// that a row takes its draw's number by first appearance, ranked by draw at the end, so that
// nothing grows with the fold count and the tags never hold a number larger than the rows.
class RandomFolds {
 public:
  // `observations`: the data's observations, at least the rows drawn for (-1: not known).
  RandomFolds(int32_t folds, int64_t observations);
  // The fold a row takes for its draw (0 <= drawn < folds), as final() ranks it.
  int32_t take(int32_t drawn);
  // The folds formed, and each fold a row took as its final number; `rank` is left empty
  // when every row keeps the fold it took.
  int32_t final(std::vector<int32_t>* rank) const;

 private:
  int32_t folds_;
  bool marked_;
  std::vector<char> drawn_;                     // marked: whether each fold was drawn
  std::unordered_map<int32_t, int32_t> first_;  // otherwise: draw -> number of appearance
  std::vector<int32_t> draws_;                  // the draw of each number of appearance
};

// ---- Implementation of the template ----
[[nodiscard]] int readObsTagsAt(const ObsTagFile* tags, int64_t position, int32_t* out,
                                int64_t count);
[[nodiscard]] int writeObsTagsAt(ObsTagFile* tags, int64_t position, const int32_t* in,
                                 int64_t count);

template <typename Fn>
int rewriteObsTags(ObsTagFile* tags, int64_t start, Fn&& fn) {
  if (int rc = flushObsTags(tags); rc != 0) return rc;
  std::vector<int32_t> chunk(size_t{1} << 14);
  for (int64_t at = start; at < tags->end;) {
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(chunk.size()), (tags->end - at) / 4);
    if (int rc = readObsTagsAt(tags, at, chunk.data(), n); rc != 0) return rc;
    for (int64_t i = 0; i < n; ++i)
      chunk[static_cast<size_t>(i)] = fn(chunk[static_cast<size_t>(i)]);
    if (int rc = writeObsTagsAt(tags, at, chunk.data(), n); rc != 0) return rc;
    at += 4 * n;
  }
  return 0;
}

}  // namespace vsf
