// Scratch files of a BY group or a resample record, and the positioned I/O of the result
// stream on them.
#include <fmt/format.h>

#include "base/codes.h"
#include "base/host.h"
#include "datapass/resources.h"
#include "datapass/utilfiles.h"

namespace vsf {

int openScratchFile(ScratchFile* file, const ExtensionSet* x, int number, int directoryLength,
                    const char* directory, bool resample, int* stage) {
  *file = ScratchFile();
  if (number != 0) {
    file->path = fmt::format("{}/{}_{}.utl",
                             std::string_view(directory, static_cast<size_t>(directoryLength)),
                             resample ? "resample" : "scratch", number);
  } else {
    int hrc = x->tools ? x->tools->getPathnameDirect("UTILPATH", &file->path) : -1;
    if (hrc != 0) {
      *stage = 1;
      file->path.clear();
      return hrc;
    }
    file->pathFromTools = true;
  }
  uint32_t status = 0;
  file->file =
      x->streamx ? x->streamx->open(file->path, "Scratch file for varsifter", &status) : nullptr;
  if (!file->file) {
    *stage = 2;
    return status != 0 ? static_cast<int>(status) : -1;
  }
  return 0;
}

void closeScratchFile(ScratchFile* file, const ExtensionSet* extensions) {
  if (file->file) {
    file->file->release();
    file->file = nullptr;
  }
  // A path that came from the tools names the UTILPATH directory itself: never delete that.
  if (!file->path.empty() && !file->pathFromTools && extensions->streamx)
    extensions->streamx->deleteByPath(file->path);
  file->path.clear();
  file->pathFromTools = false;
}

// The host's failure codes would read as the procedure's own (its -1 as a pool not made): a
// failed write is the I/O of a work file, a failed read a history that cannot be read back.
int streamWriteAt(ScratchFileObject* file, const void* data, int64_t length, int64_t* position) {
  if (file->seek(*position) != 0 || file->write(data, length) != 0) return rc::kPageIo;
  *position += length;
  return 0;
}

int streamReadAt(ScratchFileObject* file, void* data, int64_t length, int64_t* position) {
  if (file->seek(*position) != 0 || file->read(data, length) != 0) return rc::kHistory;
  *position += length;
  return 0;
}

}  // namespace vsf
