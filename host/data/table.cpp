// The blocks of a table. On the copy road each block is a head (bytes, rows, columns, the next
// block), one entry per column (offset within the block, text flag), then the columns, each
// starting on 8 bytes. On the source road a block is the text between two noted offsets,
// parsed again when read; the blocks read last stay parsed for the other readers.
#include "host/data/table.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace vsf::host {

namespace {

struct BlockHead {
  uint64_t bytes;
  uint32_t rows;
  uint32_t columns;
  int32_t nextFile;
  uint32_t unused;
  uint64_t nextOffset;
};
struct ColumnHead {
  uint64_t offset;
  uint64_t text;
};
static_assert(sizeof(BlockHead) == 32 && sizeof(ColumnHead) == 16);

std::atomic<int> gCopyCounter{0};
const char kZeros[8] = {};

uint64_t padded(uint64_t n) { return (n + 7) & ~uint64_t{7}; }

uint64_t columnBytes(const ColumnPiece& c) {
  return c.text ? padded(c.offsets.size() * 4 + c.bytes.size()) : c.numbers.size() * 8;
}

bool writeAll(int fd, std::vector<iovec>& iov, uint64_t at) {
  size_t first = 0;
  while (first < iov.size()) {
    int count = static_cast<int>(std::min<size_t>(iov.size() - first, IOV_MAX));
    ssize_t w = ::pwritev(fd, &iov[first], count, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    at += static_cast<uint64_t>(w);
    // Drop what was written; a short write leaves part of one entry.
    size_t left = static_cast<size_t>(w);
    while (first < iov.size() && left >= iov[first].iov_len) left -= iov[first++].iov_len;
    if (first < iov.size() && left > 0) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
      iov[first].iov_len -= left;
    }
  }
  return true;
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

}  // namespace

Table::~Table() {
  for (int fd : fds_) ::close(fd);
  if (sourceFd_ >= 0) ::close(sourceFd_);
}

void Table::useSource(int fd, int64_t size, int64_t modified, int cached) {
  sourceFd_ = fd;
  sourceSize_ = size;
  sourceModified_ = modified;
  cached_ = static_cast<size_t>(std::max(1, cached));
}

int64_t Table::rowsOfBlock(int64_t k) const { return std::min(blockRows_, obs - k * blockRows_); }

bool Table::parseSourceBlock(int64_t k, const std::vector<char>* wanted, SourceBlock* into,
                             std::string* error) const {
  struct stat st;
  if (k < 0 || k >= sourceBlocks() || ::fstat(sourceFd_, &st) != 0) {
    *error = fmt::format("file \"{}\" cannot be read ({}).", source.string(), std::strerror(errno));
    return false;
  }
  const int64_t modified =
      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  const std::string changed =
      fmt::format("file \"{}\" changed while the step read it.", source.string());
  if (st.st_size != sourceSize_ || modified != sourceModified_) {
    *error = changed;
    return false;
  }
  // Each thread keeps the room of its last block's text.
  thread_local std::vector<char> text;
  const uint64_t from = starts_[static_cast<size_t>(k)], to = starts_[static_cast<size_t>(k) + 1];
  text.resize(static_cast<size_t>(to - from));
  if (!readAll(sourceFd_, text.data(), text.size(), from)) {
    *error = fmt::format("file \"{}\" cannot be read ({}).", source.string(),
                         errno ? std::strerror(errno) : "it is shorter than it was");
    return false;
  }
  into->index = k;
  ParsedPiece& p = into->piece;
  parsePiece(std::string_view(text.data(), text.size()), static_cast<int>(vars.size()),
             textColumns_, &p, wanted);
  bool same = !p.error && p.rows == rowsOfBlock(k);
  for (size_t j = 0; same && j < p.columns.size(); ++j)
    same = p.columns[j].skipped || p.columns[j].text == (textColumns_[j] != 0);
  if (!same) {
    into->index = -1;
    *error = changed;
  }
  return same;
}

std::shared_ptr<const SourceBlock> Table::sourceBlock(int64_t k, std::string* error) const {
  std::shared_ptr<SourceBlock> b;
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    for (size_t i = cache_.size(); i-- > 0;) {
      if (cache_[i]->index != k) continue;
      b = cache_[i];
      cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
      cache_.push_back(b);
      return b;
    }
    if (!spare_.empty()) {
      b = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  if (!b) b = std::make_shared<SourceBlock>();
  if (!parseSourceBlock(k, nullptr, b.get(), error)) return nullptr;
  std::lock_guard<std::mutex> lock(cacheMutex_);
  for (const auto& c : cache_)
    if (c->index == k) return c;  // another reader parsed it meanwhile
  cache_.push_back(b);
  if (cache_.size() > cached_) {
    // A block no reader holds any more lends its room to the next parse.
    if (cache_.front().use_count() == 1 && spare_.size() < cached_ / 2 + 1) {
      cache_.front()->index = -1;
      spare_.push_back(std::move(cache_.front()));
    }
    cache_.erase(cache_.begin());
  }
  return b;
}

bool Table::create(const std::filesystem::path& directory, int files) {
  for (int k = 0; k < files; ++k) {
    std::string path =
        (directory / fmt::format("vsf_{}_{}.dsc", ::getpid(), gCopyCounter++)).string();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::unlink(path.c_str());
    fds_.push_back(fd);
    ends_.push_back(0);
  }
  return true;
}

uint64_t Table::blockBytes(const ParsedPiece& piece) {
  uint64_t n = sizeof(BlockHead) + piece.columns.size() * sizeof(ColumnHead);
  for (const ColumnPiece& c : piece.columns) n += columnBytes(c);
  return n;
}

BlockRef Table::reserve(int file, uint64_t bytes) {
  BlockRef at{file, ends_[static_cast<size_t>(file)]};
  ends_[static_cast<size_t>(file)] += bytes;
  return at;
}

bool Table::writeBlock(const ParsedPiece& piece, BlockRef at, BlockRef next) const {
  const size_t columns = piece.columns.size();
  BlockHead head{blockBytes(piece),
                 static_cast<uint32_t>(piece.rows),
                 static_cast<uint32_t>(columns),
                 next.file,
                 0,
                 next.offset};
  std::vector<ColumnHead> heads(columns);
  std::vector<iovec> iov;
  iov.reserve(2 + 3 * columns);
  iov.push_back({&head, sizeof head});
  iov.push_back({heads.data(), columns * sizeof(ColumnHead)});
  uint64_t offset = sizeof head + columns * sizeof(ColumnHead);
  for (size_t j = 0; j < columns; ++j) {
    const ColumnPiece& c = piece.columns[j];
    heads[j] = ColumnHead{offset, c.text ? 1u : 0u};
    offset += columnBytes(c);
    if (!c.text) {
      iov.push_back({const_cast<double*>(c.numbers.data()), c.numbers.size() * 8});
      continue;
    }
    iov.push_back({const_cast<uint32_t*>(c.offsets.data()), c.offsets.size() * 4});
    iov.push_back({const_cast<char*>(c.bytes.data()), c.bytes.size()});
    uint64_t n = c.offsets.size() * 4 + c.bytes.size();
    if (padded(n) > n) iov.push_back({const_cast<char*>(kZeros), padded(n) - n});
  }
  return writeAll(fd(at.file), iov, at.offset);
}

bool Table::link(BlockRef from, BlockRef next) const {
  struct {
    int32_t file;
    uint32_t unused;
    uint64_t offset;
  } link{next.file, 0, next.offset};
  std::vector<iovec> iov{{&link, sizeof link}};
  return writeAll(fd(from.file), iov, from.offset + offsetof(BlockHead, nextFile));
}

const std::vector<Table::Span>& Table::chain() const {
  std::call_once(indexed_, [this] {
    int64_t seen = 0;
    for (BlockRef b = first; b.valid() && seen < this->obs;) {
      BlockHead head;
      if (b.file >= files() || !readAll(fd(b.file), &head, sizeof head, b.offset)) break;
      index_.push_back(Span{b, seen});
      seen += head.rows;
      b = BlockRef{head.nextFile, head.nextOffset};
    }
    index_.push_back(Span{BlockRef{}, seen});  // the end
  });
  return index_;
}

Table::Located Table::locate(int64_t obs) const {
  if (fromSource()) {
    if (obs < 0 || obs >= this->obs) return Located{};
    return Located{BlockRef{0, static_cast<uint64_t>(obs / blockRows_)},
                   static_cast<uint32_t>(obs % blockRows_)};
  }
  const std::vector<Span>& index = chain();
  if (obs < 0 || obs >= index.back().firstObs) return Located{};
  auto it = std::upper_bound(index.begin(), index.end(), obs,
                             [](int64_t o, const Span& e) { return o < e.firstObs; });
  --it;
  return Located{it->block, static_cast<uint32_t>(obs - it->firstObs)};
}

std::vector<Table::Span> Table::blockList() const {
  std::vector<Span> list;
  if (fromSource()) {
    for (int64_t k = 0; k < sourceBlocks(); ++k)
      list.push_back(Span{BlockRef{0, static_cast<uint64_t>(k)}, k * blockRows_});
    return list;
  }
  list = chain();
  list.pop_back();
  return list;
}

namespace {

constexpr const char* kCopyUnreadable = "its copy in the UTILPATH directory cannot be read.";

}  // namespace

uint64_t BlockCursor::loadHeads(BlockRef block, bool whole) {
  have_ = false;
  error_ = kCopyUnreadable;
  BlockHead head;
  if (block.file < 0 || block.file >= table_->files()) return 0;
  uint64_t end = table_->fileEnd(block.file);
  if (block.offset >= end || !readAll(table_->fd(block.file), &head, sizeof head, block.offset))
    return 0;
  uint64_t least = sizeof head + uint64_t{head.columns} * sizeof(ColumnHead);
  if (head.bytes < least || block.offset + head.bytes > end) return 0;
  if (data_.size() < head.bytes) data_.resize(head.bytes);
  // A whole block comes in one read; a scan reads only the column heads now.
  const uint64_t want = whole ? head.bytes : least;
  if (!readAll(table_->fd(block.file), data_.data(), want, block.offset)) return 0;
  copyOffsets_.resize(head.columns);
  text_.resize(head.columns);
  const auto* heads = reinterpret_cast<const ColumnHead*>(data_.data() + sizeof head);
  for (uint32_t j = 0; j < head.columns; ++j) {
    copyOffsets_[j] = heads[j].offset;
    text_[j] = static_cast<char>(heads[j].text != 0);
  }
  block_ = block;
  next_ = BlockRef{head.nextFile, head.nextOffset};
  rows_ = head.rows;
  pointAtCopy(head.bytes);
  return head.bytes;
}

void BlockCursor::pointAtCopy(uint64_t bytes) {
  const std::vector<uint64_t>& offsets = copyOffsets_;
  const size_t n = offsets.size();
  numbers_.assign(n, nullptr);
  offsets_.assign(n, nullptr);
  bytes_.assign(n, nullptr);
  for (size_t j = 0; j < n; ++j) {
    if (offsets[j] >= bytes) continue;
    const char* base = data_.data() + offsets[j];
    numbers_[j] = reinterpret_cast<const double*>(base);
    offsets_[j] = reinterpret_cast<const uint32_t*>(base);
    bytes_[j] = base + (static_cast<size_t>(rows_) + 1) * 4;
  }
}

void BlockCursor::pointAt(const SourceBlock& b, int64_t k) {
  const size_t n = b.piece.columns.size();
  numbers_.assign(n, nullptr);
  offsets_.assign(n, nullptr);
  bytes_.assign(n, nullptr);
  text_.assign(n, 0);
  for (size_t j = 0; j < n; ++j) {
    const ColumnPiece& c = b.piece.columns[j];
    text_[j] = c.text;
    numbers_[j] = c.numbers.data();
    offsets_[j] = c.offsets.data();
    bytes_[j] = c.bytes.data();
  }
  rows_ = static_cast<uint32_t>(b.piece.rows);
  block_ = BlockRef{0, static_cast<uint64_t>(k)};
  next_ = k + 1 < table_->sourceBlocks() ? BlockRef{0, static_cast<uint64_t>(k) + 1} : BlockRef{};
}

bool BlockCursor::load(BlockRef block) {
  if (have_ && block_.file == block.file && block_.offset == block.offset) return true;
  if (table_->fromSource()) {
    have_ = false;
    const auto k = static_cast<int64_t>(block.offset);
    std::shared_ptr<const SourceBlock> b =
        block.valid() ? table_->sourceBlock(k, &error_) : nullptr;
    if (!b) return false;
    shared_ = std::move(b);
    pointAt(*shared_, k);
    have_ = true;
    return true;
  }
  if (loadHeads(block, true) == 0) return false;
  have_ = true;
  return true;
}

bool BlockCursor::loadColumns(BlockRef block, const std::vector<int>& vars) {
  if (table_->fromSource()) {
    have_ = false;
    std::vector<char> wanted(table_->vars.size(), 0);
    for (int var : vars) {
      if (var < 0 || static_cast<size_t>(var) >= wanted.size()) return false;
      wanted[static_cast<size_t>(var)] = 1;
    }
    const auto k = static_cast<int64_t>(block.offset);
    if (!block.valid() || !table_->parseSourceBlock(k, &wanted, &own_, &error_)) return false;
    shared_.reset();
    pointAt(own_, k);
    return true;
  }
  const uint64_t bytes = loadHeads(block, false);
  if (bytes == 0) return false;
  const std::vector<uint64_t>& starts = copyOffsets_;
  for (int var : vars) {
    size_t j = static_cast<size_t>(var);
    if (j >= starts.size()) return false;
    uint64_t end = j + 1 < starts.size() ? starts[j + 1] : bytes;
    if (starts[j] > end || end > bytes ||
        !readAll(table_->fd(block.file), data_.data() + starts[j], end - starts[j],
                 block.offset + starts[j]))
      return false;
  }
  return true;
}

TablePos BlockCursor::after(TablePos pos) const {
  if (pos.row + 1 < rows_) return TablePos{pos.block, pos.row + 1, pos.obs + 1};
  return TablePos{next_, 0, pos.obs + 1};
}

}  // namespace vsf::host
