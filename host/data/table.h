// An imported data set as the host reads it during the step. Its observations lie in blocks,
// each a run of observations, which come by one of two roads:
// - the source road: a block is a run of `blockRows` records of the CSV text itself, parsed
//   column by column when a reader needs it, so nothing is written and nothing copied beyond
//   the blocks in use; the import only checked the text and noted where the blocks start.
// - the copy road: a binary copy in the UTILPATH directory, a chain of blocks each holding a
//   run of observations column by column (numbers as doubles, texts as offsets and bytes),
//   spread over one file per import thread so that the threads write in parallel; each block
//   names the next, so walking it needs no index in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/csv_chunk.h"

namespace vsf::host {

struct TableVar {
  std::string name;
  int type = 1;    // kVarNumeric or kVarCharacter
  int length = 8;  // bytes
  // A character column whose values are mostly numbers: the line and text of the first value
  // that is not one (line 0: none).
  int64_t strayLine = 0;
  std::string strayText;
};

// Where a block is: on the copy road its file and offset (file -1 for none); on the source
// road file 0 and the block's number.
struct BlockRef {
  int32_t file = -1;
  uint64_t offset = 0;
  bool valid() const { return file >= 0; }
};

// One block of the source road, parsed.
struct SourceBlock {
  int64_t index = -1;
  ParsedPiece piece;
};

// An imported data set: its variables and where its observations are read from (the copy
// files are unlinked at creation, so they go with their descriptors whatever happens).
class Table {
 public:
  ~Table();
  std::string name;        // as shown: WORK.NAME or the path
  std::string reopenName;  // what open() takes to read it again
  std::filesystem::path source;
  std::vector<TableVar> vars;
  int64_t obs = 0;
  BlockRef first;  // the first block, none when there are no observations

  // ---- The source road ----
  // Each block holds `n` records (the last what is left).
  void setBlockRows(int64_t n) { blockRows_ = n > 0 ? n : 1; }
  // Reads the blocks from `fd` (the table owns it; size and modified time as the import
  // found them); the `cached` blocks parsed last stay parsed.
  void useSource(int fd, int64_t size, int64_t modified, int cached);
  // The offset of the next block's first record, in order; then the end of the text.
  void addSourceBlock(uint64_t start) { starts_.push_back(start); }
  // After the import: the text columns, which every parse keeps as texts.
  void setTextColumns(std::vector<char> text) { textColumns_ = std::move(text); }
  bool fromSource() const { return sourceFd_ >= 0; }
  int64_t blockRows() const { return blockRows_; }
  int64_t sourceBlocks() const { return starts_.empty() ? 0 : int64_t(starts_.size()) - 1; }
  // Block k parsed whole, shared with the other readers that ask for it while it is recent;
  // null and the reason when the text cannot be read or is no longer what the import read.
  std::shared_ptr<const SourceBlock> sourceBlock(int64_t k, std::string* error) const;
  // Block k with only the `wanted` columns parsed, into *into; false and the reason.
  bool parseSourceBlock(int64_t k, const std::vector<char>* wanted, SourceBlock* into,
                        std::string* error) const;

  // ---- The copy road ----
  // Creates the unlinked files in the directory; false when it cannot.
  bool create(const std::filesystem::path& directory, int files);
  int files() const { return static_cast<int>(fds_.size()); }
  // Bytes the piece takes as a block.
  static uint64_t blockBytes(const ParsedPiece& piece);
  // Reserves room for a block at the end of `file`.
  BlockRef reserve(int file, uint64_t bytes);
  // Writes the piece as the block at `at`, followed by `next`; false on a write failure.
  // Blocks of different files may be written at the same time.
  bool writeBlock(const ParsedPiece& piece, BlockRef at, BlockRef next) const;
  // Sets the block that follows `from`.
  bool link(BlockRef from, BlockRef next) const;
  int fd(int file) const { return fds_[static_cast<size_t>(file)]; }
  uint64_t fileEnd(int file) const { return ends_[static_cast<size_t>(file)]; }

  // Where observation obs (from 0) lies: its block and row; the block is invalid past the end or
  // when the chain cannot be read. The chain's heads are read once, on the first call.
  struct Located {
    BlockRef block;
    uint32_t row = 0;
  };
  Located locate(int64_t obs) const;
  // Every block in order with its first observation.
  struct Span {
    BlockRef block;
    int64_t firstObs = 0;
  };
  std::vector<Span> blockList() const;

 private:
  mutable std::once_flag indexed_;
  mutable std::vector<Span> index_;  // the chain's blocks, then the end

  const std::vector<Span>& chain() const;

  std::vector<int> fds_;
  std::vector<uint64_t> ends_;

  int sourceFd_ = -1;
  int64_t sourceSize_ = 0, sourceModified_ = 0;
  int64_t blockRows_ = 0;
  std::vector<uint64_t> starts_;
  std::vector<char> textColumns_;
  size_t cached_ = 0;
  mutable std::mutex cacheMutex_;
  mutable std::vector<std::shared_ptr<SourceBlock>> cache_;  // the most recent last
  mutable std::vector<std::shared_ptr<SourceBlock>> spare_;  // room of blocks nobody reads

  int64_t rowsOfBlock(int64_t k) const;
};

// A position in the data set: the block, the row within it, the observation (from 0).
struct TablePos {
  BlockRef block;
  uint32_t row = 0;
  int64_t obs = 0;
};

// Reads one block at a time; values of the loaded block's rows.
class BlockCursor {
 public:
  explicit BlockCursor(const Table* table) : table_(table) {}
  // Loads the block unless loaded; false on a read failure (error() says why).
  bool load(BlockRef block);
  // Loads only the columns of `vars` of the block (the others hold nothing); for scans that
  // need a few columns of every block. A cursor used so must not also load whole blocks.
  bool loadColumns(BlockRef block, const std::vector<int>& vars);
  // Why the last load failed: the end of a sentence that starts with the data set's name.
  const std::string& error() const { return error_; }
  uint32_t rows() const { return rows_; }
  bool isText(int var) const { return text_[static_cast<size_t>(var)] != 0; }
  double number(int var, uint32_t row) const { return numbers_[static_cast<size_t>(var)][row]; }
  std::string_view text(int var, uint32_t row) const {
    const uint32_t* offs = offsets_[static_cast<size_t>(var)];
    return std::string_view(bytes_[static_cast<size_t>(var)] + offs[row],
                            offs[row + 1] - offs[row]);
  }
  // The position after pos, whose block is loaded.
  TablePos after(TablePos pos) const;

 private:
  const Table* table_;
  // Each column's values: numbers, or text offsets and bytes.
  std::vector<const double*> numbers_;
  std::vector<const uint32_t*> offsets_;
  std::vector<const char*> bytes_;
  std::vector<char> text_;
  BlockRef block_, next_;
  uint32_t rows_ = 0;
  bool have_ = false;
  std::string error_;
  // Copy road: the block's bytes and where its columns start in them.
  std::vector<char> data_;
  std::vector<uint64_t> copyOffsets_;
  // Source road: the block shared with other readers, or this cursor's own partial parse.
  std::shared_ptr<const SourceBlock> shared_;
  SourceBlock own_;

  // Reads the block's head and column heads, or the whole block; the block's byte count, or 0
  // on a failure.
  uint64_t loadHeads(BlockRef block, bool whole);
  void pointAt(const SourceBlock& b, int64_t k);
  void pointAtCopy(uint64_t bytes);
};

}  // namespace vsf::host
