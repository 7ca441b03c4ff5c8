#include "frame/utilfiles.h"

#include "frame/module.h"
#include "frame/state.h"

namespace vsf {

void closeUtilFile(UtilFileRecord* record, int argument) {
  if (record->pageFile) {
    // A file closed while it was being reopened is discarded, not committed.
    if (record->reopening)
      record->pageFile->discard(argument);
    else
      record->pageFile->commit(1);
    record->pageFile->release();
    record->pageFile = nullptr;
  }
  record->path.clear();
}

void closeUtilFiles(UtilFileArray* array, HostPool* pool) {
  if (!array->records) return;
  for (int32_t i = 0; i < array->count; ++i) {
    closeUtilFile(&array->records[i], 0);
    array->records[i].~UtilFileRecord();
  }
  if (array->pool) kernel().poolFree(array->pool, array->records);
  array->records = nullptr;
  array->capacity = 0;
  array->count = 0;
}

void closeScratchFile(ScratchFile* file, const ExtensionSet* extensions) {
  if (file->file) {
    file->file->release();
    file->file = nullptr;
  }
  if (!file->path.empty() && extensions->streamx) extensions->streamx->deleteByPath(file->path);
  file->path.clear();
  file->pathFromTools = false;
}

}  // namespace vsf
