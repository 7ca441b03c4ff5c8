// The host's requests that call the procedure back: the sort of fixed-size records through the
// procedure's read, compare and write callbacks. Runs of at most the work size are sorted in
// memory; more than one run go to files of the host's own and are merged.
#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <queue>
#include <string>
#include <vector>

#include "frame/host/status.h"
#include "host/files.h"

namespace vsf::host {

namespace {

constexpr int64_t kMergeChunk = 4096;  // records a merge reads or writes at a time
constexpr size_t kFanIn = 64;          // runs merged at once

int failure(uint32_t status) { return static_cast<int>(status); }

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using RunFile = std::unique_ptr<std::FILE, FileCloser>;

class Sorter {
 public:
  explicit Sorter(HostCallbackRecord* r)
      : r_(r),
        bytes_(static_cast<size_t>(r->recordBytes)),
        work_(std::max<int64_t>(r->workRecords, 1)) {}

  int run() {
    std::vector<char> buffer(bytes_ * static_cast<size_t>(work_));
    std::vector<char> sorted(buffer.size());
    for (;;) {
      const int64_t n = r_->read(r_->context, buffer.data(), work_);
      if (n < 0) return static_cast<int>(n);
      if (n == 0) break;
      sortRun(buffer.data(), n, sorted.data());
      // A single run that the input ends goes straight back.
      if (runs_.empty() && n < work_) {
        const int64_t more = r_->read(r_->context, buffer.data(), work_);
        if (more < 0) return static_cast<int>(more);
        if (more == 0) return r_->write(r_->context, sorted.data(), n);
        if (int rc = spill(sorted.data(), n)) return rc;
        sortRun(buffer.data(), more, sorted.data());
        if (int rc = spill(sorted.data(), more)) return rc;
        continue;
      }
      if (int rc = spill(sorted.data(), n)) return rc;
    }
    return merge();
  }

 private:
  const char* at(const char* base, int64_t i) const {
    return base + bytes_ * static_cast<size_t>(i);
  }

  // Sorts n records into out, equal records in their input order.
  void sortRun(const char* in, int64_t n, char* out) {
    std::vector<int64_t> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int64_t a, int64_t b) {
      return r_->compare(r_->context, at(in, a), at(in, b)) < 0;
    });
    for (int64_t i = 0; i < n; ++i)
      std::memcpy(out + bytes_ * static_cast<size_t>(i), at(in, order[static_cast<size_t>(i)]),
                  bytes_);
  }

  int spill(const char* records, int64_t n) {
    std::string path;
    RunFile f(anonymousFile(&path));
    if (!f) return failure(hs::kRequestIo);
    if (std::fwrite(records, bytes_, static_cast<size_t>(n), f.get()) != static_cast<size_t>(n) ||
        std::fflush(f.get()) != 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) {
      fileFailed(path, 'w');
      return failure(hs::kRequestIo);
    }
    runs_.push_back(std::move(f));
    return 0;
  }

  // One run being merged: its buffered records and the position in them.
  struct Cursor {
    std::FILE* file = nullptr;
    std::vector<char> records;
    int64_t count = 0, next = 0;
  };

  bool refill(Cursor* c) {
    c->records.resize(bytes_ * kMergeChunk);
    c->count = static_cast<int64_t>(std::fread(c->records.data(), bytes_, kMergeChunk, c->file));
    c->next = 0;
    return c->count > 0;
  }

  // Merges the runs [first, last) into `emit`; ties go to the earlier run, so equal records keep
  // their input order.
  template <typename Emit>
  int mergeRuns(size_t first, size_t last, Emit&& emit) {
    std::vector<Cursor> cursors(last - first);
    for (size_t k = 0; k < cursors.size(); ++k) cursors[k].file = runs_[first + k].get();
    auto record = [&](size_t k) { return at(cursors[k].records.data(), cursors[k].next); };
    auto later = [&](size_t a, size_t b) {
      const int c = r_->compare(r_->context, record(a), record(b));
      return c > 0 || (c == 0 && a > b);
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heap(later);
    for (size_t k = 0; k < cursors.size(); ++k)
      if (refill(&cursors[k])) heap.push(k);
    std::vector<char> out(bytes_ * kMergeChunk);
    int64_t pending = 0;
    while (!heap.empty()) {
      const size_t k = heap.top();
      heap.pop();
      std::memcpy(out.data() + bytes_ * static_cast<size_t>(pending++), record(k), bytes_);
      if (pending == kMergeChunk) {
        if (int rc = emit(out.data(), pending)) return rc;
        pending = 0;
      }
      if (++cursors[k].next < cursors[k].count || refill(&cursors[k])) heap.push(k);
    }
    for (const Cursor& c : cursors)
      if (std::ferror(c.file)) return failure(hs::kRequestIo);
    return pending > 0 ? emit(out.data(), pending) : 0;
  }

  // Runs are merged at most kFanIn at a time (into longer runs while there are more), so that
  // the files open at once stay few whatever the number of records.
  int merge() {
    while (runs_.size() > kFanIn) {
      std::vector<RunFile> merged;
      for (size_t first = 0; first < runs_.size(); first += kFanIn) {
        std::string path;
        RunFile f(anonymousFile(&path));
        if (!f) return failure(hs::kRequestIo);
        const int rc = mergeRuns(
            first, std::min(first + kFanIn, runs_.size()), [&](const char* records, int64_t n) {
              if (std::fwrite(records, bytes_, static_cast<size_t>(n), f.get()) ==
                  static_cast<size_t>(n))
                return 0;
              fileFailed(path, 'w');
              return failure(hs::kRequestIo);
            });
        if (rc != 0) return rc;
        if (std::fflush(f.get()) != 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) {
          fileFailed(path, 'w');
          return failure(hs::kRequestIo);
        }
        merged.push_back(std::move(f));
        for (size_t k = first; k < std::min(first + kFanIn, runs_.size()); ++k) runs_[k].reset();
      }
      runs_ = std::move(merged);
    }
    return mergeRuns(0, runs_.size(), [&](const char* records, int64_t n) {
      return r_->write(r_->context, records, n);
    });
  }

  HostCallbackRecord* r_;
  size_t bytes_;
  int64_t work_;
  std::vector<RunFile> runs_;
};

}  // namespace

int runCallbackRequest(HostCallbackRecord* r) {
  if (!r || r->request != hcb::kSort || r->recordBytes <= 0 || !r->read || !r->write || !r->compare)
    return failure(hs::kBadRequest);
  return Sorter(r).run();
}

}  // namespace vsf::host
