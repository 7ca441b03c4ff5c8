// An imported data set as the host reads it during the step. Its observations lie in blocks,
// each a run of `blockRows` records of the CSV text itself (the last block holds what is
// left), which a reader parses column by column when it needs them: nothing is copied or
// written beyond the blocks in use. The import checked the text, settled the types and noted
// where each block starts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
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
  // A number column the output data sets write as the file does where the shortest text of a
  // value's double would not give it back (kReadDigits).
  bool asWritten = false;
  // Of those, a column with a value whose digits its double does not hold: the line and text
  // of the first (line 0: none); whether a note has said so this step.
  int64_t inexactLine = 0;
  std::string inexactText;
  mutable bool inexactNoted = false;
};

// One block of the table, parsed.
struct ParsedBlock {
  int64_t index = -1;
  ParsedPiece piece;
};

// An imported data set: its variables and where its blocks lie in the file.
class Table {
 public:
  ~Table();
  std::string name;        // as shown: WORK.NAME or the path
  std::string reopenName;  // what open() takes to read it again
  std::filesystem::path source;
  std::vector<TableVar> vars;
  // Each variable's number by its name upper-cased: names are compared without case, and a
  // list of thousands of a wide file's names is looked up in time that grows with the list.
  std::unordered_map<std::string, int> byName;
  int64_t obs = 0;
  CsvDialect dialect;                     // the separator and decimal mark the file was read with
  RowNames rowNames = RowNames::kNone;    // how R's row names were found (kRowNamesVariable)
  std::vector<std::string> blankedNames;  // names written with blanks around them, as written

  // ---- Set up by the import ----
  // Each block holds `n` records.
  void setBlockRows(int64_t n) { blockRows_ = n > 0 ? n : 1; }
  // The offset of the next block's first record, in order; then the end of the text.
  void addBlock(uint64_t start) { starts_.push_back(start); }
  // Reads the blocks from `fd` (the table owns it; size and modified time as the import
  // found them), keeping `text` columns as texts; the `cached` blocks parsed last stay
  // parsed.
  void useFile(int fd, int64_t size, int64_t modified, std::vector<char> text, int cached);

  int64_t blockRows() const { return blockRows_; }
  int64_t blocks() const { return starts_.empty() ? 0 : int64_t(starts_.size()) - 1; }
  int64_t rowsOfBlock(int64_t k) const;
  // Block k parsed whole, shared with the other readers that ask for it while it is recent;
  // null and the reason when the text cannot be read or is no longer what the import read.
  std::shared_ptr<const ParsedBlock> block(int64_t k, std::string* error) const;
  // Block k with only the `wanted` columns parsed, into *into; false and the reason.
  bool parseBlock(int64_t k, const std::vector<char>* wanted, ParsedBlock* into,
                  std::string* error) const;
  // Has block k parsed on one of up to `most` threads of the table's own, unless it is
  // parsed or asked for already, or `most` blocks wait so. block(k) waits for a parse that
  // began, and parses the block itself when no thread has taken it yet.
  void prefetch(int64_t k, int most) const;
  // Parsed blocks kept whole between the passes of a step (kParsedHold and the other modes
  // of keepParsed). A hold keeps each block given to a reader, the first in the file's order
  // whose values fit in `budget` bytes (read under kParsedHold only).
  void keepParsed(int mode, int64_t budget) const;
  int64_t keptBytes() const;
  // The file is what the import read (its size and time of change); false and the reason.
  bool unchanged(std::string* error) const;

