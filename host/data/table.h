// The binary copy of a data set that the host keeps in the UTILPATH directory for the step:
// a chain of blocks, each holding a run of observations column by column (numbers as
// doubles, texts as offsets and bytes). Later passes read it instead of the CSV text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/csv_chunk.h"

namespace vsf::host {

struct TableVar {
  std::string name;
  int type = 1;    // kVarNumeric or kVarCharacter
  int length = 8;  // bytes
};

// An imported data set: its variables and its binary copy (unlinked at creation, so it goes
// with the last descriptor whatever happens to the step).
class Table {
 public:
  ~Table();
  std::string name;                  // as shown: WORK.NAME or the path
  std::string reopenName;            // what open() takes to read it again
  std::filesystem::path source;
  std::vector<TableVar> vars;
  int64_t obs = 0;
  uint64_t end = 0;                  // bytes of blocks written
  int fd = -1;

  // Creates the unlinked copy in the directory; false when it cannot.
  bool create(const std::filesystem::path& directory);
  // Appends the piece as one block (nothing for an empty piece); false on a write failure.
  bool appendBlock(const ParsedPiece& piece);
};

// A position in the copy: the block's offset, the row within it, the observation (from 0).
struct TablePos {
  uint64_t block = 0;
  uint32_t row = 0;
  int64_t obs = 0;
};

// Reads one block at a time; values of the loaded block's rows.
class BlockCursor {
 public:
  explicit BlockCursor(const Table* table) : table_(table) {}
  // Loads the block at pos.block unless loaded; false on a read failure.
  bool load(uint64_t block);
  bool loaded(uint64_t block) const { return have_ && block_ == block; }
  uint32_t rows() const { return rows_; }
  uint64_t nextBlock() const { return block_ + bytes_; }
  bool isText(int var) const { return text_[static_cast<size_t>(var)] != 0; }
  double number(int var, uint32_t row) const {
    return reinterpret_cast<const double*>(data_.data() + offsets_[static_cast<size_t>(var)])[row];
  }
  std::string_view text(int var, uint32_t row) const;
  // The position after pos (not loaded).
  TablePos after(TablePos pos) const;

 private:
  const Table* table_;
  std::vector<char> data_;
  std::vector<uint64_t> offsets_;
  std::vector<char> text_;
  uint64_t block_ = 0, bytes_ = 0;
  uint32_t rows_ = 0;
  bool have_ = false;
};

}  // namespace vsf::host
