// The binary copy of a data set that the host keeps in the UTILPATH directory for the step:
// a chain of blocks, each holding a run of observations column by column (numbers as
// doubles, texts as offsets and bytes). Later passes read it instead of the CSV text. The
// copy spreads over one file per import thread, so the threads write in parallel; each block
// names the next, so walking it needs no index in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/csv_chunk.h"
#include "host/data/csv_dialect.h"
#include "host/data/header_names.h"

namespace vsf::host {

// The name given to a column of R's row names, which has no name of its own.
inline constexpr const char* kRowNamesVariable = "_ROWNAME_";

struct TableVar {
  std::string name;
  std::string writtenName;  // the name on the first line when it was too long and was cut
  int type = 1;             // kVarNumeric or kVarCharacter
  int length = 8;           // bytes
  // A character column whose values are mostly numbers: the line and text of the first value
  // that is not one (line 0: none).
  int64_t strayLine = 0;
  std::string strayText;
  bool strayPoint = false;  // it is a number with a decimal point in a decimal-comma file
};

// Where a block is: its file and offset; file -1 for none.
struct BlockRef {
  int32_t file = -1;
  uint64_t offset = 0;
  bool valid() const { return file >= 0; }
};

// An imported data set: its variables and its binary copy (unlinked at creation, so the
// files go with their descriptors whatever happens to the step).
class Table {
 public:
  ~Table();
  std::string name;        // as shown: WORK.NAME or the path
  std::string reopenName;  // what open() takes to read it again
  std::filesystem::path source;
  std::vector<TableVar> vars;
  int64_t obs = 0;
  CsvDialect dialect;                   // the separator and decimal mark the file was read with
  RowNames rowNames = RowNames::kNone;  // how R's row names were found (kRowNamesVariable)
  BlockRef first;                       // the first block, none when there are no observations

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

 private:
  // Per block of the chain: where it is and its first observation.
  struct IndexEntry {
    BlockRef block;
    int64_t firstObs = 0;
  };
  mutable std::once_flag indexed_;
  mutable std::vector<IndexEntry> index_;

  std::vector<int> fds_;
  std::vector<uint64_t> ends_;
};

// A position in the copy: the block, the row within it, the observation (from 0).
struct TablePos {
  BlockRef block;
  uint32_t row = 0;
  int64_t obs = 0;
};

// Reads one block at a time; values of the loaded block's rows.
class BlockCursor {
 public:
  explicit BlockCursor(const Table* table) : table_(table) {}
  // Loads the block unless loaded; false on a read failure.
  bool load(BlockRef block);
  // Loads only the columns of `vars` of the block (the others hold nothing); for scans that
  // need a few columns of every block. A cursor used so must not also load whole blocks.
  bool loadColumns(BlockRef block, const std::vector<int>& vars);
  uint32_t rows() const { return rows_; }
  bool isText(int var) const { return text_[static_cast<size_t>(var)] != 0; }
  double number(int var, uint32_t row) const {
    return reinterpret_cast<const double*>(data_.data() + offsets_[static_cast<size_t>(var)])[row];
  }
  std::string_view text(int var, uint32_t row) const;
  // The position after pos, whose block is loaded.
  TablePos after(TablePos pos) const;

 private:
  const Table* table_;
  std::vector<char> data_;
  std::vector<uint64_t> offsets_;
  std::vector<char> text_;
  BlockRef block_, next_;
  uint32_t rows_ = 0;
  bool have_ = false;

  // Reads the block's head and column heads, or the whole block; the block's byte count, or 0
  // on a failure.
  uint64_t loadHeads(BlockRef block, bool whole);
};

}  // namespace vsf::host
