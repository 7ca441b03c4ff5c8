// The blocks of a table: the text between two noted offsets, parsed again when read. The
// blocks read last stay parsed for the other readers, so that readers of neighbouring runs
// or of small BY groups parse a block once.
#include "host/data/table.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "frame/host/dataset.h"
#include "host/thread_start.h"

namespace vsf::host {

namespace {

// Kept blocks handed over to their last pass add up to this before the heap gives back what
// they held: their columns are many small allocations, which the heap keeps for itself when
// freed, and the rows the pass stores meanwhile are new memory.
constexpr int64_t kGiveBackBytes = int64_t{32} << 20;

void giveBackFreedMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

bool readAll(int fd, void* data, size_t n, uint64_t at) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    at += static_cast<uint64_t>(r);
  }
  return true;
}

// The memory a parsed block's values take. Its room may be larger, where it was lent by a
// bigger block; that depends on which spare a thread took, and what a hold keeps must not.
int64_t parsedBytes(const ParsedPiece& p) {
  int64_t n = 4 * static_cast<int64_t>(p.rowStarts.size());
  for (const ColumnPiece& c : p.columns)
    n += 8 * static_cast<int64_t>(c.numbers.size()) + 4 * static_cast<int64_t>(c.offsets.size()) +
         static_cast<int64_t>(c.bytes.size());
  return n;
}

std::string changedWhileRead(const std::filesystem::path& source) {
  return fmt::format("file \"{}\" changed while the step read it.", source.string());
}

int64_t modifiedTime(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

Table::~Table() {
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : helpers_) t.join();
  if (fd_ >= 0) ::close(fd_);
}

void Table::useFile(int fd, int64_t size, int64_t modified, std::vector<char> text, int cached) {
  fd_ = fd;
  size_ = size;
  modified_ = modified;
  textColumns_ = std::move(text);
  cached_ = static_cast<size_t>(std::max(1, cached));
}

int64_t Table::rowsOfBlock(int64_t k) const { return std::min(blockRows_, obs - k * blockRows_); }

bool Table::unchanged(std::string* error) const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    *error = fmt::format("file \"{}\" cannot be read ({}).", source.string(),
                         errno ? std::strerror(errno) : "it is closed");
    return false;
  }
  if (st.st_size != size_ || modifiedTime(st) != modified_) {
    *error = changedWhileRead(source);
    return false;
  }
  return true;
}

bool Table::parseBlock(int64_t k, const std::vector<char>* wanted, ParsedBlock* into,
                       std::string* error) const {
  into->index = -1;
  if (k < 0 || k >= blocks()) {
    *error = fmt::format("file \"{}\" cannot be read (no such block).", source.string());
    return false;
  }
  if (!unchanged(error)) return false;
  // Each thread keeps the room of the last block text it read.
  thread_local std::vector<char> text;
  const uint64_t from = starts_[static_cast<size_t>(k)], to = starts_[static_cast<size_t>(k) + 1];
  text.resize(static_cast<size_t>(to - from));
  if (!readAll(fd_, text.data(), text.size(), from)) {
    *error = fmt::format("file \"{}\" cannot be read ({}).", source.string(),
                         errno ? std::strerror(errno) : "it is shorter than it was");
    return false;
  }
  ParsedPiece& p = into->piece;
  parsePiece(std::string_view(text.data(), text.size()), static_cast<int>(vars.size()),
             textColumns_, &p, wanted, rowsOfBlock(k));
  // The text the import read parses to the same rows and types.
  bool same = !p.error && p.rows == rowsOfBlock(k);
  for (size_t j = 0; same && j < p.columns.size(); ++j)
    same = p.columns[j].skipped || p.columns[j].text == (textColumns_[j] == kReadTexts);
  if (!same) {
    *error = changedWhileRead(source);
    return false;
  }
  into->index = k;
  return true;
}

std::shared_ptr<const ParsedBlock> Table::cached(int64_t k) const {
  for (size_t i = cache_.size(); i-- > 0;) {
    if (cache_[i]->index != k) continue;
    std::shared_ptr<ParsedBlock> b = cache_[i];
    cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
    cache_.push_back(b);
    return b;
  }
  if (k >= 0 && k < static_cast<int64_t>(kept_.size())) return kept_[static_cast<size_t>(k)];
  return nullptr;
}

std::shared_ptr<const ParsedBlock> Table::given(std::shared_ptr<const ParsedBlock> b) const {
  if (keepMode_ == kParsedHold) {
    keepForLater(b);
  } else if (keepMode_ == kParsedHandOver && b->index >= 0 &&
             b->index < static_cast<int64_t>(kept_.size()) &&
             kept_[static_cast<size_t>(b->index)]) {
    // Its last pass: the block goes once its readers are done with it.
    handedOver_ += letGo(static_cast<size_t>(b->index));
  }
  return b;
}