 private:
  int fd_ = -1;
  int64_t size_ = 0, modified_ = 0;
  int64_t blockRows_ = 0;
  std::vector<uint64_t> starts_;
  std::vector<char> textColumns_;
  size_t cached_ = 1;
  mutable std::mutex cacheMutex_;
  mutable std::vector<std::shared_ptr<ParsedBlock>> cache_;  // the most recent last
  mutable std::vector<std::shared_ptr<ParsedBlock>> spare_;  // room of blocks nobody reads
  // Under the cache's lock: the blocks kept for later passes, by index, their bytes, what
  // keepParsed asked last and the bytes it allows. What is kept is settled where a block is
  // given to a reader, never where a helper parses it, so that it follows the data and the
  // budget alone, whatever the threads' timing.
  mutable std::vector<std::shared_ptr<const ParsedBlock>> kept_;
  mutable std::set<size_t> keptAt_;  // where kept_ holds a block, in order
  mutable size_t keepEnd_ = 0;       // no block from here on is kept while this hold lasts
  mutable int64_t keptBytes_ = 0, keepBudget_ = 0;
  mutable int keepMode_ = 0;
  // Bytes of kept blocks handed over since the heap last gave freed memory back.
  mutable int64_t handedOver_ = 0;
  void keepForLater(const std::shared_ptr<const ParsedBlock>& b) const;
  int64_t letGo(size_t k) const;  // the bytes let go
  // Under the cache's lock: block b as given to a reader, kept or handed over as keepParsed
  // asked.
  std::shared_ptr<const ParsedBlock> given(std::shared_ptr<const ParsedBlock> b) const;
  // A block asked for ahead of its reader.
  struct Ahead {
    int64_t block = -1;
    std::promise<std::shared_ptr<const ParsedBlock>> promise;
    std::shared_future<std::shared_ptr<const ParsedBlock>> result;
    bool taken = false;  // its parse began: on a helper, or by a reader
  };
  // Under the cache's lock: the blocks asked for and not yet parsed, in order, and the
  // helper threads that parse them.
  mutable std::deque<std::shared_ptr<Ahead>> ahead_;
  mutable std::vector<std::thread> helpers_;
  mutable std::condition_variable wake_;
  mutable bool stopping_ = false;
  void help() const;

  // Under the cache's lock: a recent or kept block, or null.
  std::shared_ptr<const ParsedBlock> cached(int64_t k) const;
  std::shared_ptr<ParsedBlock> spare() const;
  // Keeps the parsed block among the recent ones; the block to use (another reader may have
  // kept block k meanwhile).
  std::shared_ptr<const ParsedBlock> keep(std::shared_ptr<ParsedBlock> b) const;
};

// A position in the data set: the block (-1 for none), the row within it, the observation
// (from 0).
struct TablePos {
  int64_t block = -1;
  uint32_t row = 0;
  int64_t obs = 0;
};

// The position of observation obs, the end when there is none.
TablePos positionOf(const Table& table, int64_t obs);

// Reads one block at a time; values of the loaded block's rows.
class BlockCursor {
 public:
  explicit BlockCursor(const Table* table) : table_(table) {}
  // A reader that goes through the blocks in order has the next `blocks` parsed ahead.
  void readAhead(int blocks) { ahead_ = blocks; }
  // Loads the block unless loaded; false on a read failure (error() says why).
  bool load(int64_t block);
  // Loads only the columns of `vars` of the block (the others hold nothing); for scans that
  // need a few columns of every block. A cursor used so must not also load whole blocks.
  bool loadColumns(int64_t block, const std::vector<int>& vars);
  // Why the last load failed: the end of a sentence that starts with the data set's name.
  const std::string& error() const { return error_; }
  uint32_t rows() const { return static_cast<uint32_t>(parsed_->piece.rows); }
  bool isText(int var) const { return column(var).text; }
  // A column of texts, or of numbers that keep their texts too (kReadDigits).
  bool hasTexts(int var) const { return !column(var).offsets.empty(); }
  // Every column's numbers of the loaded block, side by side for the bound reads (null for a
  // column of texts or one not parsed).
  const double* const* numbers() const { return numbers_.data(); }
  double number(int var, uint32_t row) const { return numbers_[static_cast<size_t>(var)][row]; }
  std::string_view text(int var, uint32_t row) const {
    const ColumnPiece& c = column(var);
    return std::string_view(c.bytes).substr(c.offsets[row], c.offsets[row + 1] - c.offsets[row]);
  }
  // The position after pos, whose block is loaded.
  TablePos after(TablePos pos) const;

 private:
  void point(const ParsedBlock* b);
  const ColumnPiece& column(int var) const {
    return parsed_->piece.columns[static_cast<size_t>(var)];
  }
  const Table* table_;
  int ahead_ = 0;
  const ParsedBlock* parsed_ = nullptr;
  std::vector<const double*> numbers_;
  int64_t loaded_ = -1;  // the block loaded whole, -1 for none
  std::string error_;
  // The block shared with other readers, or this cursor's own partial parse.
  std::shared_ptr<const ParsedBlock> shared_;
  ParsedBlock own_;
};

}  // namespace vsf::host
