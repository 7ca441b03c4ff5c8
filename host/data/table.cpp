// Blocks of the binary copy: a head (bytes, rows, columns, the next block), one entry per
// column (offset within the block, text flag), then the columns, each starting on 8 bytes.
#include "host/data/table.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

Table::Located Table::locate(int64_t obs) const {
  std::call_once(indexed_, [this] {
    int64_t seen = 0;
    for (BlockRef b = first; b.valid() && seen < this->obs;) {
      BlockHead head;
      if (b.file >= files() || !readAll(fd(b.file), &head, sizeof head, b.offset)) break;
      index_.push_back(IndexEntry{b, seen});
      seen += head.rows;
      b = BlockRef{head.nextFile, head.nextOffset};
    }
    index_.push_back(IndexEntry{BlockRef{}, seen});  // the end
  });
  if (obs < 0 || obs >= index_.back().firstObs) return Located{};
  auto it = std::upper_bound(index_.begin(), index_.end(), obs,
                             [](int64_t o, const IndexEntry& e) { return o < e.firstObs; });
  --it;
  return Located{it->block, static_cast<uint32_t>(obs - it->firstObs)};
}

uint64_t BlockCursor::loadHeads(BlockRef block, bool whole) {
  have_ = false;
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
  offsets_.resize(head.columns);
  text_.resize(head.columns);
  const auto* heads = reinterpret_cast<const ColumnHead*>(data_.data() + sizeof head);
  for (uint32_t j = 0; j < head.columns; ++j) {
    offsets_[j] = heads[j].offset;
    text_[j] = static_cast<char>(heads[j].text != 0);
  }
  block_ = block;
  next_ = BlockRef{head.nextFile, head.nextOffset};
  rows_ = head.rows;
  return head.bytes;
}

bool BlockCursor::load(BlockRef block) {
  if (have_ && block_.file == block.file && block_.offset == block.offset) return true;
  if (loadHeads(block, true) == 0) return false;
  have_ = true;
  return true;
}

bool BlockCursor::loadColumns(BlockRef block, const std::vector<int>& vars) {
  const uint64_t bytes = loadHeads(block, false);
  if (bytes == 0) return false;
  for (int var : vars) {
    size_t j = static_cast<size_t>(var);
    if (j >= offsets_.size()) return false;
    uint64_t end = j + 1 < offsets_.size() ? offsets_[j + 1] : bytes;
    if (offsets_[j] > end || end > bytes ||
        !readAll(table_->fd(block.file), data_.data() + offsets_[j], end - offsets_[j],
                 block.offset + offsets_[j]))
      return false;
  }
  return true;
}

std::string_view BlockCursor::text(int var, uint32_t row) const {
  const char* base = data_.data() + offsets_[static_cast<size_t>(var)];
  const auto* offs = reinterpret_cast<const uint32_t*>(base);
  const char* bytes = base + (static_cast<size_t>(rows_) + 1) * 4;
  return std::string_view(bytes + offs[row], offs[row + 1] - offs[row]);
}

TablePos BlockCursor::after(TablePos pos) const {
  if (pos.row + 1 < rows_) return TablePos{pos.block, pos.row + 1, pos.obs + 1};
  return TablePos{next_, 0, pos.obs + 1};
}

}  // namespace vsf::host
