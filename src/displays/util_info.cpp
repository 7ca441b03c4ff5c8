// UtilInfo: the utility files a BY group's rows were written to.
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

// Not timed: it reports on the data pass, not on the displays.
int printUtilInfo(StepView* s) {
  struct Row {
    int32_t file = 0, buffers = 0, pages = 0, pageSize = 0, fileSize = 0;
  } r;
  DataTable t(&s->output);
  t.create("UtilInfo");
  t.column(ctype::kInt, "UtilFile", &r.file);
  t.column(ctype::kInt, "NumBuffers", &r.buffers);
  t.column(ctype::kInt, "NumPages", &r.pages);
  t.column(ctype::kInt, "PageSize", &r.pageSize);
  t.column(ctype::kInt, "FileSize", &r.fileSize);
  t.endColumns();
  t.bind("Stat.VARSIFTER.UtilInfo");
  const UtilFileArray& files = s->group.utilFiles;
  for (int32_t i = 0; i < files.count && files.records; ++i) {
    const UtilFileRecord& f = files.records[i];
    r.file = i;
    r.buffers = f.pageBuffer ? 1 : 0;
    r.pages = static_cast<int32_t>(f.pageCount & 0xFFFFFFFF);
    r.pageSize = f.pageLength / 1024;
    r.fileSize = static_cast<int32_t>(r.pageSize * f.pageCount);
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

}  // namespace vsf
