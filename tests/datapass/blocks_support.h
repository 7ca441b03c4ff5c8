// Test support: utility files filled with numbered rows, and a page file whose operations
// can be made to fail.
#pragma once

#include <memory>
#include <vector>

#include "common/group_support.h"
#include "datapass/pass.h"
#include "datapass/utilfiles.h"
#include "frame/state.h"
#include "statements/settings.h"

namespace vsf::test {

// Forwards to a real page file; the marked operations fail.
class FaultyStream final : public PageStream {
 public:
  explicit FaultyStream(PageStream* inner) : inner_(inner) {}
  bool failWrite = false, failRead = false, failCommit = false, failOpen = false;
  int commits = 0, writes = 0;
  void setPath(std::string_view d) override { inner_->setPath(d); }
  void fillDefaults() override { inner_->fillDefaults(); }
  int defaultPageSize() const override { return inner_->defaultPageSize(); }
  int largerPageSize() const override { return inner_->largerPageSize(); }
  int largestPageSize() const override { return inner_->largestPageSize(); }
  void setAttributes(int p, int c) override { inner_->setAttributes(p, c); }
  void setOpenFields(int m, int a, int w) override { inner_->setOpenFields(m, a, w); }
  int open() override { return failOpen ? -1 : inner_->open(); }
  int pageLength() const override { return inner_->pageLength(); }
  void* newPageBuffer() override { return inner_->newPageBuffer(); }
  int readPage(PageDescriptor* b) override { return failRead ? -1 : inner_->readPage(b); }
  int writePage(const PageDescriptor* b) override {
    ++writes;
    return failWrite ? -1 : inner_->writePage(b);
  }
  void releasePageBuffer(PageDescriptor* b) override { inner_->releasePageBuffer(b); }
  int commit(int closing) override {
    if (!closing) ++commits;
    return failCommit && !closing ? -1 : inner_->commit(closing);
  }
  void discard(int a) override { inner_->discard(a); }
  void release() override {
    inner_->release();
    delete this;
  }

 private:
  PageStream* inner_;
};

// A BY group's utility files with rows of `width` doubles (the row's number, then the row's
// number plus 1/(j + 1) for value j) and one tag (the row's number too); every page file is
// wrapped in a FaultyStream.
struct Blocks : GroupState {
  VsfState* v = state_.get();
  std::vector<FaultyStream*> streams;
  int64_t blocks = 0;
  Blocks(int files, int64_t resident, int rows, int pageSizeKb = 1, int workers = 1, int width = 1);
  UtilFileArray& files() { return v->group.utilFiles; }
  // The first row's value of every block, visited in file order (resident, then pages).
  std::vector<double> firstValues();
};

// Rows per block of one double and one tag in pages of 1 KB: (1024 - 8) / 12.
constexpr int kRowsPerBlock = 84;

}  // namespace vsf::test
