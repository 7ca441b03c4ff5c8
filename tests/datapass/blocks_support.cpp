#include "datapass/blocks_support.h"

#include "base/host.h"
#include "common/test_host.h"
#include "datapass/rowblock.h"
#include "frame/phases.h"
#include "selection/selection.h"

namespace vsf::test {

Blocks::Blocks(int files, int64_t resident, int rows, int pageSizeKb, int workers) {
  ensureHost();
  VsfState& s = *v;
  ExtensionSet& x = s.res.extensions;
  x.kernel = &kernel();
  x.stream = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  x.tools = dynamic_cast<HxTools*>(kernel().extensionLoad("hxtools"));
  s.group.byPool = kernel().poolCreate("VARSIFTER BY POOL", kPoolPlain);
  s.group.pagePool = kernel().poolCreate("VARSIFTER PAGE POOL", kPoolPage);
  (void)createUtilFileArray(&s.group.utilFiles, s.group.byPool, files, 1, kAllocZero);
  for (int i = 0; i < files; ++i) {
    UtilFileRecord* r = nullptr;
    (void)addUtilFile(&s.group.utilFiles, &x, pageSizeKb, 12, &r);
    r->pageFile = new FaultyStream(r->pageFile);
    streams.push_back(static_cast<FaultyStream*>(r->pageFile));
    r->residentCapacity = resident;
  }
  RowBlockWriter w{&s.group.utilFiles, s.group.pagePool};
  for (int i = 0; i < rows; ++i) {
    double value = i;
    int32_t tag = i;
    (void)appendRow(&w, &value, 1, &tag, 1);
  }
  (void)finishRows(&w);
  blocks = w.block;
  (void)reopenUtilFiles(&s.group.utilFiles, rows, false, false, &s.stepCode);
  s.settings.threads.effectiveThreaded = workers > 1;
  s.settings.threads.effectiveWorkers = workers;
  if (workers > 1) (void)createThreadPool(&s, workers);
  SelectionState& sel = s.group.selection;
  sel.utilFiles = &s.group.utilFiles, sel.threads = &s.settings.threads, sel.puddle = &s.res.puddle;
  sel.options = &s.settings.options, sel.stepCode = &s.stepCode;
  sel.modelPool = kernel().poolCreate("model pool", kPoolPlain);
}

Blocks::~Blocks() {
  VsfState& s = *v;
  destroyThreadPool(&s);
  freeSelectionState(&s.group.selection);
  closeUtilFiles(&s.group.utilFiles, s.group.byPool);
  kernel().poolDestroy(s.group.byPool);
  kernel().poolDestroy(s.group.pagePool);
  s.res.extensions.stream->release();
  s.res.extensions.tools->release();
}

std::vector<double> Blocks::firstValues() {
  std::vector<double> out;
  for (int32_t i = 0; i < v->group.utilFiles.count; ++i) {
    UtilFileRecord& r = v->group.utilFiles.records[i];
    for (int64_t b = 0; b < r.residentCount; ++b)
      out.push_back(static_cast<double*>(r.residentBlocks[b])[1]);
    for (int64_t p = 1; p <= r.pageCount; ++p) {
      PageDescriptor d{p, nullptr};
      if (r.pageFile->readPage(&d) != 0) {
        out.push_back(-1);
        continue;
      }
      out.push_back(static_cast<double*>(d.buffer)[1]);
      r.pageFile->releasePageBuffer(&d);
    }
  }
  return out;
}

}  // namespace vsf::test
