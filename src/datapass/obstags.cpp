// The observation tag file: tags are gathered in memory and written in chunks, since the
// scratch file writes every call through.
#include "datapass/obstags.h"

#include <algorithm>

#include "datapass/resources.h"

namespace vsf {

namespace {
constexpr size_t kChunk = size_t{1} << 14;
}  // namespace

int openObsTags(ObsTagFile* tags, const ExtensionSet* extensions) {
  int stage = 0;
  tags->end = 0;
  tags->pending.clear();
  return openScratchFile(&tags->scratch, extensions, 0, 0, nullptr, false, &stage);
}

void closeObsTags(ObsTagFile* tags, const ExtensionSet* extensions) {
  closeScratchFile(&tags->scratch, extensions);
  tags->pending.clear();
  tags->end = 0;
}

bool obsTagsOpen(const ObsTagFile* tags) { return tags->scratch.file != nullptr; }

int appendObsTag(ObsTagFile* tags, int32_t tag) {
  tags->pending.push_back(tag);
  return tags->pending.size() >= kChunk ? flushObsTags(tags) : 0;
}

int flushObsTags(ObsTagFile* tags) {
  if (tags->pending.empty() || !tags->scratch.file) return 0;
  int rc = streamWriteAt(tags->scratch.file, tags->pending.data(),
                         4 * static_cast<int64_t>(tags->pending.size()), &tags->end);
  tags->pending.clear();
  return rc;
}

int readObsTagsAt(const ObsTagFile* tags, int64_t position, int32_t* out, int64_t count) {
  return streamReadAt(tags->scratch.file, out, 4 * count, &position);
}

int writeObsTagsAt(ObsTagFile* tags, int64_t position, const int32_t* in, int64_t count) {
  return streamWriteAt(tags->scratch.file, in, 4 * count, &position);
}

int32_t ObsTagReader::next() {
  if (index_ == count_) {
    const int64_t left = tags_->scratch.file ? (tags_->end - position_) / 4 : 0;
    count_ = std::min<int64_t>(left, static_cast<int64_t>(kChunk));
    index_ = 0;
    if (count_ <= 0) {
      count_ = 0;
      return 0;
    }
    buffer_.resize(static_cast<size_t>(count_));
    if (readObsTagsAt(tags_, position_, buffer_.data(), count_) != 0) {
      count_ = 0;
      position_ = tags_->end;
      return 0;
    }
    position_ += 4 * count_;
  }
  return buffer_[static_cast<size_t>(index_++)];
}

BlockFolds::BlockFolds(int64_t trainingRows, int32_t folds) : folds_(folds) {
  size_ = folds > 0 ? trainingRows / folds : trainingRows;
  rest_ = trainingRows - std::max(folds, 1) * size_;
  boundary_ = size_ + (rest_ > 0 ? 1 : 0);
  if (rest_ > 0) --rest_;
}

int32_t BlockFolds::next(bool training) {
  const int32_t fold = fold_;
  if (training && ++count_ == boundary_ && fold_ < folds_ - 1) {
    ++fold_;
    boundary_ += size_ + (rest_ > 0 ? 1 : 0);
    if (rest_ > 0) --rest_;
  }
  return fold;
}

namespace {
// Folds always kept as marks: a mark and a rank are 5 bytes each.
constexpr int64_t kMarkedFolds = 4096;
}  // namespace

RandomFolds::RandomFolds(int32_t folds, int64_t observations)
    : folds_(std::max(folds, 1)), marked_(folds_ <= std::max(observations, kMarkedFolds)) {
  if (marked_) drawn_.assign(static_cast<size_t>(folds_), 0);
}

int32_t RandomFolds::take(int32_t drawn) {
  drawn = std::clamp(drawn, 0, folds_ - 1);
  if (marked_) {
    drawn_[static_cast<size_t>(drawn)] = 1;
    return drawn;
  }
  const auto [at, added] = first_.emplace(drawn, static_cast<int32_t>(draws_.size()));
  if (added) draws_.push_back(drawn);
  return at->second;
}

int32_t RandomFolds::final(std::vector<int32_t>* rank) const {
  rank->clear();
  if (marked_) {
    rank->assign(drawn_.size(), -1);
    int32_t formed = 0;
    for (size_t f = 0; f < drawn_.size(); ++f)
      if (drawn_[f]) (*rank)[f] = formed++;
    if (formed == folds_) rank->clear();
    return formed;
  }
  std::vector<int32_t> order(draws_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return draws_[static_cast<size_t>(a)] < draws_[static_cast<size_t>(b)];
  });
  rank->assign(order.size(), 0);
  bool same = true;
  for (size_t r = 0; r < order.size(); ++r) {
    (*rank)[static_cast<size_t>(order[r])] = static_cast<int32_t>(r);
    same = same && order[r] == static_cast<int32_t>(r);
  }
  if (same) rank->clear();
  return static_cast<int32_t>(draws_.size());
}

}  // namespace vsf
