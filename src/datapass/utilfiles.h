// Utility files of a BY group (striped page files of row blocks) and scratch files.
//
// Block k of a group (counted from 0) belongs to file k mod n as that file's local block
// j = k div n. Local blocks below the file's resident capacity stay in memory (PAGE pool);
// local block j at or beyond it is page j - resident capacity + 1 of the file.
#pragma once

#include <cstdint>
#include <string>

#include "frame/host/extensions.h"

namespace vsf {

struct HostPool;
struct ExtensionSet;

struct UtilFileRecord {
  PageStream* pageFile = nullptr;
  PageDescriptor current;  // block being filled (data pass)
  int32_t pageLength = 0;
  std::string path;                 // UTILPATH directory
  void** residentBlocks = nullptr;  // one pointer per block kept in memory
  int64_t residentSlots = 0;        // pointers residentBlocks has room for
  int64_t pageCount = 0;            // last page number written
  int64_t residentCapacity = 1;     // blocks of this file kept in memory
  int64_t residentCount = 0;
  uint8_t reopening = 0;       // a close while set discards the file
  int32_t columnCount = 0;     // design columns of the largest group model
  void* pageBuffer = nullptr;  // the stream's buffer for paged blocks of this file
};

struct UtilFileArray {
  UtilFileRecord* records = nullptr;
  int32_t count = 0;
  uint32_t capacity = 0;
  uint32_t growthStep = 1;
  int32_t largestPageLength = 0;
  HostPool* pool = nullptr;
  uint32_t flags = 0;
  uint8_t rowsKept = 0;  // every file holds a copy of its blocks past them (keepStoredRows)
  // The buffers of the last threaded pass (from `pool`): its ordered sum's waiting slots, or,
  // summed by columns, its sum, its rows' values and its workers' buffers; kept for the next
  // pass: made afresh for each, their pages were faulted in each time (blocksum.cpp).
  double* passSlots = nullptr;
  size_t passSlotBytes = 0;
};

struct ScratchFile {
  ScratchFileObject* file = nullptr;
  std::string path;
  bool pathFromTools = false;
};

// Where block k lives: its file and the file's local block number.
inline int32_t blockFile(const UtilFileArray* a, int64_t k) {
  return static_cast<int32_t>(k % a->count);
}
inline int64_t blockLocal(const UtilFileArray* a, int64_t k) { return k / a->count; }

// 0 or rc::kMemory.
[[nodiscard]] int createUtilFileArray(UtilFileArray* array, HostPool* pool, uint32_t capacity,
                                      uint32_t growthStep, uint32_t flags);
// Opens one more utility file; 0, rc::kMemory or rc::kUtilFileOpen (after its log line and message
// 848/214).
[[nodiscard]] int addUtilFile(UtilFileArray* array, const ExtensionSet* extensions,
                              int32_t pageSizeKb, int32_t rowSizeHint, UtilFileRecord** out);
// Host code of the open (0 success); *stage is 1 for the path lookup, 2 for the open.
[[nodiscard]] int openUtilFile(UtilFileRecord* record, const ExtensionSet* extensions,
                               int32_t pageSizeKb, int32_t rowSizeHint, int* stage);
void closeUtilFile(UtilFileRecord* record, int argument);
void closeUtilFiles(UtilFileArray* array, HostPool* pool);

// Makes block k the current block of its file, cleared; returns its start (the row count
// slot), the first row byte and the end of its tag area. A resident block takes *page (a
// zeroed page of the file's length from `pool`) when given, and clears *page. 0, rc::kMemory
// (resident block refused) or rc::kPageIo (no page buffer).
[[nodiscard]] int seekUtilPage(UtilFileArray* array, int64_t k, HostPool* pool, char** blockStart,
                               char** rowStart, char** tagEnd, void** page = nullptr);
// Ends block k: a paged block is written to its page (rc::kBlockWrite after message
// 848/139 when refused), a resident one is kept in its file's list. 0 on success.
[[nodiscard]] int endUtilBlock(UtilFileArray* array, int64_t k);
void fillDoubles(double value, double* array, int64_t n);

// Switches the files that hold pages from writing to reading after the data pass. 0,
// rc::kUtilCommit (flush refused: 848/264) or rc::kUtilReopen (reopen refused: 848/265); either
// raises the step code to at least step::kHistory.
[[nodiscard]] int reopenUtilFiles(UtilFileArray* array, double rowsStored, bool writeBack,
                                  bool randomAccess, int* stepCode);

// Scratch files: with a nonzero number the file is "<directory>/scratch_<n>.utl" (or
// "resample_<n>.utl"), with 0 its path is UTILPATH itself. Host code; *stage 1 path, 2 open.
[[nodiscard]] int openScratchFile(ScratchFile* file, const ExtensionSet* extensions, int number,
                                  int directoryLength, const char* directory, bool resample,
                                  int* stage);
void closeScratchFile(ScratchFile* file, const ExtensionSet* extensions);
// Positioned I/O: seek to *position, move length bytes, then advance *position (a read only
// when it succeeded). 0, rc::kPageIo when a write fails or rc::kHistory when a read does.
[[nodiscard]] int streamWriteAt(ScratchFileObject* file, const void* data, int64_t length,
                                int64_t* position);
[[nodiscard]] int streamReadAt(ScratchFileObject* file, void* data, int64_t length,
                               int64_t* position);

}  // namespace vsf
