// Utility files of a BY group (striped page files of row blocks) and scratch files.
#pragma once

#include <cstdint>
#include <string>

#include "frame/host/extensions.h"

namespace vsf {

struct HostPool;
struct ExtensionSet;

struct UtilFileRecord {
  PageStream* pageFile = nullptr;
  PageDescriptor current;         // block being filled or read
  int32_t pageLength = 0;
  std::string path;               // UTILPATH directory
  void** residentBlocks = nullptr;
  int64_t pageCount = 0;
  int64_t residentCapacity = 1;
  int64_t residentCount = 0;
  uint8_t reopening = 0;
  int32_t columnCount = 0;
};

struct UtilFileArray {
  UtilFileRecord* records = nullptr;
  int32_t count = 0;
  uint32_t capacity = 0;
  uint32_t growthStep = 1;
  int32_t largestPageLength = 0;
  HostPool* pool = nullptr;
  uint32_t flags = 0;
};

struct ScratchFile {
  ScratchFileObject* file = nullptr;
  std::string path;
  bool pathFromTools = false;
};

void closeUtilFile(UtilFileRecord* record, int argument);
void closeUtilFiles(UtilFileArray* array, HostPool* pool);
void closeScratchFile(ScratchFile* file, const ExtensionSet* extensions);

}  // namespace vsf
