// Imports a CSV file: one threaded parse of the text, in batches, so memory stays bounded by
// the batch size whatever the number of rows. The parse settles the variables' types and
// lengths and checks every record; the table then reads its blocks from the text itself.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "host/data/table.h"

namespace vsf::host {

struct ImportSettings {
  std::filesystem::path utilDirectory;  // where a file not separated by commas is rewritten
  int threads = 1;
  size_t pieceBytes = size_t{4} << 20;       // text one thread parses at a time
  size_t smallestPiece = size_t{256} << 10;  // less text is not worth another thread
  size_t longestRow = size_t{256} << 20;     // a longer row is refused (an open quote, mostly)
  size_t blockBytes = size_t{1} << 20;       // text of one block of the table
  size_t countSlice = size_t{256} << 10;     // text read and its quotes counted at once
  // A piece keeps a state per column: a wide file's batch is cut into fewer pieces, whose
  // states take at most this.
  size_t pieceStates = size_t{32} << 20;
};

// Reads `source` into a new table; null and the error's text when the file cannot be read
// or is not a valid CSV file.
std::unique_ptr<Table> importCsv(const std::filesystem::path& source, const ImportSettings& s,
                                 std::string* error);

}  // namespace vsf::host