int64_t Table::letGo(size_t k) const {
  const int64_t bytes = parsedBytes(kept_[k]->piece);
  keptBytes_ -= bytes;
  kept_[k].reset();
  keptAt_.erase(k);
  return bytes;
}

void Table::keepForLater(const std::shared_ptr<const ParsedBlock>& b) const {
  if (b->index < 0) return;
  const size_t k = static_cast<size_t>(b->index);
  if (k >= keepEnd_ || kept_[k]) return;
  // The blocks kept are the first in the file's order that fit, whichever reader came for
  // which first: one that does not fit lets go of those after it until it does, and where
  // even that leaves no room, nothing from it on is kept.
  const int64_t bytes = parsedBytes(b->piece);
  while (keptBytes_ + bytes > keepBudget_ && !keptAt_.empty() && *keptAt_.rbegin() > k) {
    keepEnd_ = *keptAt_.rbegin();
    letGo(keepEnd_);
  }
  if (keptBytes_ + bytes > keepBudget_) {
    keepEnd_ = k;
    return;
  }
  kept_[k] = b;
  keptAt_.insert(k);
  keptBytes_ += bytes;
}

void Table::keepParsed(int mode, int64_t budget) const {
  bool giveBack = false;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    keepMode_ = mode;
    if (mode == kParsedHandOver) return;
    // Holding starts afresh: what an earlier group's passes left goes first.
    giveBack = keptBytes_ + handedOver_ >= kGiveBackBytes;
    handedOver_ = 0;
    // Holding again keeps the list's room, emptied where it held a block: a BY step holds
    // each group's blocks, and making the list afresh cost a small group a pass over every
    // block of the data.
    for (size_t k : keptAt_) kept_[k].reset();
    keptAt_.clear();
    keptBytes_ = 0;
    if (mode == kParsedHold) {
      keepBudget_ = budget;
      kept_.resize(static_cast<size_t>(blocks()));
      keepEnd_ = kept_.size();
    } else {
      kept_.clear();
      kept_.shrink_to_fit();
      keepEnd_ = 0;
    }
  }
  if (giveBack) giveBackFreedMemory();
}

int64_t Table::keptBytes() const {
  std::lock_guard<std::mutex> lock(cacheMutex_);
  return keptBytes_;
}

std::shared_ptr<ParsedBlock> Table::spare() const {
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (!spare_.empty()) {
      std::shared_ptr<ParsedBlock> b = std::move(spare_.back());
      spare_.pop_back();
      return b;
    }
  }
  return std::make_shared<ParsedBlock>();
}

std::shared_ptr<const ParsedBlock> Table::keep(std::shared_ptr<ParsedBlock> b) const {
  std::lock_guard<std::mutex> lock(cacheMutex_);
  if (std::shared_ptr<const ParsedBlock> c = cached(b->index)) return c;
  cache_.push_back(b);
  if (cache_.size() > cached_) {
    // A block no reader holds any more lends its room to a later parse.
    if (cache_.front().use_count() == 1 && spare_.size() < cached_ / 2 + 1) {
      cache_.front()->index = -1;
      spare_.push_back(std::move(cache_.front()));
    }
    cache_.erase(cache_.begin());
  }
  return b;
}

std::shared_ptr<const ParsedBlock> Table::block(int64_t k, std::string* error) const {
  std::shared_future<std::shared_ptr<const ParsedBlock>> parsing;
  std::shared_ptr<Ahead> mine;  // asked for ahead, but no helper took it yet: parsed here
  std::shared_ptr<const ParsedBlock> hit;
  bool giveBack = false;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    hit = cached(k);
    if (hit) given(hit);
    if (handedOver_ >= kGiveBackBytes) {
      handedOver_ = 0;
      giveBack = true;
    }
    for (size_t i = 0; !hit && i < ahead_.size(); ++i) {
      const std::shared_ptr<Ahead>& a = ahead_[i];
      if (a->block != k) continue;
      if (a->taken)
        parsing = a->result;
      else
        mine = a;
      a->taken = true;
    }
  }
  if (giveBack) giveBackFreedMemory();
  // A block parsed before (recent, or kept for a later pass) is given while the file is still
  // what the import read: changed in place, it ends the step as a parse would.
  if (hit) return unchanged(error) ? hit : nullptr;
  if (parsing.valid()) {
    if (std::shared_ptr<const ParsedBlock> b = parsing.get()) {
      std::lock_guard<std::mutex> lock(cacheMutex_);
      return given(std::move(b));
    }
    // Parsed ahead without success: parse it here for the reason.
  }
  std::shared_ptr<const ParsedBlock> kept;
  std::shared_ptr<ParsedBlock> b = spare();
  if (parseBlock(k, nullptr, b.get(), error)) kept = keep(std::move(b));
  if (mine) mine->promise.set_value(kept);  // for a reader that came meanwhile
  std::lock_guard<std::mutex> lock(cacheMutex_);
  if (mine) ahead_.erase(std::find(ahead_.begin(), ahead_.end(), mine));
  return kept ? given(std::move(kept)) : nullptr;
}

