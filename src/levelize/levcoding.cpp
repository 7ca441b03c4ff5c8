// Coding matrices of the orthogonalised parametrizations: one row per level, one column per
// level but one, each column centred and orthonormalised, then scaled so that its sum of
// squares is the number of levels.
#include <cmath>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "design/design.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

void levCodingMatrix(HostPool* allocator, LevelVar* v, int32_t n) {
  v->codingMatrix = nullptr;
  const Coding& coding = codingOf(v->coding);
  if (!coding.orthogonal || n < 2) return;
  const double bytes = 8.0 * n * (n - 1.0);
  if (bytes > 2147483647.0) {
    const std::string name = v->desc ? v->desc->name : std::string();
    const std::string what = "coding matrix of " + name + " with " + std::to_string(n) + " levels";
    hostMsg(172, 405, {std::string_view(what)});
    hostEndStep(step::kInternal);
  }
  const int m = n - 1;
  const size_t cells = static_cast<size_t>(n) * static_cast<size_t>(m);
  double* M = static_cast<double*>(levAlloc(allocator, cells * sizeof(double)));
  for (int r = 0; r < n; ++r)
    codingColumns(*v, coding.columns, r, M + static_cast<size_t>(r) * m, m, 1.0);
  for (int j = 0; j < m; ++j) {
    double mean = 0.0;
    for (int r = 0; r < n; ++r) mean += M[static_cast<size_t>(r) * m + j];
    mean /= n;
    for (int r = 0; r < n; ++r) M[static_cast<size_t>(r) * m + j] -= mean;
  }
  std::vector<double> q(cells), packed(static_cast<size_t>(m) * (m + 1) / 2);
  (void)zgsqr(n, m, M, q.data(), packed.data());
  zdscal(M, q.data(), static_cast<int>(cells), std::sqrt(static_cast<double>(n)));
  v->codingMatrix = M;
}

}  // namespace vsf
