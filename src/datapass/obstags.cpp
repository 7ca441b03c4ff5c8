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

}  // namespace vsf
