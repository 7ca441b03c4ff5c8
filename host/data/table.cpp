// Blocks of the binary copy: a head (bytes, rows, columns), one entry per column (offset
// within the block, text flag), then the columns, each starting on 8 bytes.
#include "host/data/table.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include <fmt/format.h>

namespace vsf::host {

namespace {

struct BlockHead {
  uint64_t bytes;
  uint32_t rows;
  uint32_t columns;
};
struct ColumnHead {
  uint64_t offset;
  uint64_t text;
};
static_assert(sizeof(BlockHead) == 16 && sizeof(ColumnHead) == 16);

std::atomic<int> gCopyCounter{0};
const char kZeros[8] = {};

uint64_t padded(uint64_t n) { return (n + 7) & ~uint64_t{7}; }

bool writeAll(int fd, std::vector<iovec>& iov, uint64_t at) {
  size_t first = 0;
  while (first < iov.size()) {
    int count = static_cast<int>(std::min<size_t>(iov.size() - first, IOV_MAX));
    ssize_t w = ::pwritev(fd, &iov[first], count, static_cast<off_t>(at));
    if (w < 0) return false;
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
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    at += static_cast<uint64_t>(r);
  }
  return true;
}

}  // namespace

Table::~Table() {
  if (fd >= 0) ::close(fd);
}

bool Table::create(const std::filesystem::path& directory) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  std::string path =
      (directory / fmt::format("vsf_{}_{}.dsc", ::getpid(), gCopyCounter++)).string();
  fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  ::unlink(path.c_str());
  return true;
}

bool Table::appendBlock(const ParsedPiece& piece) {
  if (piece.rows == 0) return true;
  const size_t columns = piece.columns.size();
  BlockHead head{0, static_cast<uint32_t>(piece.rows), static_cast<uint32_t>(columns)};
  std::vector<ColumnHead> heads(columns);
  std::vector<iovec> iov;
  iov.reserve(2 + 3 * columns);
  iov.push_back({&head, sizeof head});
  iov.push_back({heads.data(), columns * sizeof(ColumnHead)});
  uint64_t at = sizeof head + columns * sizeof(ColumnHead);
  for (size_t j = 0; j < columns; ++j) {
    const ColumnPiece& c = piece.columns[j];
    heads[j] = ColumnHead{at, c.text ? 1u : 0u};
    if (!c.text) {
      iov.push_back({const_cast<double*>(c.numbers.data()), c.numbers.size() * 8});
      at += c.numbers.size() * 8;
      continue;
    }
    iov.push_back({const_cast<uint32_t*>(c.offsets.data()), c.offsets.size() * 4});
    iov.push_back({const_cast<char*>(c.bytes.data()), c.bytes.size()});
    uint64_t n = c.offsets.size() * 4 + c.bytes.size();
    if (padded(n) > n) iov.push_back({const_cast<char*>(kZeros), padded(n) - n});
    at += padded(n);
  }
  head.bytes = at;
  if (!writeAll(fd, iov, end)) return false;
  end += at;
  obs += piece.rows;
  return true;
}

bool BlockCursor::load(uint64_t block) {
  if (loaded(block)) return true;
  have_ = false;
  BlockHead head;
  if (block >= table_->end || !readAll(table_->fd, &head, sizeof head, block)) return false;
  if (head.bytes < sizeof head || block + head.bytes > table_->end) return false;
  if (data_.size() < head.bytes) data_.resize(head.bytes);
  if (!readAll(table_->fd, data_.data(), head.bytes, block)) return false;
  offsets_.resize(head.columns);
  text_.resize(head.columns);
  const auto* heads = reinterpret_cast<const ColumnHead*>(data_.data() + sizeof head);
  for (uint32_t j = 0; j < head.columns; ++j) {
    offsets_[j] = heads[j].offset;
    text_[j] = static_cast<char>(heads[j].text != 0);
  }
  block_ = block;
  bytes_ = head.bytes;
  rows_ = head.rows;
  have_ = true;
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
  return TablePos{nextBlock(), 0, pos.obs + 1};
}

}  // namespace vsf::host
