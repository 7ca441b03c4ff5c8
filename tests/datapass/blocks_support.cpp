#include "datapass/blocks_support.h"

#include "base/host.h"
#include "datapass/rowblock.h"

namespace vsf::test {

Blocks::Blocks(int files, int64_t resident, int rows, int pageSizeKb, int workers, int width)
    : GroupState(workers) {
  VsfState& s = *v;
  (void)createUtilFileArray(&s.group.utilFiles, s.group.byPool, files, 1, kAllocZero);
  for (int i = 0; i < files; ++i) {
    UtilFileRecord* r = nullptr;
    (void)addUtilFile(&s.group.utilFiles, &s.res.extensions, pageSizeKb, 8 * width + 4, &r);
    r->pageFile = new FaultyStream(r->pageFile);
    streams.push_back(static_cast<FaultyStream*>(r->pageFile));
    r->residentCapacity = resident;
  }
  RowBlockWriter w{&s.group.utilFiles, s.group.pagePool};
  std::vector<double> values(width);
  for (int i = 0; i < rows; ++i) {
    values[0] = i;
    for (int j = 1; j < width; ++j) values[j] = i + 1.0 / (j + 1);
    int32_t tag = i;
    (void)appendRow(&w, values.data(), width, &tag, 1, true);
  }
  (void)finishRows(&w);
  blocks = w.block;
  // With write-back: the tests rewrite rows.
  (void)reopenUtilFiles(&s.group.utilFiles, rows, true, false, &s.stepCode);
  s.group.selection.modelPool = kernel().poolCreate("model pool", kPoolPlain);
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
