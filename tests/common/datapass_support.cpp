#include "common/datapass_support.h"

#include <cstring>

#include "base/host.h"
#include "common/fake_host.h"
#include "common/test_host.h"
#include "datapass/rowblock.h"
#include "selection/selection.h"

namespace vsf::test {

namespace {

std::function<void(VsfState&)> gInspect;
int32_t gInspectedGroup = 0;

// The driver reads the clock right after a group's data pass, while the group's utility files
// are open; that is where the inspection runs, once per group.
double inspectingClock() {
  auto* s = static_cast<VsfState*>(host::session().procContext);
  if (s && gInspect && s->group.utilFiles.count > 0 && s->byGroupCount != gInspectedGroup) {
    gInspectedGroup = s->byGroupCount;
    gInspect(*s);
  }
  return host::hostVector()->core->clock();
}

struct Shape {
  int lead = 0, fixed = 0;
  bool fold = false, held = false, role = false, weight = false, freq = false, resample = false;
};

Shape shapeOf(const VsfState& s) {
  const SelectionOptions& o = s.settings.options;
  Shape h;
  h.weight = o.weightPresent, h.freq = o.freqPresent, h.resample = o.modelAveragingRun;
  h.lead = h.weight + h.freq + h.resample;
  h.fold = o.kfold, h.held = o.externalCv, h.role = o.rolesPresent;
  h.fixed = h.fold + h.held + h.role;
  return h;
}

void parseBlock(const VsfState& s, const char* bytes, int32_t length, std::vector<StoredRow>* out) {
  const SelectionState& sel = s.group.selection;
  const Shape h = shapeOf(s);
  const int64_t n = blockRowCount(PageView{const_cast<char*>(bytes), length});
  const double* v = reinterpret_cast<const double*>(bytes + 8);
  const int32_t* t = reinterpret_cast<const int32_t*>(bytes + (length & ~7));
  std::vector<int32_t> first(static_cast<size_t>(sel.layout.effectCount), 0);
  for (int32_t e = 1; e < sel.layout.effectCount; ++e)
    first[e] = first[e - 1] + sel.layout.columnCount[e - 1];
  const int S = sel.layout.sparseEffectCount;
  for (int64_t i = 0; i < n; ++i) {
    StoredRow r;
    const int32_t* g = t - 1;  // the row's tag group runs downward
    int at = 0;
    if (h.fold) r.fold = g[-at++], r.hasFold = true;
    if (h.held) r.held = g[-at++];
    if (h.role) r.role = g[-at++], r.hasRole = true;
    for (int j = 0; j < S; ++j) r.sparseEnds.push_back(g[-at - j]);
    const int32_t K = S > 0 ? r.sparseEnds.back() : 0;
    for (int k = 0; k < K; ++k) r.sparseIndexes.push_back(g[-at - S - k]);
    t -= h.fixed + S + K;
    int d = 0;
    if (h.weight) r.w = v[d++];
    if (h.freq) r.f = v[d++];
    if (h.resample) r.resample = v[d++];
    r.y = v[d++];
    const double* dense = v + d;
    const double* sparse = dense + sel.layout.denseValues;
    r.x.assign(static_cast<size_t>(sel.layout.paramCount), 0.0);
    for (int32_t e = 0; e < sel.layout.effectCount; ++e) {
      const int32_t j = sel.layout.sparseIndex[e];
      if (j < 0) {
        for (int32_t c = 0; c < sel.layout.columnCount[e]; ++c)
          r.x[first[e] + c] = dense[sel.layout.denseOffset[e] + c];
        continue;
      }
      for (int32_t k = j == 0 ? 0 : r.sparseEnds[j - 1]; k < r.sparseEnds[j]; ++k)
        r.x[first[e] + r.sparseIndexes[k]] = sparse[k];
    }
    v = sparse + K;
    out->push_back(std::move(r));
  }
}

// Calls fn(bytes, length) for every block in block order.
template <typename Fn>
void forEachBlock(const VsfState& s, Fn&& fn) {
  const UtilFileArray& a = s.group.utilFiles;
  for (int64_t k = 0;; ++k) {
    const UtilFileRecord& f = a.records[k % a.count];
    const int64_t j = k / a.count;
    if (j < f.residentCapacity) {
      if (j >= f.residentCount) return;
      fn(static_cast<const char*>(f.residentBlocks[j]), f.pageLength);
      continue;
    }
    const int64_t page = j - f.residentCapacity + 1;
    if (page > f.pageCount) return;
    PageDescriptor d{page, nullptr};
    if (f.pageFile->readPage(&d) != 0) return;
    fn(static_cast<const char*>(d.buffer), f.pageLength);
    f.pageFile->releasePageBuffer(&d);
  }
}

}  // namespace

StepRun runOnData(const std::string& text, const std::function<void(VsfState&)>& inspect,
                  const PassSettings& settings) {
  ensureHost();
  host::SystemOptions saved = host::session().options;
  host::session().options.library = settings.library;
  host::session().options.memSizeMb = settings.memSizeMb;
  if (!settings.utilPath.empty()) host::session().options.utilPath = settings.utilPath;
  gInspect = inspect;
  gInspectedGroup = 0;
  StepRun r;
  {
    FakeHost fake;
    fake.core.clock = &inspectingClock;
    fake.load();
    r = runStepText(text);
  }
  r.inspected = gInspectedGroup > 0;
  gInspect = nullptr;
  host::session().options = saved;
  return r;
}

std::vector<StoredRow> readStoredRows(const VsfState& s) {
  std::vector<StoredRow> rows;
  forEachBlock(s, [&](const char* b, int32_t length) { parseBlock(s, b, length, &rows); });
  return rows;
}

std::vector<int64_t> blockRowCounts(const VsfState& s) {
  std::vector<int64_t> counts;
  forEachBlock(s, [&](const char* b, int32_t length) {
    counts.push_back(blockRowCount(PageView{const_cast<char*>(b), length}));
  });
  return counts;
}

std::vector<bool> blockFiniteMarks(const VsfState& s) {
  std::vector<bool> marks;
  forEachBlock(s, [&](const char* b, int32_t length) {
    marks.push_back(blockAllFinite(PageView{const_cast<char*>(b), length}));
  });
  return marks;
}

std::vector<std::vector<double>> crossproductsByKernel(VsfState& v) {
  SelectionState& s = v.group.selection;
  const SelectionState saved = s;
  const uint8_t full = v.settings.options.buildFullSscp;
  v.settings.options.buildFullSscp = 1;
  std::vector<std::vector<double>> out;
  if (buildModelPool(&s) == 0 && runDataPass(&s, kernSscp, 0) == 0) {
    const int32_t q = s.layout.paramCount + 1;
    std::vector<int32_t> toEffectOrder(static_cast<size_t>(q), 0);
    for (int32_t e = 0, first = 0; e < s.layout.effectCount; first += s.layout.columnCount[e], ++e)
      for (int32_t c = 0; c < s.layout.columnCount[e]; ++c)
        toEffectOrder[s.layout.layoutColumn[e] + c] = 1 + first + c;
    out.assign(static_cast<size_t>(q), std::vector<double>(static_cast<size_t>(q), 0.0));
    for (int32_t i = 0; i < q; ++i)
      for (int32_t j = 0; j <= i; ++j) {
        const double a = s.sweep.sscp[static_cast<int64_t>(i) * (i + 1) / 2 + j];
        out[toEffectOrder[i]][toEffectOrder[j]] = out[toEffectOrder[j]][toEffectOrder[i]] = a;
      }
  }
  if (s.modelPool) kernel().poolDestroy(s.modelPool);
  s = saved;
  v.settings.options.buildFullSscp = full;
  return out;
}

}  // namespace vsf::test