void Table::prefetch(int64_t k, int most) const {
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (stopping_ || k < 0 || k >= blocks() || static_cast<int>(ahead_.size()) >= most) return;
    for (const std::shared_ptr<Ahead>& a : ahead_)
      if (a->block == k) return;
    for (const auto& c : cache_)
      if (c->index == k) return;
    if (k < static_cast<int64_t>(kept_.size()) && kept_[static_cast<size_t>(k)]) return;
    auto a = std::make_shared<Ahead>();
    a->block = k;
    a->result = a->promise.get_future().share();
    ahead_.push_back(std::move(a));
    // A helper the system will not start leaves the block to the reader that comes for it.
    if (static_cast<int>(helpers_.size()) < most) {
      helpers_.reserve(helpers_.size() + 1);
      std::thread t;
      if (startThread(&t, [this] { help(); })) helpers_.push_back(std::move(t));
    }
  }
  wake_.notify_one();
}

void Table::help() const {
  std::unique_lock<std::mutex> lock(cacheMutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      if (stopping_) return true;
      for (const std::shared_ptr<Ahead>& a : ahead_)
        if (!a->taken) return true;
      return false;
    });
    if (stopping_) return;
    std::shared_ptr<Ahead> a;
    for (const std::shared_ptr<Ahead>& w : ahead_)
      if (!w->taken) {
        a = w;
        break;
      }
    a->taken = true;
    lock.unlock();
    std::shared_ptr<const ParsedBlock> kept;
    try {
      std::shared_ptr<ParsedBlock> b = spare();
      std::string ignored;
      if (parseBlock(a->block, nullptr, b.get(), &ignored)) kept = keep(std::move(b));
    } catch (const std::bad_alloc&) {
      // No memory for the block: the reader that comes for it parses it, and fails, on the
      // step's thread.
    }
    a->promise.set_value(kept);
    lock.lock();
    ahead_.erase(std::find(ahead_.begin(), ahead_.end(), a));
  }
}

TablePos positionOf(const Table& table, int64_t obs) {
  if (obs < 0 || obs >= table.obs) return TablePos{-1, 0, table.obs};
  return TablePos{obs / table.blockRows(), static_cast<uint32_t>(obs % table.blockRows()), obs};
}

bool BlockCursor::load(int64_t block) {
  if (loaded_ >= 0 && loaded_ == block) return true;
  loaded_ = -1;
  for (int i = 1; i <= ahead_; ++i) table_->prefetch(block + i, ahead_);
  std::shared_ptr<const ParsedBlock> b = table_->block(block, &error_);
  if (!b) return false;
  shared_ = std::move(b);
  point(shared_.get());
  loaded_ = block;
  return true;
}

void BlockCursor::point(const ParsedBlock* b) {
  parsed_ = b;
  numbers_.resize(b->piece.columns.size());
  for (size_t j = 0; j < numbers_.size(); ++j) {
    const ColumnPiece& c = b->piece.columns[j];
    numbers_[j] = c.text || c.skipped ? nullptr : c.numbers.data();
  }
}

bool BlockCursor::loadColumns(int64_t block, const std::vector<int>& vars) {
  loaded_ = -1;
  std::vector<char> wanted(table_->vars.size(), 0);
  for (int var : vars) {
    if (var < 0 || static_cast<size_t>(var) >= wanted.size()) return false;
    wanted[static_cast<size_t>(var)] = 1;
  }
  if (!table_->parseBlock(block, &wanted, &own_, &error_)) return false;
  shared_.reset();
  point(&own_);
  return true;
}

TablePos BlockCursor::after(TablePos pos) const {
  if (pos.row + 1 < rows()) return TablePos{pos.block, pos.row + 1, pos.obs + 1};
  return TablePos{pos.block + 1 < table_->blocks() ? pos.block + 1 : -1, 0, pos.obs + 1};
}

}  // namespace vsf::host
