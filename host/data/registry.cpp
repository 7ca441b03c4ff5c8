// The data sets of the current step and the step's binary copies. Everything left at the
// end of a step is closed here: unclosed outputs are discarded, copies deleted.
#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "host/data/csv_import.h"
#include "host/data/data.h"
#include "host/data/dataset_internal.h"
#include "host/data/parallel.h"
#include "host/extensions.h"
#include "host/session.h"

namespace vsf::host {

namespace {

struct CachedTable {
  std::shared_ptr<const Table> table;
  int64_t size = 0;
  int64_t modified = 0;  // nanoseconds
};

std::mutex gMutex;
std::vector<HostDataSet*> gOpen;
std::map<std::string, CachedTable> gTables;  // by the file's absolute path

bool fileStamp(const std::filesystem::path& p, int64_t* size, int64_t* modified) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return false;
  *size = st.st_size;
  *modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

std::string tableKey(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::path a = std::filesystem::absolute(p, ec);
  return (ec ? p : a).lexically_normal().string();
}

}  // namespace

void registerDataSet(HostDataSet* ds) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpen.push_back(ds);
}

void forgetDataSet(HostDataSet* ds) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpen.erase(std::remove(gOpen.begin(), gOpen.end(), ds), gOpen.end());
}

void detachSource(HostDataSet* source) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (HostDataSet* ds : gOpen)
    if (OutputDataSet* out = asOutput(ds))
      for (OutVar& v : out->vars)
        if (v.source == source) v.source = nullptr;
}

std::shared_ptr<const Table> stepTable(const DataSetName& name, std::string* error) {
  int64_t size = 0, modified = 0;
  if (!fileStamp(name.path, &size, &modified)) {
    *error = "Data set " + name.shown + " does not exist (no file \"" + name.path.string() + "\").";
    return nullptr;
  }
  std::string key = tableKey(name.path);
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTables.find(key);
  if (it != gTables.end() && it->second.size == size && it->second.modified == modified)
    return it->second.table;
  ImportSettings settings;
  settings.threads = dataThreads(size, static_cast<int64_t>(settings.smallestPiece));
  // The text of a block read again: small beside the memory the step may use, as every
  // thread holds one and the table keeps a few parsed.
  settings.blockBytes = static_cast<size_t>(
      std::clamp<int64_t>(memoryAvailable() / (64 * settings.threads), 4 << 10, 1 << 20));
  std::unique_ptr<Table> table = importCsv(name.path, settings, error);
  if (!table) return nullptr;
  table->name = name.shown;
  table->reopenName = name.reopen;
  for (const TableVar& v : table->vars)
    if (v.strayLine > 0)
      session().log.write(
          "NOTE", fmt::format("Variable {} of data set {} is read as character because some of "
                              "its values are not numbers; the first is \"{}\" on line {} of "
                              "{}. A missing value is written \".\", NA or as an empty field.",
                              v.name, name.shown, v.strayText, v.strayLine, name.path.string()));
  std::shared_ptr<const Table> shared(std::move(table));
  gTables[key] = CachedTable{shared, size, modified};
  return shared;
}

void forgetTable(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gTables.erase(tableKey(path));
}

void closeStepDataSets() {
  std::vector<HostDataSet*> open;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    open.swap(gOpen);
  }
  // Outputs first: an output may still point at an input it carries values from.
  std::stable_partition(open.begin(), open.end(),
                        [](const HostDataSet* ds) { return ds->direction == kDsOutput; });
  for (HostDataSet* ds : open) delete ds;
  std::lock_guard<std::mutex> lock(gMutex);
  gTables.clear();
}

}  // namespace vsf::host
